#include "ChoiceButton.h"
#include "ContentFixture.h"
#include "DayCell.h"
#include "EventSection.h"
#include "MonthPickerView.h"
#include "OverlayHost.h"
#include "Theme.h"

#include <QLabel>
#include <QScrollArea>
#include <QSignalSpy>
#include <QWheelEvent>

class tst_ContentView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(pinWidgetEnvironment()); }

    void grid()
    {
        for (const bool monday : { false, true }) {
            ContentFixture f;
            f.settings->setWeekStart(monday ? WeekStart::monday : WeekStart::sunday);
            f.settings->setShowEventDots(!monday);
            QString headers;
            for (int i = 0; i < 7; ++i)
                headers += f.find<QLabel>(QStringLiteral("weekdayHeader_%1").arg(i))->text();
            QCOMPARE(headers, monday ? QStringLiteral("MTWTFSS") : QStringLiteral("SMTWTFS"));

            // 10 December only holds the end of an event that began the night before.
            const QList<QDate> busy { QDate(2026, 11, 30), QDate(2026, 12, 5), QDate(2026, 12, 8),
                QDate(2026, 12, 9), QDate(2026, 12, 10), QDate(2026, 12, 16), QDate(2027, 1, 8) };
            // Which cell is which month, today or selected: tst_monthgrid's grid.
            QVERIFY(!f.view->dayCell(42));
            for (int i = 0; i < 42; ++i) {
                const DayCell::State s = f.view->dayCell(i)->state();
                const QDate day = QDate(2026, 11, monday ? 30 : 29).addDays(i);
                QCOMPARE(s.date, day.startOfDay());
                QCOMPARE(s.hasEvents, !monday && busy.contains(day));
                // A screen reader hears the same.
                QCOMPARE(f.view->dayCell(i)->accessibleName().endsWith(u", has events"), s.hasEvents);
            }
            QCOMPARE(f.view->dayCell(monday ? 6 : 7)->accessibleName(),
                QStringLiteral("Sunday, December 6, 2026"));
            for (auto *button : f.view->findChildren<QAbstractButton *>())
                if (button->isVisibleTo(f.view.get()))
                    QVERIFY2(!button->accessibleName().isEmpty(), qPrintable(button->objectName()));
        }
    }

    void clicks_data()
    {
        QTest::addColumn<QString>("controls"); // clicked in turn
        QTest::addColumn<QDate>("selected");
        QTest::addColumn<QString>("title");
        // Sunday-first December 2026: cell 1 is 30 November, cell 40 is 8 January.
        // clang-format off
        QTest::newRow("leading day moves to November") << "dayCell_1" << QDate(2026, 11, 30) << "November 2026";
        QTest::newRow("trailing day moves to January") << "dayCell_40" << QDate(2027, 1, 8) << "January 2027";
        QTest::newRow("a day of the month only selects") << "dayCell_20" << QDate(2026, 12, 19) << "December 2026";
        QTest::newRow("next arrow keeps the selection") << "nextMonthButton" << QDate(2026, 12, 5) << "January 2027";
        QTest::newRow("month chooser keeps the shown year") << "nextMonthButton monthTitleButton monthChoice_3" << QDate(2026, 12, 5) << "April 2027";
        QTest::newRow("year chooser keeps the shown month") << "yearTitleButton yearChoice_2027" << QDate(2026, 12, 5) << "December 2027";
        // clang-format on
    }
    void clicks()
    {
        QFETCH(QString, controls);
        QFETCH(QDate, selected);
        QFETCH(QString, title);

        ContentFixture f;
        QVERIFY(f.show());
        for (const QString &control : controls.split(' '))
            f.click(control);
        QCOMPARE(f.view->shownOverlay(), ContentView::Overlay::none);
        QCOMPARE(f.events->selectedDate().date(), selected);
        QCOMPARE(f.title(), title);
        // The rebuilt grid marks the chosen day, and only it.
        for (int i = 0; i < 42; ++i)
            QCOMPARE(
                f.view->dayCell(i)->state().isSelected, f.view->dayCell(i)->state().date.date() == selected);
        QVERIFY(f.view->eventSection()->headingText().startsWith(QLocale().toString(selected, "dddd")));
    }

    // Every panel is laid over the view by the same backdrop: one panel stands for all.
    void backdropSwallowsClicks()
    {
        const QString target = QStringLiteral("dayCell_0");
        ContentFixture f;
        QVERIFY(f.show());
        f.events->goToMonth(at(2026, 10, 1)); // so that a day would visibly do something
        f.click(QStringLiteral("monthTitleButton"));
        auto *host = f.find<OverlayHost>(QStringLiteral("overlayBackdrop"));
        QVERIFY(host);

        QSignalSpy months(f.events.get(), &EventManager::currentMonthChanged);
        QSignalSpy selections(f.events.get(), &EventManager::selectedDateChanged);
        QWidget *beneath = f.find(target);
        const QPoint where = beneath->mapTo(f.view.get(), beneath->rect().center());
        QVERIFY(!host->panelRect().contains(where));
        QWidget *hit = f.view->childAt(where);
        QTest::mouseClick(hit, Qt::LeftButton, Qt::NoModifier, hit->mapFrom(f.view.get(), where));

        QCOMPARE(months.count() + selections.count(), 0);
        QCOMPARE(f.view->shownOverlay(), ContentView::Overlay::none);
        // Once faded out nothing is laid over the view any more: the same click now reaches the target.
        QTRY_VERIFY(!f.view->findChild<OverlayHost *>());
        f.click(target);
        QVERIFY(months.count() + selections.count() > 0);
    }

    void yearChooserOpensCentred()
    {
        ContentFixture f;
        QVERIFY(f.show());
        auto centredYear = [&f] {
            QWidget *viewport = f.find<QScrollArea>(QStringLiteral("yearList"))->viewport();
            QWidget *under = viewport->childAt(viewport->rect().center());
            return under ? under->objectName() : QString();
        };
        auto offers = [&f](int year) { return f.find(QStringLiteral("yearChoice_%1").arg(year)) != nullptr; };
        f.events->goToMonth(at(2070, 12, 1)); // centred on the displayed year, not on today's
        f.click(QStringLiteral("yearTitleButton"));
        QCOMPARE(centredYear(), QStringLiteral("yearChoice_2070"));
        QVERIFY(offers(2020) && offers(2120) && !offers(2019) && !offers(2121));
    }

    void wheelStepsMonths()
    {
        ContentFixture f;
        QVERIFY(f.show());
        // A device's wheel event that a cell leaves alone goes on to its parent, the catcher; a
        // synthesized one is not propagated, so it goes to the catcher directly.
        auto send = [](QWidget *to, QPoint pixels, QPoint angle) {
            const QPointF pos = to->rect().center();
            QWheelEvent event(pos, to->mapToGlobal(pos), pixels, angle, Qt::NoButton, Qt::NoModifier,
                Qt::NoScrollPhase, false);
            QApplication::sendEvent(to, &event);
            return event.isAccepted();
        };
        QWidget *catcher = f.find(QStringLiteral("scrollCatcher"));
        auto wheel = [&](QPoint pixels, QPoint angle) { return send(catcher, pixels, angle); };
        auto month = [&f] { return f.events->currentMonth().date().month(); };
        QVERIFY(!send(f.find(QStringLiteral("dayCell_17")), QPoint(), QPoint(0, 120)));

        // A mouse notch is three 20-point lines: well past the threshold.
        QVERIFY(wheel(QPoint(), QPoint(0, 120)));
        QCOMPARE(month(), 1);
        // Within 0.4 s the next large movement is swallowed, even though the grid was rebuilt in between.
        f.clock.advanceMs(390);
        QVERIFY(wheel(QPoint(0, -40), QPoint(0, -120)));
        // Small movements are handed on untouched.
        f.clock.advanceMs(1000);
        QVERIFY(!wheel(QPoint(0, 15), QPoint(0, 30)));
        QCOMPARE(month(), 1);
    }

    void keyboard()
    {
        ContentFixture f;
        f.view->show();
        f.view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.view.get()));
        f.view->setFocus();
        QWidget *grid = f.find(QStringLiteral("scrollCatcher"));
        QCOMPARE(QApplication::focusWidget(), grid);

        QTest::keyClick(grid, Qt::Key_Right);
        for (int i = 0; i < 4; ++i)
            QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(f.events->selectedDate().date(), QDate(2027, 1, 3));
        QCOMPARE(f.title(), QStringLiteral("January 2027"));

        // An open panel keeps the focus to itself; Esc closes it and writes nothing.
        f.view->setShowingSettings(true);
        QWidget *panel = f.find(QStringLiteral("settingsView"));
        for (int i = 0; i < 8; ++i) {
            QVERIFY(panel->isAncestorOf(QApplication::focusWidget()));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QCOMPARE(f.view->shownOverlay(), ContentView::Overlay::none);
        QCOMPARE(f.settings->weekStart(), WeekStart::sunday);

        // Enter on a focused button acts.
        auto *today = f.find<QAbstractButton>(QStringLiteral("todayButton"));
        today->setFocus(Qt::TabFocusReason);
        QTest::keyClick(today, Qt::Key_Return);
        QTRY_COMPARE(f.title(), QStringLiteral("December 2026"));
    }

    // One size for all twelve names: the largest at which the longest fits its column.
    void monthNamesShareOneSize_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<bool>("shrinks");
        // clang-format off
        QTest::newRow("short names keep the designed size") << QStringList { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" } << false;
        QTest::newRow("one long name sets the size of all") << QStringList { "January", "February", "March", "April", "May", "June", "July", "August", "September", "October", "November", "December" } << true;
        // clang-format on
    }
    void monthNamesShareOneSize()
    {
        QFETCH(QStringList, names);
        QFETCH(bool, shrinks);
        MonthPickerView picker(at(2026, 12, 5), names);
        picker.show();
        QVERIFY(QTest::qWaitForWindowExposed(&picker));
        const int size
            = picker.findChild<ChoiceButton *>(QStringLiteral("monthChoice_0"))->font().pixelSize();
        QCOMPARE(size < MonthPickerView::designedNamePixelSize, shrinks);
        for (int i = 0; i < 12; ++i) {
            auto *choice = picker.findChild<ChoiceButton *>(QStringLiteral("monthChoice_%1").arg(i));
            QCOMPARE(choice->font().pixelSize(), size);
            const QFontMetrics bold(Theme::font(size, QFont::Bold));
            QVERIFY2(bold.horizontalAdvance(names.at(i)) <= choice->width() - ChoiceButton::horizontalPadding,
                qPrintable(names.at(i)));
        }
    }
};

QTEST_MAIN(tst_ContentView)
#include "tst_contentview.moc"
