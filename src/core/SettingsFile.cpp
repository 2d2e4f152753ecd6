#include "SettingsFile.h"

#include "AtomicFileWriter.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QSettings>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Far beyond any settings file; a bigger one is not read into memory.
constexpr qint64 maximumSize = 1 << 20;

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// QSettings' spelling of keys and section names: "\" stands for "/", %XX and
// %UXXXX for characters that cannot be written as they are.
QString unescapeKey(QStringView text)
{
    QString key;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\') {
            key += u'/';
        } else if (c == u'%' && i + 5 < text.size() && text[i + 1] == u'U') {
            bool ok = false;
            const ushort code = text.mid(i + 2, 4).toUShort(&ok, 16);
            if (ok) {
                key += QChar(code);
                i += 5;
            } else {
                key += c;
            }
        } else if (c == u'%' && i + 2 < text.size()) {
            bool ok = false;
            const ushort code = text.mid(i + 1, 2).toUShort(&ok, 16);
            if (ok) {
                key += QChar(code);
                i += 2;
            } else {
                key += c;
            }
        } else {
            key += c;
        }
    }
    return key;
}

// Whether a value leaves a quote open: QSettings then reads on into the
// following lines and the keys there are lost.
bool leavesQuoteOpen(QStringView value)
{
    bool inQuotes = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\\')
            ++i;
        else if (c == u'"')
            inQuotes = !inQuotes;
        else if (c == u';' && !inQuotes)
            break;
    }
    return inQuotes;
}

struct Parsed
{
    QVariantMap values;
    bool formatError = false;
};

// Parses exactly these bytes. A file of its own per parse, because QSettings
// caches what it read per path and would answer from that cache.
Parsed parse(const QByteArray &bytes)
{
    Parsed parsed;
    if (bytes.isEmpty())
        return parsed;
    QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/moriva-settings-XXXXXX"));
    const QString path = scratch.filePath(QStringLiteral("read.conf"));
    QFile file(path);
    if (!scratch.isValid() || !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()
        || !file.flush()) {
        parsed.formatError = true;
        return parsed;
    }
    file.close();
    const QSettings settings(path, QSettings::IniFormat);
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys) {
        // A line without a key ("=value") has no setting to give; asking QSettings for it only warns.
        if (!key.isEmpty())
            parsed.values.insert(key, settings.value(key));
    }
    parsed.formatError = settings.status() != QSettings::NoError;
    return parsed;
}

// QSettings keeps a line without a key ("=value") and writes it back out, so
// a file holding one would fail the read-back check of every save and no
// setting could be stored again. Such lines are damage (the copy set aside
// holds them), so they are left out of what QSettings starts from.
QByteArray withoutEmptyKeys(const QByteArray &bytes)
{
    const auto continues = [](QByteArray line) {
        if (line.endsWith('\r'))
            line.chop(1);
        return line.endsWith('\\');
    };
    QByteArray kept;
    kept.reserve(bytes.size());
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        // A trailing backslash carries a line on: the lines it joins go or stay together.
        qsizetype last = i;
        while (continues(lines[last]) && last + 1 < lines.size())
            ++last;
        if (!lines[i].trimmed().startsWith('=')) {
            for (qsizetype j = i; j <= last; ++j) {
                kept += lines[j];
                if (j + 1 < lines.size())
                    kept += '\n';
            }
        }
        i = last;
    }
    return kept;
}

bool sameValue(const QVariant &stored, const QVariant &wanted)
{
    if (wanted.typeId() == QMetaType::QStringList)
        return stored.toStringList() == wanted.toStringList();
    return stored.toString() == wanted.toString();
}

} // namespace

SettingsFile::SettingsFile(QString path)
    : m_path(std::move(path))
{
    read();
}

SettingsFile::Stamp SettingsFile::stampOnDisk() const
{
    struct stat info;
    if (::stat(QFile::encodeName(m_path).constData(), &info) != 0)
        return {};
    return { qint64(info.st_dev), qint64(info.st_ino), qint64(info.st_size),
        qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
        qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec };
}

bool SettingsFile::read()
{
    m_bytes.clear();
    m_values.clear();
    m_damaged = false;
    m_refusal.clear();
    m_stamp = stampOnDisk();

    // Non-blocking, so that opening a FIFO returns at once; it is refused below.
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return true;
        m_refusal = QStringLiteral("cannot read %1: %2").arg(m_path, systemError(errno));
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        m_refusal = QStringLiteral("%1 is not a regular file").arg(m_path);
        return false;
    }
    if (info.st_size > maximumSize) {
        ::close(fd);
        m_refusal = QStringLiteral("%1 is too large for a settings file").arg(m_path);
        return false;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        m_refusal = QStringLiteral("cannot read %1: %2").arg(m_path, file.errorString());
        return false;
    }
    m_bytes = file.read(maximumSize + 1);
    file.close();

    const Parsed parsed = parse(m_bytes);
    m_values = parsed.values;
    m_damaged = parsed.formatError || !unmappedLines(m_bytes, m_values.keys()).isEmpty();
    return true;
}

