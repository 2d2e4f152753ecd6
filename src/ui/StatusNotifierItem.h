#pragma once

#include "StatusNotifierTypes.h"

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QIcon>
#include <QPoint>

class DBusMenuExporter;
class QDBusServiceWatcher;
class QMenu;

/**
 * Moriva's item for panels that speak StatusNotifierItem (KDE Plasma, GNOME with
 * an AppIndicator extension, Xfce, waybar). Qt's own tray icon drops the click
 * position hosts pass with Activate and ContextMenu; this item keeps it, so the
 * popover can open at the icon. The menu is published beside it as a
 * com.canonical.dbusmenu menu. A watcher that (re)appears later is registered
 * with as soon as it shows up.
 */
class StatusNotifierItem : public QDBusVirtualObject
{
    Q_OBJECT
public:
    static constexpr const char *interfaceName = "org.kde.StatusNotifierItem";
    static constexpr const char *itemPath = "/StatusNotifierItem";
    static constexpr const char *menuPath = "/MenuBar";
    /** The sizes the icon is handed to hosts in; they pick the one nearest their panel. */
    static const QList<int> &iconSizes();

    /** The menu is not owned; it must outlive the item. */
    explicit StatusNotifierItem(QMenu *menu, QObject *parent = nullptr);
    ~StatusNotifierItem() override;

    /**
     * Takes a name of its own on the bus, publishes the item and its menu and
     * registers with the watcher if one runs. False when the bus refused.
     */
    bool publish(const QDBusConnection &bus = QDBusConnection::sessionBus());
    QString serviceName() const { return m_serviceName; }
    bool isRegisteredWithWatcher() const { return m_registered; }

    void setIcon(const QIcon &icon);
    /** The first line is the tooltip's title, any further lines its body. */
    void setToolTip(const QString &text);
    QString toolTip() const { return m_toolTip; }

    /** Every property of the item, as GetAll hands them out. */
    QVariantMap properties() const;

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

Q_SIGNALS:
    /** A primary click. The host's point is in screen or panel coordinates, or (0, 0) when it has none. */
    void activated(const QPoint &hostPoint);
    void secondaryActivated(const QPoint &hostPoint);
    /** A host that draws no menu of its own asks for one at this point. */
    void contextMenuRequested(const QPoint &hostPoint);
    void registeredWithWatcher();

private:
    void registerWithWatcher();
    void emitSignal(const char *name, const QList<QVariant> &arguments = {});

    QMenu *m_menu;
    DBusMenuExporter *m_menuExporter;
    QDBusServiceWatcher *m_watcherWatch = nullptr;
    QDBusConnection m_bus;
    QString m_serviceName;
    SniPixmapList m_pixmaps;
    QString m_toolTip;
    bool m_registered = false;
};
