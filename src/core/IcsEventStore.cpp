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

#ifdef __GLIBC__
#include <malloc.h>
#endif

using namespace CalendarFileReading;

namespace {

struct ItemFile
{
    QString name; ///< the file's name; its folder is the calendar's
    LoadedFile file; ///< no stamp when it could not be read
};

struct CalendarFiles
{
    std::shared_ptr<const CalendarInfo> info;
    QString prefix;
    bool isFile = false;
    /**
     * By name. Only names are kept: a path per item repeated the folder for
     * every one of tens of thousands of files.
     */
    std::vector<ItemFile> files;

    QString pathOf(const ItemFile &item) const
    {
        return isFile ? info->id : info->id + QLatin1Char('/') + item.name;
    }
    const ItemFile *find(const QString &name) const
    {
        const auto it = std::lower_bound(files.begin(), files.end(), name,
            [](const ItemFile &f, const QString &n) { return f.name < n; });
        return it != files.end() && it->name == name ? &*it : nullptr;
    }
};

} // namespace

struct IcsEventStore::Snapshot
{
    quint64 generation = 0;
    QList<CalendarFiles> calendars;
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
        calendar.identifier = CalendarFileReading::itemIdentifier(files.prefix);
        for (const ItemFile &item : files.files) {
            const auto &content = item.file.content;
            if (!item.file.stamp.isValid() || !content)
                continue;
            for (qsizetype i = 0; i < content->events.size(); ++i) {
                const IcsEvent &event = content->events[i];
                calendar.items.append({ std::shared_ptr<const IcsEvent>(content, &event),
                    CalendarFileReading::indexUid(event.uid, item.name, i) });
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
    releaseFreedMemory();
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
            releaseFreedMemory();
            if (link->options.beforeHandOver)
                link->options.beforeHandOver();
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

    // Calendars of the last load by where they are, to keep what did not change.
    QHash<QString, const CalendarFiles *> before;
    if (previous) {
        for (const CalendarFiles &c : previous->calendars)
            before.insert(c.info->id, &c);
    }
    QStringList toRead;
    std::vector<std::pair<qsizetype, size_t>> readInto; ///< calendar and item of each of toRead
    QList<bool> calendarReadable;
    for (const CalendarLocation &location : locations) {
        CalendarFiles calendar;
        auto info = std::make_shared<CalendarInfo>();
        info->id = location.path;
        calendar.info = info;
        calendar.isFile = location.isFile;
        bool readable = true;
        if (location.isFile) {
            calendar.files.push_back({ QFileInfo(location.path).fileName(), {} });
            snapshot->watchFiles.append(location.path);
        } else {
            const QStringList paths = listItemFiles(location.path, &readable);
            calendar.files.reserve(size_t(paths.size()));
            const qsizetype folderLength = location.path.size() + 1;
            for (const QString &path : paths)
                calendar.files.push_back({ path.mid(folderLength), {} });
            std::sort(calendar.files.begin(), calendar.files.end(),
                [](const ItemFile &a, const ItemFile &b) { return a.name < b.name; });
        }
        calendarReadable.append(readable);
        const CalendarFiles *old = before.value(location.path);
        for (size_t i = 0; i < calendar.files.size(); ++i) {
            ItemFile &item = calendar.files[i];
            const QString path = calendar.pathOf(item);
            // The first load reads everything; the reader's own fstat gives the stamp.
            const ItemFile *known = old && old->isFile == calendar.isFile ? old->find(item.name) : nullptr;
            if (!known || !known->file.stamp.isValid()) {
                toRead.append(path);
                readInto.emplace_back(snapshot->calendars.size(), i);
                continue;
            }
            const FileStamp stamp = statPath(path);
            if (stamp.isValid() && known->file.stamp == stamp) {
                item.file = known->file;
            } else if (stamp.isValid()) {
                toRead.append(path);
                readInto.emplace_back(snapshot->calendars.size(), i);
            }
        }
        calendar.prefix = QString::fromLatin1(
            QCryptographicHash::hash(location.path.toUtf8(), QCryptographicHash::Md5).toHex().left(8));
        snapshot->calendars.append(std::move(calendar));
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
    for (size_t i = 0; i < readInto.size(); ++i) {
        if (results[i].stamp.isValid())
            snapshot->calendars[readInto[i].first].files[readInto[i].second].file = results[i];
    }

    // Names and colours, now that single files have been read.
    for (qsizetype c = 0; c < snapshot->calendars.size(); ++c) {
        CalendarFiles &calendar = snapshot->calendars[c];
        auto info = std::const_pointer_cast<CalendarInfo>(calendar.info);
        const CalendarLocation &location = locations[c];
        const QFileInfo fi(location.path);
        if (location.isFile) {
            const LoadedFile &file = calendar.files.front().file;
            const bool parsed = file.stamp.isValid() && file.content;
            if (parsed) {
                info->name = file.content->calendarName;
                info->color = file.content->color;
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

    bool changed = !previous || previous->calendars.size() != snapshot->calendars.size()
        || previous->unreadable != unreadable;
    for (qsizetype c = 0; c < snapshot->calendars.size() && !changed; ++c) {
        const CalendarFiles &now = snapshot->calendars[c];
        const CalendarFiles &then = previous->calendars[c];
        const CalendarInfo &a = *now.info;
        const CalendarInfo &b = *then.info;
        changed = a.id != b.id || a.name != b.name || a.color != b.color || now.files.size() != then.files.size();
        for (size_t i = 0; i < now.files.size() && !changed; ++i) {
            const ItemFile &x = now.files[i];
            const ItemFile &y = then.files[i];
            changed = x.name != y.name || !(x.file.stamp == y.file.stamp);
        }
    }
    snapshot->changed = changed;
    if (changed) {
        snapshot->index = buildIndex(
            *snapshot, { link.options.maxOccurrencesPerSeriesPerDay, link.options.maxInstancesPerEvent }, prepareUntilMs);
    }
    return snapshot;
}

void IcsEventStore::releaseFreedMemory()
{
#ifdef __GLIBC__
    // Parsing frees far more than the events keep, in every worker's arena,
    // and glibc would hold on to it for good.
    malloc_trim(0);
#endif
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
            qCDebug(lcStore) << "loaded" << snapshot->calendars.size() << "calendars";
            Q_EMIT changed();
        }
    }
    if (m_reloadPending) {
        m_reloadPending = false;
        startLoad();
    }
}
