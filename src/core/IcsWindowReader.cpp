#include "IcsWindowReader.h"

#include "CalendarFileReading.h"
#include "IcsFileReader.h"
#include "IcsPrescan.h"
#include "LocalZone.h"
#include "StoreLog.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTimer>

#include <algorithm>
#include <map>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

using namespace CalendarFileReading;

namespace {

/** What is known of one item file of a collection. */
struct FileState
{
    enum class Kind : quint8 { unreadable, scanned, parsed };
    Kind kind = Kind::unreadable;
    /** Scanned only: the Julian days its events lie within (empty without events). */
    qint32 firstDay = 0;
    qint32 lastDay = -1;
};

/** 32 bits are plenty: two UIDs that collide only cost a parse, and a far-away file costs 8 bytes. */
quint32 uidHash(QByteArrayView uid)
{
    return quint32(qHash(uid, 0));
}

/** Without a UID the file and position are the only stable name, as the store names them. */
qint64 julianDayOf(const QDateTime &instant)
{
    return instant.toUTC().date().toJulianDay();
}

} // namespace

struct IcsWindowReader::Calendar
{
    std::shared_ptr<CalendarInfo> info;
    QString path;
    bool isFile = false;
    QString prefix;
    /** The item files' names in listing order, while they are needed; see names(). */
    QStringList nameList;
    /** Hashes of the names, which stay: a folder is listed again rather than every name kept. */
    std::vector<size_t> nameHashes;
    std::vector<FileState> files;
    struct Parsed
    {
        std::shared_ptr<const IcsFileContent> content;
        QString name; ///< only when an item has no UID: its stand-in names the file
    };
    /** Parsed files by position, so that items keep the listing's order. */
    std::map<int, Parsed> parsed;
    /** UIDs of scanned files, as (hash, file), sorted: a collision only costs a parse. */
    std::vector<std::pair<quint32, qint32>> scannedUids;
    /** UIDs of parsed items not yet matched against scannedUids. */
    std::vector<quint32> newUids;

    /** The names, listed again if they were let go; a name gone from the folder meanwhile is empty. */
    const QStringList &names()
    {
        if (nameList.isEmpty() && !files.empty()) {
            bool readable = false;
            QHash<size_t, QString> byHash;
            for (QString &name : isFile ? QStringList { QFileInfo(path).fileName() } : listItemNames(path, &readable))
                byHash.insert(qHash(name, 0), std::move(name));
            for (size_t hash : nameHashes)
                nameList.append(byHash.value(hash));
        }
        return nameList;
    }
    QString filePath(int file)
    {
        const QString &name = names().at(file);
        return isFile ? path : name.isEmpty() ? QString() : path + QLatin1Char('/') + name;
    }
};

IcsWindowReader::IcsWindowReader(const QList<SourceRoot> &roots, QObject *parent)
    : IcsWindowReader(roots, Options(), parent)
{ }

IcsWindowReader::IcsWindowReader(const QList<SourceRoot> &roots, const Options &options, QObject *parent)
    : EventStore(parent)
    , m_roots(roots)
    , m_options(options)
{
    IcsFileReader::quietLibical();
}

IcsWindowReader::~IcsWindowReader() = default;

AuthorizationStatus IcsWindowReader::authorizationStatus() const
{
    return m_status;
}

bool IcsWindowReader::hasCalendarSources() const
{
    return !m_loaded || (m_status == AuthorizationStatus::fullAccess && !m_calendars.empty());
}

void IcsWindowReader::requestFullAccess(AccessCompletion completion)
{
    if (!completion)
        return;
    QTimer::singleShot(0, this, [this, completion = std::move(completion)] {
        completion(m_status == AuthorizationStatus::fullAccess, QString());
    });
}

