#include "IcsEventStore.h"

#include "CalendarFileReading.h"
#include "EventIndex.h"
#include "FolderWatcher.h"
#include "IcsFileReader.h"
#include "LocalZone.h"
#include "ParallelMap.h"
#include "StoreLog.h"
#include "SystemClock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QMutexLocker>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <limits>
#include <vector>

using namespace CalendarFileReading;

namespace {

struct CalendarFiles
{
    std::shared_ptr<const CalendarInfo> info;
    QString prefix;
    QStringList files;
};

} // namespace

struct IcsEventStore::Snapshot
{
    quint64 generation = 0;
    QList<CalendarFiles> calendars;
    QHash<QString, LoadedFile> files;
    QStringList watchFolders;
    QStringList watchFiles;
    int roots = 0;
    int readable = 0;
    int unreadable = 0;
    bool changed = true;
    std::shared_ptr<EventIndex> index; ///< only when something changed
};

namespace {

std::shared_ptr<EventIndex> buildIndex(
    const IcsEventStore::Snapshot &snapshot, const EventIndex::Limits &limits, qint64 prepareUntilMs)
{
    QList<EventIndex::Calendar> calendars;
    for (const CalendarFiles &files : snapshot.calendars) {
        EventIndex::Calendar calendar;
        calendar.info = files.info;
        calendar.identifier = [prefix = files.prefix](const QString &uid, const QString &rid) {
            return rid.isEmpty() ? prefix + QLatin1Char('/') + uid
                                 : prefix + QLatin1Char('/') + uid + QLatin1Char('/') + rid;
        };
        for (const QString &path : files.files) {
            const auto loaded = snapshot.files.constFind(path);
            if (loaded == snapshot.files.constEnd() || !loaded->content)
                continue;
            const auto &content = loaded->content;
            for (qsizetype i = 0; i < content->events.size(); ++i) {
                const IcsEvent &event = content->events[i];
                // Without a UID the file and position are the only stable name.
                const QString uid = event.uid.isEmpty()
                    ? QStringLiteral("file:%1#%2").arg(QFileInfo(path).fileName()).arg(i)
                    : event.uid;
                calendar.items.append({ std::shared_ptr<const IcsEvent>(content, &event), uid });
            }
        }
        calendars.append(std::move(calendar));
    }
    auto index = std::make_shared<EventIndex>(calendars, limits);
    // Done here, off the GUI thread, so the first months shown cost lookups only.
    index->prepare(prepareUntilMs);
    return index;
}

} // namespace

IcsEventStore::IcsEventStore(const QList<SourceRoot> &roots, QObject *parent)
    : IcsEventStore(roots, Options(), parent)
{ }

IcsEventStore::IcsEventStore(const QList<SourceRoot> &roots, const Options &options, QObject *parent)
    : EventStore(parent)
    , m_roots(roots)
    , m_discover(roots.isEmpty())
    , m_options(options)
    , m_link(std::make_shared<LoaderLink>())
{
    IcsFileReader::quietLibical();
    m_link->store = this;
    m_link->roots = m_roots;
    m_link->discover = m_discover;
    m_link->options = m_options;
    m_settle.setSingleShot(true);
    m_settle.setInterval(m_options.settleMs);
    connect(&m_settle, &QTimer::timeout, this, &IcsEventStore::startLoad);
    if (m_options.watch) {
        // Folders through inotify, which also reports writes to the items
        // inside them; single calendar files through Qt's own watch.
        m_folderWatcher = new FolderWatcher(this);
        connect(m_folderWatcher, &FolderWatcher::folderChanged, this, &IcsEventStore::scheduleRescan);
        m_watcher = new QFileSystemWatcher(this);
        connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &IcsEventStore::scheduleRescan);
    }
    if (m_options.loadInBackground)
        startLoad();
}

IcsEventStore::~IcsEventStore()
{
    // Never waits for a load: the load stops at its next file, and its
    // result finds no store to hand itself to.
    m_link->cancelled.store(true);
    QMutexLocker lock(&m_link->mutex);
    m_link->store = nullptr;
}

AuthorizationStatus IcsEventStore::authorizationStatus() const
{
    return m_status;
}

bool IcsEventStore::hasCalendarSources() const
{
    return !m_loaded
        || (m_status == AuthorizationStatus::fullAccess && m_snapshot && !m_snapshot->calendars.empty());
}

void IcsEventStore::requestFullAccess(AccessCompletion completion)
{
    if (!completion)
        return;
    if (!m_loaded) {
        m_pendingAccess.append(std::move(completion));
        return;
    }
    QTimer::singleShot(0, this, [this, completion = std::move(completion)] {
        completion(m_status == AuthorizationStatus::fullAccess, QString());
    });
}

