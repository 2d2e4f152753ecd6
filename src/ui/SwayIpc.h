#pragma once

#include <QByteArray>

/**
 * The framing of sway's IPC socket ($SWAYSOCK): a magic string, the payload's
 * length and the message type, then the payload (JSON). Blocking calls with a
 * short timeout; sway answers at once or not at all.
 */
class SwayIpc
{
public:
    enum Type : quint32 { getWorkspaces = 1, subscribe = 2, getOutputs = 3 };
    /** Set in the type of messages sway sends unasked, after a subscribe. */
    static constexpr quint32 eventBit = 0x80000000u;

    /** A connected socket, or -1 when there is no sway. */
    static int open();
    static bool send(int socket, quint32 type, const QByteArray &payload = {});
    /** One whole message; false on timeout, a closed socket or a message that is not sway's. */
    static bool receive(int socket, quint32 *type, QByteArray *payload, int timeoutMs = 200);
    /** A request and its answer; empty on failure. */
    static QByteArray request(int socket, quint32 type, const QByteArray &payload = {});
};
