#include "CalendarSources.h"

#include "SettingsFile.h"
#include "SettingsManager.h"
#include "StoreLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QVariant>

#include <dirent.h>
#include <sys/stat.h>

namespace {

QString homeDir()
{
    const QString home = qEnvironmentVariable("HOME");
    return home.isEmpty() ? QDir::homePath() : home;
}

QString xdgDir(const char *variable, const QString &fallback)
{
    const QString value = qEnvironmentVariable(variable);
    return QDir::isAbsolutePath(value) ? value : homeDir() + fallback;
}

QString expandUser(QString path)
{
    path = path.trimmed();
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        path = homeDir() + path.mid(1);
    static const QRegularExpression variable(QStringLiteral("\\$(\\w+)|\\$\\{(\\w+)\\}"));
    QString out;
    qsizetype last = 0;
    for (auto it = variable.globalMatch(path); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString name = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
        out += path.mid(last, m.capturedStart() - last)
            + qEnvironmentVariable(name.toLocal8Bit().constData());
        last = m.capturedEnd();
    }
    path = out + path.mid(last);
    return QDir::cleanPath(path);
}

bool hasWildcard(const QString &s)
{
    return s.contains(QLatin1Char('*')) || s.contains(QLatin1Char('?')) || s.contains(QLatin1Char('['));
}

// Component by component and never recursive: a pattern can match many
// folders but cannot walk into a symlink loop.
QStringList expandPattern(const QString &pattern)
{
    QStringList current { QStringLiteral("/") };
    const QStringList parts = pattern.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        QStringList next;
        for (const QString &base : std::as_const(current)) {
            if (!hasWildcard(part)) {
                const QString candidate = QDir(base).filePath(part);
                if (QFileInfo::exists(candidate))
                    next.append(candidate);
                continue;
            }
            QString wildcard = part;
            wildcard.replace(QLatin1String("**"), QLatin1String("*"));
            const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(wildcard));
            QDir dir(base);
            const QStringList names = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
            for (const QString &name : names) {
                if (re.match(name).hasMatch())
                    next.append(dir.filePath(name));
            }
        }
        current = next;
        if (current.size() > 10000)
            break;
    }
    return current;
}

bool looksLikeCollection(const QDir &dir)
{
    if (QFileInfo::exists(dir.filePath(QStringLiteral("displayname")))
        || QFileInfo::exists(dir.filePath(QStringLiteral("color"))))
        return true;
    // One calendar file is enough: a folder of thousands is not listed and sorted for it.
    DIR *listing = ::opendir(QFile::encodeName(dir.path()).constData());
    if (!listing)
        return false;
    bool found = false;
    while (const dirent *entry = ::readdir(listing)) {
        if (entry->d_type != DT_REG && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
            continue;
        if (!CalendarSources::isCalendarFileName(QFile::decodeName(entry->d_name)))
            continue;
        // A link counts when it leads to a file; a broken one does not.
        struct stat st;
        found = entry->d_type == DT_REG
            || (::fstatat(::dirfd(listing), entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode));
        if (found)
            break;
    }
    ::closedir(listing);
    return found;
}

struct Locator
{
    QList<CalendarLocation> found;
    QSet<QString> seen;
    QStringList folders;
    int unreadable = 0;

    void add(const QFileInfo &info, bool isFile)
    {
        const QString canonical = info.canonicalFilePath();
        if (canonical.isEmpty() || seen.contains(canonical))
            return;
        seen.insert(canonical);
        found.append({ info.absoluteFilePath(), isFile });
        if (!isFile)
            folders.append(info.absoluteFilePath());
    }

    bool readableDir(const QFileInfo &info)
    {
        if (info.isReadable() && info.isExecutable() && QDir(info.absoluteFilePath()).isReadable())
            return true;
        qCInfo(lcStore) << "cannot read folder" << info.absoluteFilePath();
        ++unreadable;
        return false;
    }

    void container(const QFileInfo &info)
    {
        if (!readableDir(info))
            return;
        folders.append(info.absoluteFilePath());
        const QDir dir(info.absoluteFilePath());
        const QFileInfoList entries
            = dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo &entry : entries) {
            if (entry.fileName().startsWith(QLatin1Char('.')))
                continue;
            if (entry.isDir()) {
                if (readableDir(entry))
                    add(entry, false);
            } else if (CalendarSources::isCalendarFileName(entry.fileName())) {
                add(entry, true);
            }
        }
    }

    void automatic(const QString &path, bool configured)
    {
        const QFileInfo info(path);
        if (!info.exists()) {
            // Also a symlink that loops or points nowhere.
            if (configured) {
                qCInfo(lcStore) << "source not found" << path;
                ++unreadable;
            }
            return;
        }
        if (info.isFile()) {
            if (!info.isReadable()) {
                qCInfo(lcStore) << "cannot read" << path;
                ++unreadable;
                return;
            }
            add(info, true);
        } else if (info.isDir()) {
            if (!readableDir(info))
                return;
            if (looksLikeCollection(QDir(info.absoluteFilePath())))
                add(info, false);
            else
                container(info);
        } else if (configured) {
            // A FIFO, socket or device: never opened (a FIFO would block), but
            // a source the user named that cannot be read all the same.
            qCInfo(lcStore) << "not a file or folder" << path;
            ++unreadable;
        }
    }
};

} // namespace