EventList IcsEventStore::events(const QDateTime &start, const QDateTime &end)
{
    if (!m_index)
        return {};
    LocalZone::refresh();
    return m_index->events(start, end);
}

void IcsEventStore::loadNow()
{
    m_settle.stop();
    apply(load(m_snapshot, horizon(), *m_link));
}

QList<std::shared_ptr<const CalendarInfo>> IcsEventStore::calendars() const
{
    QList<std::shared_ptr<const CalendarInfo>> out;
    if (m_snapshot) {
        for (const CalendarFiles &c : m_snapshot->calendars)
            out.append(c.info);
    }
    return out;
}

QStringList IcsEventStore::watchedPaths() const
{
    return m_watcher ? m_folderWatcher->folders() + m_watcher->files() : QStringList();
}

void IcsEventStore::scheduleRescan()
{
    m_settle.start();
}

qint64 IcsEventStore::horizon() const
{
    static const SystemClock systemClock;
    const Clock &clock = m_options.clock ? *m_options.clock : systemClock;
    return m_options.prepareDays > 0 ? clock.now().addDays(m_options.prepareDays).toMSecsSinceEpoch()
                                     : std::numeric_limits<qint64>::min();
}

void IcsEventStore::startLoad()
{
    if (m_loading) {
        m_reloadPending = true;
        return;
    }
    m_loading = true;
    // The task holds the link, not the store: the store may go meanwhile.
    QThreadPool::globalInstance()->start(
        [this, previous = m_snapshot, until = horizon(), link = m_link] {
            std::shared_ptr<Snapshot> snapshot = load(previous, until, *link);
            QMutexLocker lock(&link->mutex);
            if (!link->store || link->cancelled.load())
                return;
            // Delivered on the store's thread, and dropped if the store is destroyed first.
            QMetaObject::invokeMethod(
                link->store, [this, snapshot] { apply(snapshot); }, Qt::QueuedConnection);
        });
}

