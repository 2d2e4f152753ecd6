#pragma once

#include <QObject>

/**
 * One Moriva per session. The first process owns a well-known name on the
 * session bus; a later one only asks it to open its popover, or to join the
 * next meeting. Binding a desktop keyboard shortcut to `moriva` therefore
 * opens the calendar, and one to `moriva --join-next` joins the meeting.
 */
class SingleInstance : public QObject
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

    /** Asks the owner of the name to open its popover; false when nobody answered. */
    static bool activateRunning(QString *error = nullptr);
    /** Asks the owner of the name to join the next meeting; false when nobody answered. */
    static bool joinNextInRunning(QString *error = nullptr);

public Q_SLOTS:
    Q_SCRIPTABLE void OpenPopover();
    /** Opens the meeting in progress or about to start, else the popover. */
    Q_SCRIPTABLE void JoinNextMeeting();

Q_SIGNALS:
    void openRequested();
    void joinNextRequested();

private:
    static bool callRunning(const QString &method, QString *error);

    bool m_registered = false;
};
