#include "LinkUnwrapper.h"
#include "MeetingLink.h"
#include "MeetingProperties.h"
#include "MeetingServices.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString serviceOf(const QString &link)
{
    const MeetingServices::Service *s = MeetingServices::find(QUrl(link));
    return s ? QString(s->name) : QString();
}

} // namespace

class tst_MeetingLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void service_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("service"); // empty: no service

        // clang-format off
        QTest::newRow("bare host") << "https://zoom.us/j/1" << "Zoom";
        QTest::newRow("company subdomain") << "https://acme.zoom.us/j/1" << "Zoom";
        QTest::newRow("host in capitals") << "HTTPS://US02WEB.ZOOM.US/j/1" << "Zoom";
        QTest::newRow("host with its trailing dot") << "https://zoom.us./j/1" << "Zoom";
        QTest::newRow("suffix not on a dot boundary") << "https://evilzoom.us/j/1" << "";
        QTest::newRow("service host under a stranger's domain") << "https://zoom.us.evil.example/j/1" << "";
        QTest::newRow("service name inside a host") << "https://zoom-login.evil.example/j/1" << "";
        QTest::newRow("service host as user info") << "https://zoom.us@evil.example/j/1" << "";
        QTest::newRow("path row before the host's general row") << "https://acme.webex.com/acme/onstage/g.php?MTID=1" << "Cisco Webex Events";
        QTest::newRow("general row of the same host") << "https://acme.webex.com/meet/jane" << "Webex";
        QTest::newRow("path pattern matches") << "https://app.slack.com/huddle/T1/C2" << "Slack huddle";
        QTest::newRow("path pattern does not match") << "https://app.slack.com/client/T1/C2" << "";
        QTest::newRow("path pattern ignores case") << "https://discord.com/Channels/1/2" << "Discord";
        QTest::newRow("service host, other page") << "https://discord.com/blog" << "";
        QTest::newRow("client scheme") << "msteams:/l/meetup-join/19" << "Microsoft Teams";
        QTest::newRow("service host, other scheme") << "ftp://zoom.us/j/1" << "";
        // clang-format on
    }

    void service()
    {
        QFETCH(QString, link);
        QFETCH(QString, service);
        QCOMPARE(serviceOf(link), service);
    }

    void unwrap_data()
    {
        QTest::addColumn<QString>("wrapped");
        QTest::addColumn<QString>("target");

        // clang-format off
        QTest::newRow("Safe Links") << "https://eur01.safelinks.protection.outlook.com/?url=https%3A%2F%2Fzoom.us%2Fj%2F1%3Fpwd%3Da%26b&data=05%7C01&reserved=0" << "https://zoom.us/j/1?pwd=a&b";
        QTest::newRow("Google redirect") << "https://www.google.com/url?q=https://meet.jit.si/Room%3Fa%3D1&sa=D&usg=x" << "https://meet.jit.si/Room?a=1";
        QTest::newRow("URL Defense v2") << "https://urldefense.proofpoint.com/v2/url?u=https-3A__acme.zoom.us_j_1-3Fpwd-3Dx-5Fy&d=DwMF&c=a&r=b&m=c&s=d&e=" << "https://acme.zoom.us/j/1?pwd=x_y";
        QTest::newRow("URL Defense v3, single replacements") << "https://urldefense.com/v3/__https://teams.microsoft.com/l/meetup-join/19*3ameeting*40thread__;JSU!!Abc!def$" << "https://teams.microsoft.com/l/meetup-join/19%3ameeting%40thread";
        QTest::newRow("URL Defense v3, a run") << "https://urldefense.com/v3/__https://meet.google.com**Aabc__;L3g!!Abc$" << "https://meet.google.com/xabc";
        QTest::newRow("wrapper in a wrapper") << "https://nam12.safelinks.protection.outlook.com/?url=https%3A%2F%2Fwww.google.com%2Furl%3Fq%3Dhttps%253A%252F%252Fzoom.us%252Fj%252F9%26sa%3DD&data=0" << "https://zoom.us/j/9";
        QTest::newRow("Safe Links lookalike is left alone") << "https://safelinks.protection.outlook.com.evil.example/?url=https%3A%2F%2Fzoom.us%2Fj%2F1" << "https://safelinks.protection.outlook.com.evil.example/?url=https%3A%2F%2Fzoom.us%2Fj%2F1";
        QTest::newRow("Safe Links without a target") << "https://eur01.safelinks.protection.outlook.com/?data=05" << "https://eur01.safelinks.protection.outlook.com/?data=05";
        QTest::newRow("v3 with more replacements than bytes") << "https://urldefense.com/v3/__https://zoom.us/j/1*2F*2F__;JQ!!A$" << "https://urldefense.com/v3/__https://zoom.us/j/1*2F*2F__;JQ!!A$";
        QTest::newRow("Google search is no redirect") << "https://www.google.com/search?q=https://zoom.us" << "https://www.google.com/search?q=https://zoom.us";
        // clang-format on
    }

    void unwrap()
    {
        QFETCH(QString, wrapped);
        QFETCH(QString, target);
        QCOMPARE(LinkUnwrapper::unwrap(QUrl(wrapped)), QUrl(target));
    }

    void linksInText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("links");

        // clang-format off
        QTest::newRow("prose: paren and full stop") << "(join at https://zoom.us/j/123)." << QStringList { "https://zoom.us/j/123" };
        QTest::newRow("balanced parenthesis stays") << "https://zoom.us/j/1?t=(a) next" << QStringList { "https://zoom.us/j/1?t=(a)" };
        QTest::newRow("no-break space ends the link") << "https://zoom.us/j/5\u00a0(Passcode 1)" << QStringList { "https://zoom.us/j/5" };
        QTest::newRow("angle brackets, as Outlook writes") << "Click here<https://teams.microsoft.com/l/x>\nMore<https://aka.ms/y>" << QStringList { "https://teams.microsoft.com/l/x", "https://aka.ms/y" };
        QTest::newRow("HTML attribute") << "<a href=\"https://zoom.us/j/1?pwd=x\">Join</a>" << QStringList { "https://zoom.us/j/1?pwd=x" };
        QTest::newRow("client scheme") << "App: zoommtg://zoom.us/join?confno=1." << QStringList { "zoommtg://zoom.us/join?confno=1" };
        QTest::newRow("scheme inside a word is no link") << "xhttps://zoom.us/j/1 webcal://x" << QStringList {};
        // clang-format on
    }

    void linksInText()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, links);
        QStringList found;
        for (const QUrl &url : MeetingLink::linksInText(text))
            found.append(url.toString());
        QCOMPARE(found, links);
    }

    void hrefs_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QStringList>("links");

        // clang-format off
        QTest::newRow("quoted both ways, unquoted, any case") << "<a href=\"https://a.example/1\">1</a><A HREF='https://b.example/2'>2</A><a href=https://c.example/3>3</a>" << QStringList { "https://a.example/1", "https://b.example/2", "https://c.example/3" };
        QTest::newRow("entities decoded") << "<a href=\"https://zoom.us/j/1?pwd=a&amp;uname=b&#38;c=&#x2F;\">x</a>" << QStringList { "https://zoom.us/j/1?pwd=a&uname=b&c=/" };
        QTest::newRow("anchors and look-alike attributes skipped") << "<a href=\"#top\">t</a><div data-href=\"https://x.example\"></div>" << QStringList {};
        // clang-format on
    }

    void hrefs()
    {
        QFETCH(QString, html);
        QFETCH(QStringList, links);
        QCOMPARE(MeetingProperties::hrefsInHtml(html), links);
    }

    void find_data()
    {
        QTest::addColumn<QStringList>("conference");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QStringList>("html");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("label"); // empty: no line
        QTest::addColumn<int>("kind");

        const int meeting = int(MeetingLink::Kind::meeting);
        const int page = int(MeetingLink::Kind::link);
        const int none = int(MeetingLink::Kind::none);
        const QStringList no;
        // clang-format off
        QTest::newRow("conference property first") << QStringList { "https://meet.google.com/abc" } << "https://zoom.us/j/1" << "" << "" << no << "https://meet.google.com/abc" << "Join Google Meet" << meeting;
        QTest::newRow("conference on an unknown host still a meeting") << QStringList { "https://video.example.org/room" } << "" << "" << "" << no << "https://video.example.org/room" << "Join video.example.org" << meeting;
        QTest::newRow("dial-in and SIP conference links skipped") << QStringList { "tel:+15550100", "conf:sip:x@example.com" } << "" << "" << "https://zoom.us/j/2" << no << "https://zoom.us/j/2" << "Join Zoom" << meeting;
        QTest::newRow("URL meeting before location") << no << "https://whereby.com/team" << "https://zoom.us/j/1" << "" << no << "https://whereby.com/team" << "Join Whereby" << meeting;
        QTest::newRow("location before description") << no << "" << "Room 4, https://meet.jit.si/x" << "https://zoom.us/j/1" << no << "https://meet.jit.si/x" << "Join Jitsi Meet" << meeting;
        QTest::newRow("description in text order") << no << "" << "" << "Meet: https://meet.google.com/abc or https://zoom.us/j/99" << no << "https://meet.google.com/abc" << "Join Google Meet" << meeting;
        QTest::newRow("unknown links in the text are passed over") << no << "" << "" << "Slides https://example.com/s, then https://zoom.us/j/3" << no << "https://zoom.us/j/3" << "Join Zoom" << meeting;
        QTest::newRow("HTML links last") << no << "" << "" << "Click here to join" << QStringList { "https://aka.ms/x", "https://teams.microsoft.com/l/y" } << "https://teams.microsoft.com/l/y" << "Join Microsoft Teams" << meeting;
        QTest::newRow("wrapped link in the description") << no << "" << "" << "<https://eur01.safelinks.protection.outlook.com/?url=https%3A%2F%2Fchime.aws%2F1234567890&data=1>" << no << "https://chime.aws/1234567890" << "Join Amazon Chime" << meeting;
        QTest::newRow("own page that is no meeting") << no << "https://conf.example/2026" << "" << "" << no << "https://conf.example/2026" << "conf.example" << page;
        QTest::newRow("a meeting elsewhere beats the own page") << no << "https://conf.example/2026" << "" << "https://bluejeans.com/123" << no << "https://bluejeans.com/123" << "Join BlueJeans" << meeting;
        QTest::newRow("lookalike own URL is a page, not Zoom") << no << "https://zoom.us.evil.example/j/1" << "" << "" << no << "https://zoom.us.evil.example/j/1" << "zoom.us.evil.example" << page;
        QTest::newRow("look-alike letters stay visible") << no << u"https://z\u043e\u043em.us/j/1"_s << "" << "" << no << "https://xn--zm-fmca.us/j/1" << "xn--zm-fmca.us" << page;
        QTest::newRow("mail address as the own URL") << no << "mailto:host@example.com" << "" << "" << no << "mailto:host@example.com" << "host@example.com" << page;
        QTest::newRow("mail address with an attachment") << no << "mailto:host@example.com?attach=/etc/passwd" << "" << "" << no << "" << "" << none;
        QTest::newRow("script as the own URL") << no << "javascript:alert(1)" << "" << "" << no << "" << "" << none;
        QTest::newRow("file as the own URL") << no << "file:///etc/passwd" << "" << "https://zoom.us/j/7" << no << "https://zoom.us/j/7" << "Join Zoom" << meeting;
        QTest::newRow("web link without a host") << no << "https:no-host" << "" << "" << no << "" << "" << none;
        QTest::newRow("no links at all") << no << "" << "Room 4" << "Bring snacks" << no << "" << "" << none;
        // clang-format on
    }

    void find()
    {
        QFETCH(QStringList, conference);
        QFETCH(QString, url);
        QFETCH(QString, location);
        QFETCH(QString, notes);
        QFETCH(QStringList, html);
        QFETCH(QString, link);
        QFETCH(QString, label);
        QFETCH(int, kind);

        CalendarEvent e;
        e.meeting.conferenceLinks = conference;
        e.url = QUrl(url);
        e.location = location;
        e.notes = notes;
        e.meeting.htmlLinks = html;
        const MeetingLink found = MeetingLink::find(e);
        QCOMPARE(int(found.kind), kind);
        QCOMPARE(found.url, QUrl(link));
        QCOMPARE(found.label, label);
        QVERIFY(!found || MeetingLink::isSafeToOpen(found.url));
    }

    void tableIsWellFormed()
    {
        // Not a restatement of the rows: what every row must satisfy for find() to be exact.
        QVERIFY(MeetingServices::table().size() >= 30);
        for (const MeetingServices::Service &s : MeetingServices::table()) {
            const QString host(s.host);
            QVERIFY2(
                host == host.toLower() && !host.startsWith(u'.') && host.contains(u'.'), qPrintable(host));
            QVERIFY2(QUrl(QStringLiteral("https://") + host + QStringLiteral("/")).host() == host,
                qPrintable(host));
            QVERIFY(!s.name.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(tst_MeetingLink)
#include "tst_meetinglink.moc"
