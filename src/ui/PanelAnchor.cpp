#include "PanelAnchor.h"

#include <algorithm>

QList<QRect> PanelAnchor::bandsBetween(const QRect &geometry, const QRect &available)
{
    QList<QRect> bands;
    if (!geometry.isValid() || !available.isValid() || !geometry.contains(available))
        return bands;
    if (available.top() > geometry.top())
        bands.append(
            QRect(geometry.left(), geometry.top(), geometry.width(), available.top() - geometry.top()));
    if (available.bottom() < geometry.bottom())
        bands.append(QRect(geometry.left(), available.bottom() + 1, geometry.width(),
            geometry.bottom() - available.bottom()));
    if (available.left() > geometry.left())
        bands.append(
            QRect(geometry.left(), geometry.top(), available.left() - geometry.left(), geometry.height()));
    if (available.right() < geometry.right())
        bands.append(QRect(
            available.right() + 1, geometry.top(), geometry.right() - available.right(), geometry.height()));
    return bands;
}

QRect PanelAnchor::columnAcross(const QRect &band, const QPoint &point)
{
    // Tray icons are about as wide as the panel is thick; an odd width keeps the point in the middle.
    if (band.width() >= band.height()) {
        const int side = band.height() | 1;
        return QRect(point.x() - side / 2, band.top(), side, band.height());
    }
    const int side = band.width() | 1;
    return QRect(band.left(), point.y() - side / 2, band.width(), side);
}

QRect PanelAnchor::cornerOf(const QList<Screen> &screens)
{
    for (const Screen &screen : screens) {
        if (screen.panels.isEmpty())
            continue;
        const QRect band = screen.panels.constFirst();
        // Trays sit at the end of a panel: the right end, or the bottom of a side panel.
        if (band.width() >= band.height())
            return columnAcross(band, QPoint(band.right() - band.height() / 2, band.center().y()));
        return columnAcross(band, QPoint(band.center().x(), band.bottom() - band.width() / 2));
    }
    if (screens.isEmpty())
        return {};
    // Nothing known: a panel of common thickness along the top, as most desktops have it.
    const QRect geometry = screens.constFirst().geometry;
    const QRect band(geometry.left(), geometry.top(), geometry.width(), assumedThickness);
    return columnAcross(band, QPoint(band.right() - assumedThickness / 2, band.center().y()));
}

bool PanelAnchor::isIconRelative(const QPoint &point, const QList<Screen> &screens)
{
    int thickness = 0;
    for (const Screen &screen : screens) {
        for (const QRect &band : screen.panels)
            thickness = std::max(thickness, std::min(band.width(), band.height()));
    }
    if (thickness == 0)
        thickness = assumedThickness;
    return point.x() >= 0 && point.y() >= 0 && point.x() < thickness && point.y() < thickness;
}

QRect PanelAnchor::resolve(const QPoint &hostPoint, const QList<Screen> &screens)
{
    if (hostPoint.isNull() || isIconRelative(hostPoint, screens))
        return cornerOf(screens);

    for (const Screen &screen : screens) {
        for (const QRect &band : screen.panels) {
            if (band.contains(hostPoint))
                return columnAcross(band, hostPoint);
        }
    }
    // Relative to a panel: the point fits inside a band once the band's origin is added.
    for (const Screen &screen : screens) {
        for (const QRect &band : screen.panels) {
            if (QRect(QPoint(0, 0), band.size()).contains(hostPoint))
                return columnAcross(band, band.topLeft() + hostPoint);
        }
    }
    for (const Screen &screen : screens) {
        const QRect g = screen.geometry;
        if (!g.contains(hostPoint) || !screen.panels.isEmpty())
            continue;
        const int toTop = hostPoint.y() - g.top();
        const int toBottom = g.bottom() - hostPoint.y();
        const int toLeft = hostPoint.x() - g.left();
        const int toRight = g.right() - hostPoint.x();
        const int nearest = std::min({ toTop, toBottom, toLeft, toRight });
        if (nearest >= edgeReach)
            continue;
        // The icon sits in the middle of a panel that reserves no room: the panel is twice as thick.
        const int thickness = 2 * nearest + 1;
        if (nearest == toTop)
            return columnAcross(QRect(g.left(), g.top(), g.width(), thickness), hostPoint);
        if (nearest == toBottom)
            return columnAcross(QRect(g.left(), g.bottom() + 1 - thickness, g.width(), thickness), hostPoint);
        if (nearest == toLeft)
            return columnAcross(QRect(g.left(), g.top(), thickness, g.height()), hostPoint);
        return columnAcross(QRect(g.right() + 1 - thickness, g.top(), thickness, g.height()), hostPoint);
    }
    return cornerOf(screens);
}
