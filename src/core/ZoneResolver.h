#pragma once

#include <QByteArray>
#include <QTimeZone>

#include <memory>

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
 * A zone a file defines itself (VTIMEZONE) under a name that names no system
 * zone. A fixed offset stays a fixed offset. A system zone stands in only when
 * it agrees with the definition at every moment from 1970 to 2037, the span
 * calendars use; otherwise the definition itself is used, as a zone of yearly
 * rules (the zone database's own POSIX form). A definition too irregular for
 * that gives each time the offset it defines for that moment. Rules other than
 * yearly ones are not expanded (zone definitions do not use them, and
 * libical's iterator can spin on them for minutes). Cheap to copy; safe on any
 * thread; definitions with the same onsets share one resolution.
 */
class DefinedZone
{
public:
    explicit DefinedZone(icalcomponent_impl *vtimezone);

    /** The zone for a wall-clock time given in it; invalid when the definition gives no offsets. */
    QTimeZone zoneFor(QDate date, QTime time) const;

private:
    struct Data;
    std::shared_ptr<const Data> d;
};

} // namespace ZoneResolver
