#include "AppDelegate.h"
#include "EventManager.h"
#include "FakeClock.h"
#include "FakeEventStore.h"
#include "FakeLoginItem.h"
#include "PopoverWindow.h"
#include "StatusBarController.h"
#include "ZonePin.h"

#include <QApplication>
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

    void startsInOrderAndShowsNoWindow()
    {
        QTemporaryDir dir;
        AppDelegate delegate(services(dir));
        QVERIFY(delegate.eventManager() && delegate.settingsManager());
        // Launching finishes only once the event loop runs.
        QVERIFY(!delegate.statusBarController());

        int monthChanges = 0;
        bool controllerExistedFirst = false;
        connect(delegate.eventManager(), &EventManager::currentMonthChanged, this, [&] {
            if (++monthChanges == 1)
                controllerExistedFirst = delegate.statusBarController() != nullptr
                    && delegate.statusBarController()->popover()->content() != nullptr;
        });
        QSignalSpy finished(&delegate, &AppDelegate::didFinishLaunching);
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY(controllerExistedFirst);
        QCOMPARE(delegate.eventManager()->currentMonth().toString("yyyy-MM"), QStringLiteral("2026-12"));
        QCOMPARE(delegate.eventManager()->selectedDate().date(), QDate(2026, 12, 5));

        QTest::qWait(50);
        QCOMPARE(finished.count(), 1);
        for (QWidget *widget : QApplication::topLevelWidgets())
            QVERIFY2(!widget->isVisible(), qPrintable(widget->objectName()));
    }

    void openRequestBeforeLaunchingIsKept()
    {
        QTemporaryDir dir;
        AppDelegate delegate(services(dir));
        delegate.openPopover();
        QTRY_VERIFY(delegate.statusBarController() && delegate.statusBarController()->isPopoverShown());
    }
};

QTEST_MAIN(tst_AppDelegate)
#include "tst_appdelegate.moc"
