#pragma once

#include <QByteArray>
#include <QTimeZone>

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

} // namespace ZoneResolver
