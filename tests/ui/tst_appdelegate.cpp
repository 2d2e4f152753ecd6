#include "AppDelegate.h"
#include "CalendarSources.h"
#include "ContentFixture.h"
#include "EventManager.h"
#include "FakeClock.h"
#include "FakeEventStore.h"
#include "FakeLoginItem.h"
#include "IcsEventStore.h"
#include "PopoverWindow.h"
#include "SettingsManager.h"
#include "StatusBarController.h"
#include "TestFiles.h"
#include "ZonePin.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

AppServices services(QTemporaryDir &dir)
{
    AppServices services;
    services.clock = std::make_unique<FakeClock>(QDateTime(QDate(2026, 12, 5), QTime(10, 0)));
    services.eventStore = std::make_unique<FakeEventStore>();
    services.settings
        = std::make_unique<SettingsFile>(dir.filePath(QStringLiteral("Moriva.conf")));
    services.loginItem = std::make_unique<FakeLoginItem>();
    services.trayProbe = [] { return TrayHostWatcher::Host::none; };
    services.followDesktopScheme = false;
    return services;
}

/** Built as main() builds it: one settings file, read for the calendars and written by the manager. */
std::unique_ptr<AppDelegate> launchOn(QTemporaryDir &dir, const QString &settingsPath)
{
    AppServices s = services(dir);
    s.settings = std::make_unique<SettingsFile>(settingsPath);
    s.eventStore = std::make_unique<IcsEventStore>(CalendarSources::fromSettings(*s.settings));
    return std::make_unique<AppDelegate>(std::move(s));
}

} // namespace

