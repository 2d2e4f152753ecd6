#include "TrayHostWatcher.h"

#include "X11Desktop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QTimer>

TrayHostWatcher::TrayHostWatcher(QObject *parent)
    : TrayHostWatcher(&TrayHostWatcher::probeSystem, defaultIntervalMs, defaultTimeoutMs, parent)
{ }

TrayHostWatcher::TrayHostWatcher(Probe probe, int intervalMs, int timeoutMs, QObject *parent)
    : QObject(parent)
    , m_probe(std::move(probe))
    , m_intervalMs(intervalMs)
    , m_timeoutMs(timeoutMs)
    , m_timer(new QTimer(this))
{
    m_timer->setInterval(m_intervalMs);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_waitedMs += m_intervalMs;
        poll();
    });
}

void TrayHostWatcher::start()
{
    if (m_finished || m_timer->isActive())
        return;
    poll();
    if (!m_finished)
        m_timer->start();
}

void TrayHostWatcher::poll()
{
    const Host host = m_probe ? m_probe() : Host::none;
    if (host == Host::none && m_waitedMs < m_timeoutMs)
        return;
    m_timer->stop();
    m_finished = true;
    Q_EMIT ready(host);
}

QString TrayHostWatcher::missingTrayMessage(const QString &currentDesktop, bool waylandSession)
{
    const QStringList desktops = currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    const auto runs
        = [&](const char *name) { return desktops.contains(QLatin1String(name), Qt::CaseInsensitive); };
    QString hint;
    if (runs("GNOME") || runs("Unity"))
        hint = QStringLiteral("GNOME Shell needs a tray extension: install and enable "
                              "\"AppIndicator and KStatusNotifierItem Support\".");
    else if (waylandSession)
        hint = QStringLiteral(
            "Add a tray that shows StatusNotifierItems to the panel (waybar: the \"tray\" module).");
    else
        hint = QStringLiteral("Add a notification area (system tray) to the panel.");
    return QStringLiteral("Moriva: no system tray found, so its icon cannot be shown. ") + hint;
}

TrayHostWatcher::Host TrayHostWatcher::probeSystem()
{
    if (statusNotifierHostRegistered())
        return Host::statusNotifier;
    if (xembedTrayOwned())
        return Host::xembed;
    return Host::none;
}

bool TrayHostWatcher::statusNotifierHostRegistered()
{
    static const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(watcher))
        return false;
    QDBusMessage get = QDBusMessage::createMethodCall(watcher, QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << watcher << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(get, QDBus::Block, 500);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

bool TrayHostWatcher::xembedTrayOwned()
{
    return X11Desktop::hasSystemTray();
}
