#include "IcsFileReader.h"
#include "RecurrenceExpander.h"

#include <QTest>

#include <libical/ical.h>

#include <ctime>

namespace {

struct Series
{
    std::shared_ptr<IcsFileContent> content;
    std::shared_ptr<const IcsEvent> master() const { return { content, &content->events.first() }; }
};

Series parseSeries(const QByteArray &lines)
{
    Series s;
    s.content = std::make_shared<IcsFileContent>(IcsFileReader::parse(
        "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:s\r\n" + lines + "END:VEVENT\r\nEND:VCALENDAR\r\n"));
    return s;
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
    if (!icaltime_is_null_time(rule.until) && icaltime_is_utc(rule.until)) {
        // The fixtures below give UNTIL in the series' own wall time or as a date.
        rule.until.zone = nullptr;
    }
    QList<qint64> out;
    icalrecur_iterator *it = icalrecur_iterator_new(rule, start);
    for (int i = 0; i < 20000; ++i) {
        const icaltimetype t = icalrecur_iterator_next(it);
        if (icaltime_is_null_time(t))
            break;
        IcsTime wall = e.start;
        wall.date = QDate(t.year, t.month, t.day);
        wall.time = t.is_date ? QTime(0, 0) : QTime(t.hour, t.minute, t.second);
        const QDateTime s = wall.toDateTime();
        const qint64 startMs = s.toMSecsSinceEpoch();
        const qint64 endMs = e.endFor(s).toMSecsSinceEpoch();
        if (startMs >= to)
            break;
        if (endMs > from)
            out.append(startMs);
    }
    icalrecur_iterator_free(it);
    return out;
}

} // namespace

class TestRecurrenceExpander : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "Europe/Berlin");
        tzset();
        QVERIFY2(
            QDateTime(QDate(2025, 7, 15), QTime(12, 0)).offsetFromUtc() == 7200, "zone pin did not take");
    }

    // Common rules take a shortcut past libical's iterator; it must give exactly what the iterator gives.
    void matchesLibical_data()
    {
        QTest::addColumn<QByteArray>("start");
        QTest::addColumn<QByteArray>("rrule");

        QTest::newRow("weekly") << QByteArray("DTSTART;TZID=Europe/Berlin:20230102T090000")
                                << QByteArray("FREQ=WEEKLY");
        QTest::newRow("weekly, three days") << QByteArray("DTSTART;TZID=Europe/Berlin:20230102T090000")
                                            << QByteArray("FREQ=WEEKLY;BYDAY=MO,WE,FR");
        QTest::newRow("fortnightly Tuesday and Sunday, weeks from Sunday")
            << QByteArray("DTSTART;TZID=America/New_York:20230103T183000")
            << QByteArray("FREQ=WEEKLY;INTERVAL=2;BYDAY=TU,SU;WKST=SU");
        QTest::newRow("fortnightly Tuesday and Sunday, weeks from Monday")
            << QByteArray("DTSTART;TZID=America/New_York:20230103T183000")
            << QByteArray("FREQ=WEEKLY;INTERVAL=2;BYDAY=TU,SU;WKST=MO");
        QTest::newRow("weekly COUNT starting mid-period")
            << QByteArray("DTSTART:20250306T070000Z") << QByteArray("FREQ=WEEKLY;BYDAY=MO,TH;COUNT=7");
        QTest::newRow("every third day, COUNT")
            << QByteArray("DTSTART:20250301T230000") << QByteArray("FREQ=DAILY;INTERVAL=3;COUNT=40");
        QTest::newRow("daily UNTIL in wall time") << QByteArray("DTSTART;TZID=Europe/Berlin:20250320T013000")
                                                  << QByteArray("FREQ=DAILY;UNTIL=20250410T013000");
        QTest::newRow("all-day weekly")
            << QByteArray("DTSTART;VALUE=DATE:20240105") << QByteArray("FREQ=WEEKLY");
        QTest::newRow("monthly takes the long way")
            << QByteArray("DTSTART;TZID=Europe/Berlin:20230131T100000")
            << QByteArray("FREQ=MONTHLY;BYDAY=-1FR");
        QTest::newRow("weekly BYDAY without DTSTART's day takes the long way")
            << QByteArray("DTSTART:20250305T090000Z") << QByteArray("FREQ=WEEKLY;BYDAY=MO;COUNT=5");
    }

    void matchesLibical()
    {
        QFETCH(QByteArray, start);
        QFETCH(QByteArray, rrule);
        const Series series = parseSeries(start + "\r\nDURATION:PT1H\r\nRRULE:" + rrule + "\r\n");
        QCOMPARE(series.content->events.size(), 1);
        RecurrenceExpander expander(series.master());
        const IcsEvent &e = *series.master();
        const qint64 day = 86400000;
        const qint64 origin = e.start.toDateTime().toMSecsSinceEpoch();
        // Near the start, across a DST change, years later, and back again.
        for (const qint64 offsetDays : { -10, 60, 1100, 5, 800 }) {
            const qint64 from = origin + offsetDays * day;
            const qint64 to = from + 42 * day;
            QList<qint64> got;
            for (const auto &o : expander.occurrences(from, to, 1000))
                got.append(o.startMs);
            QList<qint64> want = reference(e, rrule, from, to);
            if (origin < to && origin + 3600000 > from && !want.contains(origin)) {
                want.prepend(origin); // DTSTART is always an occurrence
            }
            QCOMPARE(got, want);
        }
    }

    void exclusionsAndOverrides()
    {
        const Series series = parseSeries("DTSTART;TZID=Europe/Berlin:20250303T100000\r\nDURATION:PT1H\r\n"
                                          "RRULE:FREQ=DAILY;COUNT=6\r\nEXDATE;VALUE=DATE:20250304\r\n"
                                          "EXDATE:20250305T090000Z\r\n");
        RecurrenceExpander expander(series.master());
        IcsTime moved;
        moved.kind = IcsTime::Kind::zoned;
        moved.zone = QTimeZone("America/New_York");
        moved.date = QDate(2025, 3, 6);
        moved.time = QTime(4, 0); // 10:00 in Berlin
        expander.addOverride(moved);
        QStringList days;
        const qint64 from = QDateTime(QDate(2025, 3, 1), QTime(0, 0)).toMSecsSinceEpoch();
        for (const auto &o : expander.occurrences(from, from + 30 * 86400000LL, 100))
            days.append(QDateTime::fromMSecsSinceEpoch(o.startMs).toString(QStringLiteral("dd HH:mm")));
        QCOMPARE(days, (QStringList { "03 10:00", "07 10:00", "08 10:00" }));
    }

    void capPerQuery()
    {
        const Series series = parseSeries("DTSTART:20250301T000000Z\r\nRRULE:FREQ=DAILY\r\n");
        RecurrenceExpander expander(series.master());
        const qint64 from = QDateTime(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
        const auto first = expander.occurrences(from, from + 4000LL * 86400000, 25);
        QCOMPARE(first.size(), 25);
        QCOMPARE(
            first.first().startMs, QDateTime(QDate(2025, 3, 1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch());
    }
};

QTEST_GUILESS_MAIN(TestRecurrenceExpander)
#include "tst_recurrenceexpander.moc"
