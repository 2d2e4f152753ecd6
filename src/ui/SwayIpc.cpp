#include "SwayIpc.h"

#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr char magic[] = "i3-ipc";
constexpr int magicSize = 6;
constexpr int headerSize = magicSize + 4 + 4;
constexpr quint32 largestPayload = 4 * 1024 * 1024;

bool readFully(int socket, char *buffer, qsizetype size, int timeoutMs)
{
    qsizetype done = 0;
    while (done < size) {
        pollfd fd { socket, POLLIN, 0 };
        if (::poll(&fd, 1, timeoutMs) <= 0)
            return false;
        const ssize_t got = ::read(socket, buffer + done, size_t(size - done));
        if (got <= 0)
            return false;
        done += got;
    }
    return true;
}

} // namespace

int SwayIpc::open()
{
    const QByteArray path = qgetenv("SWAYSOCK");
    sockaddr_un address {};
    if (path.isEmpty() || size_t(path.size()) >= sizeof address.sun_path)
        return -1;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return -1;
    if (::connect(socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(socket);
        return -1;
    }
    return socket;
}

bool SwayIpc::send(int socket, quint32 type, const QByteArray &payload)
{
    QByteArray message(magic, magicSize);
    const quint32 header[2] = { quint32(payload.size()), type };
    message.append(reinterpret_cast<const char *>(header), sizeof header);
    message.append(payload);
    return ::send(socket, message.constData(), size_t(message.size()), MSG_NOSIGNAL) == message.size();
}

bool SwayIpc::receive(int socket, quint32 *type, QByteArray *payload, int timeoutMs)
{
    char head[headerSize];
    if (!readFully(socket, head, headerSize, timeoutMs) || std::memcmp(head, magic, magicSize) != 0)
        return false;
    quint32 length = 0;
    std::memcpy(&length, head + magicSize, 4);
    std::memcpy(type, head + magicSize + 4, 4);
    if (length > largestPayload)
        return false;
    payload->resize(qsizetype(length));
    return readFully(socket, payload->data(), payload->size(), timeoutMs);
}

QByteArray SwayIpc::request(int socket, quint32 type, const QByteArray &payload)
{
    if (!send(socket, type, payload))
        return {};
    quint32 replyType = 0;
    QByteArray reply;
    if (!receive(socket, &replyType, &reply) || replyType != type)
        return {};
    return reply;
}
