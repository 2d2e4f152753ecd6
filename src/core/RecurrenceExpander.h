#pragma once

#include "IcsFileReader.h"

#include <QList>
#include <QTimeZone>

#include <memory>
#include <vector>

/**
 * The occurrences of one repeating event: DTSTART, every RRULE instance and
 * every RDATE, less the EXDATEs and the instances that an override replaces.
 * Rule instances are produced lazily, resolved to instants once and
 * remembered, so stepping through months costs a binary search rather than
 * a walk from the first instance. Not thread-safe: one thread at a time.
 */
class ZoneOffsets;

class RecurrenceExpander
{
public:
    struct Occurrence
    {
        qint64 startMs; ///< UTC milliseconds since the epoch
        qint64 endMs;
        qint64 wall; ///< the start as wall-clock milliseconds in the series' own frame
    };

    explicit RecurrenceExpander(std::shared_ptr<const IcsEvent> master, int cacheLimit = 50000);
    ~RecurrenceExpander();
    RecurrenceExpander(const RecurrenceExpander &) = delete;
    RecurrenceExpander &operator=(const RecurrenceExpander &) = delete;

    const IcsEvent &master() const { return *m_master; }

    /** Leaves out the occurrence an override with this RECURRENCE-ID stands in for. */
    void addOverride(const IcsTime &recurrenceId);

    /**
     * Occurrences overlapping [fromMs, toMs), earliest first, at most
     * `perDay` starting on one day. A zero-length occurrence counts when it
     * lies in the window.
     */
    QList<Occurrence> occurrences(qint64 fromMs, qint64 toMs, int perDay);

    /** The series' own wall time of a value, compared as RFC 5545 compares values of another type. */
    qint64 wallOf(const IcsTime &time) const;

    /** Where an occurrence starting at this wall time lies, with the length `shape` gives. */
    Occurrence place(qint64 wall, const IcsEvent &shape) const;

    /** Resolves rule instances up to this instant ahead of time, e.g. on a loader thread. */
    void prepare(qint64 untilMs);

    /** The date of an occurrence as written in the series (all-day keys, date-only matches). */
    static QDate dateOfWall(qint64 wall);

    /** Whether a rule produced more instances than the cache may hold; later ones are then missing. */
    bool truncated() const { return m_truncated; }

private:
    struct Rule;

    qint64 wallOfInstant(const QDateTime &instant) const;
    QDateTime instantOf(qint64 wall) const;
    qint64 epochMsOf(qint64 wall) const;
    Occurrence resolve(qint64 wall) const;
    Occurrence placeFrom(qint64 wall, qint64 startMs, const IcsEvent &shape) const;
    bool isExcluded(qint64 wall) const;
    void extend(Rule &rule, qint64 untilMs);
    void followLocalZone();
    void placeFixed();

    std::shared_ptr<const IcsEvent> m_master;
    int m_cacheLimit;
    Occurrence m_first {};
    qint64 m_spanMs = 0;
    std::vector<std::unique_ptr<Rule>> m_rules;
    std::vector<Occurrence> m_rdates; ///< sorted by wall; each with its own end
    std::vector<qint64> m_excludedWall; ///< sorted
    std::vector<qint64> m_excludedDays; ///< sorted, Julian days
    bool m_truncated = false;
    QTimeZone m_local; ///< the local zone floating and all-day series are placed in
    std::shared_ptr<const ZoneOffsets> m_offsets; ///< of the zone instants are worked out in
    quint64 m_localGeneration = 0;
};
