#include "ContentFixture.h"
#include "DayCell.h"
#include "EventSection.h"
#include "OverlayHost.h"
#include "ScrollCatcherView.h"

#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QWheelEvent>

class tst_ContentView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void grid_data();
    void grid();
    void clickingDay_data();
    void clickingDay();
    void dotsFollowTheSetting();
    void navigation_data();
    void navigation();
    void backdropSwallowsClicks_data();
    void backdropSwallowsClicks();
    void firstFlagWins();
    void monthChooserKeepsYearAndSelection();
    void yearChooserOpensCentred();
    void wheelStepsMonths();
    void keyboard();
    void accessibleNames();
};

void tst_ContentView::initTestCase()
{
    QVERIFY(pinWidgetEnvironment());
}

void tst_ContentView::grid_data()
{
    QTest::addColumn<QString>("weekStart");
    QTest::addColumn<QDate>("first");
    QTest::addColumn<QDate>("last");
    QTest::addColumn<QString>("headers");
    QTest::addColumn<int>("todayIndex");

    QTest::newRow("Sunday first: from 29 November")
        << "Sunday" << QDate(2026, 11, 29) << QDate(2027, 1, 9) << "SMTWTFS" << 6;
    QTest::newRow("Monday first: from 30 November")
        << "Monday" << QDate(2026, 11, 30) << QDate(2027, 1, 10) << "MTWTFSS" << 5;
}

void tst_ContentView::grid()
{
    QFETCH(QString, weekStart);
    QFETCH(QDate, first);
    QFETCH(QDate, last);
    QFETCH(QString, headers);
    QFETCH(int, todayIndex);

    ContentFixture f;
    f.settings->setWeekStart(*weekStartFromRawValue(weekStart));

    QString shownHeaders;
    for (int i = 0; i < 7; ++i)
        shownHeaders += f.find<QLabel>(QStringLiteral("weekdayHeader_%1").arg(i))->text();
    QCOMPARE(shownHeaders, headers);

    QCOMPARE(f.view->dayCell(0)->state().date.date(), first);
    QCOMPARE(f.view->dayCell(41)->state().date.date(), last);
    QVERIFY(!f.view->dayCell(42));
    int todays = 0;
    for (int i = 0; i < 42; ++i) {
        const DayCell::State s = f.view->dayCell(i)->state();
        QCOMPARE(s.date.date(), first.addDays(i));
        QCOMPARE(s.date.time(), QTime(0, 0));
        QCOMPARE(s.isCurrentMonth, s.date.date().month() == 12 && s.date.date().year() == 2026);
        todays += s.isToday ? 1 : 0;
    }
    QCOMPARE(todays, 1);
    const DayCell::State today = f.view->dayCell(todayIndex)->state();
    QVERIFY(today.isToday && today.isSelected && today.hasEvents);
    QCOMPARE(f.find<QAbstractButton>(QStringLiteral("monthTitleButton"))->text(), QStringLiteral("December"));
    QCOMPARE(f.find<QAbstractButton>(QStringLiteral("yearTitleButton"))->text(), QStringLiteral("2026"));
}

void tst_ContentView::clickingDay_data()
{
    QTest::addColumn<int>("cell");
    QTest::addColumn<QDate>("selected");
    QTest::addColumn<QString>("monthTitle");
    QTest::addColumn<QDate>("selectedCellDate");

    // Sunday-first December 2026: cell 1 is 30 November, cell 40 is 8 January.
    QTest::newRow("leading day moves to November")
        << 1 << QDate(2026, 11, 30) << "November" << QDate(2026, 11, 30);
    QTest::newRow("trailing day moves to January")
        << 40 << QDate(2027, 1, 8) << "January" << QDate(2027, 1, 8);
    QTest::newRow("a day of the month only selects")
        << 20 << QDate(2026, 12, 19) << "December" << QDate(2026, 12, 19);
    QTest::newRow("the selected day again changes nothing")
        << 6 << QDate(2026, 12, 5) << "December" << QDate(2026, 12, 5);
}

void tst_ContentView::clickingDay()
{
    QFETCH(int, cell);
    QFETCH(QDate, selected);
    QFETCH(QString, monthTitle);
    QFETCH(QDate, selectedCellDate);

    ContentFixture f;
    f.view->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.view.get()));
    QSignalSpy selections(f.events.get(), &EventManager::selectedDateChanged);

    f.click(f.find(QStringLiteral("dayCell_%1").arg(cell)));

    QCOMPARE(selections.count(), 1);
    QCOMPARE(f.events->selectedDate().date(), selected);
    QCOMPARE(f.find<QAbstractButton>(QStringLiteral("monthTitleButton"))->text(), monthTitle);
    int selectedCells = 0;
    for (int i = 0; i < 42; ++i) {
        const DayCell::State s = f.view->dayCell(i)->state();
        if (s.isSelected) {
            ++selectedCells;
            QCOMPARE(s.date.date(), selectedCellDate);
        }
    }
    QCOMPARE(selectedCells, 1);
    // The event section follows the selection.
    QVERIFY(f.view->eventSection()->headingText().startsWith(
        QLocale().toString(selected, QStringLiteral("dddd"))));
}

