#pragma once

#include "CalendarEvent.h"

#include <QString>
#include <QUrl>

#include <optional>

/** What an event row shows and opens, as pure functions of the event. */
namespace EventRowRules {

/** The title, or "Untitled Event" only when the event has none (an empty title stays empty). */
QString titleText(const CalendarEvent &event);
/** "All Day", or "HH:mm – HH:mm" in local time with an EN DASH. */
QString timeRangeText(const CalendarEvent &event);
/** The location, or nothing when it is absent or empty (spaces are kept). */
std::optional<QString> locationText(const CalendarEvent &event);
/** The event's own URL, else the first known meeting link in its notes; only schemes safe to hand to the desktop. */
std::optional<QUrl> meetingURL(const CalendarEvent &event);
/** "Zoom", "Google Meet", "Microsoft Teams", the host, or "Meeting". */
QString meetingPlatform(const QUrl &url);
/** Whether a link from a stranger's invitation may be handed to the desktop. */
bool isSafeToOpen(const QUrl &url);
/** The calendar deep link: start in UTC and the percent-encoded identifier. */
QUrl calendarDeepLink(const CalendarEvent &event);

} // namespace EventRowRules
