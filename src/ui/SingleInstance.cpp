#include "SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

SingleInstance::SingleInstance(QObject *parent)
    : QObject(parent)
{ }

SingleInstance::~SingleInstance()
{
    if (!m_registered)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(QLatin1String(objectPath));
    bus.unregisterService(QLatin1String(serviceName));
}

SingleInstance::Role SingleInstance::claim()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return Role::alone;
    const auto reply = bus.interface()->registerService(QLatin1String(serviceName),
        QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid())
        return Role::alone;
    if (reply.value() != QDBusConnectionInterface::ServiceRegistered)
        return Role::secondary;
    m_registered
        = bus.registerObject(QLatin1String(objectPath), this, QDBusConnection::ExportScriptableSlots);
    return Role::primary;
}

bool SingleInstance::activateRunning(QString *error)
{
    return callRunning(QStringLiteral("OpenPopover"), error);
}

bool SingleInstance::joinNextInRunning(QString *error)
{
    return callRunning(QStringLiteral("JoinNextMeeting"), error);
}

bool SingleInstance::callRunning(const QString &method, QString *error)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(serviceName), QLatin1String(objectPath), QLatin1String(serviceName), method);
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    if (error)
        *error = reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
    return false;
}

void SingleInstance::OpenPopover()
{
    Q_EMIT openRequested();
}

int SingleInstance::AgendaNext(bool json, bool noSystem, const QString &settingsFile, const QString &timeZone,
    const QString &locale, QString &output, QString &errors)
{
    const AgendaFormat::Context asked { settingsFile, timeZone, locale };
    const QString unavailable = QStringLiteral("org.moriva.Moriva.Error.Unavailable");
    if (!(asked == AgendaFormat::currentContext())) {
        sendErrorReply(
            unavailable, QStringLiteral("Moriva reads other settings or prints in another zone or locale"));
        return 0;
    }
    const std::optional<AgendaFormat::Answer> answer
        = m_agendaHandler ? m_agendaHandler(json, noSystem) : std::nullopt;
    if (!answer) {
        sendErrorReply(unavailable, QStringLiteral("Moriva is still loading its calendars"));
        return 0;
    }
    output = answer->output;
    errors = answer->errors;
    return answer->status;
}

void SingleInstance::JoinNextMeeting()
{
    Q_EMIT joinNextRequested();
}
