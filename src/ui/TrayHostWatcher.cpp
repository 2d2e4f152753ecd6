#include "TrayHostWatcher.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QLibrary>
#include <QTimer>

#include <xcb/xcb.h>

#include <cstdlib>

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

namespace {

// libxcb is already in the process through Qt's xcb plugin; resolving the four
// calls at run time keeps the library free of a link dependency it needs only on X11.
struct XcbCalls
{
    decltype(&xcb_intern_atom) internAtom = nullptr;
    decltype(&xcb_intern_atom_reply) internAtomReply = nullptr;
    decltype(&xcb_get_selection_owner) getSelectionOwner = nullptr;
    decltype(&xcb_get_selection_owner_reply) getSelectionOwnerReply = nullptr;

    static const XcbCalls &get()
    {
        static const XcbCalls calls = [] {
            XcbCalls c;
            QLibrary lib(QStringLiteral("xcb"), 1);
            if (!lib.load())
                return c;
            c.internAtom = reinterpret_cast<decltype(c.internAtom)>(lib.resolve("xcb_intern_atom"));
            c.internAtomReply
                = reinterpret_cast<decltype(c.internAtomReply)>(lib.resolve("xcb_intern_atom_reply"));
            c.getSelectionOwner
                = reinterpret_cast<decltype(c.getSelectionOwner)>(lib.resolve("xcb_get_selection_owner"));
            c.getSelectionOwnerReply = reinterpret_cast<decltype(c.getSelectionOwnerReply)>(
                lib.resolve("xcb_get_selection_owner_reply"));
            return c;
        }();
        return calls;
    }
    bool valid() const
    {
        return internAtom && internAtomReply && getSelectionOwner && getSelectionOwnerReply;
    }
};

int x11ScreenNumber()
{
    const QByteArray display = qgetenv("DISPLAY");
    const int dot = display.lastIndexOf('.');
    const int colon = display.lastIndexOf(':');
    if (dot > colon && colon >= 0)
        return display.mid(dot + 1).toInt();
    return 0;
}

} // namespace

bool TrayHostWatcher::xembedTrayOwned()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    const XcbCalls &xcb = XcbCalls::get();
    if (!x11 || !x11->connection() || !xcb.valid())
        return false;
    xcb_connection_t *connection = x11->connection();
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(x11ScreenNumber());
    xcb_intern_atom_reply_t *atom = xcb.internAtomReply(
        connection, xcb.internAtom(connection, 1, name.size(), name.constData()), nullptr);
    if (!atom)
        return false;
    const xcb_atom_t selection = atom->atom;
    std::free(atom);
    if (selection == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t *owner
        = xcb.getSelectionOwnerReply(connection, xcb.getSelectionOwner(connection, selection), nullptr);
    if (!owner)
        return false;
    const bool owned = owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    return owned;
}
