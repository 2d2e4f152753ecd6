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
        // Local times, titles and places as a row shows them: tst_eventsection's rowShowsEvent.
        CalendarEvent e = timed("2026-07-01T12:00:00Z", "2026-07-01T13:15:00Z");
        QCOMPARE(timeRangeText(e), QStringLiteral("14:00 \u2013 15:15"));
        e.allDay = true;
        QCOMPARE(timeRangeText(e), QStringLiteral("All Day"));
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
