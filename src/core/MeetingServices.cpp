#include "MeetingServices.h"

#include <QRegularExpression>

#include <array>
#include <vector>

namespace {

using namespace Qt::StringLiterals;

// More specific rows (a path on a shared host) stand before the general row of that host.
constexpr std::array services {
    MeetingServices::Service { "zoom.us"_L1, {}, "zoommtg zoomus"_L1, "Zoom"_L1 },
    MeetingServices::Service { "zoomgov.com"_L1, {}, {}, "Zoom"_L1 },
    MeetingServices::Service { "meet.google.com"_L1, {}, {}, "Google Meet"_L1 },
    MeetingServices::Service { "teams.microsoft.com"_L1, {}, "msteams"_L1, "Microsoft Teams"_L1 },
    MeetingServices::Service { "teams.live.com"_L1, {}, {}, "Microsoft Teams"_L1 },
    MeetingServices::Service { "teams.microsoft.us"_L1, {}, {}, "Microsoft Teams"_L1 },
    MeetingServices::Service { "teams.cloud.microsoft"_L1, {}, {}, "Microsoft Teams"_L1 },
    MeetingServices::Service { "webex.com"_L1, "/[^/]+/onstage/"_L1, {}, "Cisco Webex Events"_L1 },
    MeetingServices::Service { "webex.com"_L1, {}, {}, "Webex"_L1 },
    MeetingServices::Service { "meet.jit.si"_L1, {}, {}, "Jitsi Meet"_L1 },
    MeetingServices::Service { "8x8.vc"_L1, {}, {}, "Jitsi Meet"_L1 },
    MeetingServices::Service { "whereby.com"_L1, {}, {}, "Whereby"_L1 },
    MeetingServices::Service { "gotomeeting.com"_L1, {}, {}, "GoTo Meeting"_L1 },
    MeetingServices::Service { "gotomeet.me"_L1, {}, {}, "GoTo Meeting"_L1 },
    MeetingServices::Service { "meet.goto.com"_L1, {}, {}, "GoTo Meeting"_L1 },
    MeetingServices::Service { "app.goto.com"_L1, "/meeting/"_L1, {}, "GoTo Meeting"_L1 },
    MeetingServices::Service { "chime.aws"_L1, {}, {}, "Amazon Chime"_L1 },
    MeetingServices::Service { "join.skype.com"_L1, {}, "skype"_L1, "Skype"_L1 },
    MeetingServices::Service { "meet.lync.com"_L1, {}, {}, "Skype for Business"_L1 },
    MeetingServices::Service { "slack.com"_L1, "/huddle/"_L1, "slack"_L1, "Slack huddle"_L1 },
    MeetingServices::Service { "discord.gg"_L1, {}, "discord"_L1, "Discord"_L1 },
    MeetingServices::Service { "discord.com"_L1, "/(channels|events|invite)/"_L1, {}, "Discord"_L1 },
    MeetingServices::Service { "bluejeans.com"_L1, {}, {}, "BlueJeans"_L1 },
    MeetingServices::Service { "meetings.ringcentral.com"_L1, {}, {}, "RingCentral"_L1 },
    MeetingServices::Service { "v.ringcentral.com"_L1, {}, {}, "RingCentral"_L1 },
    MeetingServices::Service { "video.ringcentral.com"_L1, {}, {}, "RingCentral"_L1 },
    MeetingServices::Service { "meeting.zoho.com"_L1, {}, {}, "Zoho Meeting"_L1 },
    MeetingServices::Service { "meeting.zoho.eu"_L1, {}, {}, "Zoho Meeting"_L1 },
    MeetingServices::Service { "meeting.zoho.in"_L1, {}, {}, "Zoho Meeting"_L1 },
    MeetingServices::Service { "meetings.dialpad.com"_L1, {}, {}, "Dialpad"_L1 },
    MeetingServices::Service { "dialpad.com"_L1, "/meetings?/"_L1, {}, "Dialpad"_L1 },
    MeetingServices::Service { "lifesizecloud.com"_L1, {}, {}, "Lifesize"_L1 },
    MeetingServices::Service { "livestorm.co"_L1, {}, {}, "Livestorm"_L1 },
    MeetingServices::Service { "around.co"_L1, {}, {}, "Around"_L1 },
    MeetingServices::Service { "pexip.me"_L1, {}, {}, "Pexip"_L1 },
    MeetingServices::Service { "meet.starleaf.com"_L1, {}, {}, "StarLeaf"_L1 },
    MeetingServices::Service { "vowel.com"_L1, {}, {}, "Vowel"_L1 },
    MeetingServices::Service { "tuple.app"_L1, "/c/"_L1, {}, "Tuple"_L1 },
    MeetingServices::Service { "gather.town"_L1, {}, {}, "Gather"_L1 },
    MeetingServices::Service { "facetime.apple.com"_L1, {}, {}, "FaceTime"_L1 },
    MeetingServices::Service { "hangouts.google.com"_L1, {}, {}, "Google Hangouts"_L1 },
    MeetingServices::Service { "call.element.io"_L1, {}, {}, "Element Call"_L1 },
    MeetingServices::Service { "daily.co"_L1, {}, {}, "Daily"_L1 },
    MeetingServices::Service { "clickmeeting.com"_L1, {}, {}, "ClickMeeting"_L1 },
    MeetingServices::Service { "streamyard.com"_L1, {}, {}, "StreamYard"_L1 },
    MeetingServices::Service { "riverside.fm"_L1, "/studio/"_L1, {}, "Riverside"_L1 },
    MeetingServices::Service { "meeting.tencent.com"_L1, {}, {}, "Tencent Meeting"_L1 },
    MeetingServices::Service { "voovmeeting.com"_L1, {}, {}, "VooV Meeting"_L1 },
    MeetingServices::Service { "vc.larksuite.com"_L1, {}, {}, "Lark"_L1 },
    MeetingServices::Service { "telemost.yandex.ru"_L1, {}, {}, "Telemost"_L1 },
};

bool hostMatches(const QString &host, QLatin1StringView suffix)
{
    if (host.size() == suffix.size())
        return host == suffix;
    return host.size() > suffix.size() && host.endsWith(suffix)
        && host.at(host.size() - suffix.size() - 1) == u'.';
}

const std::vector<QRegularExpression> &pathPatterns()
{
    static const std::vector<QRegularExpression> patterns = [] {
        std::vector<QRegularExpression> out;
        out.reserve(services.size());
        for (const MeetingServices::Service &s : services)
            out.emplace_back(QString(s.path), QRegularExpression::CaseInsensitiveOption);
        return out;
    }();
    return patterns;
}

} // namespace

