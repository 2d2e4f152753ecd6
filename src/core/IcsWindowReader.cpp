#include "IcsWindowReader.h"

#include "CalendarFileReading.h"
#include "IcsFileReader.h"
#include "IcsPrescan.h"
#include "LocalZone.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTimer>

#include <algorithm>
#include <map>

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

size_t uidHash(QByteArrayView uid)
{
    return qHash(uid, 0);
}

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
    /** The item files' names, encoded as on disk, each ended by a NUL; in listing order. */
    QByteArray names;
    std::vector<qsizetype> nameOffsets;
    std::vector<FileState> files;
    /** Parsed files by position, so that items keep the listing's order. */
    std::map<int, std::shared_ptr<const IcsFileContent>> parsed;
    /** UIDs of scanned files, as (hash, file), sorted: a collision only costs a parse. */
    std::vector<std::pair<size_t, int>> scannedUids;
    /** UIDs of parsed items not yet matched against scannedUids. */
    std::vector<size_t> newUids;

    QString fileName(int file) const { return QFile::decodeName(names.constData() + nameOffsets[size_t(file)]); }
    QString filePath(int file) const { return isFile ? path : path + QLatin1Char('/') + fileName(file); }
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
    QByteArray bytes;
    for (const CalendarLocation &location : locations) {
        auto calendar = std::make_unique<Calendar>();
        calendar->path = location.path;
        calendar->isFile = location.isFile;
        calendar->prefix = identifierPrefix(location.path);
        calendar->info = std::make_shared<CalendarInfo>();
        calendar->info->id = location.path;
        bool calendarReadable = true;
        QStringList paths;
        if (location.isFile)
            paths = { location.path };
        else
            paths = listItemFiles(location.path, &calendarReadable);
        calendar->files.resize(size_t(paths.size()));
        calendar->nameOffsets.reserve(size_t(paths.size()));
        for (const QString &path : std::as_const(paths)) {
            calendar->nameOffsets.push_back(calendar->names.size());
            calendar->names += QFile::encodeName(QFileInfo(path).fileName());
            calendar->names += '\0';
        }
        for (int i = 0; i < int(paths.size()); ++i) {
            FileStamp stamp;
            if (!readBytes(paths[i], m_options.maxFileBytes, &bytes, &stamp))
                continue;
            ++m_readFiles;
            // A single calendar file gives the calendar its name and colour: always parsed.
            const IcsPrescan::Result scan = location.isFile ? IcsPrescan::Result() : IcsPrescan::scan(bytes);
            if (scan.mayTouch(m_firstDay, m_lastDay)) {
                parseFile(*calendar, i, &bytes);
                continue;
            }
            FileState &state = calendar->files[size_t(i)];
            state.kind = FileState::Kind::scanned;
            if (scan.firstDay <= scan.lastDay) {
                state.firstDay = qint32(std::clamp<qint64>(scan.firstDay, 0, std::numeric_limits<qint32>::max()));
                state.lastDay = qint32(std::clamp<qint64>(scan.lastDay, 0, std::numeric_limits<qint32>::max()));
            }
            for (const QByteArray &uid : scan.uids)
                calendar->scannedUids.emplace_back(uidHash(uid), i);
        }
        paths.clear();
        std::sort(calendar->scannedUids.begin(), calendar->scannedUids.end());
        parseSharingUids(*calendar);

        if (location.isFile) {
            const auto parsed = calendar->parsed.find(0);
            if (parsed != calendar->parsed.end() && parsed->second) {
                calendar->info->name = parsed->second->calendarName;
                calendar->info->color = parsed->second->color;
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
}

bool IcsWindowReader::parseFile(Calendar &calendar, int file, const QByteArray *bytes)
{
    const QString path = calendar.filePath(file);
    QByteArray again;
    if (!bytes) {
        FileStamp stamp;
        if (!readBytes(path, m_options.maxFileBytes, &again, &stamp))
            return false;
        bytes = &again;
    }
    std::shared_ptr<const IcsFileContent> content = parseBytes(path, *bytes);
    ++m_parsedFiles;
    calendar.files[size_t(file)].kind = FileState::Kind::parsed;
    for (qsizetype i = 0; i < content->events.size(); ++i) {
        const IcsEvent &event = content->events[i];
        // The stand-in a UID-less item gets from the index is a UID like any other.
        calendar.newUids.push_back(event.uid.isEmpty()
                ? uidHash(QStringLiteral("file:%1#%2").arg(calendar.fileName(file)).arg(i).toUtf8())
                : uidHash(event.uid.toUtf8()));
    }
    calendar.parsed[file] = std::move(content);
    return true;
}

// Versions and overrides of one item are matched by UID within a calendar;
// each parse may bring UIDs that pull in further files.
void IcsWindowReader::parseSharingUids(Calendar &calendar)
{
    while (!calendar.newUids.empty()) {
        const size_t hash = calendar.newUids.back();
        calendar.newUids.pop_back();
        auto [from, to] = std::equal_range(calendar.scannedUids.begin(), calendar.scannedUids.end(),
            std::pair<size_t, int>(hash, std::numeric_limits<int>::min()),
            [](const auto &a, const auto &b) { return a.first < b.first; });
        std::vector<int> files;
        for (auto it = from; it != to; ++it) {
            if (calendar.files[size_t(it->second)].kind == FileState::Kind::scanned)
                files.push_back(it->second);
        }
        for (int file : files) {
            if (calendar.files[size_t(file)].kind == FileState::Kind::scanned)
                parseFile(calendar, file, nullptr);
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
                parseFile(*calendar, i, nullptr);
        }
        parseSharingUids(*calendar);
    }
    rebuildIndex();
}

void IcsWindowReader::rebuildIndex()
{
    QList<EventIndex::Calendar> calendars;
    for (const auto &calendar : m_calendars) {
        EventIndex::Calendar c;
        c.info = calendar->info;
        c.identifier = [prefix = calendar->prefix](const QString &uid, const QString &rid) {
            return rid.isEmpty() ? prefix + QLatin1Char('/') + uid
                                 : prefix + QLatin1Char('/') + uid + QLatin1Char('/') + rid;
        };
        for (const auto &[file, content] : calendar->parsed) {
            for (qsizetype i = 0; i < content->events.size(); ++i) {
                const IcsEvent &event = content->events[i];
                // Without a UID the file and position are the only stable name.
                const QString uid = event.uid.isEmpty()
                    ? QStringLiteral("file:%1#%2").arg(calendar->fileName(file)).arg(i)
                    : event.uid;
                c.items.append({ std::shared_ptr<const IcsEvent>(content, &event), uid });
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
