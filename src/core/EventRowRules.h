#pragma once

#include "CalendarEvent.h"
#include "MeetingLink.h"

#include <QString>
#include <QUrl>

#include <optional>

/** What an event row shows and opens, as pure functions of the event. */
namespace EventRowRules {

/** Everything one row shows, computed once; the popover's row and the agenda both render it. */
struct RowContent
{
    QString title;
    QString time;
    std::optional<QString> location;
    MeetingLink link;
};

RowContent rowContent(const CalendarEvent &event);

/** The title, or "Untitled Event" only when the event has none (an empty title stays empty). */
QString titleText(const CalendarEvent &event);
/** "All Day", or "HH:mm – HH:mm" in local time with an EN DASH. */
QString timeRangeText(const CalendarEvent &event);
/** The location, or nothing when it is absent or empty (spaces are kept). */
std::optional<QString> locationText(const CalendarEvent &event);
/** The calendar deep link: start in UTC and the percent-encoded identifier. */
QUrl calendarDeepLink(const CalendarEvent &event);

} // namespace EventRowRules
