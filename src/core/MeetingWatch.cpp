#include "MeetingWatch.h"

#include "Clock.h"
#include "EventStore.h"

#include <algorithm>

MeetingWatch::MeetingWatch(EventStore *store, const Clock *clock, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_clock(clock)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &MeetingWatch::refresh);
    connect(m_store, &EventStore::changed, this, &MeetingWatch::refresh);
    refresh();
}

void MeetingWatch::setRemindersEnabled(bool enabled)
{
    if (enabled == m_remindersEnabled)
        return;
    m_remindersEnabled = enabled;
    refresh();
}

EventList MeetingWatch::eventsAround(const QDateTime &now) const
{
    // Today, and far enough into tomorrow for a reminder just after midnight.
    const QDateTime dayStart(now.date(), QTime(0, 0));
    return m_store->events(dayStart, QDateTime(now.date().addDays(2), QTime(0, 0)));
}

std::optional<MeetingSchedule::Join> MeetingWatch::joinTarget() const
{
    const QDateTime now = m_clock->now();
    return MeetingSchedule::joinTarget(now, eventsAround(now));
}

void MeetingWatch::refresh()
{
    const QDateTime now = m_clock->now();
    const EventList events = eventsAround(now);

    const QString tooltip = MeetingSchedule::tooltipText(now, events);
    if (tooltip != m_tooltip) {
        m_tooltip = tooltip;
        Q_EMIT tooltipChanged(m_tooltip);
    }

    QDateTime wake;
    if (MeetingSchedule::nextEventToday(now, events)) {
        // The "in N min" text changes on the minute.
        const QDateTime minute(now.date(), QTime(now.time().hour(), now.time().minute()));
        wake = minute.addSecs(60);
    }
    if (m_remindersEnabled) {
        while (auto reminder = MeetingSchedule::nextReminder(now, events, m_reminded)) {
            if (reminder->at > now) {
                if (!wake.isValid() || reminder->at < wake)
                    wake = reminder->at;
                break;
            }
            m_reminded.insert(MeetingSchedule::reminderKey(*reminder->event));
            Q_EMIT reminderDue(reminder->event, reminder->link);
        }
    }

    m_nextWake = wake;
    if (wake.isValid())
        m_timer.start(int(std::clamp<qint64>(now.msecsTo(wake), 1, 24 * 3600 * 1000)));
    else
        m_timer.stop();
}
