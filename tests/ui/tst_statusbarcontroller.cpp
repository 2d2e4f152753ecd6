#include "ColorSchemeWatcher.h"
#include "DateIconRenderer.h"
#include "DayChangeWatcher.h"
#include "EventManager.h"
#include "FakeClock.h"
#include "FakeEventStore.h"
#include "FakeLoginItem.h"
#include "FakeTray.h"
#include "PopoverWindow.h"
#include "SettingsFile.h"
#include "SettingsManager.h"
#include "StatusBarController.h"
#include "TestFiles.h"
#include "Theme.h"
#include "ZonePin.h"

#include <QApplication>
#include <QWindow>
#include <QtTest>

namespace {

// The shell around stand-in content: every content it builds is a plain, counted widget.
struct Shell
{
    QTemporaryDir dir;
    bool seeded;
    FakeClock clock { QDateTime(QDate(2026, 12, 5), QTime(10, 0)) };
    FakeEventStore store;
    FakeLoginItem loginItem;
    SettingsFile settings { dir.filePath(QStringLiteral("Moriva.conf")) };
    EventManager events { &store, &clock };
    SettingsManager settingsManager { &settings, &loginItem };
    ColorSchemeWatcher colorScheme;
    int contentsBuilt = 0;
    StatusBarController controller { &events, &settingsManager, &clock,
        [this] {
            ++contentsBuilt;
            return new QWidget;
        },
        &colorScheme, nullptr };

    // storedAppearance: the raw value already in the settings file when Moriva starts.
    explicit Shell(const QString &storedAppearance = QString())
        : seeded(seed(storedAppearance))
    {
        events.goToToday();
    }
    bool seed(const QString &storedAppearance)
    {
        return !storedAppearance.isEmpty()
            && writeFile(dir.filePath(QStringLiteral("Moriva.conf")),
                "[General]\nappearanceMode=" + storedAppearance.toUtf8() + "\n");
    }
    PopoverWindow *popover() const { return controller.popover(); }
    bool shown() const { return controller.isPopoverShown(); }
    void deactivate() const
    {
        QEvent event(QEvent::WindowDeactivate);
        QCoreApplication::sendEvent(popover(), &event);
    }
};

} // namespace

