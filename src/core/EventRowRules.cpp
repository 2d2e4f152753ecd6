#include "EventRowRules.h"

#include "LocalZone.h"

#include <QLocale>
#include <QStringList>

#include <array>

namespace {

// Searched in this order; the first that occurs anywhere in the notes wins,
// wherever it stands in the text.
constexpr std::array<QLatin1StringView, 4> meetingLinkPrefixes {
    QLatin1StringView("https://zoom.us/"),
    QLatin1StringView("https://meet.google.com/"),
    QLatin1StringView("https://teams.microsoft.com/"),
    QLatin1StringView("https://www.teams.microsoft.com/"),
};

bool endsLinkInText(QChar c)
{
    return c.isSpace() || c == u'<' || c == u'>' || c == u'"';
}

// Text writes "(join at https://zoom.us/j/1)." or "…/j/1]," around a link;
// none of that belongs to the link, but a bracket the link itself opened does.
QString trimTrailingProse(QString candidate)
{
    static const QString sentencePunctuation = QStringLiteral(".,;:!?");
    while (!candidate.isEmpty()) {
        const QChar last = candidate.back();
        const bool unbalancedParen = last == u')' && candidate.count(u')') > candidate.count(u'(');
        const bool unbalancedBracket = last == u']' && candidate.count(u']') > candidate.count(u'[');
        if (!sentencePunctuation.contains(last) && !unbalancedParen && !unbalancedBracket)
            break;
        candidate.chop(1);
    }
    return candidate;
}

std::optional<QUrl> meetingLinkInNotes(const QString &notes)
{
    for (const QLatin1StringView prefix : meetingLinkPrefixes) {
        const qsizetype at = notes.indexOf(prefix, 0, Qt::CaseInsensitive);
        if (at < 0)
            continue;
        qsizetype stop = at;
        while (stop < notes.size() && !endsLinkInText(notes.at(stop)))
            ++stop;
        const QUrl url(trimTrailingProse(notes.mid(at, stop - at)), QUrl::StrictMode);
        if (!url.isValid() || !EventRowRules::isSafeToOpen(url))
            return std::nullopt;
        return url;
    }
    return std::nullopt;
}

} // namespace

namespace EventRowRules {

QString titleText(const CalendarEvent &event)
{
    return event.title.value_or(QStringLiteral("Untitled Event"));
}

QString timeRangeText(const CalendarEvent &event)
{
    if (event.allDay)
        return QStringLiteral("All Day");
    const QLocale locale;
    const QString format = QStringLiteral("HH:mm");
    const QTimeZone local = LocalZone::zone();
    return locale.toString(LocalZone::toLocal(event.start, local).time(), format) + QStringLiteral(" \u2013 ")
        + locale.toString(LocalZone::toLocal(event.end, local).time(), format);
}

std::optional<QString> locationText(const CalendarEvent &event)
{
    if (event.location.isEmpty())
        return std::nullopt;
    return event.location;
}

std::optional<QUrl> meetingURL(const CalendarEvent &event)
{
    // An event's own link that may not be opened is passed over, so a meeting
    // link in its notes still gets its line.
    if (!event.url.isEmpty() && event.url.isValid() && isSafeToOpen(event.url))
        return event.url;
    if (event.notes.isEmpty())
        return std::nullopt;
    return meetingLinkInNotes(event.notes);
}

QString meetingPlatform(const QUrl &url)
{
    const QString host = url.host();
    const QString lower = host.toLower();
    if (lower.contains(QLatin1String("zoom")))
        return QStringLiteral("Zoom");
    if (lower.contains(QLatin1String("google")))
        return QStringLiteral("Google Meet");
    if (lower.contains(QLatin1String("teams")))
        return QStringLiteral("Microsoft Teams");
    return host.isEmpty() ? QStringLiteral("Meeting") : host;
}

bool isSafeToOpen(const QUrl &url)
{
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        return !url.host().isEmpty();
    static const QStringList others = {
        QStringLiteral("mailto"),
        QStringLiteral("tel"),
        QStringLiteral("zoommtg"),
        QStringLiteral("zoomus"),
        QStringLiteral("msteams"),
    };
    return others.contains(scheme);
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
