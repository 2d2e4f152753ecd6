#include "TrayColorWatcher.h"

#include "X11Desktop.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/xcb.h>

namespace {

TrayColorWatcher::Tray displayTray()
{
    TrayColorWatcher::Tray tray;
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return tray;
    tray.selectionAtom = X11Desktop::internAtom(X11Desktop::traySelectionName());
    tray.colorsAtom = X11Desktop::internAtom("_NET_SYSTEM_TRAY_COLORS");
    tray.managerAtom = X11Desktop::internAtom("MANAGER");
    tray.manager = [] { return X11Desktop::trayManager(); };
    tray.watch = [](quint32 manager) { X11Desktop::watchTrayManager(manager); };
    tray.foreground = [](quint32 manager) { return X11Desktop::trayForeground(manager); };
    return tray;
}

} // namespace

TrayColorWatcher::TrayColorWatcher(QObject *parent)
    : TrayColorWatcher(displayTray(), parent)
{ }

TrayColorWatcher::TrayColorWatcher(Tray tray, QObject *parent)
    : QObject(parent)
    , m_tray(std::move(tray))
{
    m_active = m_tray.manager && m_tray.watch && m_tray.foreground && m_tray.selectionAtom != 0
        && m_tray.colorsAtom != 0;
    if (!m_active)
        return;
    // MANAGER goes to the root window with StructureNotify, which Qt's xcb
    // platform already selects there for its own tray icons.
    QCoreApplication::instance()->installNativeEventFilter(this);
    follow(m_tray.manager());
}

TrayColorWatcher::~TrayColorWatcher()
{
    if (m_active && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

void TrayColorWatcher::follow(quint32 manager)
{
    m_manager = manager;
    // Selected before reading, so a change between the two is not lost.
    if (manager)
        m_tray.watch(manager);
    reread();
}

void TrayColorWatcher::reread()
{
    const std::optional<QColor> color = m_manager ? m_tray.foreground(m_manager) : std::nullopt;
    if (color == m_foreground)
        return;
    m_foreground = color;
    Q_EMIT foregroundChanged();
}

bool TrayColorWatcher::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (!m_active || eventType != "xcb_generic_event_t" || !message)
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    switch (event->response_type & ~0x80) {
    case XCB_PROPERTY_NOTIFY: {
        const auto *notify = reinterpret_cast<const xcb_property_notify_event_t *>(event);
        if (m_manager && notify->window == m_manager && notify->atom == m_tray.colorsAtom)
            reread();
        break;
    }
    case XCB_CLIENT_MESSAGE: {
        const auto *client = reinterpret_cast<const xcb_client_message_event_t *>(event);
        // data32[1] is the selection taken, data32[2] the new manager window.
        if (client->format == 32 && client->type == m_tray.managerAtom
            && client->data.data32[1] == m_tray.selectionAtom)
            follow(client->data.data32[2]);
        break;
    }
    case XCB_DESTROY_NOTIFY: {
        const auto *destroyed = reinterpret_cast<const xcb_destroy_notify_event_t *>(event);
        if (m_manager && destroyed->window == m_manager)
            follow(m_tray.manager());
        break;
    }
    default:
        break;
    }
    // Qt's own tray code needs the same events.
    return false;
}
