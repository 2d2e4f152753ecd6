#pragma once

#include <QDateTime>

/** The one source of "now", so that tests can move time. */
class Clock
{
public:
    virtual ~Clock() = default;
    /** Wall-clock time, as local time. */
    virtual QDateTime now() const = 0;
    /** Milliseconds on a clock that never goes back; only differences mean anything. */
    virtual qint64 monotonicMs() const = 0;
};
