#include "DayChangeWatcher.h"
#include "FakeClock.h"
#include "ZonePin.h"

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

class tst_DayChangeWatcher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // No system bus in tests: the wake watch must simply stay quiet.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/moriva-test-bus");
    }

    void cleanup() { QVERIFY(pinLocalZone("UTC")); }

    void untilNextDay_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<qint64>("expectedMs");
        // clang-format off
        QTest::newRow("half a minute before midnight") << QByteArray("Europe/Berlin") << QDateTime(QDate(2026, 12, 5), QTime(23, 59, 30)) << qint64(30'000);
        QTest::newRow("the 25-hour day in Berlin") << QByteArray("Europe/Berlin") << QDateTime(QDate(2026, 10, 25), QTime(0, 0)) << qint64(25 * 3'600'000);
        QTest::newRow("midnight skipped in Santiago: the day starts at 01:00") << QByteArray("America/Santiago") << QDateTime(QDate(2026, 9, 5), QTime(23, 0)) << qint64(3'600'000);
        QTest::newRow("year end") << QByteArray("Asia/Tokyo") << QDateTime(QDate(2026, 12, 31), QTime(12, 0)) << qint64(12 * 3'600'000);
        // clang-format on
    }
    void untilNextDay()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, now);
        QFETCH(qint64, expectedMs);
        QVERIFY(pinLocalZone(zone));
        QCOMPARE(DayChangeWatcher::msUntilNextDay(QDateTime(now.date(), now.time())), expectedMs);
    }

    void midnightAndResume()
    {
        QVERIFY(pinLocalZone("Europe/Berlin"));
        FakeClock clock(QDateTime(QDate(2026, 12, 5), QTime(23, 59, 30)));
        DayChangeWatcher watcher(&clock);
        QSignalSpy refresh(&watcher, &DayChangeWatcher::refreshNeeded);
        watcher.start();
        QCOMPARE(watcher.midnightTimer()->timerType(), Qt::PreciseTimer);

        clock.advanceMs(31'000);
        watcher.midnightReached();
        QCOMPARE(refresh.count(), 1);
        // Re-armed for the following midnight, not left to the hourly tick.
        QCOMPARE(watcher.midnightTimer()->interval(), 86'400'000 - 1'000 + int(DayChangeWatcher::slackMs));

        clock.advanceMs(86'400'000 - 2'000); // the wall clock was set back meanwhile: still the 6th
        watcher.midnightReached();
        QCOMPARE(refresh.count(), 1);
        QCOMPARE(watcher.midnightTimer()->interval(), 1'000 + int(DayChangeWatcher::slackMs));
        // Asleep over midnight: the timer's monotonic clock stood still with the machine.
        clock.setNow(QDateTime(QDate(2026, 12, 7), QTime(7, 30)));
        watcher.systemResumed();
        QCOMPARE(refresh.count(), 2);
        QCOMPARE(watcher.midnightTimer()->interval(), int(16.5 * 3'600'000) + int(DayChangeWatcher::slackMs));
    }

    void unchangedZoneIsQuiet()
    {
        FakeClock clock;
        DayChangeWatcher watcher(&clock);
        QSignalSpy refresh(&watcher, &DayChangeWatcher::refreshNeeded);
        watcher.start();
        watcher.checkTimeZone();
        QCOMPARE(refresh.count(), 0);
        // TZ is part of what the zone is, so a changed TZ counts as a new zone.
        qputenv("TZ", "Asia/Kolkata");
        watcher.checkTimeZone();
        QCOMPARE(refresh.count(), 1);
    }
};

QTEST_MAIN(tst_DayChangeWatcher)
#include "tst_daychangewatcher.moc"
