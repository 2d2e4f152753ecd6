#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariantMap>

/**
 * The bytes of Moriva.conf, read and written in one place. Values are read
 * and written the way QSettings' INI format spells them, so hand edits and
 * older files keep working, but the file is handled with more care:
 *
 * - only a regular file is read, so a FIFO or a device at the path cannot
 *   block start-up;
 * - a file whose lines do not all map back to keys (a line without "=", a
 *   section header cut short, a quote that runs on into the next lines, text
 *   that is not UTF-8) counts as damaged, and its bytes are copied aside to
 *   Moriva.conf.damaged before anything is written over them;
 * - before each write the file is read again if it changed on disk since it
 *   was read, so an edit made meanwhile is kept (and checked for damage);
 * - a write replaces the file only with complete, checked bytes, and never
 *   a file whose permissions say it is read-only.
 */
class SettingsFile
{
public:
    /** Reads the file at once; a missing file reads as empty. */
    explicit SettingsFile(QString path);

    QString fileName() const { return m_path; }
    /** The value as QSettings would return it; fallback when absent. */
    QVariant value(const QString &key, const QVariant &fallback = QVariant()) const
    {
        return m_values.value(key, fallback);
    }
    bool contains(const QString &key) const { return m_values.contains(key); }
    QStringList allKeys() const { return m_values.keys(); }
    /** Every setValue() is on disk when it returns; this is for callers written against QSettings. */
    void sync() { }
    /** Whether the bytes last read had lines that map to no key. */
    bool isDamaged() const { return m_damaged; }
    /** Why the file can be neither read nor written, or empty. */
    QString refusal() const { return m_refusal; }

    /**
     * Stores the value over what the file holds now. On failure the value is
     * still remembered and written along with the next write that succeeds;
     * the reason is in error.
     */
    bool setValue(const QString &key, const QVariant &value, QString *error = nullptr);

    /**
     * Lines of an INI text that do not map back to one of keys, numbered from
     * 1; every line when the text is not UTF-8.
     */
    static QList<int> unmappedLines(const QByteArray &bytes, const QStringList &keys);

private:
    struct Stamp
    {
        qint64 device = -1, inode = -1, size = -1, modified = -1, changed = -1;
        friend bool operator==(const Stamp &, const Stamp &) = default;
    };

    bool read();
    Stamp stampOnDisk() const;
    bool keepCopyOfDamage(QString *error) const;

    QString m_path;
    QByteArray m_bytes;
    QVariantMap m_values;
    QVariantMap m_unsaved;
    Stamp m_stamp;
    bool m_damaged = false;
    QString m_refusal;
};
