#pragma once

#include <QtGlobal>

#include <optional>

class Clock;

/**
 * Turns vertical wheel movement into month steps: only movements larger than
 * 15 points step, at most one step per 0.4 s (leading edge, measured from the
 * last step taken), and small movements pass on to whoever is underneath.
 */
class ScrollStepper
{
public:
    enum class Result { passOn, consumed, stepUp, stepDown };

    explicit ScrollStepper(const Clock *clock);
    /** dy in points; positive is "up" (next month). */
    Result handle(qreal dy);

    static constexpr qreal threshold = 15.0;
    static constexpr qint64 throttleMs = 400;

private:
    const Clock *m_clock;
    std::optional<qint64> m_lastScroll;
};
