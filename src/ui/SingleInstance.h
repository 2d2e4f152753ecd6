#pragma once

#include "AgendaFormat.h"

#include <QDBusContext>
#include <QObject>

#include <functional>
#include <optional>

/**
 * One Moriva per session. The first process owns a well-known name on the
 * session bus; a later one only asks it to open its popover, or to join the
 * next meeting. Binding a desktop keyboard shortcut to `moriva` therefore
 * opens the calendar, and one to `moriva --join-next` joins the meeting.
 *
 * It also answers `moriva-agenda --next` from the app's memory, so a status
 * bar asking every few seconds does not read every calendar file each time.
 */
class SingleInstance : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.moriva.Moriva")
public:
    static constexpr const char *serviceName = "org.moriva.Moriva";
    static constexpr const char *objectPath = "/org/moriva/Moriva";

    enum class Role {
        primary, ///< owns the name; run the application
        secondary, ///< another process owns it; hand over and leave
        alone, ///< no session bus; run without the guarantee
    };

    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    /** Claims the name and, when it is ours, publishes OpenPopover. */
    Role claim();

    /**
     * Answers the agenda's --next (json, noSystem); nothing when the app
     * cannot answer yet, and the command then reads the files itself.
     */
    using AgendaHandler = std::function<std::optional<AgendaFormat::Answer>(bool json, bool noSystem)>;
    void setAgendaHandler(AgendaHandler handler) { m_agendaHandler = std::move(handler); }

    /** Asks the owner of the name to open its popover; false when nobody answered. */
    static bool activateRunning(QString *error = nullptr);
    /** Asks the owner of the name to join the next meeting; false when nobody answered. */
    static bool joinNextInRunning(QString *error = nullptr);

public Q_SLOTS:
    Q_SCRIPTABLE void OpenPopover();
    /** Opens the meeting in progress or about to start, else the popover. */
    Q_SCRIPTABLE void JoinNextMeeting();
    /**
     * The agenda's --next as the command would print it: exit status,
     * standard output and standard error. An error reply when this app reads
     * other settings, prints in another zone or locale, or is still loading.
     */
    Q_SCRIPTABLE int AgendaNext(bool json, bool noSystem, const QString &settingsFile,
        const QString &timeZone, const QString &locale, QString &output, QString &errors);

Q_SIGNALS:
    void openRequested();
    void joinNextRequested();

private:
    static bool callRunning(const QString &method, QString *error);

    bool m_registered = false;
    AgendaHandler m_agendaHandler;
};
