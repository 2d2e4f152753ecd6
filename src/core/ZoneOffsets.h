#pragma once

#include <QTimeZone>

#include <atomic>
#include <memory>
#include <vector>

/**
 * A zone's UTC offsets laid out as stretches of wall-clock time, so that a
 * wall time becomes an instant with a binary search. Qt answers the same
 * question with a zone lookup of thousands of instructions, and a month of
 * repeating events asks it tens of thousands of times.
 *
 * Only unambiguous wall times are answered: those near a change of offset
 * (a gap or a fold) and those outside the table's years are left to Qt, so
 * every answer equals QDateTime(date, time, zone). Immutable once built
 * (but for a lookup hint), hence safe to share between threads.
 */
class ZoneOffsets
{
public:
    /** The table of a zone, built on first use and shared; null for an invalid zone. */
    static std::shared_ptr<const ZoneOffsets> of(const QTimeZone &zone);

    explicit ZoneOffsets(const QTimeZone &zone);

    /**
     * The instant (UTC milliseconds) of a wall time given as milliseconds
     * since 1970-01-01T00:00 on the zone's own clock; false when Qt must decide.
     */
    bool instantOf(qint64 wallMs, qint64 *utcMs) const;

private:
    struct Stretch
    {
        qint64 wallFrom; ///< inclusive
        qint64 wallTo; ///< exclusive
        qint64 offsetMs;
    };
    std::vector<Stretch> m_stretches; ///< ascending, not overlapping
    mutable std::atomic<size_t> m_hint { 0 }; ///< the stretch that answered last
};
