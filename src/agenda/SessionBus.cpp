#include "SessionBus.h"

#include "SystemStoreModule.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>

#include <dbus/dbus.h>

#include <cstring>

Q_LOGGING_CATEGORY(lcAgendaBus, "moriva.agenda.bus", QtWarningMsg)

namespace {

constexpr const char *busName = "org.freedesktop.DBus";
constexpr const char *busPath = "/org/freedesktop/DBus";
constexpr const char *appName = "org.moriva.Moriva";
constexpr const char *appPath = "/org/moriva/Moriva";

struct MessageRef
{
    DBusMessage *message = nullptr;
    ~MessageRef()
    {
        if (message)
            dbus_message_unref(message);
    }
};

struct ErrorGuard
{
    DBusError error;
    ErrorGuard() { dbus_error_init(&error); }
    ~ErrorGuard() { dbus_error_free(&error); }
};

// The address libdbus would use, without its fallback of starting a bus.
QByteArray sessionAddress()
{
    const QByteArray fromEnvironment = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const QByteArray socket
        = QFile::encodeName(QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath(QStringLiteral("bus")));
    char *escaped = dbus_address_escape_value(socket.constData());
    const QByteArray address = QByteArray("unix:path=") + escaped;
    dbus_free(escaped);
    return address;
}

} // namespace

std::unique_ptr<SessionBus> SessionBus::connect(int timeoutMs)
{
    if (!SystemStoreModule::sessionBusReachable())
        return nullptr;
    ErrorGuard e;
    DBusConnection *connection = dbus_connection_open_private(sessionAddress().constData(), &e.error);
    if (!connection) {
        qCDebug(lcAgendaBus) << "no session bus:" << e.error.message;
        return nullptr;
    }
    dbus_connection_set_exit_on_disconnect(connection, FALSE);
    if (!dbus_bus_register(connection, &e.error)) {
        qCDebug(lcAgendaBus) << "session bus refused us:" << e.error.message;
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
        return nullptr;
    }
    return std::unique_ptr<SessionBus>(new SessionBus(connection, timeoutMs));
}

SessionBus::SessionBus(DBusConnection *connection, int timeoutMs)
    : m_connection(connection)
    , m_timeoutMs(timeoutMs)
{ }

SessionBus::~SessionBus()
{
    dbus_connection_close(m_connection);
    dbus_connection_unref(m_connection);
}

bool SessionBus::hasOwner(const char *name)
{
    MessageRef call { dbus_message_new_method_call(busName, busPath, busName, "NameHasOwner") };
    if (!call.message || !dbus_message_append_args(call.message, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID))
        return false;
    ErrorGuard e;
    MessageRef reply { dbus_connection_send_with_reply_and_block(
        m_connection, call.message, m_timeoutMs, &e.error) };
    dbus_bool_t owned = FALSE;
    return reply.message
        && dbus_message_get_args(reply.message, &e.error, DBUS_TYPE_BOOLEAN, &owned, DBUS_TYPE_INVALID)
        && owned;
}

bool SessionBus::answers(const char *name)
{
    if (hasOwner(name))
        return true;
    MessageRef call { dbus_message_new_method_call(busName, busPath, busName, "ListActivatableNames") };
    if (!call.message)
        return false;
    ErrorGuard e;
    MessageRef reply { dbus_connection_send_with_reply_and_block(
        m_connection, call.message, m_timeoutMs, &e.error) };
    char **names = nullptr;
    int count = 0;
    if (!reply.message
        || !dbus_message_get_args(
            reply.message, &e.error, DBUS_TYPE_ARRAY, DBUS_TYPE_STRING, &names, &count, DBUS_TYPE_INVALID))
        return false;
    bool found = false;
    for (int i = 0; i < count && !found; ++i)
        found = std::strcmp(names[i], name) == 0;
    dbus_free_string_array(names);
    return found;
}

std::optional<AgendaFormat::Answer> SessionBus::askNext(
    bool json, bool noSystem, const AgendaFormat::Context &context)
{
    if (!hasOwner(appName))
        return std::nullopt;
    MessageRef call { dbus_message_new_method_call(appName, appPath, appName, "AgendaNext") };
    const dbus_bool_t wantJson = json;
    const dbus_bool_t wantNoSystem = noSystem;
    const QByteArray settingsFile = context.settingsFile.toUtf8();
    const QByteArray timeZone = context.timeZone.toUtf8();
    const QByteArray locale = context.locale.toUtf8();
    const char *settingsText = settingsFile.constData();
    const char *zoneText = timeZone.constData();
    const char *localeText = locale.constData();
    if (!call.message
        || !dbus_message_append_args(call.message, DBUS_TYPE_BOOLEAN, &wantJson, DBUS_TYPE_BOOLEAN,
            &wantNoSystem, DBUS_TYPE_STRING, &settingsText, DBUS_TYPE_STRING, &zoneText, DBUS_TYPE_STRING,
            &localeText, DBUS_TYPE_INVALID))
        return std::nullopt;
    ErrorGuard e;
    MessageRef reply { dbus_connection_send_with_reply_and_block(
        m_connection, call.message, m_timeoutMs, &e.error) };
    if (!reply.message) {
        qCDebug(lcAgendaBus) << "Moriva did not answer:" << e.error.name << e.error.message;
        return std::nullopt;
    }
    dbus_int32_t status = 0;
    const char *output = nullptr;
    const char *errors = nullptr;
    if (!dbus_message_get_args(reply.message, &e.error, DBUS_TYPE_INT32, &status, DBUS_TYPE_STRING, &output,
            DBUS_TYPE_STRING, &errors, DBUS_TYPE_INVALID))
        return std::nullopt;
    qCDebug(lcAgendaBus) << "answered by the running Moriva";
    return AgendaFormat::Answer { int(status), QString::fromUtf8(output), QString::fromUtf8(errors) };
}