class tst_StatusBarController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
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

    void iconRedrawsHourly()
    {
        Shell shell;
        QCOMPARE(shell.controller.iconDay(), 5);
        QVERIFY(shell.controller.hourlyTimer()->isActive());
        shell.clock.setNow(QDateTime(QDate(2026, 12, 7), QTime(9, 0)));
        shell.controller.hourlyTick();
        QCOMPARE(shell.controller.iconDay(), 7);
    }

    // A panel that names its colours only after taking the tray gets an icon
    // in its colours at once, not on the next hourly tick.
    void iconFollowsTheTrayColours()
    {
        Shell shell;
        FakeTray fake;
        fake.owner = 7;
        fake.foregrounds = { { 7, std::nullopt } };
        auto *watcher = new TrayColorWatcher(fake.tray());
        shell.controller.setTrayColorWatcher(watcher);

        auto pixels = [](const QIcon &icon) { return icon.pixmap(QSize(22, 22), 1.0).toImage(); };
        QSignalSpy updated(&shell.controller, &StatusBarController::iconUpdated);
        const QColor light(0xee, 0xee, 0xec);
        fake.foregrounds[7] = light;
        FakeTray::propertyChanged(*watcher, 7, FakeTray::colors);
        QCOMPARE(updated.count(), 1);
        QCOMPARE(pixels(shell.controller.icon()), pixels(DateIconRenderer::icon(5, light)));
    }

    // An hourly tick alone would leave yesterday's date up for most of an hour: midnight refreshes too.
    void midnightRefreshesIconAndToday()
    {
        for (const bool popoverOpen : { false, true }) {
            Shell shell;
            if (popoverOpen)
                shell.controller.openPopover(); // then refetched in place rather than rebuilt
            const int built = shell.contentsBuilt;
            QSignalSpy redrawn(&shell.events, &EventManager::selectedDayEventsChanged);
            shell.clock.setNow(QDateTime(QDate(2026, 12, 6), QTime(0, 0, 1)));
            shell.controller.dayChangeWatcher()->midnightReached();
            QCOMPARE(shell.controller.iconDay(), 6);
            QCOMPARE(shell.shown(), popoverOpen);
            QVERIFY(popoverOpen ? redrawn.count() > 0 : shell.contentsBuilt == built + 1);
        }
    }

    void closingRemovesTheDeactivationWatch()
    {
        Shell shell;
        QSignalSpy closed(&shell.controller, &StatusBarController::popoverClosed);

        // Closed from outside (the window was hidden under us): the watch goes too, and a later
        // deactivation is not heard.
        shell.controller.openPopover();
        shell.popover()->hide();
        QVERIFY(!shell.controller.isDeactivationWatchInstalled());
        shell.deactivate();
        QCOMPARE(closed.count(), 1);

        // Opened twice in a row (a delayed reopen meeting a click), it still closes on deactivation.
        shell.controller.openPopover();
        shell.controller.openPopover();
        shell.deactivate();
        QCOMPARE(closed.count(), 2);

        // Moving to another screen closes it too, a moment later.
        shell.controller.openPopover();
        Q_EMIT shell.popover()->windowHandle()->screenChanged(QGuiApplication::primaryScreen());
        QVERIFY(shell.shown());
        QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 3, 1000);
    }

    void trayClicks_data()
    {
        QTest::addColumn<bool>("fromHost");
        QTest::addColumn<QString>("closedBy");
        QTest::addColumn<int>("clickAfterMs");
        QTest::addColumn<bool>("opens");
        for (const bool fromHost : { false, true }) {
            const char *tray = fromHost ? "StatusNotifierItem: " : "XEmbed: ";
            QTest::addRow("%sa second click closes", tray) << fromHost << "" << 1000 << false;
            QTest::addRow("%sthe click that took the focus away", tray)
                << fromHost << "deactivation" << 50 << false;
            QTest::addRow("%sa click well after the focus left", tray)
                << fromHost << "deactivation" << 800 << true;
            // The popup closed itself on a press on the icon; the icon's click follows.
            QTest::addRow("%sthe press on the icon that closed the popup", tray)
                << fromHost << "press on icon" << 50 << false;
            QTest::addRow("%sa click at once after Esc", tray) << fromHost << "Esc" << 50 << true;
        }
        // Where the host told the icon's place, a press elsewhere on the panel leaves the icon's next click
        // alone.
        QTest::addRow("StatusNotifierItem: a click at once after a press beside the icon")
            << true << "press beside icon" << 50 << true;
    }
    void trayClicks()
    {
        QFETCH(bool, fromHost);
        QFETCH(QString, closedBy);
        QFETCH(int, clickAfterMs);
        QFETCH(bool, opens);
        Shell shell;
        const QPoint iconPoint(600, 14);
        const auto click = [&] {
            if (fromHost)
                shell.controller.handleHostActivation(iconPoint);
            else
                shell.controller.handleActivation(QSystemTrayIcon::Trigger);
        };
        click();
        QVERIFY(shell.shown());
        if (closedBy == QLatin1String("deactivation"))
            shell.deactivate();
        else if (closedBy == QLatin1String("press on icon"))
            QTest::mousePress(shell.popover(), Qt::LeftButton, {}, shell.popover()->mapFromGlobal(iconPoint));
        else if (closedBy == QLatin1String("press beside icon"))
            QTest::mousePress(shell.popover(), Qt::LeftButton, {},
                shell.popover()->mapFromGlobal(iconPoint - QPoint(150, 0)));
        else if (closedBy == QLatin1String("Esc"))
            QTest::keyClick(shell.popover(), Qt::Key_Escape);
        QCOMPARE(shell.shown(), closedBy.isEmpty());
        shell.clock.advanceMs(clickAfterMs);
        click();
        QCOMPARE(shell.shown(), opens);
    }

    void settingsChangeRebuildsContent()
    {
        for (const bool popoverOpen : { false, true }) {
            Shell shell;
            if (popoverOpen)
                shell.controller.openPopover();
            QWidget *before = shell.popover()->content();
            QSignalSpy opened(&shell.controller, &StatusBarController::popoverOpened);
            shell.settingsManager.setShowEventDots(false);
            QVERIFY(!shell.shown());
            QVERIFY(shell.popover()->content() != before);
            if (popoverOpen) {
                QTRY_COMPARE_WITH_TIMEOUT(opened.count(), 1, 10000);
            } else {
                // A closed popover must not be reopened either: a timer started now, with the
                // reopen's delay, fires after any reopen the change could have scheduled.
                bool fenced = false;
                QTimer::singleShot(StatusBarController::reopenDelayMs, this, [&fenced] { fenced = true; });
                QTRY_VERIFY_WITH_TIMEOUT(fenced, 10000);
                QCOMPARE(opened.count(), 0);
            }
            QCOMPARE(shell.controller.isDeactivationWatchInstalled(), popoverOpen);
        }
    }

    void appearance()
    {
        Shell shell;
        auto window = [] { return QApplication::palette().color(QPalette::Window); };
        const QColor platformWindow = window();

        // System, the default, follows the desktop's scheme live.
        shell.colorScheme.setScheme(ColorSchemeWatcher::Scheme::dark);
        QCOMPARE(window(), Theme::darkPalette().color(QPalette::Window));
        shell.colorScheme.setScheme(ColorSchemeWatcher::Scheme::light);
        QCOMPARE(window(), platformWindow);

        // Light and Dark put a complete palette on the whole application, whatever the desktop says.
        for (const bool dark : { true, false }) {
            shell.settingsManager.setAppearanceMode(dark ? AppearanceMode::dark : AppearanceMode::light);
            shell.colorScheme.setScheme(
                dark ? ColorSchemeWatcher::Scheme::light : ColorSchemeWatcher::Scheme::dark);
            const QPalette expected = dark ? Theme::darkPalette() : Theme::lightPalette();
            for (auto role : { QPalette::Window, QPalette::Text, QPalette::Highlight })
                QCOMPARE(QApplication::palette().color(role), expected.color(role));
        }
    }

    void contentCarriesTheStoredSchemeFromTheStart_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("ownPalette");
        QTest::addColumn<QColor>("base");
        QTest::newRow("Dark") << "Dark" << true << Theme::darkPalette().color(QPalette::Base);
        QTest::newRow("Light") << "Light" << true << Theme::lightPalette().color(QPalette::Base);
        QTest::newRow("System") << "System" << false << QApplication::palette().color(QPalette::Base);
    }

    void contentCarriesTheStoredSchemeFromTheStart()
    {
        QFETCH(QString, stored);
        QFETCH(bool, ownPalette);
        QFETCH(QColor, base);
        Shell shell(stored);
        QVERIFY(shell.seeded);
        QWidget *content = shell.popover()->content();
        QVERIFY(content);
        QCOMPARE(content->testAttribute(Qt::WA_SetPalette), ownPalette);
        QCOMPARE(content->palette().color(QPalette::Base), base);
        // The application itself is left alone until a setting changes.
        QCOMPARE(QApplication::palette().color(QPalette::Base), QPalette().color(QPalette::Base));
    }
};

QTEST_MAIN(tst_StatusBarController)
#include "tst_statusbarcontroller.moc"
