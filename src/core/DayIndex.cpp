#include "DayIndex.h"

#include "LocalZone.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace {

// A table of local midnights is worth its lookups for a month grid and its
// margins; a span of years falls back to converting each instant.
constexpr qint64 maxTableDays = 1000;

/**
 * The local day of an instant, from a table of the midnights of a run of
 * days: a binary search instead of a zone conversion per event. Instants
 * outside the table, and every instant when a zone change folds the clock
 * back over a midnight (then a day's instants are not one stretch), are
 * converted one by one.
 */
class LocalDays
{
public:
    LocalDays(const QTimeZone &local, QDate first, QDate last)
        : m_local(local)
    {
        if (!local.isValid() || !first.isValid() || !last.isValid() || last < first
            || first.daysTo(last) > maxTableDays)
            return;
        const QDateTime end = last.addDays(1).startOfDay(local);
        const QDateTime begin = first.startOfDay(local);
        if (!begin.isValid() || !end.isValid())
            return;
        for (const QTimeZone::OffsetData &change : local.transitions(begin, end)) {
            const QDateTime before = change.atUtc.addMSecs(-1);
            const int backBy = local.offsetFromUtc(before) - change.offsetFromUtc;
            if (backBy <= 0)
                continue;
            // The wall clock runs back over [after, after + backBy): fine unless that holds a midnight.
            const QDateTime after = change.atUtc.toTimeZone(local);
            const QDateTime wall(after.date(), after.time(), Qt::UTC);
            if (wall.date() != wall.addSecs(backBy).addMSecs(-1).date())
                return;
        }
        std::vector<qint64> midnights;
        midnights.reserve(size_t(first.daysTo(last)) + 2);
        for (QDate day = first; day <= last.addDays(1); day = day.addDays(1)) {
            // A day the zone skipped whole has no start; each day's instants must follow the last's.
            const QDateTime midnight = day.startOfDay(local);
            if (!midnight.isValid() || (!midnights.empty() && midnight.toMSecsSinceEpoch() <= midnights.back()))
                return;
            midnights.push_back(midnight.toMSecsSinceEpoch());
        }
        m_first = first;
        m_midnights = std::move(midnights);
    }

    QDate dayOf(qint64 ms) const
    {
        if (m_midnights.size() >= 2 && ms >= m_midnights.front() && ms < m_midnights.back()) {
            const auto next = std::upper_bound(m_midnights.begin(), m_midnights.end(), ms);
            return m_first.addDays(next - m_midnights.begin() - 1);
        }
        return LocalZone::toLocal(QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC), m_local).date();
    }

private:
    QTimeZone m_local;
    QDate m_first;
    std::vector<qint64> m_midnights; ///< of m_first and each day after, then of the day after the last
};

struct Placed
{
    const EventPtr *event;
    qint64 startMs;
    qint64 endMs;
};

DayIndex buildIndex(const EventList &events, QDate windowFirst, QDate windowLast)
{
    DayIndex index;
    LocalZone::refresh();
    const QTimeZone local = LocalZone::zone();

    // Instants once per event: comparing the records' times directly costs
    // a zone lookup per comparison for all-day and floating events.
    // Views: the records outlive the build, and copying each identifier
    // would touch every record's string twice more.
    QSet<QStringView> seen;
    seen.reserve(events.size());
    std::vector<Placed> placed;
    placed.reserve(size_t(events.size()));
    qint64 low = std::numeric_limits<qint64>::max();
    qint64 high = std::numeric_limits<qint64>::min();
    bool sorted = true;
    for (const EventPtr &event : events) {
        if (!event)
            continue;
        const qsizetype known = seen.size();
        seen.insert(event->identifier);
        if (seen.size() == known)
            continue;
        if (!event->start.isValid() || !event->end.isValid())
            continue;
        const qint64 startMs = event->start.toMSecsSinceEpoch();
        const qint64 endMs = event->end.toMSecsSinceEpoch();
        if (endMs < startMs)
            continue;
        sorted = sorted && (placed.empty() || placed.back().startMs <= startMs);
        placed.push_back({ &event, startMs, endMs });
        low = std::min(low, startMs);
        high = std::max(high, endMs == startMs ? endMs : endMs - 1);
    }
    if (placed.empty())
        return index;
    // Every day's list ends up ordered by start, ties in the store's order.
    if (!sorted) {
        std::stable_sort(
            placed.begin(), placed.end(), [](const Placed &a, const Placed &b) { return a.startMs < b.startMs; });
    }

    const auto dayOfSlow = [&](qint64 ms) {
        return LocalZone::toLocal(QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC), local).date();
    };
    QDate tableFirst = dayOfSlow(low);
    QDate tableLast = dayOfSlow(high);
    if (windowFirst.isValid())
        tableFirst = std::max(tableFirst, windowFirst.addDays(-1));
    if (windowLast.isValid())
        tableLast = std::min(tableLast, windowLast.addDays(1));
    const LocalDays days(local, tableFirst, tableLast);

    std::vector<EventList> buckets;
    const bool useBuckets = tableFirst.isValid() && tableLast.isValid() && tableFirst <= tableLast
        && tableFirst.daysTo(tableLast) <= maxTableDays;
    if (useBuckets)
        buckets.resize(size_t(tableFirst.daysTo(tableLast)) + 1);

    for (const Placed &p : placed) {
        const EventPtr &event = *p.event;
        // The end is exclusive: the last day is the day of the last instant
        // before it, so an event ending at a midnight stays off the day that
        // midnight begins. A zero-length event still belongs to its start day.
        const QDate firstDay = days.dayOf(p.startMs);
        const QDate lastDay = p.endMs == p.startMs ? firstDay : days.dayOf(p.endMs - 1);

        QDate day = windowFirst.isValid() ? std::max(firstDay, windowFirst) : firstDay;
        const QDate stop = windowLast.isValid() ? std::min(lastDay, windowLast) : lastDay;
        for (; day.isValid() && day <= stop; day = day.addDays(1)) {
            const qint64 slot = useBuckets ? tableFirst.daysTo(day) : -1;
            if (slot >= 0 && slot < qint64(buckets.size()))
                buckets[size_t(slot)].append(event);
            else
                index.eventsByDay[day].append(event);
        }
    }
    for (size_t i = 0; i < buckets.size(); ++i) {
        if (!buckets[i].isEmpty())
            index.eventsByDay.insert(tableFirst.addDays(qint64(i)), std::move(buckets[i]));
    }
    for (auto it = index.eventsByDay.cbegin(); it != index.eventsByDay.cend(); ++it)
        index.datesWithEvents.insert(it.key());
    return index;
}

} // namespace

DayIndex DayIndex::build(const EventList &events)
{
    return buildIndex(events, QDate(), QDate());
}

DayIndex DayIndex::build(const EventList &events, QDate firstDay, QDate lastDay)
{
    return buildIndex(events, firstDay, lastDay);
}
