#include "LocalZone.h"

#include <QMutex>

#include <atomic>

namespace {

struct State
{
    QMutex mutex;
    QByteArray id;
    QTimeZone zone;
    bool resolved = false;
    std::atomic<quint64> generation { 1 };
};

State &state()
{
    static State s;
    return s;
}

void resolveLocked(State &s, const QByteArray &id)
{
    s.id = id;
    s.zone = id.isEmpty() ? QTimeZone() : QTimeZone(id);
    s.resolved = true;
}

} // namespace

bool LocalZone::refresh()
{
    const QByteArray id = QTimeZone::systemTimeZoneId();
    State &s = state();
    QMutexLocker lock(&s.mutex);
    if (s.resolved && id == s.id)
        return false;
    const bool changed = s.resolved;
    resolveLocked(s, id);
    if (changed)
        ++s.generation;
    return changed;
}

quint64 LocalZone::generation()
{
    return state().generation.load();
}

QTimeZone LocalZone::zone()
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    if (!s.resolved)
        resolveLocked(s, QTimeZone::systemTimeZoneId());
    return s.zone;
}

QDateTime LocalZone::at(QDate date, QTime time, const QTimeZone &local)
{
    return local.isValid() ? QDateTime(date, time, local) : QDateTime(date, time, Qt::LocalTime);
}

QDateTime LocalZone::toLocal(const QDateTime &instant, const QTimeZone &local)
{
    return local.isValid() ? instant.toTimeZone(local) : instant.toLocalTime();
}
