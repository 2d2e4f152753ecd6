#include "IcsFileReader.h"
#include "RecurrenceExpander.h"
#include "TestFiles.h"
#include "ZonePin.h"

#include <QTest>

#include <libical/ical.h>

namespace {

std::shared_ptr<const IcsEvent> parseSeries(const QByteArray &lines)
{
    const auto content = std::make_shared<IcsFileContent>(
        IcsFileReader::parse(icsCalendar("BEGIN:VEVENT\r\nUID:s\r\n" + lines + "END:VEVENT\r\n")));
    if (content->events.size() != 1)
        return nullptr;
    return { content, &content->events.first() };
}

// Walks the rule with libical's own iterator from DTSTART, the slow and sure way.
QList<qint64> reference(const IcsEvent &e, const QByteArray &rrule, qint64 from, qint64 to)
{
    icalrecurrencetype rule = icalrecurrencetype_from_string(rrule.constData());
    icaltimetype start = icaltime_null_time();
    start.year = e.start.date.year();
    start.month = e.start.date.month();
    start.day = e.start.date.day();
    start.hour = e.start.time.hour();
    start.minute = e.start.time.minute();
    start.is_date = e.isAllDay();
    rule.until.zone = nullptr; // the rows below give UNTIL in the series' own wall time or as a date
    QList<qint64> out;
    icalrecur_iterator *it = icalrecur_iterator_new(rule, start);
    for (icaltimetype t = icalrecur_iterator_next(it); !icaltime_is_null_time(t);
         t = icalrecur_iterator_next(it)) {
        IcsTime wall = e.start;
        wall.date = QDate(t.year, t.month, t.day);
        wall.time = t.is_date ? QTime(0, 0) : QTime(t.hour, t.minute, t.second);
        const QDateTime s = wall.toDateTime();
        if (s.toMSecsSinceEpoch() >= to)
            break;
        if (e.endFor(s).toMSecsSinceEpoch() > from)
            out.append(s.toMSecsSinceEpoch());
    }
    icalrecur_iterator_free(it);
    return out;
}

} // namespace

