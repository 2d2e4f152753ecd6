#include "ColorSchemeWatcher.h"
#include "DayChangeWatcher.h"
#include "EventManager.h"
#include "FakeClock.h"
#include "FakeEventStore.h"
#include "FakeLoginItem.h"
#include "PopoverWindow.h"
#include "SettingsManager.h"
#include "StatusBarController.h"
#include "Theme.h"
#include "ZonePin.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSettings>
#include <QSignalSpy>
#include <QStyle>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <QtTest>

#include <memory>

namespace {

/** The shell around stand-in content: every content it builds is a plain widget with a serial number. */
struct Shell
{
    QTemporaryDir dir;
    FakeClock clock { QDateTime(QDate(2026, 12, 5), QTime(10, 0)) };
    FakeEventStore store;
    FakeLoginItem loginItem;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<EventManager> eventManager;
    std::unique_ptr<SettingsManager> settingsManager;
    ColorSchemeWatcher colorScheme;
    std::unique_ptr<StatusBarController> controller;
    int contentsBuilt = 0;

    Shell()
    {
        settings
            = std::make_unique<QSettings>(dir.filePath(QStringLiteral("Moriva.conf")), QSettings::IniFormat);
        eventManager = std::make_unique<EventManager>(&store, &clock);
        settingsManager = std::make_unique<SettingsManager>(settings.get(), &loginItem);
        controller = std::make_unique<StatusBarController>(
            eventManager.get(), settingsManager.get(), &clock,
            [this] {
                auto *content = new QWidget;
                content->setObjectName(QStringLiteral("content_%1").arg(++contentsBuilt));
                return content;
            },
            &colorScheme, nullptr);
        eventManager->goToToday();
    }

    PopoverWindow *popover() const { return controller->popover(); }
    void deactivate() const
    {
        QEvent event(QEvent::WindowDeactivate);
        QCoreApplication::sendEvent(popover(), &event);
    }
};

QStringList entries(const QMenu &menu)
{
    QStringList texts;
    for (QAction *action : menu.actions())
        texts.append(action->isSeparator() ? QStringLiteral("--") : action->text());
    return texts;
}

} // namespace