bool CalendarSources::isCalendarFileName(const QString &fileName)
{
    return fileName.endsWith(QLatin1String(".ics"), Qt::CaseInsensitive)
        && !fileName.startsWith(QLatin1Char('.')) && !fileName.startsWith(QLatin1Char('#'));
}

QStringList CalendarSources::configured(const QVariant &value)
{
    QStringList out;
    const QStringList raw = value.toStringList();
    for (const QString &path : raw) {
        if (!path.trimmed().isEmpty())
            out.append(expandUser(path));
    }
    return out;
}

QList<SourceRoot> CalendarSources::fromPaths(const QStringList &paths)
{
    QList<SourceRoot> roots;
    for (const QString &p : paths)
        roots.append({ expandUser(p), false });
    return roots;
}

QList<SourceRoot> CalendarSources::fromSettings(const SettingsFile &settings)
{
    return fromPaths(configured(settings.value(QLatin1String(settingsKey))));
}

QList<SourceRoot> CalendarSources::forUser()
{
    return fromSettings(SettingsFile(SettingsManager::defaultFilePath()));
}

QString CalendarSources::dropInFolder()
{
    return xdgDir("XDG_DATA_HOME", QStringLiteral("/.local/share")) + QStringLiteral("/moriva/calendars");
}

QStringList CalendarSources::khalCalendarPaths(const QString &configText)
{
    QStringList paths;
    bool inCalendars = false;
    QString path;
    QString type;
    const auto flush = [&] {
        if (!path.isEmpty() && type != QLatin1String("birthdays"))
            paths.append(expandUser(path));
        path.clear();
        type.clear();
    };
    const QStringList lines = configText.split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1String("[[")) && inCalendars) {
            flush();
            continue;
        }
        if (line.startsWith(QLatin1Char('[')) && !line.startsWith(QLatin1String("[["))) {
            flush();
            inCalendars = line.compare(QLatin1String("[calendars]"), Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inCalendars)
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString key = line.left(eq).trimmed().toLower();
        QString value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && (value.startsWith(QLatin1Char('"')) || value.startsWith(QLatin1Char('\'')))
            && value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        if (key == QLatin1String("path"))
            path = value;
        else if (key == QLatin1String("type"))
            type = value.toLower();
    }
    flush();
    return paths;
}

static QStringList khalConfigFiles()
{
    return { xdgDir("XDG_CONFIG_HOME", QStringLiteral("/.config")) + QStringLiteral("/khal/config"),
        homeDir() + QStringLiteral("/.khal/khal.conf") };
}

QStringList CalendarSources::discoveryWatchPaths()
{
    QStringList out;
    for (const QString &config : khalConfigFiles()) {
        if (QFileInfo(config).isFile())
            out.append(config);
    }
    for (QString folder = dropInFolder(); !folder.isEmpty() && folder != QLatin1String("/");
         folder = QFileInfo(folder).absolutePath()) {
        if (QFileInfo(folder).isDir()) {
            out.append(folder);
            break;
        }
    }
    return out;
}

QList<SourceRoot> CalendarSources::discover()
{
    QList<SourceRoot> roots;
    const QString home = homeDir();
    const QStringList khalConfigs = khalConfigFiles();
    for (const QString &configPath : khalConfigs) {
        QFile file(configPath);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromUtf8(file.read(1 << 20));
        for (const QString &path : khalCalendarPaths(text))
            roots.append({ path, false });
        break;
    }
    const QString calendars = home + QStringLiteral("/.calendars");
    if (QFileInfo(calendars).isDir())
        roots.append({ calendars, true });
    const QString dropIn = dropInFolder();
    if (QFileInfo(dropIn).isDir())
        roots.append({ dropIn, true });
    return roots;
}

QList<CalendarLocation> CalendarSources::locate(
    const QList<SourceRoot> &roots, int *unreadable, QStringList *watchedFolders)
{
    Locator locator;
    for (const SourceRoot &root : roots) {
        const QStringList paths
            = hasWildcard(root.path) ? expandPattern(root.path) : QStringList { root.path };
        const bool configured = !hasWildcard(root.path);
        for (const QString &path : paths) {
            if (root.container && QFileInfo(path).isDir())
                locator.container(QFileInfo(path));
            else
                locator.automatic(path, configured);
        }
    }
    if (unreadable)
        *unreadable = locator.unreadable;
    if (watchedFolders) {
        locator.folders.removeDuplicates();
        *watchedFolders = locator.folders;
    }
    return locator.found;
}
