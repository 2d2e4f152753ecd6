#include "StatusNotifierItem.h"

#include "DBusMenuExporter.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");

} // namespace

const QList<int> &StatusNotifierItem::iconSizes()
{
    static const QList<int> sizes { 16, 22, 24, 32, 48, 64 };
    return sizes;
}

StatusNotifierItem::StatusNotifierItem(QMenu *menu, QObject *parent)
    : QDBusVirtualObject(parent)
    , m_menu(menu)
    , m_menuExporter(new DBusMenuExporter(menu, this))
    , m_bus(QStringLiteral("moriva-unconnected"))
{
    registerStatusNotifierTypes();
}

StatusNotifierItem::~StatusNotifierItem()
{
    if (m_serviceName.isEmpty())
        return;
    m_bus.unregisterObject(QLatin1String(itemPath));
    m_bus.unregisterObject(QLatin1String(menuPath));
    m_bus.unregisterService(m_serviceName);
}

bool StatusNotifierItem::publish(const QDBusConnection &bus)
{
    if (!m_serviceName.isEmpty())
        return true;
    m_bus = bus;
    if (!m_bus.isConnected() || !m_bus.interface())
        return false;
    // The name hosts know items by; the pid keeps two sessions' items apart.
    const QString name
        = QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(QCoreApplication::applicationPid());
    if (!m_bus.registerService(name))
        return false;
    if (!m_bus.registerVirtualObject(QLatin1String(itemPath), this)
        || !m_bus.registerVirtualObject(QLatin1String(menuPath), m_menuExporter)) {
        m_bus.unregisterObject(QLatin1String(itemPath));
        m_bus.unregisterService(name);
        return false;
    }
    m_serviceName = name;

    // A panel restarted (or started late) brings a new watcher that knows nothing of us.
    m_watcherWatch
        = new QDBusServiceWatcher(watcherService, m_bus, QDBusServiceWatcher::WatchForRegistration, this);
    connect(m_watcherWatch, &QDBusServiceWatcher::serviceRegistered, this,
        &StatusNotifierItem::registerWithWatcher);
    registerWithWatcher();
    return true;
}

void StatusNotifierItem::registerWithWatcher()
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        watcherService, watcherPath, watcherService, QStringLiteral("RegisterStatusNotifierItem"));
    call << m_serviceName;
    auto *pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *watcher) {
        watcher->deleteLater();
        if (watcher->isError())
            return;
        m_registered = true;
        Q_EMIT registeredWithWatcher();
    });
}

void StatusNotifierItem::setIcon(const QIcon &icon)
{
    m_pixmaps = SniPixmap::fromIcon(icon, iconSizes());
    emitSignal("NewIcon");
}

void StatusNotifierItem::setToolTip(const QString &text)
{
    if (text == m_toolTip)
        return;
    m_toolTip = text;
    emitSignal("NewToolTip");
}

void StatusNotifierItem::emitSignal(const char *name, const QList<QVariant> &arguments)
{
    if (m_serviceName.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(
        QLatin1String(itemPath), QLatin1String(interfaceName), QLatin1String(name));
    signal.setArguments(arguments);
    m_bus.send(signal);
}

QVariantMap StatusNotifierItem::properties() const
{
    const qsizetype lineBreak = m_toolTip.indexOf(QLatin1Char('\n'));
    SniToolTip toolTip;
    toolTip.title = lineBreak < 0 ? m_toolTip : m_toolTip.left(lineBreak);
    // Hosts read the body as markup, and it can carry an invitation's title: a
    // stranger's "<img src=…>" would otherwise be fetched and shown.
    toolTip.text = lineBreak < 0 ? QString() : m_toolTip.mid(lineBreak + 1).toHtmlEscaped();
    return {
        { QStringLiteral("Category"), QStringLiteral("ApplicationStatus") },
        { QStringLiteral("Id"), QStringLiteral("moriva") },
        { QStringLiteral("Title"), QStringLiteral("Moriva") },
        { QStringLiteral("Status"), QStringLiteral("Active") },
        { QStringLiteral("WindowId"), 0 },
        { QStringLiteral("IconThemePath"), QString() },
        { QStringLiteral("IconName"), QString() },
        { QStringLiteral("IconPixmap"), QVariant::fromValue(m_pixmaps) },
        { QStringLiteral("OverlayIconName"), QString() },
        { QStringLiteral("OverlayIconPixmap"), QVariant::fromValue(SniPixmapList()) },
        { QStringLiteral("AttentionIconName"), QString() },
        { QStringLiteral("AttentionIconPixmap"), QVariant::fromValue(SniPixmapList()) },
        { QStringLiteral("AttentionMovieName"), QString() },
        { QStringLiteral("ToolTip"), QVariant::fromValue(toolTip) },
        { QStringLiteral("ItemIsMenu"), false },
        { QStringLiteral("Menu"), QVariant::fromValue(QDBusObjectPath(QLatin1String(menuPath))) },
    };
}

QString StatusNotifierItem::introspect(const QString &) const
{
    return QStringLiteral(R"xml(<interface name="org.kde.StatusNotifierItem">
  <property name="Category" type="s" access="read"/>
  <property name="Id" type="s" access="read"/>
  <property name="Title" type="s" access="read"/>
  <property name="Status" type="s" access="read"/>
  <property name="WindowId" type="i" access="read"/>
  <property name="IconThemePath" type="s" access="read"/>
  <property name="IconName" type="s" access="read"/>
  <property name="IconPixmap" type="a(iiay)" access="read"/>
  <property name="OverlayIconName" type="s" access="read"/>
  <property name="OverlayIconPixmap" type="a(iiay)" access="read"/>
  <property name="AttentionIconName" type="s" access="read"/>
  <property name="AttentionIconPixmap" type="a(iiay)" access="read"/>
  <property name="AttentionMovieName" type="s" access="read"/>
  <property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
  <property name="ItemIsMenu" type="b" access="read"/>
  <property name="Menu" type="o" access="read"/>
  <method name="ContextMenu"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
  <method name="Activate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
  <method name="SecondaryActivate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
  <method name="Scroll"><arg name="delta" type="i" direction="in"/><arg name="orientation" type="s" direction="in"/></method>
  <signal name="NewTitle"/>
  <signal name="NewIcon"/>
  <signal name="NewAttentionIcon"/>
  <signal name="NewOverlayIcon"/>
  <signal name="NewToolTip"/>
  <signal name="NewStatus"><arg name="status" type="s"/></signal>
</interface>
)xml");
}

bool StatusNotifierItem::handleMessage(const QDBusMessage &message, const QDBusConnection &connection)
{
    const QString member = message.member();
    const QList<QVariant> args = message.arguments();

    if (isPropertiesCall(message))
        return answerPropertiesCall(message, connection, properties());
    if (!message.interface().isEmpty() && message.interface() != QLatin1String(interfaceName))
        return false;

    const QPoint point = args.size() == 2 && member != QLatin1String("Scroll")
        ? QPoint(args.at(0).toInt(), args.at(1).toInt())
        : QPoint();
    // Answer first: the host waits for the reply, and what follows may take a while.
    if (member == QLatin1String("Activate")) {
        connection.send(message.createReply());
        Q_EMIT activated(point);
        return true;
    }
    if (member == QLatin1String("SecondaryActivate")) {
        connection.send(message.createReply());
        Q_EMIT secondaryActivated(point);
        return true;
    }
    if (member == QLatin1String("ContextMenu")) {
        connection.send(message.createReply());
        Q_EMIT contextMenuRequested(point);
        return true;
    }
    if (member == QLatin1String("Scroll"))
        return connection.send(message.createReply());
    return false;
}
