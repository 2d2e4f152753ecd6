#include "IcsEventStore.h"

#include "IcsFileReader.h"
#include "RecurrenceExpander.h"
#include "StoreLog.h"
#include "SystemClock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <limits>
#include <thread>
#include <vector>

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 shortSpanMs = 7LL * 86400000;
// Item files are watched one by one only while that stays cheap; beyond it
// the folder watch still sees every atomic replace, which is how sync tools write.
constexpr int maxWatchedItemFiles = 1000;

struct FileStamp
{
    qint64 size = -1;
    qint64 mtimeNs = 0;
    quint64 inode = 0;
    quint64 device = 0;

    bool isValid() const { return size >= 0; }
    friend bool operator==(const FileStamp &, const FileStamp &) = default;
};

FileStamp stampOf(const struct stat &st)
{
    return { qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
        quint64(st.st_ino), quint64(st.st_dev) };
}

FileStamp statPath(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return stampOf(st);
}

struct LoadedFile
{
    FileStamp stamp;
    std::shared_ptr<const IcsFileContent> content; ///< null when unreadable or too large
};

// O_NONBLOCK and the regular-file check keep a FIFO or device named *.ics
// from blocking the loader; reading through one descriptor means a file
// replaced meanwhile is read whole, old or new, never half of each.
LoadedFile readFile(const QString &path, qint64 maxBytes)
{
    LoadedFile out;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        // Saved first: building the log line may itself set errno.
        const int error = errno;
        qCInfo(lcStore) << "cannot open" << path << qt_error_string(error);
        return out;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return out;
    }
    out.stamp = stampOf(st);
    if (st.st_size > maxBytes) {
        qCInfo(lcStore) << "skipping" << path << "of" << qint64(st.st_size) << "bytes";
        ::close(fd);
        return out;
    }
    QByteArray bytes;
    bytes.resize(qsizetype(st.st_size));
    qsizetype filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (bytes.size() > maxBytes)
                break;
            bytes.resize(std::min<qsizetype>(maxBytes + 1, bytes.size() + 65536));
        }
        const ssize_t n = ::read(fd, bytes.data() + filled, size_t(bytes.size() - filled));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        filled += n;
    }
    ::close(fd);
    if (filled > maxBytes) {
        qCInfo(lcStore) << "skipping" << path << ", grew past the size limit";
        return out;
    }
    bytes.truncate(filled);
    auto content = std::make_shared<IcsFileContent>(IcsFileReader::parse(bytes));
    if (!content->refusal.isEmpty())
        qCInfo(lcStore) << "skipping" << path << ":" << content->refusal;
    if (content->skipped > 0)
        qCInfo(lcStore) << path << ": skipped" << content->skipped << "unusable events";
    out.content = std::move(content);
    return out;
}

// readdir's d_type spares a stat per entry, which QDir would make: with
// thousands of items that is most of the listing time.
QStringList listItemFiles(const QString &folder, bool *readable)
{
    QStringList out;
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    *readable = dir != nullptr;
    if (!dir)
        return out;
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_type != DT_REG && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
            continue;
        const QString name = QFile::decodeName(entry->d_name);
        if (CalendarSources::isCalendarFileName(name))
            out.append(folder + QLatin1Char('/') + name);
    }
    ::closedir(dir);
    out.sort();
    return out;
}

QString readSmallText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(4096)).trimmed();
}

// Recurrence instants as RFC 5545 writes them: "20250305" or "20250305T090000Z".
// Hand-formatted because a month step formats thousands of them.
QString dateKey(QDate date)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d%02d%02d", date.year(), date.month(), date.day());
    return QString::fromLatin1(buffer);
}

QString utcKey(qint64 ms)
{
    const qint64 day = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
    const qint64 secs = (ms - day * 86400000) / 1000;
    const QDate date = QDate::fromJulianDay(day + 2440588);
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%04d%02d%02dT%02d%02d%02dZ", date.year(), date.month(), date.day(),
        int(secs / 3600), int(secs / 60 % 60), int(secs % 60));
    return QString::fromLatin1(buffer);
}

