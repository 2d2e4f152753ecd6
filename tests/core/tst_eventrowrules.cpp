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
        QCOMPARE(timeRangeText(e), QStringLiteral("09:05 \u2013 17:30"));
        QCOMPARE(timeRangeText(timed("2026-07-01T12:00:00Z", "2026-07-01T13:15:00Z")),
            QStringLiteral("14:00 \u2013 15:15"));
        e.allDay = true;
        QCOMPARE(timeRangeText(e), QStringLiteral("All Day"));
        // Only an absent title is "Untitled"; an empty one is the calendar's own choice.
        QCOMPARE(titleText(e), QStringLiteral("Untitled Event"));
        e.title = QString();
        QCOMPARE(titleText(e), QString());
        e.location = QStringLiteral("   ");
        QCOMPARE(locationText(e), std::optional(QStringLiteral("   ")));
    }

    void meetingURL_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QString>("expected"); // empty: no meeting line
        QTest::addColumn<QString>("platform");

        // clang-format off
        QTest::newRow("own URL wins over notes") << "https://video.example.org/a" << "https://zoom.us/j/1" << "https://video.example.org/a" << "video.example.org";
        QTest::newRow("own URL on a zoom subdomain") << "https://us02web.zoom.us/j/1" << "" << "https://us02web.zoom.us/j/1" << "Zoom";
        QTest::newRow("own URL on any google host") << "https://docs.google.com/d/1" << "" << "https://docs.google.com/d/1" << "Google Meet";
        QTest::newRow("own URL without a host") << "mailto:someone@example.com" << "" << "mailto:someone@example.com" << "Meeting";
        // Invitations come from strangers: only schemes safe to hand to the desktop.
        QTest::newRow("own URL, scheme in capitals") << "HTTPS://video.example.org/x" << "" << "https://video.example.org/x" << "video.example.org";
        QTest::newRow("own phone link") << "tel:+4930123" << "" << "tel:+4930123" << "Meeting";
        QTest::newRow("own zoommtg client link") << "zoommtg://zoom.us/join" << "" << "zoommtg://zoom.us/join" << "Zoom";
        QTest::newRow("own zoomus client link") << "zoomus://zoom.us/join" << "" << "zoomus://zoom.us/join" << "Zoom";
        QTest::newRow("own msteams client link") << "msteams:/l/meetup-join/1" << "" << "msteams:/l/meetup-join/1" << "Meeting";
        QTest::newRow("own script URL") << "javascript:alert(1)" << "" << "" << "";
        QTest::newRow("own calendar link") << "ical://ekevent/x" << "" << "" << "";
        QTest::newRow("own web link without a host") << "https:no-host" << "" << "" << "";
        QTest::newRow("own unsafe URL leaves the notes to search") << "file:///tmp/x" << "Join https://zoom.us/j/7" << "https://zoom.us/j/7" << "Zoom";
        QTest::newRow("notes without a known link") << "" << "see https://example.com/j/1" << "" << "";
        QTest::newRow("list order beats text order") << "" << "Meet: https://meet.google.com/abc-defg-hij or https://zoom.us/j/99" << "https://zoom.us/j/99" << "Zoom";
        QTest::newRow("capitals are found and kept") << "" << "HTTPS://ZOOM.US/J/ABC" << "https://zoom.us/J/ABC" << "Zoom";
        QTest::newRow("subdomain of the root is not a root") << "" << "https://us02web.zoom.us/j/1" << "" << "";
        // Notes are often HTML or prose: the link stops where such text resumes.
        QTest::newRow("no-break space ends the link") << "" << "https://zoom.us/j/5\u00a0(Passcode 1)" << "https://zoom.us/j/5" << "Zoom";
        QTest::newRow("HTML attribute") << "" << "<a href=\"https://zoom.us/j/123?pwd=x\">Join</a>" << "https://zoom.us/j/123?pwd=x" << "Zoom";
        QTest::newRow("angle-bracketed") << "" << "<https://teams.microsoft.com/l/x>" << "https://teams.microsoft.com/l/x" << "Microsoft Teams";
        QTest::newRow("prose: paren and full stop") << "" << "(join at https://zoom.us/j/123)." << "https://zoom.us/j/123" << "Zoom";
        QTest::newRow("balanced parenthesis stays") << "" << "https://zoom.us/j/1?t=(a) next" << "https://zoom.us/j/1?t=(a)" << "Zoom";
        // clang-format on
    }

    void meetingURL()
    {
        QFETCH(QString, url);
        QFETCH(QString, notes);
        QFETCH(QString, expected);
        QFETCH(QString, platform);
        CalendarEvent e;
        e.url = QUrl(url);
        e.notes = notes;
        e.location = QStringLiteral("https://zoom.us/j/never-from-location");

        const std::optional<QUrl> found = EventRowRules::meetingURL(e);
        QCOMPARE(found ? found->toString() : QString(), expected);
        QCOMPARE(found ? EventRowRules::meetingPlatform(*found) : QString(), platform);
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
        QTest::newRow("path and query characters") << "2026-12-05T15:30" << "a/b?c#d e&f%é" << "ical://ekevent/20261205T143000Z/a%2Fb%3Fc%23d%20e%26f%25%C3%A9" + tail;
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
        QCOMPARE(QString::fromLatin1(link.toEncoded()), expected);
    }
};

QTEST_GUILESS_MAIN(tst_EventRowRules)
#include "tst_eventrowrules.moc"
