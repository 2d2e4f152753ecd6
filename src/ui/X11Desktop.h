#pragma once

#include <QByteArray>
#include <QColor>
#include <QRect>

#include <optional>

/**
 * What an X11 desktop says about itself through its selections and window
 * properties: whether a compositing manager runs, and the colours a system
 * tray asks its icons to use; and it shapes the input of a window with a
 * drawn shadow. Off X11 (or without a connection) it knows nothing.
 */
class QWindow;

class X11Desktop
{
public:
    /** True where a compositing manager owns _NET_WM_CM_Sn; Wayland always composites. */
    static bool isCompositing();

    /** True where an XEmbed system tray owns _NET_SYSTEM_TRAY_Sn. */
    static bool hasSystemTray();

    /**
     * For a window that draws its own shadow around its content (logical
     * coordinates): only the content takes pointer input (the SHAPE input
     * region), and _GTK_FRAME_EXTENTS tells window managers and tools where
     * the visible window lies. Does nothing off X11.
     */
    static void setInputAndFrame(QWindow *window, const QRect &content, const QSize &windowSize);

    /**
     * The "normal" colour of _NET_SYSTEM_TRAY_COLORS on the tray's manager
     * window: the foreground the panel wants for symbolic icons. None when
     * there is no tray or it does not say.
     */
    static std::optional<QColor> trayForeground();
    static std::optional<QColor> trayForeground(quint32 manager);

    /** The window that owns _NET_SYSTEM_TRAY_Sn (the tray manager); 0 when none or off X11. */
    static quint32 trayManager();
    static QByteArray traySelectionName();
    /** Asks for the manager's property changes and its destruction, keeping what was asked before. */
    static void watchTrayManager(quint32 manager);
    /** The atom of that name; 0 off X11. */
    static quint32 internAtom(const QByteArray &name);

    /**
     * The twelve 16-bit CARDINALs of the property; the first three are the
     * normal colour. Four identical colours say nothing and give none.
     */
    static std::optional<QColor> colorFromTrayColors(const quint32 *values, int count);
};
