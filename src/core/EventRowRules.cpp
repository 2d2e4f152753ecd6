#include "EventRowRules.h"

#include <QCoreApplication>
#include <QLocale>

namespace EventRowRules {

RowContent rowContent(const CalendarEvent &event)
{
    return RowContent { titleText(event), timeRangeText(event), locationText(event),
        MeetingLink::find(event) };
}

QString titleText(const CalendarEvent &event)
{
    return event.title.value_or(QCoreApplication::translate("EventRow", "Untitled Event"));
}

QString timeRangeText(const CalendarEvent &event)
{
    if (event.allDay)
        return QCoreApplication::translate("EventRow", "All Day");
    const QLocale locale;
    const QString format = QStringLiteral("HH:mm");
    return locale.toString(event.start.toLocalTime().time(), format) + QStringLiteral(" \u2013 ")
        + locale.toString(event.end.toLocalTime().time(), format);
}

std::optional<QString> locationText(const CalendarEvent &event)
{
    if (event.location.isEmpty())
        return std::nullopt;
    return event.location;
}

QUrl calendarDeepLink(const CalendarEvent &event)
{
    if (!event.start.isValid())
        return QUrl();
    const QString stamp = event.start.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    // Identifiers are opaque and may hold "/", "?", "#" or anything else; the
    // link must carry them as one path segment.
    const QByteArray link = "ical://ekevent/" + stamp.toLatin1() + '/'
        + QUrl::toPercentEncoding(event.identifier) + "?method=show&options=more";
    return QUrl::fromEncoded(link, QUrl::StrictMode);
}

} // namespace EventRowRules