QString formatRecurrenceKey(const IcsTime &recurrenceId)
{
    if (recurrenceId.isDate())
        return dateKey(recurrenceId.date);
    return utcKey(recurrenceId.toDateTime().toMSecsSinceEpoch());
}

bool overlaps(qint64 start, qint64 end, qint64 from, qint64 to)
{
    return start < to && (end > from || (end <= start && start >= from));
}

struct CalendarFiles
{
    std::shared_ptr<const CalendarInfo> info;
    QString prefix;
    QStringList files;
};

} // namespace

struct IcsEventStore::Index
{
    struct Single
    {
        qint64 startMs;
        qint64 endMs;
        EventPtr event;
    };
    /** An override with RANGE=THISANDFUTURE: later occurrences move by `shiftMs` and take its fields. */
    struct FutureOverride
    {
        qint64 afterMs;
        qint64 shiftMs;
        qint64 durationMs;
        std::shared_ptr<const IcsEvent> source;
    };
    struct Master
    {
        std::unique_ptr<RecurrenceExpander> expander;
        std::shared_ptr<const CalendarInfo> calendar;
        QString identifierBase;
        std::vector<FutureOverride> future; ///< ascending by afterMs
        qint64 maxShiftMs = 0;
    };
    std::vector<Single> shortEvents; ///< sorted by start
    std::vector<Single> longEvents;
    std::vector<Master> masters;
};

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
    std::shared_ptr<Index> index; ///< only when something changed
};

namespace {

EventPtr makeEvent(const IcsEvent &source, const QDateTime &start, const QDateTime &end,
    const std::shared_ptr<const CalendarInfo> &calendar, const QString &identifier,
    const QString &recurrenceKey)
{
    auto e = std::make_shared<CalendarEvent>();
    e->identifier = identifier;
    e->start = start.toLocalTime();
    e->end = end.toLocalTime();
    e->allDay = source.isAllDay();
    e->title = source.summary;
    e->location = source.location;
    e->url = source.url;
    e->notes = source.description;
    e->meeting = source.meeting;
    e->calendar = calendar;
    e->sourceUid = calendar->id;
    e->componentUid = source.uid;
    e->recurrenceId = recurrenceKey;
    return e;
}

std::shared_ptr<IcsEventStore::Index> buildIndex(
    const IcsEventStore::Snapshot &snapshot, int instanceLimit, qint64 prepareUntilMs)
{
    auto index = std::make_shared<IcsEventStore::Index>();
    for (const CalendarFiles &calendar : snapshot.calendars) {
        struct Item
        {
            std::shared_ptr<const IcsEvent> event;
            QString uid;
        };
        QList<Item> items;
        for (const QString &path : calendar.files) {
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
                items.append({ std::shared_ptr<const IcsEvent>(content, &event), uid });
            }
        }

        QHash<QString, QList<const Item *>> overrides;
        for (const Item &item : std::as_const(items)) {
            if (item.event->recurrenceId.isValid())
                overrides[item.uid].append(&item);
        }

        for (const Item &item : std::as_const(items)) {
            const IcsEvent &event = *item.event;
            const QString base = calendar.prefix + QLatin1Char('/') + item.uid;
            if (event.recurrenceId.isValid()) {
                if (event.cancelled)
                    continue;
                const QDateTime start = event.start.toDateTime();
                const QDateTime end = event.endFor(start);
                const QString key = formatRecurrenceKey(event.recurrenceId);
                const EventPtr e
                    = makeEvent(event, start, end, calendar.info, base + QLatin1Char('/') + key, key);
                IcsEventStore::Index::Single single { start.toMSecsSinceEpoch(), end.toMSecsSinceEpoch(), e };
                (single.endMs - single.startMs > shortSpanMs ? index->longEvents : index->shortEvents)
                    .push_back(std::move(single));
                continue;
            }
            const auto overridden = overrides.constFind(item.uid);
            if (event.isRecurring() || overridden != overrides.constEnd()) {
                if (event.cancelled)
                    continue;
                auto expander = std::make_unique<RecurrenceExpander>(item.event, instanceLimit);
                IcsEventStore::Index::Master master { nullptr, calendar.info, base, {}, 0 };
                if (overridden != overrides.constEnd()) {
                    for (const Item *o : *overridden) {
                        const IcsEvent &override = *o->event;
                        expander->addOverride(override.recurrenceId);
                        if (!override.thisAndFuture)
                            continue;
                        const qint64 after = override.recurrenceId.toDateTime().toMSecsSinceEpoch();
                        const QDateTime start = override.start.toDateTime();
                        const qint64 shift = start.toMSecsSinceEpoch() - after;
                        master.future.push_back(
                            { after, shift, start.msecsTo(override.endFor(start)), o->event });
                        master.maxShiftMs = std::max(master.maxShiftMs, std::abs(shift));
                    }
                    std::sort(master.future.begin(), master.future.end(),
                        [](const auto &a, const auto &b) { return a.afterMs < b.afterMs; });
                }
                // Done here, off the GUI thread, so the first months shown cost lookups only.
                expander->prepare(prepareUntilMs);
                master.expander = std::move(expander);
                index->masters.push_back(std::move(master));
                continue;
            }
            if (event.cancelled)
                continue;
            const QDateTime start = event.start.toDateTime();
            const QDateTime end = event.endFor(start);
            const EventPtr e = makeEvent(event, start, end, calendar.info, base, QString());
            IcsEventStore::Index::Single single { start.toMSecsSinceEpoch(), end.toMSecsSinceEpoch(), e };
            (single.endMs - single.startMs > shortSpanMs ? index->longEvents : index->shortEvents)
                .push_back(std::move(single));
        }
    }
    std::sort(index->shortEvents.begin(), index->shortEvents.end(),
        [](const auto &a, const auto &b) { return a.startMs < b.startMs; });
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
    , m_cancelled(std::make_shared<std::atomic_bool>(false))
{
    IcsFileReader::quietLibical();
    m_pool.setMaxThreadCount(1);
    m_settle.setSingleShot(true);
    m_settle.setInterval(m_options.settleMs);
    connect(&m_settle, &QTimer::timeout, this, &IcsEventStore::startLoad);
    if (m_options.watch) {
        m_watcher = new QFileSystemWatcher(this);
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &IcsEventStore::scheduleRescan);
        connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &IcsEventStore::scheduleRescan);
    }
    if (m_options.loadInBackground)
        startLoad();
}

