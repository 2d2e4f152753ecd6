#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QVariant;
class SettingsFile;

/** One place to look for calendars, as configured or discovered. */
struct SourceRoot
{
    QString path; ///< a file, a folder, or a pattern with * ? [..] per path component
    /**
     * Every .ics file and every subfolder inside is a calendar of its own
     * (~/.calendars, the drop-in folder). Otherwise a folder that holds .ics
     * files or a displayname/color file is one collection, and any other
     * folder is treated as a container.
     */
    bool container = false;

    friend bool operator==(const SourceRoot &, const SourceRoot &) = default;
};

/** One calendar found under the roots: a vdir collection or a single .ics file. */
struct CalendarLocation
{
    QString path;
    bool isFile = false;
};

/**
 * Where the user's calendar files are. The settings key "calendarSources"
 * (a list of folders and .ics files) wins; without it Moriva reads what khal
 * reads, the collections under ~/.calendars, and its own drop-in folder.
 */
namespace CalendarSources {

inline constexpr char settingsKey[] = "calendarSources";

/** The configured paths (with ~ expanded) of the key's value, or none when it is absent or empty. */
QStringList configured(const QVariant &value);
/** The configured sources of a settings file. */
QList<SourceRoot> fromSettings(const SettingsFile &settings);
/**
 * The configured sources of the running user's settings file; empty when
 * none are configured, which tells the store to discover them, again on
 * every rescan so that new calendars are found.
 */
QList<SourceRoot> forUser();
QList<SourceRoot> fromPaths(const QStringList &paths);
/** khal's calendars, ~/.calendars and the drop-in folder, as far as they exist. */
QList<SourceRoot> discover();
/** $XDG_DATA_HOME/moriva/calendars: exports and subscriptions copied here are read as they are. */
QString dropInFolder();
/**
 * What to watch so that discovery notices new sources: khal's configuration
 * and the drop-in folder, or the nearest existing folder it would appear in.
 */
QStringList discoveryWatchPaths();
/** The calendar paths of a khal configuration file's [calendars] section (birthdays left out). */
QStringList khalCalendarPaths(const QString &configText);

/**
 * The calendars under the roots, each once, in a stable order. Paths that
 * exist but cannot be read are counted in `unreadable`; so are configured
 * paths that do not exist, since the user pointed at them.
 */
QList<CalendarLocation> locate(
    const QList<SourceRoot> &roots, int *unreadable = nullptr, QStringList *watchedFolders = nullptr);

/** Whether the name ends in .ics and is not a hidden or temporary file. */
bool isCalendarFileName(const QString &fileName);

} // namespace CalendarSources