void tst_ContentView::dotsFollowTheSetting()
{
    ContentFixture f;
    auto dotted = [&f] {
        QList<QDate> days;
        for (int i = 0; i < 42; ++i)
            if (f.view->dayCell(i)->state().hasEvents)
                days.append(f.view->dayCell(i)->state().date.date());
        return days;
    };
    const QList<QDate> expected { QDate(2026, 11, 30), QDate(2026, 12, 5), QDate(2026, 12, 8),
        QDate(2026, 12, 9), QDate(2026, 12, 10), QDate(2026, 12, 16), QDate(2027, 1, 8) };
    QCOMPARE(dotted(), expected);
    f.settings->setShowEventDots(false);
    QVERIFY(dotted().isEmpty());
    f.settings->setShowEventDots(true);
    QCOMPARE(dotted(), expected);
}

void tst_ContentView::navigation_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("monthTitle");
    QTest::addColumn<QString>("yearTitle");
    QTest::addColumn<QDate>("selected");

    QTest::newRow("next month") << "nextMonthButton"
                                << "January"
                                << "2027" << QDate(2026, 12, 5);
    QTest::newRow("previous month") << "previousMonthButton"
                                    << "November"
                                    << "2026" << QDate(2026, 12, 5);
}

void tst_ContentView::navigation()
{
    QFETCH(QString, button);
    QFETCH(QString, monthTitle);
    QFETCH(QString, yearTitle);
    QFETCH(QDate, selected);

    ContentFixture f;
    f.view->show();
    f.click(f.find(button));
    QCOMPARE(f.find<QAbstractButton>(QStringLiteral("monthTitleButton"))->text(), monthTitle);
    QCOMPARE(f.find<QAbstractButton>(QStringLiteral("yearTitleButton"))->text(), yearTitle);
    QCOMPARE(f.events->selectedDate().date(), selected);

    f.click(f.find(QStringLiteral("todayButton")));
    QCOMPARE(f.find<QAbstractButton>(QStringLiteral("monthTitleButton"))->text(), QStringLiteral("December"));
    QCOMPARE(f.events->selectedDate().date(), QDate(2026, 12, 5));
}

void tst_ContentView::backdropSwallowsClicks_data()
{
    QTest::addColumn<QString>("opener");
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QString>("target");

    QTest::newRow("year chooser, next arrow") << "yearTitleButton"
                                              << "yearPickerView"
                                              << "nextMonthButton";
    QTest::newRow("month chooser, a day") << "monthTitleButton"
                                          << "monthPickerView"
                                          << "dayCell_0";
    QTest::newRow("month chooser, next arrow") << "monthTitleButton"
                                               << "monthPickerView"
                                               << "nextMonthButton";
    QTest::newRow("settings, year title") << "settingsButton"
                                          << "settingsView"
                                          << "yearTitleButton";
    QTest::newRow("settings, previous arrow") << "settingsButton"
                                              << "settingsView"
                                              << "previousMonthButton";
}

void tst_ContentView::backdropSwallowsClicks()
{
    QFETCH(QString, opener);
    QFETCH(QString, panel);
    QFETCH(QString, target);

    ContentFixture f;
    f.view->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.view.get()));
    f.events->goToMonth(at(2026, 10, 1)); // so that "Today" would visibly do something
    f.click(f.find(opener));
    auto *host = f.find<OverlayHost>(QStringLiteral("overlayBackdrop"));
    QVERIFY(host);
    QVERIFY(f.find(panel));
    QCOMPARE(host->geometry(), f.view->rect());

    QSignalSpy months(f.events.get(), &EventManager::currentMonthChanged);
    QSignalSpy selections(f.events.get(), &EventManager::selectedDateChanged);
    QWidget *beneath = f.find(target);
    const QPoint where = beneath->mapTo(f.view.get(), beneath->rect().center());
    QVERIFY(!host->panelRect().contains(where));
    QTest::mouseClick(f.view->childAt(where), Qt::LeftButton, Qt::NoModifier,
        f.view->childAt(where)->mapFrom(f.view.get(), where));

    QCOMPARE(months.count(), 0);
    QCOMPARE(selections.count(), 0);
    QCOMPARE(f.view->shownOverlay(), ContentView::Overlay::none);
    // The closing panel fades out and is gone, and nothing is laid over the view any more.
    QTRY_VERIFY(!f.view->findChild<OverlayHost *>());
    f.click(f.find(target));
    QVERIFY(months.count() + selections.count() > 0 || f.view->shownOverlay() != ContentView::Overlay::none);
}