class tst_AppDelegate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/moriva-test-bus");
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/moriva-test-bus");
        QVERIFY(pinLocalZone("Europe/Berlin"));
    }

    void launchesOnceOnTodayAndShowsNoWindow()
    {
        QTemporaryDir dir;
        AppDelegate delegate(services(dir));
        QSignalSpy finished(&delegate, &AppDelegate::didFinishLaunching);
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(delegate.eventManager()->currentMonth().toString("yyyy-MM"), QStringLiteral("2026-12"));
        QCOMPARE(delegate.eventManager()->selectedDate().date(), QDate(2026, 12, 5));

        // Whatever launching queued has run once a call queued after it has.
        bool fenced = false;
        QMetaObject::invokeMethod(this, [&fenced] { fenced = true; }, Qt::QueuedConnection);
        QTRY_VERIFY(fenced);
        QCOMPARE(finished.count(), 1);
        for (QWidget *widget : QApplication::topLevelWidgets())
            QVERIFY2(!widget->isVisible(), qPrintable(widget->objectName()));
    }

    // The whole app over a real settings file: a switch flipped in the settings
    // panel reaches the file beside what was there, a damaged file is kept
    // aside, and the next start shows the user's choice and calendars.
    void settingsPanelChangeSurvivesARestart_data()
    {
        QTest::addColumn<QByteArray>("stored"); // CAL: the calendar folder
        QTest::addColumn<bool>("damaged");
        QTest::newRow("as the app writes it")
            << QByteArray("[General]\ncalendarSources=CAL\nweekStart=Monday\n\n[window]\nlastScreen=DP-1\n") << false;
        QTest::newRow("damaged") << QByteArray("[General]\ncalendarSources=CAL\nweekStart Monday\n") << true;
    }
    void settingsPanelChangeSurvivesARestart()
    {
        QFETCH(QByteArray, stored);
        QFETCH(bool, damaged);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("config/Moriva/Moriva.conf"));
        const QString calendars = dir.filePath(QStringLiteral("cal"));
        QVERIFY(writeFile(calendars + QStringLiteral("/a.ics"),
            icsCalendar("BEGIN:VEVENT\r\nUID:a\r\nDTSTART:20261205T150000Z\r\n"
                        "DURATION:PT1H\r\nSUMMARY:Review\r\nEND:VEVENT\r\n")));
        stored.replace("CAL", calendars.toUtf8());
        QVERIFY(writeFile(path, stored));

        {
            auto delegate = launchOn(dir, path);
            delegate->openPopover(); // before launching has finished: the request must be kept
            QTRY_VERIFY(delegate->statusBarController() && delegate->statusBarController()->isPopoverShown());
            QWidget *content = delegate->statusBarController()->popover()->content();
            auto *gear = content->findChild<QAbstractButton *>(QStringLiteral("settingsButton"));
            QTest::mouseClick(gear, Qt::LeftButton, Qt::NoModifier, gear->rect().center());
            QAbstractButton *dots = nullptr;
            QTRY_VERIFY((dots = content->findChild<QAbstractButton *>(QStringLiteral("showEventDotsSwitch")))
                && dots->isVisible());
            QTest::mouseClick(dots, Qt::LeftButton, Qt::NoModifier, dots->rect().center());
            QTRY_VERIFY(!delegate->settingsManager()->showEventDots());
        }

        const QSettings onDisk(path, QSettings::IniFormat);
        QCOMPARE(onDisk.value("showEventDots").toString(), QStringLiteral("false"));
        QCOMPARE(onDisk.value("calendarSources").toString(), calendars);
        QCOMPARE(readFile(path + QStringLiteral(".damaged")), damaged ? stored : QByteArray());
        if (!damaged)
            QCOMPARE(onDisk.value("window/lastScreen").toString(), QStringLiteral("DP-1"));

        auto restarted = launchOn(dir, path);
        QSignalSpy finished(restarted.get(), &AppDelegate::didFinishLaunching);
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY(!restarted->settingsManager()->showEventDots());
        QTRY_COMPARE_WITH_TIMEOUT(restarted->eventManager()->selectedDayEvents().size(), 1, 20000);
    }

    void joinNext_data()
    {
        QTest::addColumn<QString>("start"); // of the one event, a Zoom meeting, on the clock's day
        QTest::addColumn<bool>("beforeLaunching");
        QTest::addColumn<bool>("joins"); // otherwise the popover opens

        QTest::newRow("meeting in five minutes") << "10:05" << false << true;
        QTest::newRow("meeting in an hour") << "11:00" << false << false;
        QTest::newRow("started by the shortcut, calendars still loading") << "10:05" << true << true;
    }

    void joinNext()
    {
        QFETCH(QString, start);
        QFETCH(bool, beforeLaunching);
        QFETCH(bool, joins);

        QTemporaryDir dir;
        AppServices s = services(dir);
        auto *opener = new RecordingUrlOpener;
        s.urlOpener.reset(opener);
        auto *store = static_cast<FakeEventStore *>(s.eventStore.get());
        auto standup
            = std::const_pointer_cast<CalendarEvent>(FakeEventStore::record(QStringLiteral("Standup"),
                QStringLiteral("2026-12-05T") + start, QStringLiteral("2026-12-05T") + start));
        standup->end = standup->start.addSecs(3600);
        standup->notes = QStringLiteral("Join Zoom Meeting https://acme.zoom.us/j/123");
        AppDelegate delegate(std::move(s));
        if (beforeLaunching) {
            // The store has not read the calendars yet; they arrive a moment after start-up.
            delegate.joinNextMeeting();
            QTRY_VERIFY(delegate.statusBarController());
            store->all = { standup };
            store->emitChanged();
        } else {
            store->all = { standup };
            QTRY_VERIFY(delegate.statusBarController());
            store->emitChanged();
            delegate.joinNextMeeting();
        }
        if (joins)
            QTRY_COMPARE(opener->opened, QList<QUrl> { QUrl(QStringLiteral("https://acme.zoom.us/j/123")) });
        else
            QTRY_VERIFY(delegate.statusBarController()->isPopoverShown());
        QCOMPARE(delegate.statusBarController()->isPopoverShown(), !joins);
        QCOMPARE(delegate.statusBarController()->toolTipText().endsWith(QStringLiteral("\nStandup in 1 h")),
            start == QLatin1String("11:00"));
    }
};

QTEST_MAIN(tst_AppDelegate)
#include "tst_appdelegate.moc"
