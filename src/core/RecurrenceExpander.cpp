#include "RecurrenceExpander.h"

#include "StoreLog.h"

#include <QHash>

#include <libical/ical.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

namespace {

constexpr qint64 dayMs = 86400000;
constexpr qint64 epochJulianDay = 2440588;
// Instants follow wall-clock order except inside a DST fold, and windows
// meet in any zone: bounds are widened by this much, then instants decide.
constexpr qint64 slackMs = dayMs;

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

qint64 wallMs(QDate date, QTime time)
{
    return (date.toJulianDay() - epochJulianDay) * dayMs + time.msecsSinceStartOfDay();
}

qint64 dayOfWall(qint64 wall)
{
    return floorDiv(wall, dayMs) + epochJulianDay;
}

bool overlaps(qint64 start, qint64 end, qint64 from, qint64 to)
{
    return start < to && (end > from || (end <= start && start >= from));
}

/**
 * Daily and weekly rules without BY-parts other than plain weekdays are most
 * of what calendars hold. libical walks them from DTSTART at some 5 us an
 * instance, so a series running for years costs milliseconds per query;
 * their n-th instance is plain arithmetic instead, computed for the window alone.
 */
struct SimpleRule
{
    qint64 startDay; ///< Julian day of DTSTART
    qint64 firstPeriodDay; ///< first day of the period (day or week) holding DTSTART
    int periodDays; ///< days between periods: INTERVAL, times seven for weeks
    std::vector<int> offsets; ///< instance days within a period, ascending
    int skippedInFirst; ///< offsets of the first period before DTSTART
    int count; ///< COUNT, or 0
    qint64 timeMs; ///< time of day of every instance
};

bool unused(const short *parts)
{
    return parts[0] == ICAL_RECURRENCE_ARRAY_MAX;
}

int qtWeekday(int icalWeekday)
{
    return icalWeekday == ICAL_SUNDAY_WEEKDAY ? 7 : icalWeekday - 1;
}

std::optional<SimpleRule> simpleForm(const icalrecurrencetype &rule, QDate startDate, QTime startTime)
{
    if (rule.freq != ICAL_DAILY_RECURRENCE && rule.freq != ICAL_WEEKLY_RECURRENCE)
        return std::nullopt;
    if (!unused(rule.by_second) || !unused(rule.by_minute) || !unused(rule.by_hour)
        || !unused(rule.by_month_day) || !unused(rule.by_year_day) || !unused(rule.by_week_no)
        || !unused(rule.by_month) || !unused(rule.by_set_pos) || rule.interval < 1)
        return std::nullopt;
    SimpleRule simple;
    simple.startDay = startDate.toJulianDay();
    simple.count = std::max(0, rule.count);
    simple.timeMs = startTime.msecsSinceStartOfDay();
    if (rule.freq == ICAL_DAILY_RECURRENCE) {
        if (!unused(rule.by_day))
            return std::nullopt;
        simple.firstPeriodDay = simple.startDay;
        simple.periodDays = rule.interval;
        simple.offsets = { 0 };
        simple.skippedInFirst = 0;
        return simple;
    }
    const int weekStart = rule.week_start == ICAL_NO_WEEKDAY ? 1 : qtWeekday(rule.week_start);
    const int startOffset = (startDate.dayOfWeek() - weekStart + 7) % 7;
    simple.firstPeriodDay = simple.startDay - startOffset;
    simple.periodDays = 7 * rule.interval;
    for (int i = 0; i < ICAL_BY_DAY_SIZE && rule.by_day[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i) {
        const int weekday = icalrecurrencetype_day_day_of_week(rule.by_day[i]);
        if (icalrecurrencetype_day_position(rule.by_day[i]) != 0 || weekday < 1 || weekday > 7)
            return std::nullopt;
        simple.offsets.push_back((qtWeekday(weekday) - weekStart + 7) % 7);
    }
    if (simple.offsets.empty())
        simple.offsets.push_back(startOffset);
    std::sort(simple.offsets.begin(), simple.offsets.end());
    simple.offsets.erase(std::unique(simple.offsets.begin(), simple.offsets.end()), simple.offsets.end());
    // Readers disagree on COUNT when DTSTART is not itself an instance; leave those to libical.
    if (!std::binary_search(simple.offsets.begin(), simple.offsets.end(), startOffset))
        return std::nullopt;
    simple.skippedInFirst = int(
        std::lower_bound(simple.offsets.begin(), simple.offsets.end(), startOffset) - simple.offsets.begin());
    return simple;
}

} // namespace

struct RecurrenceExpander::Rule
{
    icalrecur_iterator *iterator = nullptr;
    std::optional<SimpleRule> simple;
    QHash<qint64, Occurrence> resolved; ///< simple rules: instances already turned into instants
    std::vector<Occurrence> cache; ///< other rules: ascending by wall
    bool done = false;
    qint64 untilWall = std::numeric_limits<qint64>::max();

