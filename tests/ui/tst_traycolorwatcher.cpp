#include "FakeTray.h"
#include "TrayColorWatcher.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

const QColor light(0xee, 0xee, 0xec);
const QColor dark(0x2e, 0x34, 0x36);

enum class Event {
    colorsChanged,
    otherPropertyChanged,
    otherWindowChanged,
    newManager,
    otherScreensManager,
    managerGone,
    managerRestarted
};

} // namespace

Q_DECLARE_METATYPE(Event)

class tst_TrayColorWatcher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The tray at start: manager 7 without a usable colour yet (a panel that has
    // not styled itself). Then one thing happens on the display.
    void followsTheTray_data()
    {
        QTest::addColumn<Event>("event");
        QTest::addColumn<QColor>("expected"); // invalid: none
        QTest::addColumn<int>("changes");
        QTest::newRow("the panel styles itself later") << Event::colorsChanged << light << 1;
        QTest::newRow("another property of the manager") << Event::otherPropertyChanged << QColor() << 0;
        QTest::newRow("the colours of some other window") << Event::otherWindowChanged << QColor() << 0;
        QTest::newRow("a new manager takes the tray") << Event::newManager << dark << 1;
        QTest::newRow("another screen's tray") << Event::otherScreensManager << QColor() << 0;
        QTest::newRow("the panel quits") << Event::managerGone << QColor() << 0;
        QTest::newRow("the panel restarts") << Event::managerRestarted << dark << 1;
    }
    void followsTheTray()
    {
        QFETCH(Event, event);
        QFETCH(QColor, expected);
        QFETCH(int, changes);

        FakeTray fake;
        fake.owner = 7;
        fake.foregrounds = { { 7, std::nullopt }, { 9, dark } };
        TrayColorWatcher watcher(fake.tray());
        QCOMPARE(watcher.manager(), 7u);
        QSignalSpy changed(&watcher, &TrayColorWatcher::foregroundChanged);

        // Whatever the colours say now, only an event should make the watcher look again.
        fake.foregrounds[7] = light;
        switch (event) {
        case Event::colorsChanged:
            FakeTray::propertyChanged(watcher, 7, FakeTray::colors);
            break;
        case Event::otherPropertyChanged:
            FakeTray::propertyChanged(watcher, 7, FakeTray::otherAtom);
            break;
        case Event::otherWindowChanged:
            FakeTray::propertyChanged(watcher, 8, FakeTray::colors);
            break;
        case Event::newManager:
            fake.owner = 9;
            FakeTray::announced(watcher, 9);
            break;
        case Event::otherScreensManager:
            FakeTray::announced(watcher, 9, FakeTray::selection + 100);
            break;
        case Event::managerGone:
            fake.owner = 0;
            FakeTray::destroyed(watcher, 7);
            QCOMPARE(watcher.manager(), 0u);
            break;
        case Event::managerRestarted:
            fake.owner = 0;
            FakeTray::destroyed(watcher, 7);
            fake.owner = 9;
            FakeTray::announced(watcher, 9);
            break;
        }
        QCOMPARE(watcher.foreground().value_or(QColor()), expected);
        QCOMPARE(changed.count(), changes);
        // Selected before read: a change in between raises an event instead of going unseen.
        QVERIFY(!fake.readBeforeWatch);
        QVERIFY(fake.watched.contains(watcher.manager()) || watcher.manager() == 0);
    }

    void unchangedColoursSayNothing()
    {
        FakeTray fake;
        fake.owner = 7;
        fake.foregrounds = { { 7, light } };
        TrayColorWatcher watcher(fake.tray());
        QSignalSpy changed(&watcher, &TrayColorWatcher::foregroundChanged);
        // Panels rewrite the property on every style update, mostly with the same colours.
        FakeTray::propertyChanged(watcher, 7, FakeTray::colors);
        FakeTray::announced(watcher, 7);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(watcher.foreground().value_or(QColor()), light);
    }

    // Off X11 (here: offscreen) there is no tray and nothing to filter.
    void inertWithoutX11()
    {
        TrayColorWatcher watcher;
        QCOMPARE(watcher.manager(), 0u);
        QVERIFY(!watcher.foreground());
        QSignalSpy changed(&watcher, &TrayColorWatcher::foregroundChanged);
        FakeTray::announced(watcher, 9);
        QCOMPARE(changed.count(), 0);
    }
};

QTEST_MAIN(tst_TrayColorWatcher)
#include "tst_traycolorwatcher.moc"
