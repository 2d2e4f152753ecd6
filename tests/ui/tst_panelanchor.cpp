#include "PanelAnchor.h"
#include "PopoverWindow.h"

#include <QtTest>

using Screens = QList<PanelAnchor::Screen>;

namespace {

const QRect screenA(0, 0, 1280, 800);
const QRect screenB(1280, 0, 1920, 1080);
const QSize popover(PopoverWindow::popoverWidth, PopoverWindow::popoverHeight);

// Where the popover's top-left corner ends up for a click the host reported there.
QPoint openedAt(const QPoint &hostPoint, const Screens &screens)
{
    const QRect anchor = PanelAnchor::resolve(hostPoint, screens);
    for (const auto &screen : screens) {
        if (screen.geometry.contains(anchor.center())) {
            QRect available = screen.geometry;
            for (const QRect &band : screen.panels) {
                if (band.top() == available.top() && band.width() == available.width())
                    available.setTop(band.bottom() + 1);
                else if (band.bottom() == available.bottom() && band.width() == available.width())
                    available.setBottom(band.top() - 1);
            }
            return PopoverWindow::placement(anchor, screen.geometry, available, popover);
        }
    }
    return QPoint(-1, -1);
}

} // namespace

class tst_PanelAnchor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void opensAtTheIcon_data()
    {
        QTest::addColumn<Screens>("screens");
        QTest::addColumn<QPoint>("hostPoint");
        QTest::addColumn<QPoint>("topLeft");
        const QRect top(0, 0, 1280, 28);
        const QRect bottom(0, 770, 1280, 30);
        const int gap = PopoverWindow::anchorGap;
        // clang-format off
        // Xfce, Plasma, GNOME: the pointer in screen coordinates, the panel reserves its band.
        // (Keeping it on screen near the end of a panel: tst_popoverwindow's placement.)
        QTest::newRow("screen point on a top panel") << Screens { { screenA, { top } } } << QPoint(700, 14) << QPoint(540, 28 + gap);
        QTest::newRow("screen point on a bottom panel") << Screens { { screenA, { bottom } } } << QPoint(1250, 785) << QPoint(960, 770 - gap - 520);
        // waybar: relative to its bar, which sway knows to be at the bottom.
        QTest::newRow("bar-relative point on a bottom bar") << Screens { { screenA, { bottom } } } << QPoint(1250, 15) << QPoint(960, 770 - gap - 520);
        QTest::newRow("bar-relative point on a second screen's bar") << Screens { { screenA, {} }, { screenB, { QRect(1280, 0, 1920, 30) } } } << QPoint(600, 15) << QPoint(1280 + 600 - 160, 30 + gap);
        // No band known (XWayland without sway): the icon is taken as the middle of a panel at the edge.
        QTest::newRow("no band, point near the top") << Screens { { screenA, {} } } << QPoint(1250, 15) << QPoint(960, 31 + gap);
        QTest::newRow("no band, point near the bottom") << Screens { { screenA, {} } } << QPoint(40, 785) << QPoint(0, 800 - 29 - gap - 520);
        // Nothing usable: the corner at the end of the panel, never the middle of the screen.
        QTest::newRow("no point, top panel") << Screens { { screenA, { top } } } << QPoint(0, 0) << QPoint(960, 28 + gap);
        QTest::newRow("no point, nothing known") << Screens { { screenA, {} } } << QPoint(0, 0) << QPoint(960, 32 + gap);
        QTest::newRow("point in the middle of the screen") << Screens { { screenA, {} } } << QPoint(640, 400) << QPoint(960, 32 + gap);
        // waybar: the point inside the icon itself, which says nothing of where the icon is.
        QTest::newRow("icon-relative point, bottom bar") << Screens { { screenA, { bottom } } } << QPoint(12, 11) << QPoint(960, 770 - gap - 520);
        // clang-format on
    }
    void opensAtTheIcon()
    {
        QFETCH(Screens, screens);
        QFETCH(QPoint, hostPoint);
        QFETCH(QPoint, topLeft);
        QCOMPARE(openedAt(hostPoint, screens), topLeft);
    }
};

QTEST_GUILESS_MAIN(tst_PanelAnchor)
#include "tst_panelanchor.moc"
