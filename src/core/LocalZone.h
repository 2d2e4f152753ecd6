#pragma once

#include <QDateTime>
#include <QTimeZone>

/**
 * The zone the user's wall clock is in, resolved once and kept. Converting
 * through Qt::LocalTime asks the C library, which with TZ unset stats the
 * zone file on every call; a listing makes hundreds of thousands of them.
 * refresh() looks again (one query, one look) and bumps generation() when
 * the zone changed, so cached wall-time conversions know to redo themselves.
 * Safe on any thread.
 */
namespace LocalZone {

/** Looks up the system zone again; true when it differs from the one kept. */
bool refresh();

/** Changes whenever refresh() found another zone. */
quint64 generation();

/** The kept zone; invalid when the system names none Qt can read (then Qt::LocalTime is used). */
QTimeZone zone();

/** The instant of a wall-clock time in the given local zone (see zone()). */
QDateTime at(QDate date, QTime time, const QTimeZone &local);

/** The instant of a wall-clock time in the kept local zone. */
inline QDateTime at(QDate date, QTime time) { return at(date, time, zone()); }

/** The same instant, told in the given local zone. */
QDateTime toLocal(const QDateTime &instant, const QTimeZone &local);

} // namespace LocalZone
