#include "LinkUnwrapper.h"
#include "MeetingLink.h"
#include "MeetingProperties.h"
#include "MeetingServices.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString serviceOf(const QUrl &link)
{
    const MeetingServices::Service *s = MeetingServices::find(link);
    return s ? QString(s->name) : QString();
}

} // namespace

class tst_MeetingLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Invitations as the services and mail servers write them are pairs in
    // tests/data/invitations, read through the store; these rows are what
    // none of them reaches.
    void linkAndService_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("target"); // empty: the link itself
        QTest::addColumn<QString>("service"); // empty: no service

        // clang-format off
        QTest::newRow("bare host") << "https://zoom.us/j/1" << "" << "Zoom";
        QTest::newRow("host with its trailing dot") << "https://zoom.us./j/1" << "" << "Zoom";
        QTest::newRow("path pattern matches") << "https://app.slack.com/huddle/T1/C2" << "" << "Slack huddle";
        QTest::newRow("path pattern does not match") << "https://app.slack.com/client/T1/C2" << "" << "";
        QTest::newRow("path pattern ignores case") << "https://discord.com/Channels/1/2" << "" << "Discord";
        QTest::newRow("service host, other scheme") << "ftp://zoom.us/j/1" << "" << "";
        QTest::newRow("URL Defense v3, a run") << "https://urldefense.com/v3/__https://meet.google.com**Aabc__;L3g!!Abc$" << "https://meet.google.com/xabc" << "Google Meet";
        QTest::newRow("wrapper in a wrapper") << "https://nam12.safelinks.protection.outlook.com/?url=https%3A%2F%2Fwww.google.com%2Furl%3Fq%3Dhttps%253A%252F%252Fzoom.us%252Fj%252F9%26sa%3DD&data=0" << "https://zoom.us/j/9" << "Zoom";
        QTest::newRow("Safe Links lookalike is left alone") << "https://safelinks.protection.outlook.com.evil.example/?url=https%3A%2F%2Fzoom.us%2Fj%2F1" << "" << "";
        QTest::newRow("Safe Links without a target") << "https://eur01.safelinks.protection.outlook.com/?data=05" << "" << "";
        QTest::newRow("v3 with more replacements than bytes") << "https://urldefense.com/v3/__https://zoom.us/j/1*2F*2F__;JQ!!A$" << "" << "";
        QTest::newRow("Google search is no redirect") << "https://www.google.com/search?q=https://zoom.us" << "" << "";
        // clang-format on
    }

    void linkAndService()
    {
        QFETCH(QString, link);
        QFETCH(QString, target);
        QFETCH(QString, service);
        const QUrl unwrapped = LinkUnwrapper::unwrap(QUrl(link));
        QCOMPARE(unwrapped, QUrl(target.isEmpty() ? link : target));
        QCOMPARE(serviceOf(unwrapped), service);
    }

    // Plain text is searched for anything that looks like a link, HTML only
    // for the targets of its anchors.
    void linksIn_data()
    {
        QTest::addColumn<bool>("html");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("links");

        // clang-format off
        QTest::newRow("prose: paren and full stop") << false << "(join at https://zoom.us/j/123)." << QStringList { "https://zoom.us/j/123" };
        QTest::newRow("balanced parenthesis stays") << false << "https://zoom.us/j/1?t=(a) next" << QStringList { "https://zoom.us/j/1?t=(a)" };
        QTest::newRow("no-break space ends the link") << false << "https://zoom.us/j/5\u00a0(Passcode 1)" << QStringList { "https://zoom.us/j/5" };
        QTest::newRow("HTML attribute") << false << "<a href=\"https://zoom.us/j/1?pwd=x\">Join</a>" << QStringList { "https://zoom.us/j/1?pwd=x" };
        QTest::newRow("scheme inside a word is no link") << false << "xhttps://zoom.us/j/1 webcal://x" << QStringList {};
        QTest::newRow("anchors quoted both ways, unquoted, any case") << true << "<a href=\"https://a.example/1\">1</a><A HREF='https://b.example/2'>2</A><a href=https://c.example/3>3</a>" << QStringList { "https://a.example/1", "https://b.example/2", "https://c.example/3" };
        QTest::newRow("entities in anchors decoded") << true << "<a href=\"https://zoom.us/j/1?pwd=a&amp;uname=b&#38;c=&#x2F;\">x</a>" << QStringList { "https://zoom.us/j/1?pwd=a&uname=b&c=/" };
        QTest::newRow("fragments and look-alike attributes skipped") << true << "<a href=\"#top\">t</a><div data-href=\"https://x.example\"></div>" << QStringList {};
        // clang-format on
    }

    void linksIn()
    {
        QFETCH(bool, html);
        QFETCH(QString, text);
        QFETCH(QStringList, links);
        QStringList found;
        if (html) {
            found = MeetingProperties::hrefsInHtml(text);
        } else {
            for (const QUrl &url : MeetingLink::linksInText(text))
                found.append(url.toString());
        }
        QCOMPARE(found, links);
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
        QTest::newRow("dial-in and SIP conference links skipped") << QStringList { "tel:+15550100", "conf:sip:x@example.com" } << "" << "" << "https://zoom.us/j/2" << no << "https://zoom.us/j/2" << "Join Zoom" << meeting;
        QTest::newRow("URL meeting before location") << no << "https://whereby.com/team" << "https://zoom.us/j/1" << "" << no << "https://whereby.com/team" << "Join Whereby" << meeting;
        QTest::newRow("location before description") << no << "" << "Room 4, https://meet.jit.si/x" << "https://zoom.us/j/1" << no << "https://meet.jit.si/x" << "Join Jitsi Meet" << meeting;
        QTest::newRow("description in text order") << no << "" << "" << "Meet: https://meet.google.com/abc or https://zoom.us/j/99" << no << "https://meet.google.com/abc" << "Join Google Meet" << meeting;
        QTest::newRow("unknown links in the text are passed over") << no << "" << "" << "Slides https://example.com/s, then https://zoom.us/j/3" << no << "https://zoom.us/j/3" << "Join Zoom" << meeting;
        QTest::newRow("look-alike letters stay visible") << no << u"https://z\u043e\u043em.us/j/1"_s << "" << "" << no << "https://xn--zm-fmca.us/j/1" << "xn--zm-fmca.us" << page;
        QTest::newRow("mail address as the own URL") << no << "mailto:host@example.com" << "" << "" << no << "mailto:host@example.com" << "host@example.com" << page;
        QTest::newRow("web link without a host") << no << "https:no-host" << "" << "" << no << "" << "" << none;
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