    ~Rule()
    {
        if (iterator)
            icalrecur_iterator_free(iterator);
    }
};

RecurrenceExpander::RecurrenceExpander(std::shared_ptr<const IcsEvent> master, int cacheLimit)
    : m_master(std::move(master))
    , m_cacheLimit(cacheLimit)
{
    const IcsEvent &event = *m_master;
    m_first = resolve(wallMs(event.start.date, event.start.time));
    m_spanMs = std::max<qint64>(0, m_first.endMs - m_first.startMs);

    icaltimetype dtstart = icaltime_null_time();
    dtstart.year = event.start.date.year();
    dtstart.month = event.start.date.month();
    dtstart.day = event.start.date.day();
    dtstart.hour = event.start.time.hour();
    dtstart.minute = event.start.time.minute();
    dtstart.second = event.start.time.second();
    dtstart.is_date = event.isAllDay() ? 1 : 0;

    for (const QByteArray &blob : event.rules) {
        if (blob.size() != qsizetype(sizeof(icalrecurrencetype)))
            continue;
        icalrecurrencetype rule;
        std::memcpy(&rule, blob.constData(), sizeof rule);
        auto r = std::make_unique<Rule>();
        r->simple = simpleForm(rule, event.start.date, event.start.time);
        if (!r->simple) {
            r->iterator = icalrecur_iterator_new(rule, dtstart);
            if (!r->iterator)
                continue;
        }
        if (!icaltime_is_null_time(rule.until)) {
            r->untilWall = wallMs(QDate(rule.until.year, rule.until.month, rule.until.day),
                QTime(rule.until.hour, rule.until.minute, std::min(rule.until.second, 59)));
        }
        m_rules.push_back(std::move(r));
    }

    for (const IcsPeriod &rdate : event.rdates) {
        const IcsTime &s = rdate.start;
        // A date among the dates of a timed series: that day at the series' time of day.
        const qint64 wall = s.isDate() && !event.isAllDay() ? wallMs(s.date, event.start.time) : wallOf(s);
        Occurrence o = resolve(wall);
        if (rdate.end.isValid() && !(rdate.end.isDate() && !event.isAllDay())) {
            const qint64 end = rdate.end.toDateTime().toMSecsSinceEpoch();
            if (end > o.startMs)
                o.endMs = end;
        }
        m_spanMs = std::max(m_spanMs, o.endMs - o.startMs);
        m_rdates.push_back(o);
    }
    std::sort(m_rdates.begin(), m_rdates.end(),
        [](const Occurrence &a, const Occurrence &b) { return a.wall < b.wall; });

    for (const IcsTime &ex : event.exdates) {
        if (ex.isDate())
            m_excludedDays.insert(ex.date.toJulianDay());
        else
            m_excludedWall.insert(wallOf(ex));
    }
}

RecurrenceExpander::~RecurrenceExpander() = default;

QDate RecurrenceExpander::dateOfWall(qint64 wall)
{
    return QDate::fromJulianDay(dayOfWall(wall));
}

void RecurrenceExpander::addOverride(const IcsTime &recurrenceId)
{
    if (!recurrenceId.isValid())
        return;
    if (recurrenceId.isDate() && !m_master->isAllDay())
        m_excludedDays.insert(recurrenceId.date.toJulianDay());
    else
        m_excludedWall.insert(wallOf(recurrenceId));
}

qint64 RecurrenceExpander::wallOfInstant(const QDateTime &instant) const
{
    const IcsTime &start = m_master->start;
    const QDateTime wall
        = start.kind == IcsTime::Kind::zoned ? instant.toTimeZone(start.zone) : instant.toLocalTime();
    return wallMs(wall.date(), wall.time());
}

qint64 RecurrenceExpander::wallOf(const IcsTime &time) const
{
    const IcsTime &start = m_master->start;
    if (start.isDate()) {
        if (time.kind == IcsTime::Kind::zoned)
            return wallMs(time.toDateTime().toLocalTime().date(), QTime(0, 0));
        return wallMs(time.date, QTime(0, 0));
    }
    if (time.kind == IcsTime::Kind::zoned) {
        if (start.kind == IcsTime::Kind::zoned && time.zone == start.zone)
            return wallMs(time.date, time.time);
        return wallOfInstant(time.toDateTime());
    }
    return wallMs(time.date, time.time);
}

QDateTime RecurrenceExpander::instantOf(qint64 wall) const
{
    const QDate date = QDate::fromJulianDay(dayOfWall(wall));
    const QTime time = QTime::fromMSecsSinceStartOfDay(int(wall - floorDiv(wall, dayMs) * dayMs));
    const IcsTime &start = m_master->start;
    if (start.kind == IcsTime::Kind::zoned)
        return QDateTime(date, time, start.zone);
    return QDateTime(date, time, Qt::LocalTime);
}

RecurrenceExpander::Occurrence RecurrenceExpander::resolve(qint64 wall) const
{
    // Same result as IcsEvent::endFor, with one zone lookup fewer when the
    // length has no whole days: those are the only part counted on the calendar.
    const IcsEvent &e = *m_master;
    const qint64 startMs = instantOf(wall).toMSecsSinceEpoch();
    const qint64 daysEnd
        = e.durationDays == 0 ? startMs : instantOf(wall + e.durationDays * dayMs).toMSecsSinceEpoch();
    const qint64 endMs = daysEnd + (e.isAllDay() ? 0 : e.durationSeconds * 1000);
    return { startMs, std::max(startMs, endMs), wall };
}

bool RecurrenceExpander::isExcluded(qint64 wall) const
{
    return m_excludedWall.contains(wall) || m_excludedDays.contains(dayOfWall(wall));
}

void RecurrenceExpander::extend(Rule &rule, qint64 untilMs)
{
    while (!rule.done && (rule.cache.empty() || rule.cache.back().startMs < untilMs)) {
        if (int(rule.cache.size()) >= m_cacheLimit) {
            rule.done = true;
            if (!m_truncated)
                qCInfo(lcStore) << "recurrence of" << m_master->uid << "cut off after" << m_cacheLimit
                                << "instances";
            m_truncated = true;
            break;
        }
        const icaltimetype next = icalrecur_iterator_next(rule.iterator);
        if (icaltime_is_null_time(next) || next.year < 1 || next.year > 9999 || next.month < 1
            || next.month > 12 || next.day < 1 || next.day > QDate(next.year, next.month, 1).daysInMonth()) {
            rule.done = true;
            break;
        }
        const qint64 wall = wallMs(QDate(next.year, next.month, next.day),
            next.is_date ? QTime(0, 0)
                         : QTime(std::clamp(next.hour, 0, 23), std::clamp(next.minute, 0, 59),
                             std::clamp(next.second, 0, 59)));
        // The iterator only moves forward; a repeat would mean it is stuck.
        if (!rule.cache.empty() && wall <= rule.cache.back().wall) {
            rule.done = true;
            break;
        }
        if (wall > rule.untilWall) {
            rule.done = true;
            break;
        }
        rule.cache.push_back(resolve(wall));
    }
}

void RecurrenceExpander::prepare(qint64 untilMs)
{
    for (auto &rule : m_rules) {
        if (!rule->simple)
            extend(*rule, untilMs);
    }
}

QList<RecurrenceExpander::Occurrence> RecurrenceExpander::occurrences(qint64 fromMs, qint64 toMs, int limit)
{
    QList<Occurrence> out;
    if (limit <= 0 || fromMs >= toMs || m_first.startMs >= toMs)
        return out;
    // Instants follow wall-clock order except inside a DST fold, hence the slack.
    const qint64 low = fromMs - m_spanMs - slackMs;
    const auto byStart = [](const Occurrence &o, qint64 ms) { return o.startMs < ms; };

    struct Candidate
    {
        Occurrence occurrence;
        bool ownEnd;
    };
    std::vector<Candidate> candidates;
    if (m_first.startMs >= low)
        candidates.push_back({ m_first, false });
    for (auto &rule : m_rules) {
        if (rule->simple) {
            const SimpleRule &r = *rule->simple;
            const qint64 m = qint64(r.offsets.size());
            // Day bounds with room for any zone offset; exact instants decide below.
            const qint64 lowDay = floorDiv(low, dayMs) + epochJulianDay - 2;
            const qint64 highDay = floorDiv(toMs + slackMs, dayMs) + epochJulianDay + 2;
            const qint64 budget = qint64(limit) + m_excludedWall.size() + m_excludedDays.size() + 16;
            qint64 produced = 0;
            bool finished = false;
            for (qint64 period = std::max<qint64>(0, floorDiv(lowDay - r.firstPeriodDay, r.periodDays));
                 !finished; ++period) {
                for (qint64 pos = period == 0 ? r.skippedInFirst : 0; pos < m; ++pos) {
                    const qint64 day = r.firstPeriodDay + period * r.periodDays + r.offsets[size_t(pos)];
                    const qint64 index = period == 0 ? pos - r.skippedInFirst
                                                     : (m - r.skippedInFirst) + (period - 1) * m + pos;
                    const qint64 wall = (day - epochJulianDay) * dayMs + r.timeMs;
                    if (day > highDay || (r.count > 0 && index >= r.count) || wall > rule->untilWall
                        || day > 5373484 /* 31 Dec 9999 */ || produced >= budget) {
                        finished = true;
                        break;
                    }
                    if (day < lowDay)
                        continue;
                    // Zone lookups dominate; months are revisited, so keep what was resolved.
                    auto known = rule->resolved.constFind(wall);
                    if (known == rule->resolved.constEnd()) {
                        if (rule->resolved.size() > 4096)
                            rule->resolved.clear();
                        known = rule->resolved.insert(wall, resolve(wall));
                    }
                    const Occurrence o = *known;
                    if (o.startMs >= low && o.startMs < toMs + slackMs) {
                        candidates.push_back({ o, false });
                        ++produced;
                    }
                }
            }
            continue;
        }
        if (rule->done && (rule->cache.empty() || rule->cache.back().startMs < low))
            continue;
        extend(*rule, toMs);
        auto it = std::lower_bound(rule->cache.begin(), rule->cache.end(), low, byStart);
        for (; it != rule->cache.end() && it->startMs < toMs + slackMs; ++it)
            candidates.push_back({ *it, false });
    }
    auto rd = std::lower_bound(m_rdates.begin(), m_rdates.end(), low, byStart);
    for (; rd != m_rdates.end() && rd->startMs < toMs + slackMs; ++rd)
        candidates.push_back({ *rd, true });

    // An RDATE that repeats a rule instance is one occurrence; its own end wins.
    std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate &a, const Candidate &b) {
        return a.occurrence.wall < b.occurrence.wall
            || (a.occurrence.wall == b.occurrence.wall && a.ownEnd > b.ownEnd);
    });
    for (size_t i = 0; i < candidates.size(); ++i) {
        const Occurrence &o = candidates[i].occurrence;
        if (i > 0 && candidates[i - 1].occurrence.wall == o.wall)
            continue;
        if (isExcluded(o.wall) || !overlaps(o.startMs, o.endMs, fromMs, toMs))
            continue;
        out.append(o);
        if (out.size() >= limit) {
            qCInfo(lcStore) << "occurrences of" << m_master->uid << "capped at" << limit << "in one query";
            break;
        }
    }
    return out;
}