void tst_ContentView::firstFlagWins()
{
    ContentFixture f;
    f.view->show();
    auto shownPanel = [&f] {
        for (const char *name : { "settingsView", "monthPickerView", "yearPickerView" })
            if (f.find(QString::fromLatin1(name)))
                return QString::fromLatin1(name);
        return QString();
    };
    f.view->setShowingYearPicker(true);
    QCOMPARE(shownPanel(), QStringLiteral("yearPickerView"));
    f.view->setShowingMonthPicker(true);
    QCOMPARE(shownPanel(), QStringLiteral("monthPickerView"));
    f.view->setShowingSettings(true);
    QCOMPARE(shownPanel(), QStringLiteral("settingsView"));
    QCOMPARE(f.view->findChildren<OverlayHost *>(QStringLiteral("overlayBackdrop")).size(), 1);
    // Closing the panel shown uncovers the next flag still set.
    f.click(f.find(QStringLiteral("settingsCloseButton")));
    QCOMPARE(f.view->shownOverlay(), ContentView::Overlay::monthPicker);
    f.view->setShowingMonthPicker(false);
    QCOMPARE(f.view->shownOverlay(), ContentView::Overlay::yearPicker);
}

void tst_ContentView::monthChooserKeepsYearAndSelection()
{
    ContentFixture f;
    f.view->show();
    f.events->goToMonth(at(2027, 3, 1));
    f.click(f.find(QStringLiteral("monthTitleButton")));
    auto *march = f.find<QAbstractButton>(QStringLiteral("monthChoice_2"));
    QVERIFY(march);
    QCOMPARE(march->text(), QStringLiteral("March"));
    QCOMPARE(march->font().weight(), QFont::Bold); // the displayed month, not today's

    QSignalSpy months(f.events.get(), &EventManager::currentMonthChanged);
    f.click(f.find(QStringLiteral("monthChoice_3")));
    QCOMPARE(months.count(), 1);
    QCOMPARE(f.events->currentMonth(), at(2027, 4, 1));
    QCOMPARE(f.events->selectedDate().date(), QDate(2026, 12, 5));
    QCOMPARE(f.view->shownOverlay(), ContentView::Overlay::none);

    // Choosing the highlighted month still goes there.
    f.click(f.find(QStringLiteral("monthTitleButton")));
    QTRY_COMPARE(f.view->findChildren<OverlayHost *>().size(), 1);
    f.click(f.find(QStringLiteral("monthChoice_3")));
    QCOMPARE(months.count(), 2);
}

void tst_ContentView::yearChooserOpensCentred()
{
    ContentFixture f;
    f.view->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.view.get()));

    auto centredYear = [&f] {
        auto *list = f.find<QScrollArea>(QStringLiteral("yearList"));
        const QPoint middle(list->viewport()->width() / 2, list->viewport()->height() / 2);
        QWidget *under = list->viewport()->childAt(middle);
        return under ? under->objectName() : QString();
    };

    f.click(f.find(QStringLiteral("yearTitleButton")));
    QCOMPARE(centredYear(), QStringLiteral("yearChoice_2026"));
    QVERIFY(f.find(QStringLiteral("yearChoice_1976")));
    QVERIFY(f.find(QStringLiteral("yearChoice_2076")));
    QVERIFY(!f.find(QStringLiteral("yearChoice_1975")));
    QVERIFY(!f.find(QStringLiteral("yearChoice_2077")));
    QCOMPARE(f.find<QAbstractButton>(QStringLiteral("yearChoice_2026"))->text(), QStringLiteral("2026"));

    auto *list = f.find<QScrollArea>(QStringLiteral("yearList"));
    auto *far = f.find<QWidget>(QStringLiteral("yearChoice_2070"));
    list->ensureWidgetVisible(far);
    f.click(far);
    QCOMPARE(f.events->currentMonth().date().year(), 2070);
    QCOMPARE(f.view->shownOverlay(), ContentView::Overlay::none);
    QTRY_VERIFY(!f.view->findChild<OverlayHost *>());

    f.click(f.find(QStringLiteral("yearTitleButton")));
    QCOMPARE(centredYear(), QStringLiteral("yearChoice_2070"));
    QVERIFY(f.find(QStringLiteral("yearChoice_2120")));
}

