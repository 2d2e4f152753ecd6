#include "ZoneResolver.h"

#include <QHash>
#include <QMutex>

namespace {

bool isAvailable(const QByteArray &id)
{
    return !id.isEmpty() && QTimeZone::isTimeZoneIdAvailable(id);
}

QTimeZone lookup(const QByteArray &raw)
{
    QByteArray name = raw.trimmed();
    if (name.size() >= 2 && name.startsWith('"') && name.endsWith('"'))
        name = name.mid(1, name.size() - 2).trimmed();
    if (name.isEmpty())
        return {};
    if (name == "UTC" || name == "Z" || name == "GMT" || name == "Etc/UTC")
        return QTimeZone::utc();
    if (isAvailable(name))
        return QTimeZone(name);

    // Vendor prefixes: try every tail after a slash, longest first, so that
    // "/x/America/Argentina/Buenos_Aires" still finds the three-part name.
    if (name.contains('/')) {
        const QList<QByteArray> parts = name.split('/');
        for (qsizetype i = 1; i < parts.size(); ++i) {
            const QByteArray tail = parts.mid(i).join('/');
            if (isAvailable(tail))
                return QTimeZone(tail);
        }
    }

    QByteArray windows = QTimeZone::windowsIdToDefaultIanaId(name);
    if (isAvailable(windows))
        return QTimeZone(windows);
    // Exchange sometimes numbers duplicates: "GMT Standard Time 1".
    QByteArray stripped = name;
    while (!stripped.isEmpty() && (QChar::fromLatin1(stripped.back()).isDigit() || stripped.back() == ' '))
        stripped.chop(1);
    if (stripped != name) {
        windows = QTimeZone::windowsIdToDefaultIanaId(stripped);
        if (isAvailable(windows))
            return QTimeZone(windows);
    }
    return {};
}

} // namespace

QTimeZone ZoneResolver::systemZone(const QByteArray &tzid)
{
    // Files repeat the same handful of names thousands of times, and the
    // loader asks from several threads at once.
    static QMutex mutex;
    static QHash<QByteArray, QTimeZone> cache;
    {
        QMutexLocker lock(&mutex);
        const auto it = cache.constFind(tzid);
        if (it != cache.constEnd())
            return *it;
    }
    const QTimeZone zone = lookup(tzid);
    QMutexLocker lock(&mutex);
    if (cache.size() < 4096)
        cache.insert(tzid, zone);
    return zone;
}
