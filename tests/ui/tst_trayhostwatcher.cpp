#include "TrayHostWatcher.h"

#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(TrayHostWatcher::Host)

class tst_TrayHostWatcher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void waitsForTheHost_data()
    {
        QTest::addColumn<int>("appearsOnPoll");
        QTest::addColumn<TrayHostWatcher::Host>("host");
        QTest::newRow("panel already there") << 1 << TrayHostWatcher::Host::statusNotifier;
        QTest::newRow("XEmbed tray starts a little later") << 4 << TrayHostWatcher::Host::xembed;
        QTest::newRow("panel never comes: icon made anyway") << 1000 << TrayHostWatcher::Host::none;
    }
    void waitsForTheHost()
    {
        QFETCH(int, appearsOnPoll);
        QFETCH(TrayHostWatcher::Host, host);
        int polls = 0;
        const auto probe = [&] {
            ++polls;
            return polls >= appearsOnPoll ? host : TrayHostWatcher::Host::none;
        };
        TrayHostWatcher watcher(probe, 10, 200);
        QSignalSpy ready(&watcher, &TrayHostWatcher::ready);
        watcher.start();
        QTRY_COMPARE(ready.count(), 1);
        QCOMPARE(ready.at(0).at(0).value<TrayHostWatcher::Host>(), host);
        if (host == TrayHostWatcher::Host::none)
            QVERIFY(polls >= 200 / 10);
        else
            QCOMPARE(polls, appearsOnPoll);
        // Exactly once: a finished watcher neither looks again nor announces again.
        const int pollsWhenReady = polls;
        watcher.start();
        QCOMPARE(ready.count(), 1);
        QCOMPARE(polls, pollsWhenReady);
    }

    void missingTrayIsNamedInOneLine_data()
    {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<bool>("wayland");
        QTest::addColumn<QString>("names");
        QTest::newRow("GNOME on Wayland") << "ubuntu:GNOME" << true << "AppIndicator";
        QTest::newRow("sway with waybar") << "sway" << true << "tray";
        QTest::newRow("a bare X11 window manager") << "" << false << "system tray";
    }
    void missingTrayIsNamedInOneLine()
    {
        QFETCH(QString, desktop);
        QFETCH(bool, wayland);
        QFETCH(QString, names);
        const QString line = TrayHostWatcher::missingTrayMessage(desktop, wayland);
        QVERIFY2(line.contains(names), qPrintable(line));
        QVERIFY(!line.contains(QLatin1Char('\n')));
    }

    void offscreenHasNoTray()
    {
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/moriva-test-bus");
        QCOMPARE(TrayHostWatcher::probeSystem(), TrayHostWatcher::Host::none);
    }
};

QTEST_MAIN(tst_TrayHostWatcher)
#include "tst_trayhostwatcher.moc"
