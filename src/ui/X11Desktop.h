#pragma once

#include <QColor>

#include <optional>

/**
 * What an X11 desktop says about itself through its selections and window
 * properties: whether a compositing manager runs, and the colours a system
 * tray asks its icons to use. Off X11 (or without a connection) it knows nothing.
 */
class X11Desktop
{
public:
    /** True where a compositing manager owns _NET_WM_CM_Sn; Wayland always composites. */
    static bool isCompositing();

    /**
     * The "normal" colour of _NET_SYSTEM_TRAY_COLORS on the tray's manager
     * window: the foreground the panel wants for symbolic icons. None when
     * there is no tray or it does not say.
     */
    static std::optional<QColor> trayForeground();

    /** The twelve 16-bit CARDINALs of the property; the first three are the normal colour. */
    static std::optional<QColor> colorFromTrayColors(const quint32 *values, int count);
};