std::shared_ptr<IcsEventStore::Snapshot> IcsEventStore::load(
    const std::shared_ptr<const Snapshot> &previous, qint64 prepareUntilMs, const LoaderLink &link)
{
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->generation = previous ? previous->generation + 1 : 1;
    const QList<SourceRoot> roots = link.discover ? CalendarSources::discover() : link.roots;
    snapshot->roots = int(roots.size());

    int unreadable = 0;
    QStringList folders;
    const QList<CalendarLocation> locations = CalendarSources::locate(roots, &unreadable, &folders);
    snapshot->watchFolders = folders;
    if (link.discover) {
        for (const QString &path : CalendarSources::discoveryWatchPaths()) {
            if (QFileInfo(path).isDir())
                snapshot->watchFolders.append(path);
            else
                snapshot->watchFiles.append(path);
        }
        snapshot->watchFolders.removeDuplicates();
    }

    QStringList toRead;
    QList<bool> calendarReadable;
    for (const CalendarLocation &location : locations) {
        CalendarFiles calendar;
        bool readable = true;
        if (location.isFile) {
            calendar.files = { location.path };
            snapshot->watchFiles.append(location.path);
        } else {
            calendar.files = listItemFiles(location.path, &readable);
        }
        calendarReadable.append(readable);
        for (const QString &path : std::as_const(calendar.files)) {
            // The first load reads everything; the reader's own fstat gives the stamp.
            const auto old
                = previous ? previous->files.constFind(path) : QHash<QString, LoadedFile>::const_iterator();
            if (!previous || old == previous->files.constEnd()) {
                toRead.append(path);
                continue;
            }
            const FileStamp stamp = statPath(path);
            if (stamp.isValid() && old->stamp == stamp)
                snapshot->files.insert(path, *old);
            else if (stamp.isValid())
                toRead.append(path);
        }
        auto info = std::make_shared<CalendarInfo>();
        info->id = location.path;
        calendar.info = info;
        calendar.prefix = QString::fromLatin1(
            QCryptographicHash::hash(location.path.toUtf8(), QCryptographicHash::Md5).toHex().left(8));
        snapshot->calendars.append(calendar);
    }

    // Every core, through the one pool; a cancelled load skips what is left.
    // This task waits while the reads run: it lends its place in the pool
    // meanwhile, or loads filling every thread would wait on each other.
    const qint64 maxBytes = link.options.maxFileBytes;
    QThreadPool *pool = QThreadPool::globalInstance();
    const bool onPool = QThreadPool::globalInstance()->contains(QThread::currentThread());
    if (onPool)
        pool->releaseThread();
    const std::vector<LoadedFile> results
        = ParallelMap::mapped<LoadedFile>(pool, toRead, [&link, maxBytes](const QString &path) {
              return link.cancelled.load() ? LoadedFile() : readFile(path, maxBytes);
          });
    if (onPool)
        pool->reserveThread();
    if (link.cancelled.load())
        return snapshot;
    for (qsizetype i = 0; i < toRead.size(); ++i) {
        if (results[size_t(i)].stamp.isValid())
            snapshot->files.insert(toRead[i], results[size_t(i)]);
    }

    // Names and colours, now that single files have been read.
    for (qsizetype c = 0; c < snapshot->calendars.size(); ++c) {
        CalendarFiles &calendar = snapshot->calendars[c];
        auto info = std::const_pointer_cast<CalendarInfo>(calendar.info);
        const CalendarLocation &location = locations[c];
        const QFileInfo fi(location.path);
        if (location.isFile) {
            const auto it = snapshot->files.constFind(location.path);
            const bool parsed = it != snapshot->files.constEnd() && it->content;
            if (parsed) {
                info->name = it->content->calendarName;
                info->color = it->content->color;
            } else {
                calendarReadable[c] = false;
            }
            if (info->name.isEmpty())
                info->name = fi.completeBaseName();
        } else {
            info->name = readSmallText(fi.filePath() + QStringLiteral("/displayname"))
                             .section(QLatin1Char('\n'), 0, 0);
            if (info->name.isEmpty())
                info->name = fi.fileName();
            info->color = IcsFileReader::parseColor(readSmallText(fi.filePath() + QStringLiteral("/color")));
        }
        if (calendarReadable[c])
            ++snapshot->readable;
        else
            ++unreadable;
    }
    snapshot->unreadable = unreadable;

    bool changed = !previous || previous->files.size() != snapshot->files.size()
        || previous->calendars.size() != snapshot->calendars.size() || previous->unreadable != unreadable;
    if (!changed) {
        for (auto it = snapshot->files.constBegin(); it != snapshot->files.constEnd() && !changed; ++it) {
            const auto old = previous->files.constFind(it.key());
            changed = old == previous->files.constEnd() || !(old->stamp == it->stamp);
        }
        for (qsizetype c = 0; c < snapshot->calendars.size() && !changed; ++c) {
            const CalendarInfo &a = *snapshot->calendars[c].info;
            const CalendarInfo &b = *previous->calendars[c].info;
            changed = a.id != b.id || a.name != b.name || a.color != b.color
                || snapshot->calendars[c].files != previous->calendars[c].files;
        }
    }
    snapshot->changed = changed;
    if (changed) {
        snapshot->index = buildIndex(
            *snapshot, { link.options.maxOccurrencesPerSeriesPerDay, link.options.maxInstancesPerEvent }, prepareUntilMs);
    }
    return snapshot;
}

void IcsEventStore::apply(std::shared_ptr<Snapshot> snapshot)
{
    m_loading = false;
    if (m_snapshot && snapshot->generation <= m_snapshot->generation) {
        // A background load overtaken by loadNow().
    } else {
        const bool first = !m_loaded;
        m_snapshot = snapshot;
        if (snapshot->index)
            m_index = snapshot->index;
        const bool allUnreadable = snapshot->roots > 0 && snapshot->readable == 0 && snapshot->unreadable > 0;
        m_status = allUnreadable ? AuthorizationStatus::denied : AuthorizationStatus::fullAccess;
        m_loaded = true;

        if (m_watcher) {
            m_folderWatcher->setFolders(snapshot->watchFolders);
            const QStringList wantedList = snapshot->watchFiles;
            const QSet<QString> wanted(wantedList.begin(), wantedList.end());
            const QStringList current = m_watcher->files();
            QStringList stale;
            for (const QString &path : current) {
                if (!wanted.contains(path))
                    stale.append(path);
            }
            if (!stale.isEmpty())
                m_watcher->removePaths(stale);
            const QSet<QString> have(current.begin(), current.end());
            QStringList added;
            for (const QString &path : wantedList) {
                if (!have.contains(path))
                    added.append(path);
            }
            if (!added.isEmpty())
                m_watcher->addPaths(added);
        }

        if (first) {
            const QList<AccessCompletion> pending = std::exchange(m_pendingAccess, {});
            for (const AccessCompletion &completion : pending)
                completion(m_status == AuthorizationStatus::fullAccess, QString());
        }
        if (first || snapshot->changed) {
            qCDebug(lcStore) << "loaded" << snapshot->calendars.size() << "calendars,"
                             << snapshot->files.size() << "files";
            Q_EMIT changed();
        }
    }
    if (m_reloadPending) {
        m_reloadPending = false;
        startLoad();
    }
}
