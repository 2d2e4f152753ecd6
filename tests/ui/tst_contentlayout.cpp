#include "ChoiceButton.h"
#include "ContentFixture.h"
#include "DayCell.h"
#include "EventSection.h"
#include "MonthPickerView.h"
#include "OverlayHost.h"
#include "Theme.h"

#include <QGraphicsEffect>

/**
 * The measures the popover's pictures are judged by (the pictures themselves
 * are rendered by the screenshots build target).
 */
class tst_ContentLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(pinWidgetEnvironment()); }

    void measures()
    {
        ContentFixture f;
        QVERIFY(f.show());
        auto rectOf = [&f](const QString &name) {
            QWidget *w = f.find(name);
            return QRect(w->mapTo(f.view.get(), QPoint(0, 0)), w->size());
        };

        // Navigation row: 16 from the top plus 4 of padding, 28-point buttons, 12 from the edges.
        const QRect year = rectOf(QStringLiteral("yearTitleButton"));
        const QRect previous = rectOf(QStringLiteral("previousMonthButton"));
        const QRect next = rectOf(QStringLiteral("nextMonthButton"));
        QCOMPARE(year.topLeft(), QPoint(12, 20));
        QCOMPARE(year.height(), 28);
        QCOMPARE(rectOf(QStringLiteral("monthTitleButton")).left(), year.right() + 1 + 4);
        QCOMPARE(previous.size(), QSize(28, 28));
        QCOMPARE(next.size(), QSize(28, 28));
        QCOMPARE(next.right(), 320 - 12 - 1);
        QCOMPARE(next.left(), previous.right() + 1 + 4);

        // Grid: 8 from each side, 2 between cells, every cell at least 36 × 42.
        const QRect first = rectOf(QStringLiteral("dayCell_0"));
        const QRect last = rectOf(QStringLiteral("dayCell_41"));
        QCOMPARE(first.left(), 8);
        QCOMPARE(last.right(), 320 - 8 - 1);
        QCOMPARE(rectOf(QStringLiteral("dayCell_1")).left() - first.right() - 1, 2);
        QCOMPARE(rectOf(QStringLiteral("dayCell_7")).top() - first.bottom() - 1, 2);
        QVERIFY(first.width() >= DayCell::minimumWidth && first.height() >= DayCell::minimumHeight);

        // Action bar and event section.
        const QRect today = rectOf(QStringLiteral("todayButton"));
        const QRect gear = rectOf(QStringLiteral("settingsButton"));
        QCOMPARE(today.topLeft(), QPoint(12, last.bottom() + 1 + 4));
        QCOMPARE(today.height(), 28);
        QCOMPARE(gear.size(), QSize(28, 28));
        QCOMPARE(gear.right(), 320 - 12 - 1);
        QCOMPARE(rectOf(QStringLiteral("eventHeadingDate")).left(), 16);
        // The event section fills the rest of the popover, and its list gets nearly all of its cap.
        const QRect section = rectOf(QStringLiteral("eventSection"));
        QCOMPARE(section.bottom(), 520 - 1);
        const int list = f.view->eventSection()->listHeight();
        QVERIFY2(list >= 150 && list <= EventSection::maxListHeight, qPrintable(QString::number(list)));

        // Panels keep their own sizes, centred.
        const QList<QPair<QString, QSize>> panels { { QStringLiteral("settingsButton"), QSize(300, 326) },
            { QStringLiteral("monthTitleButton"), QSize(280, 260) },
            { QStringLiteral("yearTitleButton"), QSize(200, 300) } };
        for (const auto &[button, size] : panels) {
            f.click(button);
            auto *host = f.view->findChild<OverlayHost *>(QStringLiteral("overlayBackdrop"));
            QVERIFY(host);
            QCOMPARE(host->panel()->size(), size);
            QCOMPARE(host->panelRect().center(), QRect(0, 0, 320, 520).center());
            QTest::keyClick(f.view.get(), Qt::Key_Escape);
            QTRY_VERIFY(!f.view->findChild<OverlayHost *>());
        }
    }

    // One size for all twelve names: the largest at which the longest fits its column.
    void monthNamesShareOneSize_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<bool>("shrinks");
        QTest::newRow("short names keep the designed size") << QStringList { "Jan", "Feb", "Mar", "Apr",
            "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" }
                                                            << false;
        QTest::newRow("one long name sets the size of all") << QStringList { "January", "February", "March",
            "April", "May", "June", "July", "August", "September", "October", "November", "December" }
                                                            << true;
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

QTEST_MAIN(tst_ContentLayout)
#include "tst_contentlayout.moc"