class tst_StatusBarController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<QMenu *>();
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/moriva-test-bus");
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/moriva-test-bus");
        qunsetenv("XDG_CURRENT_DESKTOP");
        QVERIFY(pinLocalZone("Europe/Berlin"));
        QVERIFY(pinLocale(QLocale(QLocale::English, QLocale::UnitedStates)));
    }

    void cleanup()
    {
        QApplication::setStyle(QStringLiteral("Fusion"));
        QApplication::setPalette(QPalette());
    }

    void iconShowsTodayAndRedrawsOnEverySettingsChange()
    {
        Shell shell;
        QCOMPARE(shell.controller->iconDay(), 5);
        QSignalSpy updated(shell.controller.get(), &StatusBarController::iconUpdated);
        shell.clock.setNow(QDateTime(QDate(2026, 12, 6), QTime(0, 10)));
        // Any setting, even one that changes nothing about the icon, redraws it.
        shell.settingsManager->setWeekStart(WeekStart::monday);
        QCOMPARE(updated.count(), 1);
        QCOMPARE(shell.controller->iconDay(), 6);
    }

    void hourlyTickComesAnHourAfterStart()
    {
        Shell shell;
        const QTimer *timer = shell.controller->hourlyTimer();
        QVERIFY(timer->isActive());
        QVERIFY(!timer->isSingleShot());
        QCOMPARE(timer->interval(), 3'600'000);
        QVERIFY(timer->remainingTime() > 3'590'000);
        shell.clock.setNow(QDateTime(QDate(2026, 12, 7), QTime(9, 0)));
        shell.controller->hourlyTick();
        QCOMPARE(shell.controller->iconDay(), 7);
    }

    void midnightRefreshesIconAndToday_data()
    {
        QTest::addColumn<bool>("popoverOpen");
        QTest::newRow("popover closed: fresh content") << false;
        QTest::newRow("popover open: refetched in place") << true;
    }
    void midnightRefreshesIconAndToday()
    {
        QFETCH(bool, popoverOpen);
        Shell shell;
        shell.clock.setNow(QDateTime(QDate(2026, 12, 5), QTime(23, 59, 30)));
        shell.controller->updateIcon();
        if (popoverOpen)
            shell.controller->openPopover();
        const int built = shell.contentsBuilt;
        QSignalSpy redrawn(shell.eventManager.get(), &EventManager::selectedDayEventsChanged);

        shell.clock.setNow(QDateTime(QDate(2026, 12, 6), QTime(0, 0, 1)));
        shell.controller->dayChangeWatcher()->midnightReached();

        QCOMPARE(shell.controller->iconDay(), 6);
        QCOMPARE(shell.controller->isPopoverShown(), popoverOpen);
        if (popoverOpen)
            QVERIFY(redrawn.count() > 0);
        else
            QCOMPARE(shell.contentsBuilt, built + 1);
        QVERIFY(shell.controller->dayChangeWatcher()->midnightTimer()->isActive());
    }

    void deactivationWatchFollowsOpenAndClose()
    {
        Shell shell;
        QSignalSpy closed(shell.controller.get(), &StatusBarController::popoverClosed);
        QVERIFY(!shell.controller->isDeactivationWatchInstalled());

        shell.controller->openPopover();
        QVERIFY(shell.controller->isPopoverShown());
        QVERIFY(shell.controller->isDeactivationWatchInstalled());

        // Closed by the controller: watch gone, one close.
        shell.controller->closePopover();
        QVERIFY(!shell.controller->isDeactivationWatchInstalled());
        QCOMPARE(closed.count(), 1);
        shell.controller->closePopover();
        QCOMPARE(closed.count(), 1);

        // Closed from outside (the window was hidden under us): the watch goes too.
        shell.controller->openPopover();
        shell.popover()->hide();
        QVERIFY(!shell.controller->isDeactivationWatchInstalled());
        QCOMPARE(closed.count(), 2);

        // A deactivation after the close is not heard: the watch is really gone.
        shell.deactivate();
        QCOMPARE(closed.count(), 2);

        // Opening twice in a row (a delayed reopen meeting a click) still leaves one watch.
        shell.controller->openPopover();
        shell.controller->openPopover();
        shell.deactivate();
        QVERIFY(!shell.controller->isPopoverShown());
        QCOMPARE(closed.count(), 3);
        QVERIFY(!shell.controller->isDeactivationWatchInstalled());
    }

    void trayClickAfterDeactivation_data()
    {
        QTest::addColumn<int>("clickAfterMs");
        QTest::addColumn<bool>("opens");
        QTest::newRow("the click that took the focus away") << 50 << false;
        QTest::newRow("a click well after") << 800 << true;
    }
    void trayClickAfterDeactivation()
    {
        QFETCH(int, clickAfterMs);
        QFETCH(bool, opens);
        Shell shell;
        shell.controller->handleActivation(QSystemTrayIcon::Trigger);
        QVERIFY(shell.controller->isPopoverShown());
        shell.deactivate();
        QVERIFY(!shell.controller->isPopoverShown());
        shell.clock.advanceMs(clickAfterMs);
        shell.controller->handleActivation(QSystemTrayIcon::Trigger);
        QCOMPARE(shell.controller->isPopoverShown(), opens);
    }

    void leftClickToggles()
    {
        Shell shell;
        shell.controller->handleActivation(QSystemTrayIcon::Trigger);
        QVERIFY(shell.controller->isPopoverShown());
        QCOMPARE(shell.popover()->size(), QSize(320, 520));
        shell.clock.advanceMs(1000);
        shell.controller->handleActivation(QSystemTrayIcon::Trigger);
        QVERIFY(!shell.controller->isPopoverShown());
    }

    void settingsChangeWhileOpenReopensWithFreshContent()
    {
        Shell shell;
        shell.controller->openPopover();
        QWidget *before = shell.popover()->content();
        QSignalSpy opened(shell.controller.get(), &StatusBarController::popoverOpened);
        shell.settingsManager->setShowEventDots(false);
        QVERIFY(!shell.controller->isPopoverShown());
        QVERIFY(shell.popover()->content() != before);
        QVERIFY(!shell.controller->isDeactivationWatchInstalled());
        QTRY_VERIFY_WITH_TIMEOUT(shell.controller->isPopoverShown(), 1000);
        QCOMPARE(opened.count(), 1);
        QVERIFY(shell.controller->isDeactivationWatchInstalled());
    }

    void settingsChangeWhileClosedOnlyRebuilds()
    {
        Shell shell;
        const int built = shell.contentsBuilt;
        shell.settingsManager->setWeekStart(WeekStart::monday);
        QCOMPARE(shell.contentsBuilt, built + 1);
        QTest::qWait(250);
        QVERIFY(!shell.controller->isPopoverShown());
    }

    void screenChangeClosesShortlyAfter()
    {
        Shell shell;
        shell.controller->openPopover();
        Q_EMIT shell.popover()->windowHandle()->screenChanged(QGuiApplication::primaryScreen());
        QVERIFY(shell.controller->isPopoverShown());
        QTRY_VERIFY_WITH_TIMEOUT(!shell.controller->isPopoverShown(), 1000);
    }

    void menuEntries_data()
    {
        QTest::addColumn<bool>("withOpenEntry");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("XEmbed tray: the quit entry")
            << false << QStringList { QStringLiteral("Quit Moriva") };
        QTest::newRow("StatusNotifierItem host: the popover stays reachable")
            << true
            << QStringList { QStringLiteral("Open Calendar"), QStringLiteral("--"),
                   QStringLiteral("Quit Moriva") };
    }
    void menuEntries()
    {
        QFETCH(bool, withOpenEntry);
        QFETCH(QStringList, expected);
        Shell shell;
        QMenu menu;
        shell.controller->populateMenu(&menu, withOpenEntry);
        QCOMPARE(entries(menu), expected);
        if (withOpenEntry) {
            menu.actions().constFirst()->trigger();
            QVERIFY(shell.controller->isPopoverShown());
        }
    }

    void rightClickShowsAFreshMenuAndLeavesThePopover()
    {
        Shell shell;
        QSignalSpy shown(shell.controller.get(), &StatusBarController::menuShown);
        shell.controller->handleActivation(QSystemTrayIcon::Context);
        shell.controller->handleActivation(QSystemTrayIcon::Context);
        QCOMPARE(shown.count(), 2);
        auto *first = shown.at(0).at(0).value<QMenu *>();
        auto *second = shown.at(1).at(0).value<QMenu *>();
        QVERIFY(first != second);
        QCOMPARE(entries(*second), QStringList { QStringLiteral("Quit Moriva") });
        QVERIFY(!shell.controller->isPopoverShown());
        second->close();
        first->close();
    }

    void forcedAppearanceOnTheWholeApplication_data()
    {
        QTest::addColumn<AppearanceMode>("mode");
        QTest::addColumn<bool>("dark");
        QTest::newRow("Dark") << AppearanceMode::dark << true;
        QTest::newRow("Light") << AppearanceMode::light << false;
    }
    void forcedAppearanceOnTheWholeApplication()
    {
        QFETCH(AppearanceMode, mode);
        QFETCH(bool, dark);
        Shell shell;
        shell.settingsManager->setAppearanceMode(mode);
        const QPalette expected = dark ? Theme::darkPalette() : Theme::lightPalette();
        QCOMPARE(QApplication::style()->name().toLower(), QStringLiteral("fusion"));
        for (auto role : { QPalette::Window, QPalette::WindowText, QPalette::Base, QPalette::Highlight })
            QCOMPARE(QApplication::palette().color(QPalette::Active, role),
                expected.color(QPalette::Active, role));
    }

    void systemAppearanceFollowsTheDesktopLive()
    {
        Shell shell;
        shell.settingsManager->setAppearanceMode(AppearanceMode::system);
        const QColor platformWindow = QApplication::palette().color(QPalette::Window);
        QVERIFY2(platformWindow.lightness() > 128, "the offscreen platform palette is expected to be light");

        shell.colorScheme.setScheme(ColorSchemeWatcher::Scheme::dark);
        QCOMPARE(
            QApplication::palette().color(QPalette::Window), Theme::darkPalette().color(QPalette::Window));
        shell.colorScheme.setScheme(ColorSchemeWatcher::Scheme::light);
        QCOMPARE(QApplication::palette().color(QPalette::Window), platformWindow);

        // With Dark forced, the desktop's scheme leaves the application alone.
        shell.settingsManager->setAppearanceMode(AppearanceMode::dark);
        shell.colorScheme.setScheme(ColorSchemeWatcher::Scheme::dark);
        shell.colorScheme.setScheme(ColorSchemeWatcher::Scheme::light);
        QCOMPARE(
            QApplication::palette().color(QPalette::Window), Theme::darkPalette().color(QPalette::Window));
    }
};

QTEST_MAIN(tst_StatusBarController)
#include "tst_statusbarcontroller.moc"
