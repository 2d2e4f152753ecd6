#include "SwayPanels.h"

#include "PanelAnchor.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr quint32 getWorkspaces = 1;
constexpr quint32 getOutputs = 3;
constexpr int replyTimeoutMs = 200;
constexpr char magic[] = "i3-ipc";
constexpr int headerSize = 6 + 4 + 4;

QRect rectOf(const QJsonObject &object)
{
    const QJsonObject rect = object.value(QLatin1String("rect")).toObject();
    return QRect(rect.value(QLatin1String("x")).toInt(), rect.value(QLatin1String("y")).toInt(),
        rect.value(QLatin1String("width")).toInt(), rect.value(QLatin1String("height")).toInt());
}

bool readFully(int socket, char *buffer, qsizetype size)
{
    qsizetype done = 0;
    while (done < size) {
        pollfd fd { socket, POLLIN, 0 };
        if (::poll(&fd, 1, replyTimeoutMs) <= 0)
            return false;
        const ssize_t got = ::read(socket, buffer + done, size_t(size - done));
        if (got <= 0)
            return false;
        done += got;
    }
    return true;
}

} // namespace

QByteArray SwayPanels::request(int socket, quint32 type)
{
    QByteArray message(magic, 6);
    const quint32 header[2] = { 0, type };
    message.append(reinterpret_cast<const char *>(header), sizeof header);
    if (::write(socket, message.constData(), size_t(message.size())) != message.size())
        return {};
    char head[headerSize];
    if (!readFully(socket, head, headerSize) || std::memcmp(head, magic, 6) != 0)
        return {};
    quint32 length = 0;
    std::memcpy(&length, head + 6, 4);
    if (length > 4 * 1024 * 1024)
        return {};
    QByteArray payload(qsizetype(length), Qt::Uninitialized);
    if (!readFully(socket, payload.data(), payload.size()))
        return {};
    return payload;
}

QList<QRect> SwayPanels::query()
{
    const QByteArray path = qgetenv("SWAYSOCK");
    sockaddr_un address {};
    if (path.isEmpty() || size_t(path.size()) >= sizeof address.sun_path)
        return {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return {};
    QList<QRect> bands;
    if (::connect(socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0) {
        const QByteArray outputs = request(socket, getOutputs);
        const QByteArray workspaces = outputs.isEmpty() ? QByteArray() : request(socket, getWorkspaces);
        bands = fromReplies(outputs, workspaces);
    }
    ::close(socket);
    return bands;
}

QList<QRect> SwayPanels::fromReplies(const QByteArray &outputs, const QByteArray &workspaces)
{
    QList<QRect> bands;
    const QJsonArray outputList = QJsonDocument::fromJson(outputs).array();
    const QJsonArray workspaceList = QJsonDocument::fromJson(workspaces).array();
    for (const QJsonValue &output : outputList) {
        const QJsonObject outputObject = output.toObject();
        if (!outputObject.value(QLatin1String("active")).toBool(true))
            continue;
        const QString name = outputObject.value(QLatin1String("name")).toString();
        const QRect geometry = rectOf(outputObject);
        for (const QJsonValue &workspace : workspaceList) {
            const QJsonObject workspaceObject = workspace.toObject();
            if (workspaceObject.value(QLatin1String("output")).toString() != name
                || !workspaceObject.value(QLatin1String("visible")).toBool())
                continue;
            // The workspace's rectangle is the output less what its panels reserve.
            bands.append(PanelAnchor::bandsBetween(geometry, rectOf(workspaceObject)));
            break;
        }
    }
    return bands;
}
