#include "DBusMenuExporter.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QMenu>

namespace {

// "&" marks a mnemonic in Qt and "&&" a literal ampersand; dbusmenu uses "_" and "__".
QString dbusMenuLabel(const QString &text)
{
    QString label;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('&') && i + 1 < text.size()) {
            label
                += text.at(++i) == QLatin1Char('&') ? QStringLiteral("&") : QStringLiteral("_") + text.at(i);
        } else if (c == QLatin1Char('_')) {
            label += QStringLiteral("__");
        } else {
            label += c;
        }
    }
    return label;
}

QVariantMap menuProperties()
{
    return {
        { QStringLiteral("Version"), 3u },
        { QStringLiteral("TextDirection"), QStringLiteral("ltr") },
        { QStringLiteral("Status"), QStringLiteral("normal") },
        { QStringLiteral("IconThemePath"), QStringList() },
    };
}

QVariantMap filtered(const QVariantMap &properties, const QStringList &names)
{
    if (names.isEmpty())
        return properties;
    QVariantMap kept;
    for (const QString &name : names) {
        if (properties.contains(name))
            kept.insert(name, properties.value(name));
    }
    return kept;
}

} // namespace

DBusMenuExporter::DBusMenuExporter(QMenu *menu, QObject *parent)
    : QDBusVirtualObject(parent)
    , m_menu(menu)
{
    registerStatusNotifierTypes();
}

QVariantMap DBusMenuExporter::itemProperties(const QAction *action)
{
    if (action->isSeparator())
        return { { QStringLiteral("type"), QStringLiteral("separator") },
            { QStringLiteral("visible"), action->isVisible() } };
    return {
        { QStringLiteral("label"), dbusMenuLabel(action->text()) },
        { QStringLiteral("enabled"), action->isEnabled() },
        { QStringLiteral("visible"), action->isVisible() },
    };
}

DBusMenuLayoutItem DBusMenuExporter::layout() const
{
    DBusMenuLayoutItem root;
    root.properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    if (!m_menu)
        return root;
    const QList<QAction *> actions = m_menu->actions();
    for (qsizetype i = 0; i < actions.size(); ++i)
        root.children.append({ int(i) + 1, itemProperties(actions.at(i)), {} });
    return root;
}

QAction *DBusMenuExporter::actionFor(int id) const
{
    if (!m_menu || id < 1 || id > m_menu->actions().size())
        return nullptr;
    return m_menu->actions().at(id - 1);
}

bool DBusMenuExporter::activate(int id, const QString &eventId)
{
    QAction *action = actionFor(id);
    if (!action)
        return false;
    if (eventId == QLatin1String("clicked") && action->isEnabled() && !action->isSeparator())
        QMetaObject::invokeMethod(action, &QAction::trigger, Qt::QueuedConnection);
    return true;
}

QString DBusMenuExporter::introspect(const QString &) const
{
    return QStringLiteral(R"xml(<interface name="com.canonical.dbusmenu">
  <property name="Version" type="u" access="read"/>
  <property name="TextDirection" type="s" access="read"/>
  <property name="Status" type="s" access="read"/>
  <property name="IconThemePath" type="as" access="read"/>
  <method name="GetLayout"><arg type="i" name="parentId" direction="in"/><arg type="i" name="recursionDepth" direction="in"/><arg type="as" name="propertyNames" direction="in"/><arg type="u" name="revision" direction="out"/><arg type="(ia{sv}av)" name="layout" direction="out"/></method>
  <method name="GetGroupProperties"><arg type="ai" name="ids" direction="in"/><arg type="as" name="propertyNames" direction="in"/><arg type="a(ia{sv})" name="properties" direction="out"/></method>
  <method name="GetProperty"><arg type="i" name="id" direction="in"/><arg type="s" name="name" direction="in"/><arg type="v" name="value" direction="out"/></method>
  <method name="Event"><arg type="i" name="id" direction="in"/><arg type="s" name="eventId" direction="in"/><arg type="v" name="data" direction="in"/><arg type="u" name="timestamp" direction="in"/></method>
  <method name="EventGroup"><arg type="a(isvu)" name="events" direction="in"/><arg type="ai" name="idErrors" direction="out"/></method>
  <method name="AboutToShow"><arg type="i" name="id" direction="in"/><arg type="b" name="needUpdate" direction="out"/></method>
  <method name="AboutToShowGroup"><arg type="ai" name="ids" direction="in"/><arg type="ai" name="updatesNeeded" direction="out"/><arg type="ai" name="idErrors" direction="out"/></method>
  <signal name="ItemsPropertiesUpdated"><arg type="a(ia{sv})" name="updatedProps"/><arg type="a(ias)" name="removedProps"/></signal>
  <signal name="LayoutUpdated"><arg type="u" name="revision"/><arg type="i" name="parent"/></signal>
  <signal name="ItemActivationRequested"><arg type="i" name="id"/><arg type="u" name="timestamp"/></signal>
</interface>
)xml");
}

