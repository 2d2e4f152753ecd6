#pragma once

#include "IcsFileReader.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

/**
 * How the files store reads calendar files from disk: safely (a FIFO or a
 * device named *.ics never blocks, a file replaced meanwhile is read whole),
 * within a size limit, and with the stamp that tells a changed file from an
 * unchanged one. Safe on any thread.
 */
namespace CalendarFileReading {

/** Size, modification time and identity of a file; invalid when it is not a regular file. */
struct FileStamp
{
    qint64 size = -1;
    qint64 mtimeNs = 0;
    quint64 inode = 0;
    quint64 device = 0;

    bool isValid() const { return size >= 0; }
    friend bool operator==(const FileStamp &, const FileStamp &) = default;
};

struct LoadedFile
{
    FileStamp stamp;
    std::shared_ptr<const IcsFileContent> content; ///< null when unreadable or too large
};

FileStamp statPath(const QString &path);

/** Reads and parses one file, skipping it when larger than maxBytes. */
LoadedFile readFile(const QString &path, qint64 maxBytes);

/**
 * Reads one file's bytes, as readFile() does; false when it is not a regular
 * file, cannot be read or is larger than maxBytes (the stamp is set whenever
 * the file could be opened).
 */
bool readBytes(const QString &path, qint64 maxBytes, QByteArray *bytes, FileStamp *stamp);
/**
 * readBytes for the item `name` of the folder at `folderPath`, open as
 * `folder`: the kernel need not look the folder's path up again for each
 * of its many items.
 */
bool readBytesAt(int folder, const QString &folderPath, const QString &name, qint64 maxBytes, QByteArray *bytes,
    FileStamp *stamp);

/** Parses bytes read from `path`, noting in the store's log what was left out. */
std::shared_ptr<const IcsFileContent> parseBytes(const QString &path, const QByteArray &bytes);

/** The name a collection folder shows: its displayname file, else the folder's name. */
QString collectionName(const QString &folder);

/** What identifiers of a calendar's items start with: short, and stable for its path. */
QString identifierPrefix(const QString &calendarPath);

/**
 * How the items of a calendar with this prefix are named to the index.
 * The files store and the agenda's window reader must name them alike.
 * Called for every occurrence a query hands out: one allocation each.
 */
std::function<QString(const QString &uid, const QString &rid)> itemIdentifier(const QString &prefix);

/** The UID an event is indexed under: its own, else its file and position, the only stable name. */
QString indexUid(const QString &uid, const QString &fileName, qsizetype position);

/** The calendar files of a collection folder, sorted; *readable says whether it could be listed. */
QStringList listItemFiles(const QString &folder, bool *readable);

/** The same files' names alone, in the same order; a path each costs more than the name. */
QStringList listItemNames(const QString &folder, bool *readable);

/** The first 4 KB of a small text file (a collection's displayname or color), trimmed. */
QString readSmallText(const QString &path);

} // namespace CalendarFileReading