IcsEventStore::~IcsEventStore()
{
    m_cancelled->store(true);
    m_pool.waitForDone();
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
    EventList out;
    if (!m_index || !start.isValid() || !end.isValid() || !(start < end))
        return out;
    const qint64 from = start.toMSecsSinceEpoch();
    const qint64 to = end.toMSecsSinceEpoch();

    const auto &shortEvents = m_index->shortEvents;
    auto it = std::lower_bound(shortEvents.begin(), shortEvents.end(), from - shortSpanMs,
        [](const Index::Single &s, qint64 value) { return s.startMs < value; });
    for (; it != shortEvents.end() && it->startMs < to; ++it) {
        if (overlaps(it->startMs, it->endMs, from, to))
            out.append(it->event);
    }
    for (const Index::Single &s : m_index->longEvents) {
        if (overlaps(s.startMs, s.endMs, from, to))
            out.append(s.event);
    }
    for (Index::Master &master : m_index->masters) {
        // Occurrences that a THISANDFUTURE override moves may enter the window from outside it.
        const auto occurrences = master.expander->occurrences(
            from - master.maxShiftMs, to + master.maxShiftMs, m_options.maxOccurrencesPerEventPerQuery);
        const IcsEvent &event = master.expander->master();
        for (const RecurrenceExpander::Occurrence &o : occurrences) {
            const IcsEvent *source = &event;
            qint64 startMs = o.startMs;
            qint64 endMs = o.endMs;
            const auto later = std::upper_bound(master.future.begin(), master.future.end(), o.startMs,
                [](qint64 ms, const auto &f) { return ms <= f.afterMs; });
            if (later != master.future.begin()) {
                const Index::FutureOverride &f = *std::prev(later);
                source = f.source.get();
                startMs += f.shiftMs;
                endMs = startMs + std::max<qint64>(0, f.durationMs);
                if (source->cancelled)
                    continue;
            }
            if (master.maxShiftMs > 0 && !overlaps(startMs, endMs, from, to))
                continue;
            const QString key
                = event.isAllDay() ? dateKey(RecurrenceExpander::dateOfWall(o.wall)) : utcKey(o.startMs);
            out.append(makeEvent(*source, QDateTime::fromMSecsSinceEpoch(startMs, Qt::LocalTime),
                QDateTime::fromMSecsSinceEpoch(endMs, Qt::LocalTime), master.calendar,
                master.identifierBase + QLatin1Char('/') + key, key));
        }
    }
    return out;
}

