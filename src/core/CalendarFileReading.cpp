#include "CalendarFileReading.h"

#include "CalendarSources.h"
#include "StoreLog.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using CalendarFileReading::FileStamp;

FileStamp stampOf(const struct stat &st)
{
    return { qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
        quint64(st.st_ino), quint64(st.st_dev) };
}

} // namespace

FileStamp CalendarFileReading::statPath(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return stampOf(st);
}

// O_NONBLOCK and the regular-file check keep a FIFO or device named *.ics
// from blocking the loader; reading through one descriptor means a file
// replaced meanwhile is read whole, old or new, never half of each.
namespace {

/** Reads and closes `fd`; `pathOf()` names the file for the log, made only when needed. */
template<typename PathOf>
bool readOpenFile(int fd, const PathOf &pathOf, qint64 maxBytes, QByteArray *out, FileStamp *stampOut)
{
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    *stampOut = stampOf(st);
    if (st.st_size > maxBytes) {
        qCInfo(lcStore) << "skipping" << pathOf() << "of" << qint64(st.st_size) << "bytes";
        ::close(fd);
        return false;
    }
    QByteArray &bytes = *out;
    // One byte more than the size: a read that does not fill it has met the
    // end, which spares a further read (and a larger buffer) per file.
    bytes.resize(qsizetype(st.st_size) + 1);
    qsizetype filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (bytes.size() > maxBytes)
                break;
            bytes.resize(std::min<qsizetype>(maxBytes + 1, bytes.size() + 65536));
        }
        const qsizetype wanted = bytes.size() - filled;
        const ssize_t n = ::read(fd, bytes.data() + filled, size_t(wanted));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        filled += n;
        if (n < wanted)
            break;
    }
    ::close(fd);
    if (filled > maxBytes) {
        qCInfo(lcStore) << "skipping" << pathOf() << ", grew past the size limit";
        return false;
    }
    bytes.truncate(filled);
    return true;
}

template<typename PathOf>
void logOpenFailure(const PathOf &pathOf)
{
    // Saved first: building the log line may itself set errno.
    const int error = errno;
    qCInfo(lcStore) << "cannot open" << pathOf() << qt_error_string(error);
}

constexpr int openFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

} // namespace

bool CalendarFileReading::readBytes(const QString &path, qint64 maxBytes, QByteArray *out, FileStamp *stampOut)
{
    const int fd = ::open(QFile::encodeName(path).constData(), openFlags);
    const auto pathOf = [&path] { return path; };
    if (fd < 0) {
        logOpenFailure(pathOf);
        return false;
    }
    return readOpenFile(fd, pathOf, maxBytes, out, stampOut);
}

bool CalendarFileReading::readBytesAt(int folder, const QString &folderPath, const QString &name, qint64 maxBytes,
    QByteArray *out, FileStamp *stampOut)
{
    const int fd = ::openat(folder, QFile::encodeName(name).constData(), openFlags);
    const auto pathOf = [&] { return folderPath + QLatin1Char('/') + name; };
    if (fd < 0) {
        logOpenFailure(pathOf);
        return false;
    }
    return readOpenFile(fd, pathOf, maxBytes, out, stampOut);
}

std::shared_ptr<const IcsFileContent> CalendarFileReading::parseBytes(const QString &path, const QByteArray &bytes)
{
    auto content = std::make_shared<IcsFileContent>(IcsFileReader::parse(bytes));
    if (!content->refusal.isEmpty())
        qCInfo(lcStore) << "skipping" << path << ":" << content->refusal;
    if (content->skipped > 0)
        qCInfo(lcStore) << path << ": skipped" << content->skipped << "unusable events";
    return content;
}

CalendarFileReading::LoadedFile CalendarFileReading::readFile(const QString &path, qint64 maxBytes)
{
    LoadedFile out;
    QByteArray bytes;
    if (readBytes(path, maxBytes, &bytes, &out.stamp))
        out.content = parseBytes(path, bytes);
    return out;
}

// readdir's d_type spares a stat per entry, which QDir would make: with
// thousands of items that is most of the listing time.
QStringList CalendarFileReading::listItemNames(const QString &folder, bool *readable)
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
            out.append(name);
    }
    ::closedir(dir);
    out.sort();
    return out;
}

QStringList CalendarFileReading::listItemFiles(const QString &folder, bool *readable)
{
    QStringList out = listItemNames(folder, readable);
    for (QString &name : out)
        name.prepend(folder + QLatin1Char('/'));
    return out;
}

QString CalendarFileReading::readSmallText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(4096)).trimmed();
}


QString CalendarFileReading::collectionName(const QString &folder)
{
    const QString name = readSmallText(folder + QStringLiteral("/displayname")).section(QLatin1Char('\n'), 0, 0);
    return name.isEmpty() ? QFileInfo(folder).fileName() : name;
}

QString CalendarFileReading::identifierPrefix(const QString &calendarPath)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(calendarPath.toUtf8(), QCryptographicHash::Md5).toHex().left(8));
}

std::function<QString(const QString &, const QString &)> CalendarFileReading::itemIdentifier(const QString &prefix)
{
    return [prefix](const QString &uid, const QString &rid) {
        QString id;
        id.reserve(prefix.size() + uid.size() + rid.size() + 2);
        id.append(prefix).append(QLatin1Char('/')).append(uid);
        if (!rid.isEmpty())
            id.append(QLatin1Char('/')).append(rid);
        return id;
    };
}

QString CalendarFileReading::indexUid(const QString &uid, const QString &fileName, qsizetype position)
{
    return uid.isEmpty() ? QStringLiteral("file:%1#%2").arg(fileName).arg(position) : uid;
}
