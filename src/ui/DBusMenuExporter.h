#pragma once

#include "StatusNotifierTypes.h"

#include <QDBusVirtualObject>
#include <QPointer>

class QAction;
class QMenu;

/**
 * Publishes a flat QMenu as a com.canonical.dbusmenu menu, the form in which
 * StatusNotifierItem hosts show an item's menu. Entry n of the menu is item n + 1;
 * item 0 is the root. A click reported by the host triggers the action once
 * control is back in the event loop, so the host gets its answer first.
 */
class DBusMenuExporter : public QDBusVirtualObject
{
    Q_OBJECT
public:
    static constexpr const char *interfaceName = "com.canonical.dbusmenu";

    explicit DBusMenuExporter(QMenu *menu, QObject *parent = nullptr);

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

    /** The layout as GetLayout hands it out: the root with one child per entry. */
    DBusMenuLayoutItem layout() const;
    /** The dbusmenu properties of one entry, mnemonics in the dbusmenu form. */
    static QVariantMap itemProperties(const QAction *action);

private:
    QAction *actionFor(int id) const;
    bool activate(int id, const QString &eventId);

    QPointer<QMenu> m_menu;
    uint m_revision = 1;
};