void tst_ContentView::wheelStepsMonths()
{
    ContentFixture f;
    f.view->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.view.get()));
    // Qt hands a device's wheel event that a cell leaves alone on to the cell's parent, the catcher;
    // a synthesized one is not propagated, so it goes to the catcher directly.
    QWidget *catcher = f.find(QStringLiteral("scrollCatcher"));
    QWidget *cell = f.find(QStringLiteral("dayCell_17"));
    auto send = [](QWidget *to, QPoint pixels, QPoint angle) {
        const QPointF pos = to->rect().center();
        QWheelEvent event(
            pos, to->mapToGlobal(pos), pixels, angle, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(to, &event);
        return event.isAccepted();
    };
    auto wheel = [&](QPoint pixels, QPoint angle) { return send(catcher, pixels, angle); };
    QVERIFY(!send(cell, QPoint(), QPoint(0, 120)));
    QCOMPARE(f.events->currentMonth().date().month(), 12);
    auto month = [&f] { return f.events->currentMonth().date().month(); };

    // A mouse notch is three 20-point lines: well past the threshold.
    QVERIFY(wheel(QPoint(), QPoint(0, 120)));
    QCOMPARE(month(), 1);
    // Within 0.4 s the next large movement is swallowed, even though the grid was rebuilt in between.
    f.clock.advanceMs(390);
    QVERIFY(wheel(QPoint(0, -40), QPoint(0, -120)));
    QCOMPARE(month(), 1);
    f.clock.advanceMs(10);
    QVERIFY(wheel(QPoint(0, -40), QPoint(0, -120)));
    QCOMPARE(month(), 12);
    // Small movements are handed on untouched, throttled or not.
    f.clock.advanceMs(1000);
    QVERIFY(!wheel(QPoint(0, 15), QPoint(0, 30)));
    QVERIFY(!wheel(QPoint(), QPoint(0, 30))); // 15 points from angle alone
    QCOMPARE(month(), 12);
    const QWheelEvent twoNotchesDown(QPointF(), QPointF(), QPoint(), QPoint(0, -240), Qt::NoButton,
        Qt::NoModifier, Qt::NoScrollPhase, false);
    QCOMPARE(ScrollCatcherView::verticalPoints(&twoNotchesDown), -120.0);
}

void tst_ContentView::keyboard()
{
    ContentFixture f;
    f.view->show();
    f.view->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.view.get()));
    f.view->setFocus();
    QWidget *grid = f.find(QStringLiteral("scrollCatcher"));
    QCOMPARE(QApplication::focusWidget(), grid);

    QTest::keyClick(grid, Qt::Key_Right);
    QCOMPARE(f.events->selectedDate().date(), QDate(2026, 12, 6));
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(f.events->selectedDate().date(), QDate(2026, 12, 13));
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(f.events->selectedDate().date(), QDate(2027, 1, 3));
    QCOMPARE(f.find<QAbstractButton>(QStringLiteral("monthTitleButton"))->text(), QStringLiteral("January"));

    // Esc with no panel is left to the window, which closes the popover.
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(f.view.get(), &escape);
    QVERIFY(!escape.isAccepted());

    f.view->setShowingSettings(true);
    QWidget *focused = QApplication::focusWidget();
    QWidget *panel = f.find(QStringLiteral("settingsView"));
    QVERIFY(focused && (panel->isAncestorOf(focused) || focused == panel));
    // Tab stays inside the panel.
    for (int i = 0; i < 12; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(f.find(QStringLiteral("settingsView"))->isAncestorOf(QApplication::focusWidget()));
    }
    // Arrows do not move the selection under an open panel; Esc closes it.
    const QDate before = f.events->selectedDate().date();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QCOMPARE(f.view->shownOverlay(), ContentView::Overlay::none);
    QCOMPARE(f.events->selectedDate().date(), before);
    QCOMPARE(f.settings->weekStart(), WeekStart::sunday);

    // Enter activates the focused button.
    auto *next = f.find<QAbstractButton>(QStringLiteral("nextMonthButton"));
    next->setFocus(Qt::TabFocusReason);
    QTest::keyClick(next, Qt::Key_Return);
    QTRY_COMPARE(
        f.find<QAbstractButton>(QStringLiteral("monthTitleButton"))->text(), QStringLiteral("February"));
}

void tst_ContentView::accessibleNames()
{
    ContentFixture f;
    const QList<QWidget *> all = f.view->findChildren<QWidget *>();
    for (QWidget *w : all) {
        if (qobject_cast<QAbstractButton *>(w) && w->isVisibleTo(f.view.get()))
            QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
    }
    QCOMPARE(f.view->dayCell(6)->accessibleName(), QStringLiteral("Saturday, December 5, 2026, has events"));
    QCOMPARE(f.view->dayCell(7)->accessibleName(), QStringLiteral("Sunday, December 6, 2026"));
    QVERIFY(!f.find(QStringLiteral("previousMonthButton"))->accessibleName().isEmpty());
}

QTEST_MAIN(tst_ContentView)
#include "tst_contentview.moc"