bool SettingsFile::setValue(const QString &key, const QVariant &value, QString *error)
{
    m_unsaved.insert(key, value);
    m_values.insert(key, value);
    const auto fail = [&](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };

    // Someone else wrote the file since we read it: build on what is there
    // now, and look at it for damage first.
    if (stampOnDisk() != m_stamp) {
        read();
        m_values.insert(m_unsaved);
    }
    if (!m_refusal.isEmpty())
        return fail(m_refusal);

    struct stat info;
    if (::stat(QFile::encodeName(m_path).constData(), &info) == 0 && (info.st_mode & 0222) == 0)
        return fail(QStringLiteral("%1 is read-only").arg(m_path));
    if (m_damaged && !keepCopyOfDamage(error))
        return false;

    // QSettings writes the new text, into a scratch copy: it spells every
    // value the way it reads them back, and it drops the damaged lines,
    // whose bytes are safe in the copy by now.
    QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/moriva-settings-XXXXXX"));
    if (!scratch.isValid())
        return fail(QStringLiteral("no scratch folder for writing %1").arg(m_path));
    const QString scratchPath = scratch.filePath(QStringLiteral("write.conf"));
    if (!m_bytes.isEmpty()) {
        QFile seed(scratchPath);
        const QByteArray seedBytes = m_damaged ? withoutEmptyKeys(m_bytes) : m_bytes;
        if (!seed.open(QIODevice::WriteOnly) || seed.write(seedBytes) != seedBytes.size() || !seed.flush())
            return fail(QStringLiteral("could not write %1: %2").arg(m_path, seed.errorString()));
    }
    QByteArray bytes;
    {
        QSettings writer(scratchPath, QSettings::IniFormat);
        for (auto it = m_unsaved.cbegin(); it != m_unsaved.cend(); ++it)
            writer.setValue(it.key(), it.value());
        writer.sync();
        // A format error is the damage just copied aside; only a failed write counts here.
        if (writer.status() == QSettings::AccessError)
            return fail(QStringLiteral("could not write %1").arg(m_path));
        QFile written(scratchPath);
        if (!written.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("could not write %1: %2").arg(m_path, written.errorString()));
        bytes = written.readAll();
    }

    // QSettings does not notice a write that fails as it commits, so what
    // it wrote is read back before it may replace the file.
    const Parsed check = parse(bytes);
    bool complete = !check.formatError && unmappedLines(bytes, check.values.keys()).isEmpty()
        && check.values.size() >= m_unsaved.size();
    for (auto it = m_unsaved.cbegin(); complete && it != m_unsaved.cend(); ++it)
        complete = check.values.contains(it.key()) && sameValue(check.values.value(it.key()), it.value());
    if (!complete)
        return fail(QStringLiteral("could not write %1: the new text came out incomplete").arg(m_path));

    if (!AtomicFileWriter::write(m_path, bytes, error))
        return false;
    m_bytes = bytes;
    m_values = check.values;
    m_damaged = false;
    m_unsaved.clear();
    m_stamp = stampOnDisk();
    return true;
}

bool SettingsFile::keepCopyOfDamage(QString *error) const
{
    // A damaged file that nobody rewrote is met again at every start; one copy of it is enough.
    for (int attempt = 1; attempt <= 100; ++attempt) {
        QString copy = m_path + QStringLiteral(".damaged");
        if (attempt > 1)
            copy += QLatin1Char('.') + QString::number(attempt);
        QFile existing(copy);
        if (existing.exists()) {
            if (existing.open(QIODevice::ReadOnly) && existing.readAll() == m_bytes)
                return true;
            continue;
        }
        QString reason;
        if (AtomicFileWriter::write(copy, m_bytes, &reason))
            return true;
        if (error)
            *error = QStringLiteral("%1 is damaged and no copy of it could be kept (%2)").arg(m_path, reason);
        return false;
    }
    if (error)
        *error = QStringLiteral("%1 is damaged and there are already 100 copies of damaged settings").arg(m_path);
    return false;
}

QList<int> SettingsFile::unmappedLines(const QByteArray &bytes, const QStringList &keys)
{
    QList<int> unmapped;
    QStringDecoder decoder(QStringConverter::Utf8);
    QString text = decoder.decode(bytes);
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    if (decoder.hasError()) {
        // QSettings turns such bytes into U+FFFD: written back, they are lost.
        for (int i = 1; i <= lines.size(); ++i)
            unmapped.append(i);
        return unmapped;
    }

    const QSet<QString> known(keys.cbegin(), keys.cend());
    QString section;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int number = int(i + 1);
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (i == 0 && line.startsWith(QChar(0xfeff)))
            line.remove(0, 1);
        // A trailing backslash continues the line: QSettings joins the two.
        while (line.endsWith(u'\\') && i + 1 < lines.size()) {
            line.chop(1);
            line += lines[++i];
            if (line.endsWith(u'\r'))
                line.chop(1);
        }
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u';'))
            continue;
        if (trimmed.startsWith(u'[')) {
            if (!trimmed.endsWith(u']')) {
                unmapped.append(number);
                continue;
            }
            section = unescapeKey(QStringView(trimmed).mid(1, trimmed.size() - 2));
            if (section == u"General")
                section.clear();
            continue;
        }
        const qsizetype equals = trimmed.indexOf(u'=');
        const QString key = equals > 0 ? unescapeKey(QStringView(trimmed).left(equals).trimmed()) : QString();
        const QString fullKey = section.isEmpty() ? key : section + u'/' + key;
        if (key.isEmpty() || !known.contains(fullKey) || leavesQuoteOpen(QStringView(trimmed).mid(equals + 1)))
            unmapped.append(number);
    }
    return unmapped;
}
