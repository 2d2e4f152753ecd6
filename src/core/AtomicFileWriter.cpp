#include "AtomicFileWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

bool AtomicFileWriter::write(const QString &path, const QByteArray &bytes, QString *error)
{
    const auto fail = [&](const QString &reason) {
        if (error)
            *error = QStringLiteral("could not write %1: %2").arg(path, reason);
        return false;
    };

    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        const QFileInfo blocker(folder);
        return fail(blocker.exists() && !blocker.isDir() ? QStringLiteral("%1 is a file, not a folder").arg(folder)
                                                         : QStringLiteral("could not create the folder %1").arg(folder));
    }

    QSaveFile file(path);
    // Unbuffered, so that a failing write shows in write()'s result: a
    // buffered QSaveFile meets the error only while committing, does not
    // notice it, and renames the short file over the good one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return fail(reason);
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}
