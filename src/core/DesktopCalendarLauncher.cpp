#include "DesktopCalendarLauncher.h"

#include "EventRowRules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QUrl>

namespace {

QStringList splitDirs(const QByteArray &value, const QStringList &fallback)
{
    QStringList out;
    for (const QString &dir : QString::fromLocal8Bit(value).split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(dir))
            out << dir;
    return out.isEmpty() ? fallback : out;
}

QString homeOr(const char *variable, const QString &fallback)
{
    const QString value = qEnvironmentVariable(variable);
    return QDir::isAbsolutePath(value) ? value : QDir::home().filePath(fallback);
}

/** The keys of one group of an ini-like file, values with the string escapes undone. */
QHash<QString, QString> readGroup(const QString &path, const QString &group)
{
    QHash<QString, QString> out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > 1024 * 1024)
        return out;
    const QString wanted = QLatin1Char('[') + group + QLatin1Char(']');
    bool inGroup = false;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == wanted;
            continue;
        }
        if (!inGroup || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        if (out.contains(key))
            continue; // the first occurrence counts
        QString value;
        const QString rawValue = line.mid(eq + 1).trimmed();
        for (qsizetype i = 0; i < rawValue.size(); ++i) {
            const QChar c = rawValue.at(i);
            if (c != QLatin1Char('\\') || i + 1 >= rawValue.size()) {
                value += c;
                continue;
            }
            const QChar n = rawValue.at(++i);
            switch (n.unicode()) {
            case 's':
                value += QLatin1Char(' ');
                break;
            case 'n':
                value += QLatin1Char('\n');
                break;
            case 't':
                value += QLatin1Char('\t');
                break;
            case 'r':
                value += QLatin1Char('\r');
                break;
            case '\\':
                value += QLatin1Char('\\');
                break;
            default:
                value += QLatin1Char('\\');
                value += n;
                break;
            }
        }
        out.insert(key, value);
    }
    return out;
}