bool DBusMenuExporter::handleMessage(const QDBusMessage &message, const QDBusConnection &connection)
{
    const QString member = message.member();
    const QList<QVariant> args = message.arguments();
    auto reply = [&](const QList<QVariant> &values) { return connection.send(message.createReply(values)); };

    if (isPropertiesCall(message))
        return answerPropertiesCall(message, connection, menuProperties());
    if (!message.interface().isEmpty() && message.interface() != QLatin1String(interfaceName))
        return false;

    if (member == QLatin1String("GetLayout") && args.size() == 3) {
        const int parentId = args.at(0).toInt();
        const QStringList names = args.at(2).toStringList();
        DBusMenuLayoutItem item;
        if (parentId == 0) {
            item = layout();
            // A depth of 0 asks for the node alone.
            if (args.at(1).toInt() == 0)
                item.children.clear();
            for (DBusMenuLayoutItem &child : item.children)
                child.properties = filtered(child.properties, names);
        } else if (QAction *action = actionFor(parentId)) {
            item = { parentId, filtered(itemProperties(action), names), {} };
        } else {
            return connection.send(message.createErrorReply(
                QDBusError::InvalidArgs, QStringLiteral("no menu entry %1").arg(parentId)));
        }
        return reply({ m_revision, QVariant::fromValue(item) });
    }
    if (member == QLatin1String("GetGroupProperties") && args.size() == 2) {
        const QList<int> ids = qdbus_cast<QList<int>>(args.at(0));
        const QStringList names = args.at(1).toStringList();
        QList<DBusMenuItemProperties> result;
        for (int id : ids) {
            if (id == 0)
                result.append({ 0, filtered(layout().properties, names) });
            else if (QAction *action = actionFor(id))
                result.append({ id, filtered(itemProperties(action), names) });
        }
        return reply({ QVariant::fromValue(result) });
    }
    if (member == QLatin1String("GetProperty") && args.size() == 2) {
        const QAction *action = actionFor(args.at(0).toInt());
        const QVariant value = action ? itemProperties(action).value(args.at(1).toString()) : QVariant();
        return reply({ QVariant::fromValue(QDBusVariant(value.isValid() ? value : QVariant(QString()))) });
    }
    if (member == QLatin1String("Event") && args.size() == 4) {
        activate(args.at(0).toInt(), args.at(1).toString());
        return reply({});
    }
    if (member == QLatin1String("EventGroup") && args.size() == 1) {
        QList<int> errors;
        const QDBusArgument events = args.at(0).value<QDBusArgument>();
        events.beginArray();
        while (!events.atEnd()) {
            int id = 0;
            QString eventId;
            QDBusVariant data;
            uint timestamp = 0;
            events.beginStructure();
            events >> id >> eventId >> data >> timestamp;
            events.endStructure();
            if (!activate(id, eventId))
                errors.append(id);
        }
        events.endArray();
        return reply({ QVariant::fromValue(errors) });
    }
    if (member == QLatin1String("AboutToShow"))
        return reply({ false });
    if (member == QLatin1String("AboutToShowGroup"))
        return reply({ QVariant::fromValue(QList<int>()), QVariant::fromValue(QList<int>()) });
    return false;
}
