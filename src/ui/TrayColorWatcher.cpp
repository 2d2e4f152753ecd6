#include "TrayColorWatcher.h"

#include <QSocketNotifier>

#include <xcb/xcb.h>

#include <cstdlib>

TrayColorWatcher::TrayColorWatcher(QObject *parent)
    : TrayColorWatcher(Tray(), parent)
{
    m_connection = std::make_unique<X11Desktop::TrayConnection>();
    if (!m_connection->isValid())
        return;
    const X11Desktop::TrayConnection *connection = m_connection.get();
    m_tray.manager = [connection] { return connection->trayManager(); };
    m_tray.watch = [connection](quint32 manager) { connection->watch(manager); };
    m_tray.foreground = [connection](quint32 manager) { return connection->foreground(manager); };
    m_tray.selectionAtom = connection->selectionAtom();
    m_tray.colorsAtom = connection->colorsAtom();
    m_tray.managerAtom = connection->managerAtom();
    m_active = true;
    m_notifier = new QSocketNotifier(qintptr(connection->fileDescriptor()), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TrayColorWatcher::drain);
    follow(m_tray.manager());
    drain();
}

TrayColorWatcher::TrayColorWatcher(Tray tray, QObject *parent)
    : QObject(parent)
    , m_tray(std::move(tray))
{
    m_active = m_tray.manager && m_tray.watch && m_tray.foreground && m_tray.selectionAtom != 0
        && m_tray.colorsAtom != 0;
    if (m_active)
        follow(m_tray.manager());
}

TrayColorWatcher::~TrayColorWatcher()
{
    // The notifier must not outlive the connection whose socket it watches.
    delete m_notifier;
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

void TrayColorWatcher::drain()
{
    if (!m_connection || m_draining)
        return;
    m_draining = true;
    while (void *event = m_connection->nextEvent()) {
        handleEvent(event);
        std::free(event);
    }
    m_draining = false;
}

void TrayColorWatcher::handleEvent(const void *xcbEvent)
{
    if (!m_active || !xcbEvent)
        return;
    const auto *event = static_cast<const xcb_generic_event_t *>(xcbEvent);
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
}
