#include "ContentFixture.h"
#include "SegmentedControl.h"
#include "SettingsView.h"

#include <QLabel>
#include <QSignalSpy>
#include <QToolButton>

class tst_SettingsView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void controlWritesSetting_data();
    void controlWritesSetting();
    void showsStoredValues();
    void closeButtonWritesNothing();
    void keyboardOperatesControls();
};

void tst_SettingsView::initTestCase()
{
    QVERIFY(pinWidgetEnvironment());
}

void tst_SettingsView::controlWritesSetting_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored"); // empty: nothing written
    QTest::addColumn<QStringList>("loginCalls");

    QTest::newRow("Dark") << "appearanceSegment_2"
                          << "appearanceMode"
                          << "Dark" << QStringList();
    QTest::newRow("Light") << "appearanceSegment_1"
                           << "appearanceMode"
                           << "Light" << QStringList();
    QTest::newRow("System again is no change") << "appearanceSegment_0"
                                               << "appearanceMode" << QString() << QStringList();
    QTest::newRow("Monday") << "weekStartSegment_1"
                            << "weekStart"
                            << "Monday" << QStringList();
    QTest::newRow("launch at login off") << "launchAtLoginSwitch"
                                         << "launchAtLogin"
                                         << "false" << QStringList { "unregister" };
    QTest::newRow("event dots off") << "showEventDotsSwitch"
                                    << "showEventDots"
                                    << "false" << QStringList();
}

void tst_SettingsView::controlWritesSetting()
{
    QFETCH(QString, control);
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(QStringList, loginCalls);

    ContentFixture f;
    f.loginItem.calls.clear();
    SettingsView view(f.settings.get());
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QSignalSpy changes(f.settings.get(), &SettingsManager::settingsDidChange);

    auto *button = view.findChild<QAbstractButton *>(control);
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());

    QCOMPARE(changes.count(), stored.isEmpty() ? 0 : 1);
    QCOMPARE(f.loginItem.calls, loginCalls);
    f.settingsFile->sync();
    const QSettings reread(f.settingsFile->fileName(), QSettings::IniFormat);
    if (stored.isEmpty())
        QVERIFY(!reread.contains(key));
    else
        QCOMPARE(reread.value(key).toString(), stored);
    // The panel shows what it wrote.
    if (auto *segment = qobject_cast<QToolButton *>(button))
        QVERIFY(segment->isChecked());
}

void tst_SettingsView::showsStoredValues()
{
    ContentFixture f;
    f.settings->setAppearanceMode(AppearanceMode::dark);
    f.settings->setWeekStart(WeekStart::monday);
    f.settings->setLaunchAtLogin(false);
    SettingsView view(f.settings.get());
    QVERIFY(view.findChild<QAbstractButton *>(QStringLiteral("appearanceSegment_2"))->isChecked());
    QVERIFY(!view.findChild<QAbstractButton *>(QStringLiteral("appearanceSegment_0"))->isChecked());
    QVERIFY(view.findChild<QAbstractButton *>(QStringLiteral("weekStartSegment_1"))->isChecked());
    QVERIFY(!view.findChild<QAbstractButton *>(QStringLiteral("launchAtLoginSwitch"))->isChecked());
    QVERIFY(view.findChild<QAbstractButton *>(QStringLiteral("showEventDotsSwitch"))->isChecked());
    QCOMPARE(view.findChild<QLabel *>(QStringLiteral("versionLabel"))->text(),
        QStringLiteral("Moriva v1.0.0 (2026.08.26)"));
    QCOMPARE(view.size(), QSize(300, 290));

    // A change made elsewhere shows at once.
    f.settings->setShowEventDots(false);
    QVERIFY(!view.findChild<QAbstractButton *>(QStringLiteral("showEventDotsSwitch"))->isChecked());
}

void tst_SettingsView::closeButtonWritesNothing()
{
    ContentFixture f;
    f.view->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.view.get()));
    f.loginItem.calls.clear();
    f.settingsFile->sync();
    const QStringList keysBefore = f.settingsFile->allKeys();
    QSignalSpy changes(f.settings.get(), &SettingsManager::settingsDidChange);

    f.click(f.find(QStringLiteral("settingsButton")));
    QCOMPARE(f.view->shownOverlay(), ContentView::Overlay::settings);
    f.click(f.find(QStringLiteral("settingsCloseButton")));

    QCOMPARE(f.view->shownOverlay(), ContentView::Overlay::none);
    QCOMPARE(changes.count(), 0);
    QVERIFY(f.loginItem.calls.isEmpty());
    f.settingsFile->sync();
    QCOMPARE(f.settingsFile->allKeys(), keysBefore);
}

void tst_SettingsView::keyboardOperatesControls()
{
    ContentFixture f;
    SettingsView view(f.settings.get());
    view.show();
    view.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&view));
    auto *dots = view.findChild<QAbstractButton *>(QStringLiteral("showEventDotsSwitch"));
    dots->setFocus(Qt::TabFocusReason);
    QTest::keyClick(dots, Qt::Key_Space);
    QCOMPARE(f.settings->showEventDots(), false);
    QTest::keyClick(dots, Qt::Key_Return);
    QTRY_COMPARE(f.settings->showEventDots(), true);
    auto *monday = view.findChild<QAbstractButton *>(QStringLiteral("weekStartSegment_1"));
    monday->setFocus(Qt::TabFocusReason);
    QTest::keyClick(monday, Qt::Key_Space);
    QCOMPARE(f.settings->weekStart(), WeekStart::monday);
}

QTEST_MAIN(tst_SettingsView)
#include "tst_settingsview.moc"