void IcsWindowReader::load(const QDateTime &start, const QDateTime &end)
{
    m_calendars.clear();
    m_index.reset();
    m_firstDay = julianDayOf(start);
    m_lastDay = std::max(m_firstDay, julianDayOf(end));
    m_parsedFiles = 0;
    m_readFiles = 0;

    const QList<SourceRoot> roots = m_roots.isEmpty() ? CalendarSources::discover() : m_roots;
    int unreadable = 0;
    const QList<CalendarLocation> locations = CalendarSources::locate(roots, &unreadable);
    int readable = 0;
    for (const CalendarLocation &location : locations) {
        auto calendar = std::make_unique<Calendar>();
        calendar->path = location.path;
        calendar->isFile = location.isFile;
        calendar->prefix = identifierPrefix(location.path);
        calendar->info = std::make_shared<CalendarInfo>();
        calendar->info->id = location.path;
        bool calendarReadable = true;
        if (location.isFile)
            calendar->nameList = { QFileInfo(location.path).fileName() };
        else
            calendar->nameList = listItemNames(location.path, &calendarReadable);
        const int count = int(calendar->nameList.size());
        calendar->files.resize(size_t(count));
        calendar->nameHashes.reserve(size_t(count));
        for (const QString &name : std::as_const(calendar->nameList))
            calendar->nameHashes.push_back(qHash(name, 0));
        const int folder = location.isFile || !calendarReadable
            ? -1
            : ::open(QFile::encodeName(location.path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        // Reading, the scan and the parse of a file depend on nothing else,
        // and may run on several threads; what they found is taken in file order.
        const auto look = [this, &calendar, &location, folder](int file) {
            Outcome out;
            QByteArray bytes;
            FileStamp stamp;
            const bool read = folder >= 0 ? readBytesAt(folder, calendar->path, calendar->nameList.at(file),
                                                m_options.maxFileBytes, &bytes, &stamp)
                                          : readBytes(calendar->filePath(file), m_options.maxFileBytes, &bytes, &stamp);
            if (!read)
                return out;
            out.read = true;
            // A single calendar file gives the calendar its name and colour: always parsed.
            out.scan = location.isFile ? IcsPrescan::Result() : IcsPrescan::scan(bytes);
            if (out.scan.mayTouch(m_firstDay, m_lastDay))
                out.content = parseBytes(calendar->filePath(file), bytes);
            return out;
        };
        const int threads = std::clamp(m_options.threads, 1, std::max(1, count));
        if (threads == 1) {
            for (int i = 0; i < count; ++i)
                take(*calendar, i, look(i));
        } else {
            std::vector<Outcome> outcomes;
            outcomes.resize(size_t(count));
            std::vector<std::thread> workers;
            for (int t = 0; t < threads; ++t) {
                workers.emplace_back([&, t] {
                    for (int i = t; i < count; i += threads)
                        outcomes[size_t(i)] = look(i);
                });
            }
            for (std::thread &worker : workers)
                worker.join();
            for (int i = 0; i < count; ++i)
                take(*calendar, i, std::move(outcomes[size_t(i)]));
        }
        if (folder >= 0)
            ::close(folder);
        std::sort(calendar->scannedUids.begin(), calendar->scannedUids.end());
        calendar->scannedUids.shrink_to_fit(); // one entry per far-away file: all of them, at times
        parseSharingUids(*calendar);
        calendar->nameList = QStringList(); // clear() would keep the list's room for every name

        if (location.isFile) {
            const auto parsed = calendar->parsed.find(0);
            if (parsed != calendar->parsed.end()) {
                calendar->info->name = parsed->second.content->calendarName;
                calendar->info->color = parsed->second.content->color;
            } else {
                calendarReadable = false;
            }
            if (calendar->info->name.isEmpty())
                calendar->info->name = QFileInfo(location.path).completeBaseName();
        } else {
            calendar->info->name = collectionName(location.path);
            calendar->info->color
                = IcsFileReader::parseColor(readSmallText(location.path + QStringLiteral("/color")));
        }
        if (calendarReadable)
            ++readable;
        else
            ++unreadable;
        m_calendars.push_back(std::move(calendar));
    }
    const bool allUnreadable = !roots.isEmpty() && readable == 0 && unreadable > 0;
    m_status = allUnreadable ? AuthorizationStatus::denied : AuthorizationStatus::fullAccess;
    m_loaded = true;
    rebuildIndex();
    qCDebug(lcStore) << "read" << m_readFiles << "files, parsed" << m_parsedFiles;
#ifdef __GLIBC__
    // What libical freed while parsing would otherwise stay with the process.
    malloc_trim(0);
#endif
}

void IcsWindowReader::take(Calendar &calendar, int file, Outcome &&outcome)
{
    if (!outcome.read)
        return;
    ++m_readFiles;
    if (outcome.content) {
        adopt(calendar, file, std::move(outcome.content));
        return;
    }
    const IcsPrescan::Result &scan = outcome.scan;
    FileState &state = calendar.files[size_t(file)];
    state.kind = FileState::Kind::scanned;
    if (scan.firstDay <= scan.lastDay) {
        state.firstDay = qint32(std::clamp<qint64>(scan.firstDay, 0, std::numeric_limits<qint32>::max()));
        state.lastDay = qint32(std::clamp<qint64>(scan.lastDay, 0, std::numeric_limits<qint32>::max()));
    }
    for (const QByteArray &uid : scan.uids)
        calendar.scannedUids.emplace_back(uidHash(uid), file);
}

bool IcsWindowReader::parseFile(Calendar &calendar, int file)
{
    const QString path = calendar.filePath(file);
    QByteArray bytes;
    FileStamp stamp;
    if (path.isEmpty() || !readBytes(path, m_options.maxFileBytes, &bytes, &stamp))
        return false;
    adopt(calendar, file, parseBytes(path, bytes));
    return true;
}

void IcsWindowReader::adopt(Calendar &calendar, int file, std::shared_ptr<const IcsFileContent> content)
{
    ++m_parsedFiles;
    calendar.files[size_t(file)].kind = FileState::Kind::parsed;
    Calendar::Parsed &parsed = calendar.parsed[file];
    for (qsizetype i = 0; i < content->events.size(); ++i) {
        const IcsEvent &event = content->events[i];
        if (event.uid.isEmpty())
            parsed.name = calendar.names().at(file);
        // The stand-in a UID-less item gets from the index is a UID like any other.
        calendar.newUids.push_back(uidHash(CalendarFileReading::indexUid(event.uid, parsed.name, i).toUtf8()));
    }
    parsed.content = std::move(content);
}

// Versions and overrides of one item are matched by UID within a calendar;
// each parse may bring UIDs that pull in further files.
void IcsWindowReader::parseSharingUids(Calendar &calendar)
{
    while (!calendar.newUids.empty()) {
        const quint32 hash = calendar.newUids.back();
        calendar.newUids.pop_back();
        auto [from, to] = std::equal_range(calendar.scannedUids.begin(), calendar.scannedUids.end(),
            std::pair<quint32, qint32>(hash, std::numeric_limits<qint32>::min()),
            [](const auto &a, const auto &b) { return a.first < b.first; });
        std::vector<int> files;
        for (auto it = from; it != to; ++it) {
            if (calendar.files[size_t(it->second)].kind == FileState::Kind::scanned)
                files.push_back(it->second);
        }
        for (int file : files) {
            if (calendar.files[size_t(file)].kind == FileState::Kind::scanned)
                parseFile(calendar, file);
        }
    }
}

void IcsWindowReader::cover(qint64 firstDay, qint64 lastDay)
{
    if (firstDay >= m_firstDay && lastDay <= m_lastDay)
        return;
    m_firstDay = std::min(m_firstDay, firstDay);
    m_lastDay = std::max(m_lastDay, lastDay);
    for (auto &calendar : m_calendars) {
        for (int i = 0; i < int(calendar->files.size()); ++i) {
            const FileState &state = calendar->files[size_t(i)];
            if (state.kind == FileState::Kind::scanned && state.firstDay <= state.lastDay
                && state.lastDay >= m_firstDay && state.firstDay <= m_lastDay)
                parseFile(*calendar, i);
        }
        parseSharingUids(*calendar);
        calendar->nameList = QStringList();
    }
    rebuildIndex();
}

void IcsWindowReader::rebuildIndex()
{
    QList<EventIndex::Calendar> calendars;
    for (const auto &calendar : m_calendars) {
        EventIndex::Calendar c;
        c.info = calendar->info;
        c.identifier = CalendarFileReading::itemIdentifier(calendar->prefix);
        for (const auto &[file, parsed] : calendar->parsed) {
            const auto &content = parsed.content;
            for (qsizetype i = 0; i < content->events.size(); ++i) {
                const IcsEvent &event = content->events[i];
                c.items.append({ std::shared_ptr<const IcsEvent>(content, &event), CalendarFileReading::indexUid(event.uid, parsed.name, i) });
            }
        }
        calendars.append(std::move(c));
    }
    m_index = std::make_unique<EventIndex>(calendars, m_options.limits);
}

EventList IcsWindowReader::events(const QDateTime &start, const QDateTime &end)
{
    if (!m_index || !start.isValid() || !end.isValid() || !(start < end))
        return {};
    cover(julianDayOf(start), julianDayOf(end));
    LocalZone::refresh();
    return m_index->events(start, end);
}