void IcsEventStore::loadNow()
{
    m_settle.stop();
    m_pool.waitForDone();
    apply(load(m_snapshot));
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
    return m_watcher ? m_watcher->directories() + m_watcher->files() : QStringList();
}

void IcsEventStore::scheduleRescan()
{
    m_settle.start();
}

void IcsEventStore::startLoad()
{
    if (m_loading) {
        m_reloadPending = true;
        return;
    }
    m_loading = true;
    std::shared_ptr<const Snapshot> previous = m_snapshot;
    const std::shared_ptr<std::atomic_bool> cancelled = m_cancelled;
    m_pool.start([this, previous, cancelled] {
        std::shared_ptr<Snapshot> snapshot = load(previous);
        if (cancelled->load())
            return;
        // The destructor waits for this pool, so `this` outlives the call;
        // a queued call to a destroyed object is simply dropped.
        QMetaObject::invokeMethod(
            this, [this, snapshot] { apply(snapshot); }, Qt::QueuedConnection);
    });
}

std::shared_ptr<IcsEventStore::Snapshot> IcsEventStore::load(
    const std::shared_ptr<const Snapshot> &previous) const
{
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->generation = previous ? previous->generation + 1 : 1;
    const QList<SourceRoot> roots = m_discover ? CalendarSources::discover() : m_roots;
    snapshot->roots = int(roots.size());

    int unreadable = 0;
    QStringList folders;
    const QList<CalendarLocation> locations = CalendarSources::locate(roots, &unreadable, &folders);
    snapshot->watchFolders = folders;
    if (m_discover) {
        for (const QString &path : CalendarSources::discoveryWatchPaths()) {
            if (QFileInfo(path).isDir())
                snapshot->watchFolders.append(path);
            else
                snapshot->watchFiles.append(path);
        }
        snapshot->watchFolders.removeDuplicates();
    }

    QStringList toRead;
    QStringList itemFiles;
    QList<bool> calendarReadable;
    for (const CalendarLocation &location : locations) {
        CalendarFiles calendar;
        bool readable = true;
        if (location.isFile) {
            calendar.files = { location.path };
            snapshot->watchFiles.append(location.path);
        } else {
            calendar.files = listItemFiles(location.path, &readable);
            itemFiles += calendar.files;
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
    if (itemFiles.size() <= maxWatchedItemFiles)
        snapshot->watchFiles += itemFiles;

    // Both cores: the loader thread and helpers share one queue of files.
    std::vector<LoadedFile> results(size_t(toRead.size()));
    std::atomic<qsizetype> next { 0 };
    const auto work = [&] {
        for (;;) {
            const qsizetype i = next.fetch_add(1);
            if (i >= toRead.size() || m_cancelled->load())
                return;
            results[size_t(i)] = readFile(toRead[i], m_options.maxFileBytes);
        }
    };
    const int threads = std::clamp(QThread::idealThreadCount(), 1, 8);
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads && t < toRead.size(); ++t)
        helpers.emplace_back(work);
    work();
    for (std::thread &h : helpers)
        h.join();
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
        static const SystemClock systemClock;
        const Clock &clock = m_options.clock ? *m_options.clock : systemClock;
        const qint64 horizon = m_options.prepareDays > 0
            ? clock.now().addDays(m_options.prepareDays).toMSecsSinceEpoch()
            : std::numeric_limits<qint64>::min();
        snapshot->index = buildIndex(*snapshot, m_options.maxInstancesPerEvent, horizon);
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
            const QStringList wantedList = snapshot->watchFolders + snapshot->watchFiles;
            const QSet<QString> wanted(wantedList.begin(), wantedList.end());
            const QStringList current = m_watcher->directories() + m_watcher->files();
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
