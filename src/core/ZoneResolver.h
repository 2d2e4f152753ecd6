#pragma once

#include <QByteArray>
#include <QTimeZone>

struct icalcomponent_impl;

/**
 * Maps the TZID names found in the wild to zones of the system database:
 * IANA names, names behind a vendor prefix ("/mozilla.org/20050126_1/America/New_York")
 * and Windows names ("W. Europe Standard Time", also with a stray suffix).
 * The system database is both faster and more current than the VTIMEZONE
 * blocks files carry, which are often stale or simply wrong.
 */
namespace ZoneResolver {

/** The system zone the name stands for, or an invalid zone when it names none. */
QTimeZone systemZone(const QByteArray &tzid);

/**
 * The zone a file's own VTIMEZONE defines, for a name that names no system
 * zone, as used for a time in `year`. A fixed offset stays a fixed offset. A
 * system zone stands in only when it agrees with the definition at every
 * moment from 1970 to 2037, the span calendars use; otherwise the definition
 * itself is used, as a zone of yearly rules (the zone database's own POSIX
 * form). A definition too irregular for that falls back to the rules in force
 * in `year`, then to its standard offset. Invalid when it gives no offsets.
 * Safe on any thread; results are shared between files.
 */
QTimeZone definedZone(icalcomponent_impl *vtimezone, int year);

} // namespace ZoneResolver
