#include "ContentFixture.h"
#include "OverlayHost.h"
#include "SettingsView.h"

#include <QLayout>
#include <QSignalSpy>

class tst_SettingsView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(pinWidgetEnvironment()); }

    void controlWritesSetting_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("key"); // 0: a pointer click
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("stored"); // empty: nothing written
        QTest::addColumn<QStringList>("loginCalls");
        // clang-format off
        QTest::newRow("Dark") << "appearanceSegment_2" << 0 << "appearanceMode" << "Dark" << QStringList();
        QTest::newRow("System again is no change") << "appearanceSegment_0" << 0 << "appearanceMode" << QString() << QStringList();
        QTest::newRow("Monday by Return") << "weekStartSegment_1" << int(Qt::Key_Return) << "weekStart" << "Monday" << QStringList();
        QTest::newRow("launch at login off") << "launchAtLoginSwitch" << 0 << "launchAtLogin" << "false" << QStringList { "unregister" };
        QTest::newRow("event dots off by Return") << "showEventDotsSwitch" << int(Qt::Key_Return) << "showEventDots" << "false" << QStringList();
        QTest::newRow("meeting reminders on") << "remindBeforeMeetingsSwitch" << 0 << "remindBeforeMeetings" << "true" << QStringList();
        // clang-format on
    }
    void controlWritesSetting()
    {
        QFETCH(QString, control);
        QFETCH(int, key);
        QFETCH(QString, setting);
        QFETCH(QString, stored);
        QFETCH(QStringList, loginCalls);

        ContentFixture f;
        f.loginItem.calls.clear();
        SettingsView view(f.settings.get()), elsewhere(f.settings.get());
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        // Every control gets the room it asks for inside the fixed panel.
        QVERIFY(view.layout()->sizeHint().height() <= SettingsView::panelHeight);
        QSignalSpy changes(f.settings.get(), &SettingsManager::settingsDidChange);
        auto *button = view.findChild<QAbstractButton *>(control);
        if (key)
            QTest::keyClick(button, Qt::Key(key));
        else
            QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());

        QTRY_COMPARE(changes.count(), stored.isEmpty() ? 0 : 1);
        QCOMPARE(f.loginItem.calls, loginCalls);
        f.settingsFile->sync();
        const QSettings reread(f.settingsFile->fileName(), QSettings::IniFormat);
        QCOMPARE(reread.value(setting).toString(), stored);
        // Both the panel already open elsewhere and one opened afresh show what was written.
        const bool on = stored != QLatin1String("false");
        SettingsView fresh(f.settings.get());
        QCOMPARE(button->isChecked(), on);
        QCOMPARE(elsewhere.findChild<QAbstractButton *>(control)->isChecked(), on);
        QCOMPARE(fresh.findChild<QAbstractButton *>(control)->isChecked(), on);
    }

    void closeButtonWritesNothing()
    {
        ContentFixture f;
        QVERIFY(f.show());
        f.loginItem.calls.clear();
        f.settingsFile->sync();
        const QStringList keysBefore = f.settingsFile->allKeys();
        QSignalSpy changes(f.settings.get(), &SettingsManager::settingsDidChange);

        // One panel at a time, the first flag winning; closing it uncovers the next flag still set.
        f.view->setShowingMonthPicker(true);
        f.view->setShowingSettings(true);
        QVERIFY(f.find(QStringLiteral("settingsView")) && !f.find(QStringLiteral("monthPickerView")));
        QCOMPARE(f.view->findChildren<OverlayHost *>(QStringLiteral("overlayBackdrop")).size(), 1);
        f.click(QStringLiteral("settingsCloseButton"));
        QCOMPARE(f.view->shownOverlay(), ContentView::Overlay::monthPicker);

        QCOMPARE(changes.count(), 0);
        QVERIFY(f.loginItem.calls.isEmpty());
        f.settingsFile->sync();
        QCOMPARE(f.settingsFile->allKeys(), keysBefore);
    }
};

QTEST_MAIN(tst_SettingsView)
#include "tst_settingsview.moc"
