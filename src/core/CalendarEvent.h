#pragma once

#include "CalendarColor.h"
#include "MeetingProperties.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

/** One calendar as the user names and colours it. Shared by all its events. */
struct CalendarInfo
{
    QString id;   ///< stable within one store: a folder or file path, or a system-store source id
    QString name;
    CalendarColor color; ///< invalid when the calendar has none; rows then use the accent colour
};

/**
 * One occurrence of an event, as a store hands it out. Records are shared by
 * pointer and never changed after creation, so the per-day index, the popover
 * and the agenda can all hold the same record.
 *
 * The time rule, the same for every store:
 * - timed events carry UTC instants (Qt::UTC), whatever zone they were written in;
 * - all-day events carry their dates, as the start of those days in the user's
 *   zone at the time of the query (end: the start of the day after the last);
 * - floating times (no zone) carry their wall-clock time in the user's zone at
 *   the time of the query, so after a zone change a query gives the same
 *   wall-clock times at other instants.
 */
struct CalendarEvent
{
    QString identifier;   ///< unique per occurrence within one query
    QDateTime start;
    QDateTime end;        ///< exclusive
    bool allDay = false;
    std::optional<QString> title; ///< absent differs from empty: only absent reads "Untitled Event"
    QString location;
    QUrl url;             ///< empty when the event carries no URL
    QString notes;
    MeetingProperties meeting; ///< conference properties and the HTML description's links
    std::shared_ptr<const CalendarInfo> calendar;

    /// Where the event came from, for asking a calendar application to show it.
    QString sourceUid;
    QString componentUid;
    QString recurrenceId;
};

using EventPtr = std::shared_ptr<const CalendarEvent>;
using EventList = QList<EventPtr>;
