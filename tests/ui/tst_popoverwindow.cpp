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
        QCOMPARE(PopoverWindow::placement(anchor, screen, available, size), expected);
    }

    void shadowMarginKeepsTheContentWherePlaced_data()
    {
        QTest::addColumn<PopoverWindow::Frame>("frame");
        QTest::addColumn<int>("margin");
        QTest::newRow("no compositor: the window is the content") << PopoverWindow::Frame::plain << 0;
        QTest::newRow("Wayland: rounded, no margin") << PopoverWindow::Frame::rounded << 0;
        QTest::newRow("compositor: a shadow margin on every side")
            << PopoverWindow::Frame::shadowed << int(PopoverWindow::shadowMargin);
    }
    void shadowMarginKeepsTheContentWherePlaced()
    {
        QFETCH(PopoverWindow::Frame, frame);
        QFETCH(int, margin);
        PopoverWindow popover(frame);
        auto *content = new QWidget;
        popover.setContent(content);
        popover.moveContentTo(QPoint(611, 30));
        popover.show();
        QVERIFY(QTest::qWaitForWindowExposed(&popover));
        QCOMPARE(popover.size(), QSize(320 + 2 * margin, 520 + 2 * margin));
        QCOMPARE(popover.pos(), QPoint(611 - margin, 30 - margin));
        QCOMPARE(content->geometry(), QRect(margin, margin, 320, 520));
        QCOMPARE(popover.contentRect(), content->geometry());
    }

    // The shadow darkens what lies around the content and is no part of the
    // popover: a press on it is a press outside.
    void shadowIsSeenButNotPressed()
    {
        PopoverWindow popover(PopoverWindow::Frame::shadowed);
        auto *content = new QWidget;
        QPalette palette = content->palette();
        palette.setColor(QPalette::Window, QColor(0xf6, 0xf6, 0xf6));
        content->setPalette(palette);
        content->setAutoFillBackground(true);
        popover.setContent(content);
        popover.show();
        QVERIFY(QTest::qWaitForWindowExposed(&popover));
        QImage image(popover.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        popover.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        const QRect c = popover.contentRect();
        const auto alphaAt = [&](int x, int y) { return qAlpha(image.pixel(x, y)); };
        // Under the content the shadow is strongest and fades to nothing at the window's edge.
        const int nearBottom = alphaAt(c.center().x(), c.bottom() + 2);
        const int midBottom = alphaAt(c.center().x(), c.bottom() + 9);
        QVERIFY2(nearBottom > 20, qPrintable(QString::number(nearBottom)));
        QVERIFY(midBottom > 0 && midBottom < nearBottom);
        QCOMPARE(alphaAt(c.center().x(), image.height() - 1), 0);
        QCOMPARE(alphaAt(0, 0), 0);
        // The content itself is untouched.
        QCOMPARE(image.pixel(c.center()), palette.color(QPalette::Window).rgba());

        if (!(popover.windowFlags() & Qt::Popup))
            QSKIP("only a popup sees presses outside its content");
        QSignalSpy outside(&popover, &PopoverWindow::outsidePressed);
        QTest::mouseClick(&popover, Qt::LeftButton, {}, c.topLeft());
        QVERIFY(popover.isVisible());
        // Just under the content's corner.
        QTest::mousePress(&popover, Qt::LeftButton, {}, QPoint(c.left() + 2, c.bottom() + 4));
        QVERIFY(!popover.isVisible());
        QCOMPARE(outside.count(), 1);
    }

    void replacedContentGoesOnceControlReturns()
    {
        PopoverWindow popover;
        QPointer<QWidget> first = new QWidget;
        popover.setContent(first);
        popover.setContent(new QWidget);
        // The old content may still be on the stack (it sent the change), so it is not deleted at once.
        QVERIFY(first && !first->isVisible());
        QTRY_VERIFY(!first);
    }

    // As the app builds it: the content focuses its grid before it has a window,
    // and keeps Esc while a panel of its own is open; an Esc it leaves closes the popover.
    void keyboardGoesToTheContentFirst()
    {
        struct Content : QWidget
        {
            bool takesEscape = true;
            void keyPressEvent(QKeyEvent *event) override
            {
                if (takesEscape && event->key() == Qt::Key_Escape)
                    event->accept();
                else
                    QWidget::keyPressEvent(event);
            }
        };
        auto *content = new Content;
        auto *grid = new QWidget(content);
        grid->setFocusPolicy(Qt::StrongFocus);
        content->setFocusPolicy(Qt::StrongFocus);
        content->setFocusProxy(grid);
        grid->setFocus();
        PopoverWindow popover;
        popover.setContent(content);
        popover.show();
        QCOMPARE(popover.focusWidget(), grid);

        QSignalSpy hidden(&popover, &PopoverWindow::hidden);
        QTest::keyClick(grid, Qt::Key_Escape);
        QVERIFY(popover.isVisible());
        content->takesEscape = false;
        QTest::keyClick(grid, Qt::Key_Escape);
        QVERIFY(!popover.isVisible());
        QCOMPARE(hidden.count(), 1);
    }
};

QTEST_MAIN(tst_PopoverWindow)
#include "tst_popoverwindow.moc"
