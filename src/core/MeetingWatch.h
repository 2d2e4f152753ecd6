#pragma once

#include "MeetingSchedule.h"

#include <QObject>
#include <QSet>
#include <QTimer>

class Clock;
class EventStore;

/**
 * Keeps the time-dependent meeting features current: the tray tooltip with
 * the day's next event, and (when enabled) the reminder a minute before each
 * meeting. It wakes once a minute only while today still has an event to
 * come or a reminder is pending, and otherwise not at all; a change of the
 * calendars, the day or the setting re-plans it through refresh().
 */
class MeetingWatch : public QObject
{
    Q_OBJECT
public:
    /** Neither is owned; both must outlive the watch. */
    MeetingWatch(EventStore *store, const Clock *clock, QObject *parent = nullptr);

    QString tooltip() const { return m_tooltip; }
    bool remindersEnabled() const { return m_remindersEnabled; }
    void setRemindersEnabled(bool enabled);

    /** The meeting "join next" opens now, if any. */
    std::optional<MeetingSchedule::Join> joinTarget() const;

    /** When the next wake-up is planned; invalid when none is. */
    QDateTime nextWake() const { return m_nextWake; }

public Q_SLOTS:
    /** Recomputes now and plans the next wake-up. */
    void refresh();

Q_SIGNALS:
    void tooltipChanged(const QString &text);
    void reminderDue(const EventPtr &event, const MeetingLink &link);

private:
    EventList eventsAround(const QDateTime &now) const;

    EventStore *const m_store;
    const Clock *const m_clock;
    QTimer m_timer;
    QString m_tooltip;
    QDateTime m_nextWake;
    bool m_remindersEnabled = false;
    QSet<QString> m_reminded;
};
