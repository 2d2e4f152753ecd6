#include "ZoneOffsets.h"

#include <QDateTime>
#include <QTest>

namespace {

constexpr qint64 dayMs = 86400000;
constexpr qint64 epochJulianDay = 2440588;

QDateTime qtInstant(qint64 wall, const QTimeZone &zone)
{
    const qint64 day = wall >= 0 ? wall / dayMs : -((-wall + dayMs - 1) / dayMs);
    return QDateTime(QDate::fromJulianDay(day + epochJulianDay), QTime::fromMSecsSinceStartOfDay(int(wall - day * dayMs)),
        zone);
}

qint64 wallOf(QDate date, QTime time)
{
    return (date.toJulianDay() - epochJulianDay) * dayMs + time.msecsSinceStartOfDay();
}

} // namespace

class tst_ZoneOffsets : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The table stands in for Qt's own conversion: wherever it answers it
    // must answer exactly as Qt does, and it must answer nearly everywhere,
    // or month steps silently fall back to the slow lookup.
    void agreesWithQt_data()
    {
        QTest::addColumn<QTimeZone>("zone");
        QTest::addColumn<QDate>("from");
        QTest::addColumn<bool>("answers"); ///< whether the table is meant to answer for that year

        // clang-format off
        QTest::newRow("Berlin") << QTimeZone("Europe/Berlin") << QDate(2025, 1, 1) << true;
        QTest::newRow("Santiago, changes at midnight") << QTimeZone("America/Santiago") << QDate(2026, 1, 1) << true;
        QTest::newRow("Lord Howe, half an hour") << QTimeZone("Australia/Lord_Howe") << QDate(2026, 1, 1) << true;
        QTest::newRow("Apia, a day skipped") << QTimeZone("Pacific/Apia") << QDate(2011, 6, 1) << true;
        QTest::newRow("Goose Bay, back over midnight") << QTimeZone("America/Goose_Bay") << QDate(2010, 6, 1) << true;
        QTest::newRow("Tokyo, no changes") << QTimeZone("Asia/Tokyo") << QDate(2025, 1, 1) << true;
        // Qt does not list the changes it works out past the zone file's last year.
        QTest::newRow("past the zone file's own years") << QTimeZone("Europe/Berlin") << QDate(2060, 1, 1) << false;
        // Takes the branch UTC would, with an offset that shows a wrong sign.
        QTest::newRow("fixed offset") << QTimeZone(5 * 3600 + 1800) << QDate(2025, 1, 1) << true;
        // clang-format on
    }

    void agreesWithQt()
    {
        QFETCH(QTimeZone, zone);
        QFETCH(QDate, from);
        QFETCH(bool, answers);
        QVERIFY(zone.isValid());
        const auto table = ZoneOffsets::of(zone);
        QVERIFY(table);

        // A year in steps of 47 minutes reaches every minute of the hour.
        const qint64 first = wallOf(from, QTime(0, 0));
        const qint64 last = wallOf(from.addYears(1), QTime(0, 0));
        int asked = 0;
        int answered = 0;
        for (qint64 wall = first; wall < last; wall += 47 * 60000) {
            ++asked;
            qint64 ms = 0;
            if (!table->instantOf(wall, &ms))
                continue;
            ++answered;
            const QDateTime expected = qtInstant(wall, zone);
            QVERIFY2(expected.isValid() && ms == expected.toMSecsSinceEpoch(),
                qPrintable(QString("%1 -> %2, table %3").arg(wall).arg(expected.toMSecsSinceEpoch()).arg(ms)));
        }
        if (answers)
            QVERIFY2(answered > asked * 97 / 100, qPrintable(QString("%1 of %2").arg(answered).arg(asked)));
    }

    // An unknown zone leaves every conversion to Qt, rather than to a table of nothing.
    void noTableForAnInvalidZone() { QVERIFY(!ZoneOffsets::of(QTimeZone())); }
};

QTEST_GUILESS_MAIN(tst_ZoneOffsets)
#include "tst_zoneoffsets.moc"