namespace MeetingServices {

std::span<const Service> table()
{
    return services;
}

const Service *find(const QUrl &url)
{
    if (!url.isValid())
        return nullptr;
    const QString scheme = url.scheme().toLower();
    if (scheme == "http"_L1 || scheme == "https"_L1) {
        // QUrl lower-cases the host; a trailing dot names the same host.
        QString host = url.host();
        if (host.endsWith(u'.'))
            host.chop(1);
        if (host.isEmpty())
            return nullptr;
        const QString path = url.path();
        for (size_t i = 0; i < services.size(); ++i) {
            const Service &s = services[i];
            if (!hostMatches(host, s.host))
                continue;
            if (s.path.isEmpty()
                || pathPatterns()[i]
                       .match(path, 0, QRegularExpression::NormalMatch,
                           QRegularExpression::AnchorAtOffsetMatchOption)
                       .hasMatch())
                return &s;
        }
        return nullptr;
    }
    for (const Service &s : services) {
        for (const QString &candidate : QString(s.schemes).split(u' ', Qt::SkipEmptyParts)) {
            if (candidate == scheme)
                return &s;
        }
    }
    return nullptr;
}

const QStringList &clientSchemes()
{
    static const QStringList schemes = [] {
        QStringList out;
        for (const Service &s : services)
            out += QString(s.schemes).split(u' ', Qt::SkipEmptyParts);
        return out;
    }();
    return schemes;
}

} // namespace MeetingServices
