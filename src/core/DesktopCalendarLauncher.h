#pragma once

#include "CalendarAppLauncher.h"

#include <QString>
#include <QStringList>

#include <functional>

/**
 * Opens an event in the desktop's calendar application: the default
 * application for text/calendar as the freedesktop MIME-apps lists name it.
 *
 * GNOME Calendar and Evolution can show one event of the system store by its
 * source, component and recurrence ids, so they are asked to. Any other
 * application is only started (its Exec line without field codes), unless an
 * application is registered for ical: links, which then gets the event's
 * deep link. Nothing is ever handed an .ics file: that would import a copy of
 * the event. Commands are argument vectors, never shell lines.
 */
class DesktopCalendarLauncher : public CalendarAppLauncher
{
public:
    /** Starts a detached process; tests pass their own to see the argument vector. */
    using ProcessRunner = std::function<bool(const QString &program, const QStringList &arguments)>;

    /** Where the desktop keeps its lists and application entries; by default from the XDG variables. */
    struct Environment
    {
        QString configHome;
        QStringList configDirs;
        QString dataHome;
        QStringList dataDirs;
        QStringList currentDesktops; ///< XDG_CURRENT_DESKTOP, lower-cased
        QStringList path; ///< for TryExec

        static Environment fromProcess();
    };

    explicit DesktopCalendarLauncher(
        ProcessRunner runner = {}, Environment environment = Environment::fromProcess());

    void showEvent(const CalendarEvent &event) override;

    /** The argument vector showEvent starts, program first; empty when there is nothing to start. */
    QStringList commandFor(const CalendarEvent &event) const;
    /** The desktop id of the default handler of a MIME type or x-scheme-handler/…, empty when none is
     * installed. */
    QString defaultApplication(const QString &mimeType) const;

    /** An Exec value split as the desktop-entry format quotes it, with every field code removed. */
    static QStringList splitExec(const QString &exec);

private:
    struct Entry
    {
        QString id;
        QStringList exec;
    };
    Entry entryFor(const QString &mimeType) const;
    QString desktopFilePath(const QString &desktopId) const;
    bool readEntry(const QString &desktopId, Entry &entry) const;

    ProcessRunner m_runner;
    Environment m_env;
};
