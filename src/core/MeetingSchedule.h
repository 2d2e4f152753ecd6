#pragma once

#include "CalendarEvent.h"
#include "MeetingLink.h"

#include <QDateTime>
#include <QSet>
#include <QString>

#include <optional>

/**
 * What the meeting features decide from the clock and the day's events, as
 * pure functions so that tests can move time: the tray tooltip, which meeting
 * "join next" opens, and when a reminder is due.
 */
namespace MeetingSchedule {

/** How soon a meeting may start and still be the one "join next" opens. */
constexpr qint64 joinWindowSecs = 10 * 60;
/** How long before its start a meeting's reminder is sent. */
constexpr qint64 reminderLeadSecs = 60;

/** The next timed event of `now`'s day that has not started yet; null when none. */
EventPtr nextEventToday(const QDateTime &now, const EventList &events);

/** "Standup in 12 min", "Review in 1 h 5 min"; rounded up to whole minutes. */
QString startsInText(const QDateTime &now, const CalendarEvent &event);

/** The long date of `now`, and on a second line the next event of the day, when there is one. */
QString tooltipText(const QDateTime &now, const EventList &events);

struct Join
{
    EventPtr event;
    MeetingLink link;
};

/**
 * The meeting in progress or starting within the join window, of those with a
 * meeting link; of several, the one whose start is nearest to now, so a
 * meeting about to begin wins over one that is ending. All-day events never
 * count.
 */
std::optional<Join> joinTarget(const QDateTime &now, const EventList &events);

struct Reminder
{
    EventPtr event;
    MeetingLink link;
    QDateTime at; ///< when it is due: a minute before the start
};

/** Identifies one occurrence at its start, so a moved meeting is reminded again. */
QString reminderKey(const CalendarEvent &event);

/**
 * The reminder of the earliest meeting that has not started and whose key is
 * not in `sent`; its time may already have come (Moriva started late).
 */
std::optional<Reminder> nextReminder(
    const QDateTime &now, const EventList &events, const QSet<QString> &sent);

} // namespace MeetingSchedule
