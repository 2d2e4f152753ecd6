#include "SwayFocusWatcher.h"

#include "SwayIpc.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>

#include <unistd.h>

namespace {

constexpr quint32 workspaceEvent = SwayIpc::eventBit | 0;
constexpr quint32 windowEvent = SwayIpc::eventBit | 3;

} // namespace

SwayFocusWatcher::SwayFocusWatcher(QObject *parent)
    : QObject(parent)
{ }

SwayFocusWatcher::~SwayFocusWatcher()
{
    stop();
}

bool SwayFocusWatcher::isFocusChange(quint32 type, const QByteArray &payload)
{
    if (type != windowEvent && type != workspaceEvent)
        return false;
    return QJsonDocument::fromJson(payload).object().value(QLatin1String("change")).toString()
        == QLatin1String("focus");
}

bool SwayFocusWatcher::start()
{
    if (m_socket >= 0)
        return true;
    const int socket = SwayIpc::open();
    if (socket < 0)
        return false;
    const QByteArray reply = SwayIpc::request(socket, SwayIpc::subscribe, R"(["window","workspace"])");
    if (!QJsonDocument::fromJson(reply).object().value(QLatin1String("success")).toBool()) {
        ::close(socket);
        return false;
    }
    m_socket = socket;
    m_notifier = new QSocketNotifier(qintptr(socket), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SwayFocusWatcher::readEvents);
    return true;
}

void SwayFocusWatcher::stop()
{
    if (m_socket < 0)
        return;
    delete m_notifier;
    m_notifier = nullptr;
    ::close(m_socket);
    m_socket = -1;
}

void SwayFocusWatcher::readEvents()
{
    quint32 type = 0;
    QByteArray payload;
    if (!SwayIpc::receive(m_socket, &type, &payload)) {
        // sway went away or spoke out of turn: nothing more will come from this socket.
        stop();
        return;
    }
    if (isFocusChange(type, payload))
        Q_EMIT focusMoved();
}
