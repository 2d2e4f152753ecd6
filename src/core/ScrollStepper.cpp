#include "ScrollStepper.h"

#include "Clock.h"

#include <cmath>

ScrollStepper::ScrollStepper(const Clock *clock)
    : m_clock(clock)
{ }

ScrollStepper::Result ScrollStepper::handle(qreal dy)
{
    // Written so that a NaN delta is small too and passes on.
    if (!(std::abs(dy) > threshold))
        return Result::passOn;

    const qint64 now = m_clock->monotonicMs();
    // A reading before the last step cannot come from a monotonic clock; should
    // one appear anyway (a clock that was set back), the step is taken and the
    // window starts again from the new reading, rather than wheel stepping
    // going dead for as long as the clock went back.
    if (m_lastScroll && now >= *m_lastScroll && now - *m_lastScroll < throttleMs)
        return Result::consumed;

    m_lastScroll = now;
    return dy > 0 ? Result::stepUp : Result::stepDown;
}
