#include "PopoverWindow.h"

#include <QPointer>
#include <QtTest>

class tst_PopoverWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void placement_data()
    {
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QPoint>("expected");
        const QRect screen(0, 0, 1280, 800);
        const int gap = PopoverWindow::anchorGap;
        // clang-format off
        QTest::newRow("top panel, mid-screen icon: under it, centred") << QRect(600, 2, 24, 24) << screen << screen << QPoint(611 - 160, 2 + 24 + gap);
        QTest::newRow("top-right corner icon: kept on screen") << QRect(1257, 1, 22, 26) << screen << screen << QPoint(1280 - 320, 1 + 26 + gap);
        QTest::newRow("top panel reserving its height: below it") << QRect(1000, 0, 16, 16) << screen << QRect(0, 32, 1280, 768) << QPoint(1007 - 160, 32);
        QTest::newRow("bottom panel: above the icon") << QRect(1200, 776, 24, 24) << screen << QRect(0, 0, 1280, 772) << QPoint(1280 - 320, 772 - 520);
        QTest::newRow("bottom panel without a reservation") << QRect(500, 780, 20, 20) << screen << screen << QPoint(509 - 160, 780 - gap - 520);
        QTest::newRow("left side panel: right of the icon") << QRect(4, 400, 24, 24) << screen << QRect(40, 0, 1240, 800) << QPoint(40, 411 - 260);
        QTest::newRow("right side panel low down: clamped") << QRect(1252, 760, 24, 24) << screen << QRect(0, 0, 1244, 800) << QPoint(1244 - 320, 800 - 520);
        const QRect tiny(0, 0, 300, 400);
        QTest::newRow("screen smaller than the popover: top-left visible") << QRect(280, 0, 20, 20) << tiny << tiny << QPoint(0, 0);
        // clang-format on
    }
    void placement()
    {
        QFETCH(QRect, anchor);
        QFETCH(QRect, screen);
        QFETCH(QRect, available);
        QFETCH(QPoint, expected);
        const QSize size(PopoverWindow::popoverWidth, PopoverWindow::popoverHeight);
        const QPoint topLeft = PopoverWindow::placement(anchor, screen, available, size);
        QCOMPARE(topLeft, expected);
        if (available.width() >= size.width() && available.height() >= size.height())
            QVERIFY(available.contains(QRect(topLeft, size)));
    }

    void replacedContentGoesOnceControlReturns()
    {
        PopoverWindow popover;
        QPointer<QWidget> first = new QWidget;
        popover.setContent(first);
        QCOMPARE(first->parentWidget(), &popover);
        auto *second = new QWidget;
        popover.setContent(second);
        // The old content may still be on the stack (it sent the change), so it is not deleted at once.
        QVERIFY(first && !first->isVisible());
        QCOMPARE(popover.content(), second);
        QTRY_VERIFY(!first);
    }

    void escapeClosesOnlyWhatTheContentLeaves_data()
    {
        QTest::addColumn<bool>("contentTakesEscape");
        QTest::addColumn<bool>("stillShown");
        QTest::newRow("nothing open in the content: the popover closes") << false << false;
        QTest::newRow("a panel in the content takes it: the popover stays") << true << true;
    }

    void escapeClosesOnlyWhatTheContentLeaves()
    {
        QFETCH(bool, contentTakesEscape);
        QFETCH(bool, stillShown);
        struct Content : QWidget
        {
            bool takesEscape = false;
            void keyPressEvent(QKeyEvent *event) override
            {
                if (takesEscape && event->key() == Qt::Key_Escape)
                    event->accept();
                else
                    QWidget::keyPressEvent(event);
            }
        };
        PopoverWindow popover;
        auto *content = new Content;
        content->takesEscape = contentTakesEscape;
        content->setFocusPolicy(Qt::StrongFocus);
        popover.setContent(content);
        popover.show();
        QSignalSpy hidden(&popover, &PopoverWindow::hidden);
        QTest::keyClick(content, Qt::Key_Escape);
        QCOMPARE(popover.isVisible(), stillShown);
        QCOMPARE(hidden.count(), stillShown ? 0 : 1);
    }
};

QTEST_MAIN(tst_PopoverWindow)
#include "tst_popoverwindow.moc"
