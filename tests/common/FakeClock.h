#pragma once

#include "Clock.h"

/** A clock that stands still until a test moves it. */
class FakeClock : public Clock
{
public:
    explicit FakeClock(QDateTime now = QDateTime(QDate(2026, 12, 5), QTime(10, 0))) : m_now(std::move(now)) {}
    QDateTime now() const override { return m_now; }
    qint64 monotonicMs() const override { return m_monotonic; }

    void setNow(const QDateTime &now) { m_now = now; }
    void advanceMs(qint64 ms)
    {
        m_monotonic += ms;
        m_now = m_now.addMSecs(ms);
    }

private:
    QDateTime m_now;
    qint64 m_monotonic = 1'000'000;
};