QStringList idList(const QString &value)
{
    QStringList out;
    for (const QString &id : value.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        if (id.trimmed().endsWith(QLatin1String(".desktop")))
            out << id.trimmed();
    return out;
}

bool isGnomeCalendar(const QString &id, const QStringList &exec)
{
    return id == QLatin1String("org.gnome.Calendar.desktop") || id == QLatin1String("gnome-calendar.desktop")
        || (!exec.isEmpty() && QFileInfo(exec.first()).fileName() == QLatin1String("gnome-calendar"));
}

bool isEvolution(const QString &id, const QStringList &exec)
{
    return id == QLatin1String("org.gnome.Evolution.desktop") || id == QLatin1String("evolution.desktop")
        || id == QLatin1String("evolution-calendar.desktop")
        || (!exec.isEmpty() && QFileInfo(exec.first()).fileName() == QLatin1String("evolution"));
}

QString encoded(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

} // namespace

DesktopCalendarLauncher::Environment DesktopCalendarLauncher::Environment::fromProcess()
{
    Environment env;
    env.configHome = homeOr("XDG_CONFIG_HOME", QStringLiteral(".config"));
    env.configDirs = splitDirs(qgetenv("XDG_CONFIG_DIRS"), { QStringLiteral("/etc/xdg") });
    env.dataHome = homeOr("XDG_DATA_HOME", QStringLiteral(".local/share"));
    env.dataDirs = splitDirs(
        qgetenv("XDG_DATA_DIRS"), { QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share") });
    for (const QString &d :
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        env.currentDesktops << d.toLower();
    env.path = splitDirs(qgetenv("PATH"), {});
    return env;
}

DesktopCalendarLauncher::DesktopCalendarLauncher(ProcessRunner runner, Environment environment)
    : m_runner(std::move(runner))
    , m_env(std::move(environment))
{
    if (!m_runner)
        m_runner = [](const QString &program, const QStringList &arguments) {
            return QProcess::startDetached(program, arguments);
        };
}

QStringList DesktopCalendarLauncher::splitExec(const QString &exec)
{
    QStringList args;
    QString current;
    bool inArg = false, quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
                current += exec.at(++i);
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                current += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = inArg = true;
        } else if (c.isSpace()) {
            if (inArg)
                args << current;
            current.clear();
            inArg = false;
        } else {
            current += c;
            inArg = true;
        }
    }
    if (inArg)
        args << current;

    // Field codes stand for files, URLs, the icon or the name; Moriva passes
    // none of them, so each goes, and an argument that was only a code goes whole.
    QStringList out;
    for (const QString &arg : std::as_const(args)) {
        QString kept;
        bool hadCode = false;
        for (qsizetype i = 0; i < arg.size(); ++i) {
            if (arg.at(i) == QLatin1Char('%') && i + 1 < arg.size()) {
                const QChar code = arg.at(++i);
                if (code == QLatin1Char('%'))
                    kept += QLatin1Char('%');
                else
                    hadCode = true;
                continue;
            }
            kept += arg.at(i);
        }
        if (!(hadCode && kept.isEmpty()))
            out << kept;
    }
    return out;
}

QString DesktopCalendarLauncher::desktopFilePath(const QString &desktopId) const
{
    if (desktopId.contains(QLatin1String("..")) || desktopId.startsWith(QLatin1Char('/')))
        return {};
    QStringList roots { m_env.dataHome };
    roots += m_env.dataDirs;
    for (const QString &root : std::as_const(roots)) {
        const QDir apps(QDir(root).filePath(QStringLiteral("applications")));
        // "kde-org.kde.korganizer.desktop" may live at kde/org.kde.korganizer.desktop.
        QString relative = desktopId;
        while (true) {
            const QString candidate = apps.filePath(relative);
            if (QFileInfo(candidate).isFile())
                return candidate;
            const qsizetype dash = relative.indexOf(QLatin1Char('-'));
            if (dash < 0)
                break;
            relative[dash] = QLatin1Char('/');
        }
    }
    return {};
}

bool DesktopCalendarLauncher::readEntry(const QString &desktopId, Entry &entry) const
{
    const QString path = desktopFilePath(desktopId);
    if (path.isEmpty())
        return false;
    const auto keys = readGroup(path, QStringLiteral("Desktop Entry"));
    if (keys.value(QStringLiteral("Hidden")).compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return false;
    const QString type = keys.value(QStringLiteral("Type"), QStringLiteral("Application"));
    if (type != QLatin1String("Application"))
        return false;
    const QString tryExec = keys.value(QStringLiteral("TryExec"));
    if (!tryExec.isEmpty()) {
        bool found = QDir::isAbsolutePath(tryExec) && QFileInfo(tryExec).isExecutable();
        for (qsizetype i = 0; !found && !QDir::isAbsolutePath(tryExec) && i < m_env.path.size(); ++i)
            found = QFileInfo(QDir(m_env.path.at(i)).filePath(tryExec)).isExecutable();
        if (!found)
            return false;
    }
    const QStringList exec = splitExec(keys.value(QStringLiteral("Exec")));
    if (exec.isEmpty())
        return false;
    entry.id = desktopId;
    entry.exec = exec;
    return true;
}

DesktopCalendarLauncher::Entry DesktopCalendarLauncher::entryFor(const QString &mimeType) const
{
    // The lists in the order the freedesktop MIME-apps rules give them: user
    // before system, each desktop's own list before the shared one.
    QStringList lists;
    auto addLists = [&](const QString &dir) {
        for (const QString &desktop : m_env.currentDesktops)
            lists << QDir(dir).filePath(desktop + QStringLiteral("-mimeapps.list"));
        lists << QDir(dir).filePath(QStringLiteral("mimeapps.list"));
    };
    addLists(m_env.configHome);
    for (const QString &dir : m_env.configDirs)
        addLists(dir);
    addLists(QDir(m_env.dataHome).filePath(QStringLiteral("applications")));
    for (const QString &dir : m_env.dataDirs)
        addLists(QDir(dir).filePath(QStringLiteral("applications")));

    Entry entry;
    QSet<QString> removed;
    QStringList added;
    for (const QString &list : std::as_const(lists)) {
        if (!QFileInfo::exists(list))
            continue;
        for (const QString &id :
            idList(readGroup(list, QStringLiteral("Default Applications")).value(mimeType)))
            if (!removed.contains(id) && readEntry(id, entry))
                return entry;
        for (const QString &id :
            idList(readGroup(list, QStringLiteral("Added Associations")).value(mimeType)))
            if (!removed.contains(id))
                added << id;
        for (const QString &id :
            idList(readGroup(list, QStringLiteral("Removed Associations")).value(mimeType)))
            removed.insert(id);
    }
    for (const QString &id : std::as_const(added))
        if (readEntry(id, entry))
            return entry;
    QStringList roots { m_env.dataHome };
    roots += m_env.dataDirs;
    for (const QString &root : std::as_const(roots)) {
        const QString cache = QDir(root).filePath(QStringLiteral("applications/mimeinfo.cache"));
        for (const QString &id : idList(readGroup(cache, QStringLiteral("MIME Cache")).value(mimeType)))
            if (!removed.contains(id) && readEntry(id, entry))
                return entry;
    }
    return {};
}

QString DesktopCalendarLauncher::defaultApplication(const QString &mimeType) const
{
    return entryFor(mimeType).id;
}

QStringList DesktopCalendarLauncher::commandFor(const CalendarEvent &event) const
{
    const Entry app = entryFor(QStringLiteral("text/calendar"));
    // Calendar files name their source by its path, which the desktop's
    // calendar service has never heard of: those events just start the
    // application. The service's own source ids never hold a slash.
    const bool fromSystemStore = !event.sourceUid.isEmpty() && !event.componentUid.isEmpty()
        && !event.sourceUid.contains(QLatin1Char('/'));
    if (fromSystemStore && isGnomeCalendar(app.id, app.exec)) {
        QString uuid = event.sourceUid + QLatin1Char(':') + event.componentUid;
        if (!event.recurrenceId.isEmpty())
            uuid += QLatin1Char(':') + event.recurrenceId;
        // One argument, so an id that begins with a dash can never read as an option.
        return app.exec + QStringList { QStringLiteral("--uuid=") + uuid };
    }
    if (fromSystemStore && isEvolution(app.id, app.exec)) {
        QString url = QStringLiteral("calendar:///?source-uid=%1&comp-uid=%2")
                          .arg(encoded(event.sourceUid), encoded(event.componentUid));
        if (!event.recurrenceId.isEmpty())
            url += QStringLiteral("&comp-rid=") + encoded(event.recurrenceId);
        return app.exec + QStringList { url };
    }
    const Entry linkHandler = entryFor(QStringLiteral("x-scheme-handler/ical"));
    if (!linkHandler.exec.isEmpty()) {
        const QUrl link = EventRowRules::calendarDeepLink(event);
        if (link.isValid())
            return linkHandler.exec + QStringList { QString::fromLatin1(link.toEncoded()) };
    }
    return app.exec;
}

void DesktopCalendarLauncher::showEvent(const CalendarEvent &event)
{
    const QStringList command = commandFor(event);
    if (!command.isEmpty())
        m_runner(command.first(), command.mid(1));
}
