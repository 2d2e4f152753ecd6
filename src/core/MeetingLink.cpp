#include "MeetingLink.h"

#include "LinkUnwrapper.h"
#include "MeetingServices.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <optional>

namespace {

using namespace Qt::StringLiterals;

// More links than this in one text is not an invitation written by people.
constexpr qsizetype maxLinksInText = 64;
// Longer than any real link, wrapped ones included.
constexpr qsizetype maxLinkLength = 8192;

bool endsLinkInText(QChar c)
{
    return c.isSpace() || c == u'<' || c == u'>' || c == u'"';
}

// Text writes "(join at https://zoom.us/j/1)." or "…/j/1]," around a link;
// none of that belongs to the link, but a bracket the link itself opened does.
QString trimTrailingProse(QString candidate)
{
    static const QString sentencePunctuation = u".,;:!?"_s;
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

const QRegularExpression &linkStart()
{
    static const QRegularExpression pattern = [] {
        QStringList schemes { u"https?"_s };
        for (const QString &s : MeetingServices::clientSchemes())
            schemes += QRegularExpression::escape(s);
        return QRegularExpression(u"(?<![A-Za-z0-9+.-])(?:"_s + schemes.join(u'|') + u"):"_s,
            QRegularExpression::CaseInsensitiveOption);
    }();
    return pattern;
}

std::optional<QUrl> usable(const QString &text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return std::nullopt;
    const QUrl target = LinkUnwrapper::unwrap(url);
    if (!MeetingLink::isSafeToOpen(target))
        return std::nullopt;
    return target;
}

QString hostOf(const QUrl &url)
{
    // Spelled in ASCII: a host of look-alike letters from another script must
    // not read as the service it imitates.
    if (!url.host().isEmpty())
        return url.host(QUrl::FullyEncoded);
    return url.path(); // a mail address or a telephone number
}

MeetingLink meeting(const QUrl &url, const MeetingServices::Service *service)
{
    MeetingLink link;
    link.kind = MeetingLink::Kind::meeting;
    link.url = url;
    link.service = service ? QString(service->name) : QString();
    link.label
        = QCoreApplication::translate("MeetingLink", "Join %1").arg(service ? link.service : hostOf(url));
    return link;
}

// Outside the structured properties a link is a meeting only when the table knows its service.
std::optional<MeetingLink> knownMeeting(const QUrl &url)
{
    const MeetingServices::Service *service = MeetingServices::find(url);
    if (!service)
        return std::nullopt;
    return meeting(url, service);
}

std::optional<MeetingLink> knownMeetingIn(const QList<QUrl> &candidates)
{
    for (const QUrl &candidate : candidates) {
        const QUrl target = LinkUnwrapper::unwrap(candidate);
        if (!MeetingLink::isSafeToOpen(target))
            continue;
        if (auto found = knownMeeting(target))
            return found;
    }
    return std::nullopt;
}

} // namespace

QList<QUrl> MeetingLink::linksInText(const QString &text)
{
    QList<QUrl> links;
    qsizetype from = 0;
    while (links.size() < maxLinksInText) {
        const QRegularExpressionMatch m = linkStart().match(text, from);
        if (!m.hasMatch())
            break;
        const qsizetype at = m.capturedStart();
        qsizetype stop = at;
        while (stop < text.size() && !endsLinkInText(text.at(stop)))
            ++stop;
        // Each character is looked at once, however hostile the text.
        from = stop;
        if (stop - at > maxLinkLength)
            continue;
        const QUrl url(trimTrailingProse(text.mid(at, stop - at)), QUrl::StrictMode);
        if (url.isValid() && !url.scheme().isEmpty())
            links.append(url);
    }
    return links;
}

bool MeetingLink::isSafeToOpen(const QUrl &url)
{
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == "http"_L1 || scheme == "https"_L1)
        return !url.host().isEmpty();
    if (scheme == "mailto"_L1)
        return !url.path().isEmpty() && !url.hasQuery();
    if (scheme == "tel"_L1)
        return !url.path().isEmpty();
    return MeetingServices::clientSchemes().contains(scheme);
}

MeetingLink MeetingLink::find(const CalendarEvent &event)
{
    // A conference property says "this is the meeting", whatever its host.
    for (const QString &text : event.meeting.conferenceLinks) {
        const std::optional<QUrl> url = usable(text);
        if (!url)
            continue;
        const QString scheme = url->scheme().toLower();
        if (scheme == "mailto"_L1 || scheme == "tel"_L1)
            continue; // a dial-in or an organiser's address is not the video meeting
        return meeting(*url, MeetingServices::find(*url));
    }

    const std::optional<QUrl> own
        = event.url.isEmpty() ? std::nullopt : usable(event.url.toString(QUrl::FullyEncoded));
    if (own) {
        if (auto found = knownMeeting(*own))
            return *found;
    }
    if (auto found = knownMeetingIn(linksInText(event.location)))
        return *found;
    if (auto found = knownMeetingIn(linksInText(event.notes)))
        return *found;
    QList<QUrl> htmlLinks;
    for (const QString &href : event.meeting.htmlLinks) {
        const QUrl url(href, QUrl::StrictMode);
        if (url.isValid() && !url.scheme().isEmpty())
            htmlLinks.append(url);
    }
    if (auto found = knownMeetingIn(htmlLinks))
        return *found;

    // The event's own page (a conference's website, a booking) is offered as
    // what it is: a link, never dressed up as a meeting.
    if (!own)
        return {};
    MeetingLink link;
    link.kind = Kind::link;
    link.url = *own;
    link.label = hostOf(*own);
    return link;
}
