#include "DayIndex.h"

#include "FakeEventStore.h"
#include "ZonePin.h"

#include <QTest>

namespace {

constexpr auto when = &FakeEventStore::when;
constexpr auto record = &FakeEventStore::record;
constexpr auto ids = &FakeEventStore::ids;

QStringList days(const DayIndex &index)
{
    QList<QDate> sorted = index.datesWithEvents.values();
    std::sort(sorted.begin(), sorted.end());
    QStringList out;
    for (QDate d : sorted)
        out << d.toString(Qt::ISODate);
    return out;
}

} // namespace

class tst_DayIndex : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(pinLocalZone("UTC")); }

    void daysOfOneEvent_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QStringList>("expectedDays");

        const QByteArray berlin = "Europe/Berlin";
        const QByteArray santiago = "America/Santiago";
        // clang-format off
        // The end is exclusive; otherwise every all-day event would show on two days.
        QTest::newRow("ends exactly at midnight: not on the next day") << berlin << "2026-12-05T10:00" << "2026-12-06T00:00" << QStringList { "2026-12-05" };
        QTest::newRow("ends one millisecond after midnight") << berlin << "2026-12-05T10:00" << "2026-12-06T00:00:00.001" << QStringList { "2026-12-05", "2026-12-06" };
        QTest::newRow("all-day, three days over the new year") << berlin << "2026-12-30T00:00" << "2027-01-02T00:00" << QStringList { "2026-12-30", "2026-12-31", "2027-01-01" };
        QTest::newRow("zero length at midnight: its start day") << berlin << "2026-12-06T00:00" << "2026-12-06T00:00" << QStringList { "2026-12-06" };
        QTest::newRow("end before start: no day") << berlin << "2026-12-06T15:00" << "2026-12-06T14:00" << QStringList {};
        // 6 September 2026 begins at 01:00 there: its midnight never happens.
        QTest::newRow("ends where a day without midnight begins") << santiago << "2026-09-05T00:00" << "2026-09-06T01:00" << QStringList { "2026-09-05" };
        // clang-format on
    }

    void daysOfOneEvent()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QStringList, expectedDays);
        QVERIFY(pinLocalZone(zone));

        const DayIndex index = DayIndex::build({ record("e", start, end) });
        QCOMPARE(days(index), expectedDays);
        QCOMPARE(index.eventsByDay.size(), expectedDays.size());
        for (const QString &day : expectedDays)
            QCOMPARE(ids(index.eventsOn(QDate::fromString(day, Qt::ISODate))), QStringList { "e" });
    }

    void firstIdentifierWins()
    {
        const auto titledEvent = [](const QString &title, const QString &start, const QString &end) {
            return FakeEventStore::make("x", when(start), when(end), title);
        };
        const QDate day(2026, 12, 5);
        DayIndex index = DayIndex::build({ titledEvent("first", "2026-12-05T09:00", "2026-12-05T10:00"),
            titledEvent("second", "2026-12-06T09:00", "2026-12-06T10:00") });
        QCOMPARE(days(index), QStringList { "2026-12-05" });
        QCOMPARE(index.eventsOn(day).value(0)->title, std::optional(QStringLiteral("first")));

        // A record that cannot be placed still claims its identifier.
        index = DayIndex::build({ titledEvent("broken", "2026-12-05T10:00", "2026-12-05T09:00"),
            titledEvent("good", "2026-12-05T09:00", "2026-12-05T10:00") });
        QVERIFY(index.eventsByDay.isEmpty());
    }

    void eachDaySortedStablyByStart()
    {
        QVERIFY(pinLocalZone("Europe/Berlin"));
        const EventList storeOrder {
            record("late", "2026-12-05T14:00", "2026-12-05T15:00"),
            record("tie-1", "2026-12-05T10:00", "2026-12-05T11:00"),
            record("utc-tie", "2026-12-05T09:00:00Z", "2026-12-05T09:30:00Z"), // 10:00 local
            record("early", "2026-12-05T08:00", "2026-12-05T08:30"),
            record("tie-2", "2026-12-05T10:00", "2026-12-05T12:00"),
            record("from-yesterday", "2026-12-04T22:00", "2026-12-05T02:00"),
            record("all-day", "2026-12-05T00:00", "2026-12-06T00:00"),
        };
        const DayIndex index = DayIndex::build(storeOrder);
        QCOMPARE(ids(index.eventsOn(QDate(2026, 12, 5))),
            (QStringList { "from-yesterday", "all-day", "early", "tie-1", "utc-tie", "tie-2", "late" }));
    }

    void windowLimitsTheDaysListed()
    {
        const EventList events {
            FakeEventStore::make("forever", QDateTime(QDate(1, 1, 1), QTime(0, 0)),
                QDateTime(QDate(9999, 12, 31), QTime(0, 0))),
            record("outside", "2027-03-01T09:00", "2027-03-01T10:00"),
            record("outside", "2026-12-05T09:00", "2026-12-05T10:00"),
            record("inside", "2026-12-01T09:00", "2026-12-03T10:00"),
        };
        // Only the window's days: a span of millennia would otherwise fill millions of entries.
        const DayIndex index = DayIndex::build(events, QDate(2026, 12, 2), QDate(2026, 12, 8));

        QCOMPARE(days(index),
            (QStringList { "2026-12-02", "2026-12-03", "2026-12-04", "2026-12-05", "2026-12-06", "2026-12-07",
                "2026-12-08" }));
        QCOMPARE(ids(index.eventsOn(QDate(2026, 12, 2))), (QStringList { "forever", "inside" }));
        QCOMPARE(ids(index.eventsOn(QDate(2026, 12, 5))), QStringList { "forever" });
    }

    // Days come from a table of local midnights; around clock changes the
    // table must agree with converting each instant, including where the
    // clock runs back over a midnight (then the table cannot be used). Single
    // events at such changes need no rows of their own in daysOfOneEvent.
    void daysAroundClockChanges_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("change");

        // clang-format off
        QTest::newRow("spring forward") << QByteArray("Europe/Berlin") << QDateTime(QDate(2026, 3, 29), QTime(1, 0), Qt::UTC);
        QTest::newRow("fall back") << QByteArray("Europe/Berlin") << QDateTime(QDate(2026, 10, 25), QTime(1, 0), Qt::UTC);
        QTest::newRow("midnight never happens") << QByteArray("America/Santiago") << QDateTime(QDate(2026, 9, 6), QTime(4, 0), Qt::UTC);
        QTest::newRow("last hour of the day twice") << QByteArray("America/Santiago") << QDateTime(QDate(2026, 4, 5), QTime(3, 0), Qt::UTC);
        QTest::newRow("back from 00:01 to 23:01") << QByteArray("America/Goose_Bay") << QDateTime(QDate(2010, 11, 7), QTime(3, 1), Qt::UTC);
        QTest::newRow("half-hour change") << QByteArray("Australia/Lord_Howe") << QDateTime(QDate(2026, 4, 4), QTime(15, 0), Qt::UTC);
        QTest::newRow("a day skipped") << QByteArray("Pacific/Apia") << QDateTime(QDate(2011, 12, 30), QTime(10, 0), Qt::UTC);
        // clang-format on
    }

    void daysAroundClockChanges()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, change);
        QVERIFY(pinLocalZone(zone));
        const QTimeZone local(zone);

        // Every 20 minutes for two days either side, 50 minutes long, a few
        // right at the change, and one long event so that the table spans all.
        EventList events;
        for (int i = -144; i < 144; ++i) {
            const QDateTime start = change.addSecs(qint64(i) * 1200);
            events.append(FakeEventStore::make(QString::number(i), start, start.addSecs(3000)));
        }
        for (int secs : { -90, -30, 30 }) // the minute that ends at a change
            events.append(FakeEventStore::make(QString("near %1").arg(secs), change.addSecs(secs), change.addSecs(secs + 20)));
        events.append(FakeEventStore::make("long", change.addDays(-4), change.addDays(4)));
        const DayIndex index = DayIndex::build(events, change.date().addDays(-10), change.date().addDays(10));

        for (const EventPtr &e : std::as_const(events)) {
            const QDate first = e->start.toTimeZone(local).date();
            const QDate last = e->end.addMSecs(-1).toTimeZone(local).date();
            for (QDate day = first.addDays(-1); day <= last.addDays(1); day = day.addDays(1)) {
                const bool listed = ids(index.eventsOn(day)).contains(e->identifier);
                QVERIFY2(listed == (day >= first && day <= last),
                    qPrintable(e->identifier + " on " + day.toString(Qt::ISODate)));
            }
        }
    }
};

QTEST_GUILESS_MAIN(tst_DayIndex)
#include "tst_dayindex.moc"
