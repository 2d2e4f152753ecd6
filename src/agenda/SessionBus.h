#pragma once

#include "AgendaFormat.h"

#include <memory>
#include <optional>

struct DBusConnection;

/**
 * The agenda's few questions to the session bus, through libdbus directly:
 * QtDBus would bring QtGui's neighbour libraries and a thread for a process
 * that asks two questions and leaves. Every call is bounded; a bus that does
 * not answer in time is treated as absent.
 */
class SessionBus
{
public:
    /** The session bus, when one is reachable without starting one; else nothing. */
    static std::unique_ptr<SessionBus> connect(int timeoutMs);
    ~SessionBus();
    SessionBus(const SessionBus &) = delete;
    SessionBus &operator=(const SessionBus &) = delete;

    /** Someone owns the name now. */
    bool hasOwner(const char *name);
    /** Someone owns the name, or the bus would start its service on the first call. */
    bool answers(const char *name);

    /**
     * Asks the running Moriva for the next event. Nothing when no Moriva
     * answers in time, or when it cannot answer as the files would (another
     * settings file, zone or locale, or its calendars still loading).
     */
    std::optional<AgendaFormat::Answer> askNext(
        bool json, bool noSystem, const AgendaFormat::Context &context);

private:
    SessionBus(DBusConnection *connection, int timeoutMs);

    DBusConnection *m_connection;
    int m_timeoutMs;
};
