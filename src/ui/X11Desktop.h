#pragma once

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

    /**
     * A connection of its own to the display, for following the tray. Event
     * masks belong to a connection, and Qt's tray code sets the manager
     * window's mask on its connection to what it needs alone, dropping
     * anything else selected there. Invalid off X11.
     */
    class TrayConnection
    {
    public:
        TrayConnection();
        ~TrayConnection();
        TrayConnection(const TrayConnection &) = delete;
        TrayConnection &operator=(const TrayConnection &) = delete;

        bool isValid() const;
        int fileDescriptor() const;
        quint32 selectionAtom() const { return m_selection; }
        quint32 colorsAtom() const { return m_colors; }
        quint32 managerAtom() const { return m_manager; }
        /** The window that owns _NET_SYSTEM_TRAY_Sn; 0 when none. */
        quint32 trayManager() const;
        /** Asks for the manager's property changes and its destruction. */
        void watch(quint32 manager) const;
        std::optional<QColor> foreground(quint32 manager) const;
        /** The next xcb_generic_event_t already received (free it with std::free), or null. */
        void *nextEvent() const;

    private:
        const void *m_xcb = nullptr;
        quint32 m_selection = 0;
        quint32 m_colors = 0;
        quint32 m_manager = 0;
    };

    /**
     * The twelve 16-bit CARDINALs of the property; the first three are the
     * normal colour. A property of nothing but 0s and 1s is a panel's
     * placeholder and gives none.
     */
    static std::optional<QColor> colorFromTrayColors(const quint32 *values, int count);
};
