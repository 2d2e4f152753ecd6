#pragma once

#include <QByteArray>
#include <QString>

/**
 * Replaces a small file in one step: the new bytes go to a temporary file
 * beside it, every write is checked, and only a complete, synced copy is
 * renamed over the old one. A full disk or a size limit leaves the old file
 * exactly as it was.
 */
class AtomicFileWriter
{
public:
    /** False with a readable reason when the file was left untouched. */
    static bool write(const QString &path, const QByteArray &bytes, QString *error);
};
