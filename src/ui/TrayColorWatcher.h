#pragma once

#include "X11Desktop.h"

#include <QColor>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>

class QSocketNotifier;

/**
 * Follows the foreground colour an XEmbed tray asks its icons to use. Panels
 * write _NET_SYSTEM_TRAY_COLORS whenever their style changes, some only after
 * they have taken the tray selection, and a restarted panel is a new tray
 * manager: the colour read once at start-up can be stale a moment later. So
 * the manager window's property changes, its destruction and the MANAGER
 * announcements of new managers are watched as they arrive, on a connection of
 * the watcher's own, without polling. Off X11 it stays silent.
 */
class TrayColorWatcher : public QObject
{
    Q_OBJECT
public:
    /** What the watcher needs from the X server; tests give their own. */
    struct Tray
    {
        std::function<quint32()> manager;
        /** Asks for the manager's PropertyNotify and DestroyNotify. */
        std::function<void(quint32 manager)> watch;
        std::function<std::optional<QColor>(quint32 manager)> foreground;
        quint32 selectionAtom = 0; ///< _NET_SYSTEM_TRAY_Sn
        quint32 colorsAtom = 0; ///< _NET_SYSTEM_TRAY_COLORS
        quint32 managerAtom = 0; ///< MANAGER
    };

    /** The display's tray; inert off X11. */
    explicit TrayColorWatcher(QObject *parent = nullptr);
    TrayColorWatcher(Tray tray, QObject *parent = nullptr);
    ~TrayColorWatcher() override;

    /** The colour the current tray manager names; none without a tray or a usable colour. */
    std::optional<QColor> foreground() const { return m_foreground; }
    quint32 manager() const { return m_manager; }

    /** One xcb_generic_event_t from the display. */
    void handleEvent(const void *xcbEvent);

Q_SIGNALS:
    void foregroundChanged();

private:
    /** Watches this manager (0: none) and reads its colour afresh. */
    void follow(quint32 manager);
    void reread();
    /** Handles what the connection has received, also what arrived while a reply was awaited. */
    void drain();

    std::unique_ptr<X11Desktop::TrayConnection> m_connection;
    QSocketNotifier *m_notifier = nullptr;
    bool m_draining = false;
    Tray m_tray;
    bool m_active = false;
    quint32 m_manager = 0;
    std::optional<QColor> m_foreground;
};
