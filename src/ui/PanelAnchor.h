#pragma once

#include <QList>
#include <QPoint>
#include <QRect>

/**
 * Turns the point a StatusNotifierItem host reports with a click into the
 * rectangle the popover opens against. Hosts differ: KDE Plasma, GNOME's
 * AppIndicator extension and Xfce report the pointer in screen coordinates;
 * others report it relative to their bar, or (waybar) to the icon itself, or
 * report (0, 0). What is known of the panels is the band each one reserves at a
 * screen edge; a desktop that reserves nothing tells only the screens.
 */
class PanelAnchor
{
public:
    /** A screen and the bands its panels reserve along its edges. */
    struct Screen
    {
        QRect geometry;
        QList<QRect> panels;
    };

    /** How close to a screen edge a point must be to be taken as a click on a panel there. */
    static constexpr int edgeReach = 64;
    /** The thickness taken for a panel nobody describes. */
    static constexpr int assumedThickness = 32;

    /**
     * The anchor for a click the host reported at hostPoint: the icon's column
     * across the panel band it lies in. Points that make sense only relative
     * to a known band are moved into it; with no band known, a point near a
     * screen edge is taken as a panel there whose middle the icon sits in. A
     * missing point, or one that fits nowhere, gives the corner at the end of
     * the panel (the top-right one of the first screen when no panel is known):
     * the popover is never left in the middle of the screen.
     */
    static QRect resolve(const QPoint &hostPoint, const QList<Screen> &screens);

    /** The panel bands of a screen: the gaps between its geometry and its available area. */
    static QList<QRect> bandsBetween(const QRect &geometry, const QRect &available);

private:
    static QRect columnAcross(const QRect &band, const QPoint &point);
    static QRect cornerOf(const QList<Screen> &screens);
    static bool isIconRelative(const QPoint &point, const QList<Screen> &screens);
};