class TestRecurrenceExpander : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(pinLocalZone("Europe/Berlin")); }

    // Common rules take a shortcut past libical's iterator; it must give exactly what the iterator gives.
    void matchesLibical_data()
    {
        QTest::addColumn<QByteArray>("start");
        QTest::addColumn<QByteArray>("rrule");
        // clang-format off
        QTest::newRow("weekly, three days") << QByteArray("DTSTART;TZID=Europe/Berlin:20230102T090000") << QByteArray("FREQ=WEEKLY;BYDAY=MO,WE,FR");
        QTest::newRow("fortnightly Tuesday and Sunday, weeks from Sunday") << QByteArray("DTSTART;TZID=America/New_York:20230103T183000") << QByteArray("FREQ=WEEKLY;INTERVAL=2;BYDAY=TU,SU;WKST=SU");
        QTest::newRow("fortnightly Tuesday and Sunday, weeks from Monday") << QByteArray("DTSTART;TZID=America/New_York:20230103T183000") << QByteArray("FREQ=WEEKLY;INTERVAL=2;BYDAY=TU,SU;WKST=MO");
        QTest::newRow("weekly COUNT starting mid-period") << QByteArray("DTSTART:20250306T070000Z") << QByteArray("FREQ=WEEKLY;BYDAY=MO,TH;COUNT=7");
        QTest::newRow("every third day, COUNT") << QByteArray("DTSTART:20250301T230000") << QByteArray("FREQ=DAILY;INTERVAL=3;COUNT=40");
        QTest::newRow("daily UNTIL in wall time") << QByteArray("DTSTART;TZID=Europe/Berlin:20250320T013000") << QByteArray("FREQ=DAILY;UNTIL=20250410T013000");
        QTest::newRow("all-day weekly") << QByteArray("DTSTART;VALUE=DATE:20240105") << QByteArray("FREQ=WEEKLY");
        QTest::newRow("monthly on its start's day") << QByteArray("DTSTART;TZID=Europe/Berlin:20230128T100000") << QByteArray("FREQ=MONTHLY");
        QTest::newRow("quarterly, COUNT") << QByteArray("DTSTART;TZID=America/New_York:20221115T080000") << QByteArray("FREQ=MONTHLY;INTERVAL=3;COUNT=9");
        QTest::newRow("monthly all-day, UNTIL") << QByteArray("DTSTART;VALUE=DATE:20230305") << QByteArray("FREQ=MONTHLY;UNTIL=20260105");
        QTest::newRow("yearly, every other year") << QByteArray("DTSTART:20200229T120000Z") << QByteArray("FREQ=YEARLY;INTERVAL=2");
        QTest::newRow("yearly floating") << QByteArray("DTSTART:20210310T023000") << QByteArray("FREQ=YEARLY");
        QTest::newRow("monthly on the 31st takes the long way") << QByteArray("DTSTART:20230131T100000Z") << QByteArray("FREQ=MONTHLY");
        QTest::newRow("monthly takes the long way") << QByteArray("DTSTART;TZID=Europe/Berlin:20230131T100000") << QByteArray("FREQ=MONTHLY;BYDAY=-1FR");
        QTest::newRow("weekly BYDAY without DTSTART's day, COUNT") << QByteArray("DTSTART:20250305T090000Z") << QByteArray("FREQ=WEEKLY;BYDAY=MO;COUNT=5");
        QTest::newRow("off-day start, two days, COUNT") << QByteArray("DTSTART;TZID=Europe/Berlin:20250304T100000") << QByteArray("FREQ=WEEKLY;BYDAY=MO,WE;COUNT=9");
        QTest::newRow("off-day start, fortnightly, weeks from Monday") << QByteArray("DTSTART;TZID=Europe/Berlin:20240701T100000") << QByteArray("FREQ=WEEKLY;INTERVAL=2;BYDAY=SU,TU");
        QTest::newRow("off-day start, fortnightly, weeks from Sunday, COUNT") << QByteArray("DTSTART:20250304T100000") << QByteArray("FREQ=WEEKLY;INTERVAL=2;BYDAY=SU,WE;WKST=SU;COUNT=11");
        QTest::newRow("off-day start, every third week, UNTIL") << QByteArray("DTSTART;TZID=America/New_York:20230104T183000") << QByteArray("FREQ=WEEKLY;INTERVAL=3;BYDAY=MO,FR;UNTIL=20260101T000000");
        QTest::newRow("off-day start, one day every other week") << QByteArray("DTSTART;TZID=Europe/Berlin:20240701T100000") << QByteArray("FREQ=WEEKLY;INTERVAL=2;BYDAY=SU");
        QTest::newRow("off-day start, one day every other week, later in the week") << QByteArray("DTSTART:20240707T100000Z") << QByteArray("FREQ=WEEKLY;INTERVAL=2;BYDAY=SA");
        QTest::newRow("off-day start, all-day") << QByteArray("DTSTART;VALUE=DATE:20240418") << QByteArray("FREQ=WEEKLY;BYDAY=SU,SA");
        // clang-format on
    }

    void matchesLibical()
    {
        QFETCH(QByteArray, start);
        QFETCH(QByteArray, rrule);
        const auto master = parseSeries(start + "\r\nDURATION:PT1H\r\nRRULE:" + rrule + "\r\n");
        QVERIFY(master);
        RecurrenceExpander expander(master);
        const qint64 day = 86400000;
        const qint64 origin = master->start.toDateTime().toMSecsSinceEpoch();
        // Near the start, across a DST change, years later, and back again: the cache must not skew.
        for (const qint64 offsetDays : { -10, 60, 1100, 5, 800 }) {
            const qint64 from = origin + offsetDays * day;
            const qint64 to = from + 42 * day;
            QList<qint64> got;
            for (const auto &o : expander.occurrences(from, to, 1000))
                got.append(o.startMs);
            QList<qint64> want = reference(*master, rrule, from, to);
            if (origin < to && origin + 3600000 > from && !want.contains(origin))
                want.prepend(origin); // DTSTART is always an occurrence
            QCOMPARE(got, want);
        }
    }

    // The cap bounds one day, not the window: ten years of a daily series are all there.
    void capPerDay_data()
    {
        QTest::addColumn<QByteArray>("series");
        QTest::addColumn<int>("perDay");
        QTest::addColumn<int>("expected");
        QTest::newRow("daily over eleven years") << QByteArray("DTSTART:20250301T000000Z\r\nRRULE:FREQ=DAILY\r\n") << 25 << 4018;
        QTest::newRow("every second, capped each day") << QByteArray("DTSTART:20250301T000000Z\r\nRRULE:FREQ=SECONDLY\r\n") << 25 << 4018 * 25;
        QTest::newRow("every two hours since 2019") << QByteArray("DTSTART:20190101T000000Z\r\nRRULE:FREQ=HOURLY;INTERVAL=2\r\n") << 25 << (4018 + 59) * 12; // from the window's start in January
        QTest::newRow("hourly on Mondays at 9 and 10, BYMINUTE expands") << QByteArray("DTSTART:20250303T090000Z\r\nRRULE:FREQ=HOURLY;BYDAY=MO;BYHOUR=9,10;BYMINUTE=0,30\r\n") << 25 << 574 * 4;
        QTest::newRow("never meets, but its DTSTART stands") << QByteArray("DTSTART:20250301T000000Z\r\nRRULE:FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=30\r\n") << 25 << 1;
        QTest::newRow("COUNT over seconds with a limit") << QByteArray("DTSTART:20250301T000000Z\r\nRRULE:FREQ=SECONDLY;BYSECOND=0;BYMINUTE=0;COUNT=100\r\n") << 25 << 100;
    }

    void capPerDay()
    {
        QFETCH(QByteArray, series);
        QFETCH(int, perDay);
        QFETCH(int, expected);
        const auto master = parseSeries(series);
        QVERIFY(master);
        RecurrenceExpander expander(master);
        const QDateTime march(QDate(2025, 3, 1), QTime(0, 0), Qt::UTC);
        const auto all = expander.occurrences(
            march.addMonths(-2).toMSecsSinceEpoch(), march.addYears(11).toMSecsSinceEpoch(), perDay);
        QCOMPARE(all.size(), expected);
    }
};

QTEST_GUILESS_MAIN(TestRecurrenceExpander)
#include "tst_recurrenceexpander.moc"
