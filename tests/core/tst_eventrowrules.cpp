#include "EventRowRules.h"

#include "ZonePin.h"

#include <QTest>

using namespace EventRowRules;

namespace {

CalendarEvent timed(const QString &start, const QString &end)
{
    CalendarEvent e;
    e.identifier = QStringLiteral("id");
    e.start = QDateTime::fromString(start, Qt::ISODate);
    e.end = QDateTime::fromString(end, Qt::ISODate);
    return e;
}

} // namespace

class tst_EventRowRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(pinLocalZone("Europe/Berlin"));
        QVERIFY(pinLocale(QLocale(QLocale::English, QLocale::UnitedStates)));
    }

    void texts()
    {
        CalendarEvent e = timed("2026-12-05T09:05", "2026-12-05T17:30");
        // Only an absent title is "Untitled"; an empty one is the calendar's own choice.
        QCOMPARE(titleText(e), QStringLiteral("Untitled Event"));
        e.title = QString();
        QCOMPARE(titleText(e), QString());

        QCOMPARE(locationText(e), std::nullopt);
        e.location = QStringLiteral("   ");
        QCOMPARE(locationText(e), std::optional(QStringLiteral("   ")));
    }

    void timeRange_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<bool>("allDay");
        QTest::addColumn<QString>("expected");

        // clang-format off
        QTest::newRow("all day, however long") << "2026-12-05T00:00" << "2026-12-09T00:00" << true << "All Day";
        QTest::newRow("padded 24-hour times") << "2026-12-05T09:05" << "2026-12-05T17:30" << false << "09:05 \u2013 17:30";
        QTest::newRow("over midnight shows times only") << "2026-12-05T22:00" << "2026-12-06T02:00" << false << "22:00 \u2013 02:00";
        QTest::newRow("UTC instants in local time") << "2026-07-01T12:00:00Z" << "2026-07-01T13:15:00Z" << false << "14:00 \u2013 15:15";
        // clang-format on
    }

    void timeRange()
    {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(bool, allDay);
        QFETCH(QString, expected);
        CalendarEvent e = timed(start, end);
        e.allDay = allDay;
        QCOMPARE(timeRangeText(e), expected);
    }

    void meetingURL_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QString>("expected"); // empty: no meeting line

        // clang-format off
        QTest::newRow("own web page, any host") << "https://example.com/page" << "" << "https://example.com/page";
        QTest::newRow("own URL wins over notes") << "https://example.com/a" << "https://zoom.us/j/1" << "https://example.com/a";
        // Invitations come from strangers: only schemes safe to hand to the desktop.
        QTest::newRow("own file URL is never offered") << "file:///home/me/.ssh/id_rsa" << "" << "";
        QTest::newRow("own unsafe URL leaves the notes to search") << "file:///tmp/x" << "Join https://zoom.us/j/7" << "https://zoom.us/j/7";
        QTest::newRow("notes without a known link") << "" << "see https://example.com/j/1" << "";
        QTest::newRow("list order beats text order") << "" << "Meet: https://meet.google.com/abc-defg-hij or https://zoom.us/j/99" << "https://zoom.us/j/99";
        QTest::newRow("capitals are found and kept") << "" << "HTTPS://ZOOM.US/J/ABC" << "https://zoom.us/J/ABC";
        QTest::newRow("subdomain of the root is not a root") << "" << "https://us02web.zoom.us/j/1" << "";
        // Notes are often HTML or prose: the link stops where such text resumes.
        QTest::newRow("line break ends the link") << "" << "https://meet.google.com/abc\nDial in: 555" << "https://meet.google.com/abc";
        QTest::newRow("no-break space ends the link") << "" << "https://zoom.us/j/5\u00a0(Passcode 1)" << "https://zoom.us/j/5";
        QTest::newRow("HTML attribute") << "" << "<a href=\"https://zoom.us/j/123?pwd=x\">Join</a>" << "https://zoom.us/j/123?pwd=x";
        QTest::newRow("angle-bracketed") << "" << "<https://teams.microsoft.com/l/x>" << "https://teams.microsoft.com/l/x";
        QTest::newRow("prose: paren and full stop") << "" << "(join at https://zoom.us/j/123)." << "https://zoom.us/j/123";
        QTest::newRow("prose: bracket and comma") << "" << "[https://meet.google.com/abc], then" << "https://meet.google.com/abc";
        QTest::newRow("balanced parenthesis stays") << "" << "https://zoom.us/j/1?t=(a) next" << "https://zoom.us/j/1?t=(a)";
        // clang-format on
    }

    void meetingURL()
    {
        QFETCH(QString, url);
        QFETCH(QString, notes);
        QFETCH(QString, expected);
        CalendarEvent e;
        e.url = QUrl(url);
        e.notes = notes;
        e.location = QStringLiteral("https://zoom.us/j/never-from-location");

        const std::optional<QUrl> found = EventRowRules::meetingURL(e);
        QCOMPARE(found.has_value(), !expected.isEmpty());
        if (found)
            QCOMPARE(found->toString(), expected);
    }

    void meetingPlatform_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("expected");

        QTest::newRow("zoom subdomain") << "https://us02web.zoom.us/j/1" << "Zoom";
        QTest::newRow("any google host") << "https://docs.google.com/d/1" << "Google Meet";
        QTest::newRow("teams") << "https://teams.microsoft.com/l/1" << "Microsoft Teams";
        QTest::newRow("other host") << "https://video.example.org/room" << "video.example.org";
        QTest::newRow("no host") << "mailto:someone@example.com" << "Meeting";
    }

    void meetingPlatform()
    {
        QFETCH(QString, url);
        QFETCH(QString, expected);
        QCOMPARE(EventRowRules::meetingPlatform(QUrl(url)), expected);
    }

    void isSafeToOpen_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("safe");

        for (const char *ok :
            { "http://example.com", "HTTPS://example.com/x", "mailto:a@example.com", "tel:+4930123",
                "zoommtg://zoom.us/join", "zoomus://zoom.us/join", "msteams:/l/meetup-join/1" })
            QTest::newRow(ok) << QString::fromLatin1(ok) << true;
        for (const char *bad : { "file:///etc/passwd", "javascript:alert(1)", "data:text/html,x", "smb://h/s",
                 "ical://ekevent/x", "https:no-host", "", "relative/path" })
            QTest::newRow(*bad ? bad : "empty") << QString::fromLatin1(bad) << false;
    }

    void isSafeToOpen()
    {
        QFETCH(QString, url);
        QFETCH(bool, safe);
        QCOMPARE(EventRowRules::isSafeToOpen(QUrl(url)), safe);
    }

    void calendarDeepLink_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<QString>("expected");

        const QString tail = QStringLiteral("?method=show&options=more");
        // clang-format off
        QTest::newRow("plain") << "2026-12-05T15:30" << "ABC-123_x.y~z" << "ical://ekevent/20261205T143000Z/ABC-123_x.y~z" + tail;
        QTest::newRow("local midnight east of UTC is the day before") << "2026-12-05T00:00" << "a" << "ical://ekevent/20261204T230000Z/a" + tail;
        // An identifier is opaque and may hold any character.
        QTest::newRow("path and query characters") << "2026-12-05T15:30" << "a/b?c#d e&f" << "ical://ekevent/20261205T143000Z/a%2Fb%3Fc%23d%20e%26f" + tail;
        QTest::newRow("percent and non-ASCII") << "2026-12-05T15:30" << "100%-café" << "ical://ekevent/20261205T143000Z/100%25-caf%C3%A9" + tail;
        // clang-format on
    }

    void calendarDeepLink()
    {
        QFETCH(QString, start);
        QFETCH(QString, identifier);
        QFETCH(QString, expected);
        CalendarEvent e = timed(start, start);
        e.identifier = identifier;

        const QUrl link = EventRowRules::calendarDeepLink(e);
        QVERIFY(link.isValid());
        QCOMPARE(QString::fromLatin1(link.toEncoded()), expected);
        // Whoever opens the link gets the identifier back whole, as the last path segment.
        QCOMPARE(link.path(QUrl::FullyDecoded).section(u'/', 2), identifier);
        QCOMPARE(link.query(), QStringLiteral("method=show&options=more"));
    }
};

QTEST_GUILESS_MAIN(tst_EventRowRules)
#include "tst_eventrowrules.moc"
