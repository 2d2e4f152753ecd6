#include "RecurrenceExpander.h"

#include "LocalZone.h"
#include "Overlap.h"
#include "StoreLog.h"
#include "ZoneOffsets.h"

#include <QHash>

#include <libical/ical.h>

#include <algorithm>
#include <array>
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

template<typename T> std::unique_ptr<T> held(std::optional<T> &&value)
{
    return value ? std::make_unique<T>(std::move(*value)) : nullptr;
}

void insertSorted(std::vector<qint64> &values, qint64 value)
{
    const auto at = std::lower_bound(values.begin(), values.end(), value);
    if (at == values.end() || *at != value)
        values.insert(at, value);
}

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
    // A DTSTART that is not one of the rule's days (a series whose days were
    // edited) still counts as an occurrence of its own, outside the rule:
    // the rule's first instance is the first of its days after it, and COUNT
    // counts from there, as libical counts it. With one day every few weeks
    // libical counts those weeks from another first one than WKST gives;
    // the listing has always shown its weeks, so such rules stay with it.
    const bool startIsInstance = std::binary_search(simple.offsets.begin(), simple.offsets.end(), startOffset);
    if (!startIsInstance && simple.offsets.size() == 1 && rule.interval > 1)
        return std::nullopt;
    simple.skippedInFirst = int(
        std::lower_bound(simple.offsets.begin(), simple.offsets.end(), startOffset) - simple.offsets.begin());
    return simple;
}


/**
 * Monthly and yearly rules with no BY-parts, on a day of the month every
 * month has: the n-th instance is DTSTART moved by n periods of months.
 * libical would walk them from DTSTART with an ICU calendar each.
 */
struct MonthRule
{
    qint64 firstMonth; ///< year * 12 + month - 1 of DTSTART
    int stepMonths; ///< INTERVAL, times twelve for years
    int day;
    int count; ///< COUNT, or 0
    qint64 timeMs;
};

std::optional<MonthRule> monthForm(const icalrecurrencetype &rule, QDate startDate, QTime startTime)
{
    if (rule.freq != ICAL_MONTHLY_RECURRENCE && rule.freq != ICAL_YEARLY_RECURRENCE)
        return std::nullopt;
    if (!unused(rule.by_second) || !unused(rule.by_minute) || !unused(rule.by_hour) || !unused(rule.by_day)
        || !unused(rule.by_month_day) || !unused(rule.by_year_day) || !unused(rule.by_week_no)
        || !unused(rule.by_month) || !unused(rule.by_set_pos) || rule.interval < 1 || startDate.day() > 28)
        return std::nullopt;
    return MonthRule { qint64(startDate.year()) * 12 + startDate.month() - 1,
        rule.interval * (rule.freq == ICAL_YEARLY_RECURRENCE ? 12 : 1), startDate.day(), std::max(0, rule.count),
        startTime.msecsSinceStartOfDay() };
}

/**
 * Rules by the hour, minute or second. libical steps such a rule one period
 * at a time and, when its BY-parts never meet (FREQ=SECONDLY;BYMONTH=2;
 * BYMONTHDAY=30), keeps stepping for minutes inside one call. Here a day,
 * hour or minute that cannot match is skipped whole, so the work is bounded
 * by the days of the window and the instances shown, not by the seconds.
 */
struct SubDailyRule
{
    qint64 stepMs = 0; ///< one period: the unit times INTERVAL
    qint64 unitMs = 0;
    qint64 startWall = 0;
    int count = 0;
    std::array<bool, 13> months {};
    std::vector<int> monthDays;
    std::vector<int> yearDays;
    std::array<bool, 8> weekdays {};
    std::array<bool, 24> hours {};
    std::array<bool, 60> minutes {};
    std::vector<int> expandMinutes; ///< HOURLY: minutes of each hour
    std::vector<int> expandSeconds; ///< HOURLY and MINUTELY: seconds of each minute
    std::array<bool, 61> seconds {};
    bool anyMonth = true, anyWeekday = true, anyHour = true, anyMinute = true, anySecond = true;

    bool dayMatches(qint64 julianDay) const
    {
        const QDate date = QDate::fromJulianDay(julianDay);
        if (!anyMonth && !months[size_t(date.month())])
            return false;
        if (!anyWeekday && !weekdays[size_t(date.dayOfWeek())])
            return false;
        if (!monthDays.empty()) {
            const int day = date.day(), last = date.daysInMonth();
            if (std::none_of(monthDays.begin(), monthDays.end(),
                    [&](int d) { return d == day || (d < 0 && last + 1 + d == day); }))
                return false;
        }
        if (!yearDays.empty()) {
            const int day = date.dayOfYear(), last = date.daysInYear();
            if (std::none_of(yearDays.begin(), yearDays.end(),
                    [&](int d) { return d == day || (d < 0 && last + 1 + d == day); }))
                return false;
        }
        return true;
    }
};

template<size_t N> bool fill(std::array<bool, N> &set, const short *parts, int size, int low, int high)
{
    bool any = false;
    for (int i = 0; i < size && parts[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i) {
        if (parts[i] >= low && parts[i] <= high) {
            set[size_t(parts[i])] = true;
            any = true;
        }
    }
    return any;
}

std::optional<SubDailyRule> subDailyForm(const icalrecurrencetype &rule, qint64 startWall, QTime startTime)
{
    SubDailyRule r;
    switch (rule.freq) {
    case ICAL_HOURLY_RECURRENCE:
        r.unitMs = 3600000;
        break;
    case ICAL_MINUTELY_RECURRENCE:
        r.unitMs = 60000;
        break;
    case ICAL_SECONDLY_RECURRENCE:
        r.unitMs = 1000;
        break;
    default:
        return std::nullopt;
    }
    r.stepMs = r.unitMs * std::max<qint64>(1, rule.interval);
    r.startWall = startWall;
    r.count = std::max(0, rule.count);
    if (!unused(rule.by_week_no) || !unused(rule.by_set_pos))
        return std::nullopt;
    for (int i = 0; i < ICAL_BY_MONTHDAY_SIZE && rule.by_month_day[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i)
        r.monthDays.push_back(rule.by_month_day[i]);
    for (int i = 0; i < ICAL_BY_YEARDAY_SIZE && rule.by_year_day[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i)
        r.yearDays.push_back(rule.by_year_day[i]);
    r.anyMonth = unused(rule.by_month);
    if (!r.anyMonth && !fill(r.months, rule.by_month, ICAL_BY_MONTH_SIZE, 1, 12))
        return std::nullopt;
    r.anyWeekday = unused(rule.by_day);
    for (int i = 0; !r.anyWeekday && i < ICAL_BY_DAY_SIZE && rule.by_day[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i) {
        const int weekday = icalrecurrencetype_day_day_of_week(rule.by_day[i]);
        if (weekday >= 1 && weekday <= 7)
            r.weekdays[size_t(qtWeekday(weekday))] = true;
    }
    r.anyHour = unused(rule.by_hour);
    if (!r.anyHour && !fill(r.hours, rule.by_hour, ICAL_BY_HOUR_SIZE, 0, 23))
        return std::nullopt;
    const bool minutesGiven = !unused(rule.by_minute);
    const bool secondsGiven = !unused(rule.by_second);
    std::array<bool, 60> minuteSet {};
    std::array<bool, 61> secondSet {};
    if (minutesGiven && !fill(minuteSet, rule.by_minute, ICAL_BY_MINUTE_SIZE, 0, 59))
        return std::nullopt;
    if (secondsGiven && !fill(secondSet, rule.by_second, ICAL_BY_SECOND_SIZE, 0, 59))
        return std::nullopt;
    if (rule.freq == ICAL_HOURLY_RECURRENCE) {
        for (int m = 0; m < 60; ++m)
            if (minutesGiven ? minuteSet[size_t(m)] : m == startTime.minute())
                r.expandMinutes.push_back(m);
    } else {
        r.anyMinute = !minutesGiven;
        r.minutes = minuteSet;
    }
    if (rule.freq == ICAL_SECONDLY_RECURRENCE) {
        r.anySecond = !secondsGiven;
        r.seconds = secondSet;
    } else {
        for (int sec = 0; sec < 60; ++sec)
            if (secondsGiven ? secondSet[size_t(sec)] : sec == startTime.second())
                r.expandSeconds.push_back(sec);
    }
    return r;
}

/**
 * The BYWEEKNO of a rule, as RFC 5545 numbers weeks: they start on WKST and
 * week 1 is the first with four days in the year. libical gives Monday of
 * the next year's week 1 for BYWEEKNO=53 in a year of 52 weeks.
 */
struct WeekNumbers
{
    std::vector<int> numbers;
    int weekStart = 1; ///< Qt's numbering, Monday 1

    qint64 firstWeekStart(int year) const
    {
        const qint64 jan4 = QDate(year, 1, 1).toJulianDay() + 3;
        const int weekday = int(jan4 % 7) + 1;
        return jan4 - (weekday - weekStart + 7) % 7;
    }

    bool matches(QDate date) const
    {
        int year = date.year();
        const qint64 day = date.toJulianDay();
        qint64 first = firstWeekStart(year);
        if (day < first) {
            if (--year < 1)
                return false;
            first = firstWeekStart(year);
        } else if (year < 9999 && day >= firstWeekStart(year + 1)) {
            first = firstWeekStart(++year);
        }
        const int week = int((day - first) / 7) + 1;
        const int weeks = int((firstWeekStart(year + 1) - first) / 7);
        return std::any_of(
            numbers.begin(), numbers.end(), [&](int n) { return n > 0 ? n == week : weeks + 1 + n == week; });
    }
};

/**
 * Yearly rules by week number with, at most, plain weekdays and months
 * besides: libical gets their days wrong (a Tuesday before DTSTART for
 * BYWEEKNO=1;BYDAY=MO, week 1 for week 53), so their instances are
 * worked out here, a year of weeks at a time, in ascending order.
 */
struct WeekRule
{
    WeekNumbers weeks;
    std::vector<int> offsets; ///< days from the week's start; all seven without BYDAY
    std::array<bool, 13> months {};
    bool anyMonth = true;
    int interval = 1;
    int year = 0; ///< the week-numbering year expanded next
    qint64 startDay = 0;
    QTime time;
    bool isDate = false;
    std::vector<qint64> pending; ///< days of the year expanded last, ascending
    size_t next = 0;

    icaltimetype nextInstance()
    {
        while (next >= pending.size()) {
            if (year > 9999)
                return icaltime_null_time();
            pending.clear();
            next = 0;
            const qint64 first = weeks.firstWeekStart(year);
            const int count = int((weeks.firstWeekStart(year + 1) - first) / 7);
            for (int n : weeks.numbers) {
                const int week = n > 0 ? n : count + 1 + n;
                if (week < 1 || week > count)
                    continue;
                for (int offset : offsets) {
                    const qint64 day = first + qint64(week - 1) * 7 + offset;
                    if (day >= startDay && (anyMonth || months[size_t(QDate::fromJulianDay(day).month())]))
                        pending.push_back(day);
                }
            }
            std::sort(pending.begin(), pending.end());
            pending.erase(std::unique(pending.begin(), pending.end()), pending.end());
            year += interval;
        }
        const QDate date = QDate::fromJulianDay(pending[next++]);
        icaltimetype out = icaltime_null_time();
        out.year = date.year();
        out.month = date.month();
        out.day = date.day();
        out.hour = time.hour();
        out.minute = time.minute();
        out.second = time.second();
        out.is_date = isDate ? 1 : 0;
        return out;
    }
};

std::optional<WeekNumbers> weekNumbersOf(const icalrecurrencetype &rule);

std::optional<WeekRule> weekForm(
    const icalrecurrencetype &rule, QDate startDate, QTime startTime, bool isDate)
{
    const std::optional<WeekNumbers> weeks = weekNumbersOf(rule);
    if (!weeks || rule.freq != ICAL_YEARLY_RECURRENCE || rule.interval < 1 || !unused(rule.by_second)
        || !unused(rule.by_minute) || !unused(rule.by_hour) || !unused(rule.by_month_day)
        || !unused(rule.by_year_day) || !unused(rule.by_set_pos))
        return std::nullopt;
    WeekRule out;
    out.weeks = *weeks;
    out.interval = rule.interval;
    out.startDay = startDate.toJulianDay();
    out.time = startTime;
    out.isDate = isDate;
    out.anyMonth = unused(rule.by_month);
    if (!out.anyMonth && !fill(out.months, rule.by_month, ICAL_BY_MONTH_SIZE, 1, 12))
        return std::nullopt;
    for (int i = 0; i < ICAL_BY_DAY_SIZE && rule.by_day[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i) {
        const int weekday = icalrecurrencetype_day_day_of_week(rule.by_day[i]);
        if (icalrecurrencetype_day_position(rule.by_day[i]) != 0 || weekday < 1 || weekday > 7)
            return std::nullopt;
        out.offsets.push_back((qtWeekday(weekday) - weeks->weekStart + 7) % 7);
    }
    if (out.offsets.empty())
        out.offsets = { 0, 1, 2, 3, 4, 5, 6 };
    // The week-numbering year DTSTART lies in: its first days may be the last of another.
    int year = startDate.year();
    if (year > 1 && out.startDay < weeks->firstWeekStart(year))
        --year;
    out.year = year;
    return out;
}

std::optional<WeekNumbers> weekNumbersOf(const icalrecurrencetype &rule)
{
    if (unused(rule.by_week_no))
        return std::nullopt;
    WeekNumbers out;
    out.weekStart = rule.week_start == ICAL_NO_WEEKDAY ? 1 : qtWeekday(rule.week_start);
    for (int i = 0; i < ICAL_BY_WEEKNO_SIZE && rule.by_week_no[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i)
        out.numbers.push_back(rule.by_week_no[i]);
    return out;
}

// Days and weeks are the same in every calendar; months and years are not.
bool scaleMatters(const icalrecurrencetype &rule)
{
    return !unused(rule.by_month) || !unused(rule.by_month_day) || !unused(rule.by_year_day)
        || !unused(rule.by_week_no) || rule.freq == ICAL_MONTHLY_RECURRENCE
        || rule.freq == ICAL_YEARLY_RECURRENCE;
}

// What one extension may look at past instances that BYWEEKNO turns away.
constexpr int maxRejectedWeeks = 200000;

constexpr qint64 hourMs = 3600000;
constexpr qint64 minuteMs = 60000;
// What one query may spend on one sub-daily rule, in periods looked at.
constexpr qint64 maxSubDailySteps = 2000000;

} // namespace

struct RecurrenceExpander::Rule
{
    icalrecur_iterator *iterator = nullptr;
    std::optional<SimpleRule> simple;
    std::unique_ptr<MonthRule> monthly;
    // The rarer forms are held apart: a series of the common kinds pays for none of them.
    std::unique_ptr<SubDailyRule> subDaily;
    /** Simple rules: instances already turned into instants, by wall time; a few hundred bytes, not a hash table each. */
    std::vector<Occurrence> resolved;
    std::vector<Occurrence> cache; ///< other rules: ascending by wall
    bool done = false;
    qint64 untilWall = std::numeric_limits<qint64>::max();
    QByteArray rscale; ///< the calendar scale the iterator walks in; kept alive with it
    std::unique_ptr<WeekNumbers> weeks; ///< BYWEEKNO checked here, since libical lets week 1 pass for 53
    std::unique_ptr<WeekRule> weekRule; ///< yearly rules by week number, instead of the iterator
    int count = 0; ///< COUNT when it is counted here rather than by libical
    int produced = 0;

    ~Rule()
    {
        if (iterator)
            icalrecur_iterator_free(iterator);
    }
};

RecurrenceExpander::RecurrenceExpander(std::shared_ptr<const IcsEvent> master, int cacheLimit)
    : m_master(std::move(master))
    , m_cacheLimit(cacheLimit)
    , m_local(LocalZone::zone())
    , m_localGeneration(LocalZone::generation())
{
    const IcsEvent &event = *m_master;
    m_offsets = ZoneOffsets::of(event.start.kind == IcsTime::Kind::zoned ? event.start.zone : m_local);
    icaltimetype dtstart = icaltime_null_time();
    dtstart.year = event.start.date.year();
    dtstart.month = event.start.date.month();
    dtstart.day = event.start.date.day();
    dtstart.hour = event.start.time.hour();
    dtstart.minute = event.start.time.minute();
    dtstart.second = event.start.time.second();
    dtstart.is_date = event.isAllDay() ? 1 : 0;
    const qint64 startWall = wallMs(event.start.date, event.start.time);

    for (const IcsRule &ours : event.rules) {
        icalrecurrencetype rule = icalrecurrencetype_from_string(ours.pattern.constData());
        // libical hands over a copy of the scale's name that the caller frees.
        QByteArray scale;
        if (rule.rscale) {
            scale = QByteArray(rule.rscale);
            icalmemory_free_buffer(rule.rscale);
            rule.rscale = nullptr;
        }
        if (rule.freq == ICAL_NO_RECURRENCE)
            continue;
        rule.count = ours.count;
        auto r = std::make_unique<Rule>();
        if (ours.hasUntil())
            r->untilWall = wallMs(ours.untilDate, ours.untilTime);
        if (!scale.isEmpty()) {
            // Another calendar's months and years: only libical's iterator
            // knows them, and where it does not know the scale the event
            // keeps its DTSTART rather than a Gregorian series it never had.
            r->rscale = scale;
            rule.rscale = r->rscale.data();
            const bool subDaily = rule.freq == ICAL_HOURLY_RECURRENCE || rule.freq == ICAL_MINUTELY_RECURRENCE
                || rule.freq == ICAL_SECONDLY_RECURRENCE;
            if (subDaily && scaleMatters(rule)) {
                // libical alone could walk it, and by the second that may never end.
                qCInfo(lcStore) << "not expanding" << event.uid << ": a rule by the hour or finer in"
                                << r->rscale << "months";
                continue;
            }
            r->iterator = icalrecur_iterator_new(rule, dtstart);
            if (!r->iterator) {
                qCInfo(lcStore) << "not expanding" << event.uid << ": calendar scale" << r->rscale
                                << "is not known";
                continue;
            }
            if (!scaleMatters(rule)) {
                icalrecur_iterator_free(r->iterator);
                r->iterator = nullptr;
                rule.rscale = nullptr;
            }
        }
        if (rule.rscale) {
            m_rules.push_back(std::move(r));
            continue;
        }
        r->weeks = held(weekNumbersOf(rule));
        if (r->weeks) {
            // Instances turned away here must not use up COUNT.
            r->count = rule.count;
            rule.count = 0;
        }
        r->weekRule = held(weekForm(rule, event.start.date, event.start.time, event.isAllDay()));
        if (r->weekRule) {
            m_rules.push_back(std::move(r));
            continue;
        }
        r->simple = simpleForm(rule, event.start.date, event.start.time);
        if (!r->simple)
            r->monthly = held(monthForm(rule, event.start.date, event.start.time));
        if (r->monthly) {
            m_rules.push_back(std::move(r));
            continue;
        }
        if (!r->simple && !event.isAllDay())
            r->subDaily = held(subDailyForm(rule, startWall, event.start.time));
        if (!r->simple && !r->subDaily) {
            if (rule.freq == ICAL_HOURLY_RECURRENCE || rule.freq == ICAL_MINUTELY_RECURRENCE
                || rule.freq == ICAL_SECONDLY_RECURRENCE) {
                qCInfo(lcStore) << "not expanding" << event.uid << ": a rule by the hour or finer with"
                                << "parts that only belong to yearly rules";
                continue;
            }
            r->iterator = icalrecur_iterator_new(rule, dtstart);
            if (!r->iterator)
                continue;
        }
        m_rules.push_back(std::move(r));
    }

    for (const IcsTime &ex : event.exdates) {
        if (ex.isDate())
            insertSorted(m_excludedDays, ex.date.toJulianDay());
        else
            insertSorted(m_excludedWall, wallOf(ex));
    }
    placeFixed();
}

RecurrenceExpander::~RecurrenceExpander() = default;

void RecurrenceExpander::placeFixed()
{
    const IcsEvent &event = *m_master;
    m_first = resolve(wallMs(event.start.date, event.start.time));
    m_spanMs = std::max<qint64>(0, m_first.endMs - m_first.startMs);
    m_rdates.clear();
    for (const IcsPeriod &rdate : event.rdates) {
        const IcsTime &s = rdate.start;
        // A date among the dates of a timed series: that day at the series' time of day.
        const qint64 wall = s.isDate() && !event.isAllDay() ? wallMs(s.date, event.start.time) : wallOf(s);
        Occurrence o = resolve(wall);
        if (rdate.end.isValid() && !(rdate.end.isDate() && !event.isAllDay())) {
            const qint64 end = instantOf(wallOf(rdate.end)).toMSecsSinceEpoch();
            if (end > o.startMs)
                o.endMs = end;
        }
        m_spanMs = std::max(m_spanMs, o.endMs - o.startMs);
        m_rdates.push_back(o);
    }
    std::sort(m_rdates.begin(), m_rdates.end(),
        [](const Occurrence &a, const Occurrence &b) { return a.wall < b.wall; });
}

// Floating and all-day series are placed in the zone the user is in now;
// when that changes, every instant worked out before is redone.
void RecurrenceExpander::followLocalZone()
{
    if (m_master->start.kind == IcsTime::Kind::zoned || LocalZone::generation() == m_localGeneration)
        return;
    m_localGeneration = LocalZone::generation();
    m_local = LocalZone::zone();
    m_offsets = ZoneOffsets::of(m_local);
    placeFixed();
    for (auto &rule : m_rules) {
        rule->resolved.clear();
        for (Occurrence &o : rule->cache)
            o = resolve(o.wall);
    }
}

QDate RecurrenceExpander::dateOfWall(qint64 wall)
{
    return QDate::fromJulianDay(dayOfWall(wall));
}

void RecurrenceExpander::addOverride(const IcsTime &recurrenceId)
{
    if (!recurrenceId.isValid())
        return;
    if (recurrenceId.isDate() && !m_master->isAllDay())
        insertSorted(m_excludedDays, recurrenceId.date.toJulianDay());
    else
        insertSorted(m_excludedWall, wallOf(recurrenceId));
}

qint64 RecurrenceExpander::wallOfInstant(const QDateTime &instant) const
{
    const IcsTime &start = m_master->start;
    const QDateTime wall = start.kind == IcsTime::Kind::zoned ? instant.toTimeZone(start.zone)
                                                              : LocalZone::toLocal(instant, m_local);
    return wallMs(wall.date(), wall.time());
}

qint64 RecurrenceExpander::wallOf(const IcsTime &time) const
{
    const IcsTime &start = m_master->start;
    // Values of another type than DTSTART mean the date or wall time they
    // were written for, wherever the reader sits: an all-day series' UTC
    // RECURRENCE-ID is its date, a floating series' UTC EXDATE its wall time.
    if (start.isDate())
        return wallMs(time.date, QTime(0, 0));
    if (time.kind == IcsTime::Kind::zoned && start.kind == IcsTime::Kind::zoned && !(time.zone == start.zone))
        return wallOfInstant(time.toDateTime());
    return wallMs(time.date, time.time);
}

QDateTime RecurrenceExpander::instantOf(qint64 wall) const
{
    const QDate date = QDate::fromJulianDay(dayOfWall(wall));
    const QTime time = QTime::fromMSecsSinceStartOfDay(int(wall - floorDiv(wall, dayMs) * dayMs));
    const IcsTime &start = m_master->start;
    if (start.kind == IcsTime::Kind::zoned)
        return QDateTime(date, time, start.zone);
    return LocalZone::at(date, time, m_local);
}

qint64 RecurrenceExpander::epochMsOf(qint64 wall) const
{
    qint64 ms = 0;
    if (m_offsets && m_offsets->instantOf(wall, &ms))
        return ms;
    return instantOf(wall).toMSecsSinceEpoch();
}

RecurrenceExpander::Occurrence RecurrenceExpander::resolve(qint64 wall) const
{
    return place(wall, *m_master);
}

RecurrenceExpander::Occurrence RecurrenceExpander::place(qint64 wall, const IcsEvent &shape) const
{
    return placeFrom(wall, epochMsOf(wall), shape);
}

RecurrenceExpander::Occurrence RecurrenceExpander::placeFrom(qint64 wall, qint64 startMs, const IcsEvent &shape) const
{
    // Whole days are counted on the calendar, the rest in exact seconds; one
    // zone lookup fewer when the length has no whole days.
    const qint64 daysEnd = shape.durationDays == 0 ? startMs : epochMsOf(wall + shape.durationDays * dayMs);
    const qint64 endMs = daysEnd + (shape.isAllDay() ? 0 : shape.durationSeconds * 1000);
    return { startMs, std::max(startMs, endMs), wall };
}

bool RecurrenceExpander::isExcluded(qint64 wall) const
{
    return std::binary_search(m_excludedWall.begin(), m_excludedWall.end(), wall)
        || std::binary_search(m_excludedDays.begin(), m_excludedDays.end(), dayOfWall(wall));
}

void RecurrenceExpander::extend(Rule &rule, qint64 untilMs)
{
    int rejected = 0;
    while (!rule.done && (rule.cache.empty() || rule.cache.back().startMs < untilMs)) {
        if (rule.count > 0 && rule.produced >= rule.count) {
            rule.done = true;
            break;
        }
        if (int(rule.cache.size()) >= m_cacheLimit) {
            rule.done = true;
            if (!m_truncated)
                qCInfo(lcStore) << "recurrence of" << m_master->uid << "cut off after" << m_cacheLimit
                                << "instances";
            m_truncated = true;
            break;
        }
        const icaltimetype next
            = rule.weekRule ? rule.weekRule->nextInstance() : icalrecur_iterator_next(rule.iterator);
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
        if (rule.weeks && !rule.weeks->matches(QDate(next.year, next.month, next.day))) {
            if (++rejected > maxRejectedWeeks)
                break;
            continue;
        }
        ++rule.produced;
        rule.cache.push_back(resolve(wall));
    }
}

void RecurrenceExpander::prepare(qint64 untilMs)
{
    followLocalZone();
    for (auto &rule : m_rules) {
        if (rule->iterator || rule->weekRule)
            extend(*rule, untilMs);
    }
}

namespace {

/** Wall times of a sub-daily rule's instances in [lowWall, highWall], at most `perDay` a day. */
std::vector<qint64> subDailyWalls(const SubDailyRule &r, qint64 untilWall, qint64 lowWall, qint64 highWall,
    int perDay, const QString &uid)
{
    std::vector<qint64> out;
    const qint64 lastWall = std::min(highWall, untilWall);
    // With COUNT every instance from the first counts, so the walk starts there.
    qint64 k = r.count > 0 ? 0 : std::max<qint64>(0, floorDiv(lowWall - r.startWall, r.stepMs) - 1);
    qint64 produced = 0;
    qint64 steps = 0;
    qint64 shownDay = std::numeric_limits<qint64>::min();
    int shownThatDay = 0;
    const auto firstPeriodFrom = [&](qint64 wall) {
        return std::max(k + 1, -floorDiv(r.startWall - wall, r.stepMs));
    };
    while (true) {
        if (++steps > maxSubDailySteps) {
            qCInfo(lcStore) << "recurrence of" << uid << "stopped: too many steps in one query";
            break;
        }
        const qint64 period = r.startWall + k * r.stepMs;
        if (period > lastWall)
            break;
        const qint64 day = floorDiv(period, dayMs);
        if (!r.dayMatches(day + epochJulianDay)) {
            // The next day that can match, looked for no further than the window.
            qint64 next = day + 1;
            while (next * dayMs <= lastWall && !r.dayMatches(next + epochJulianDay))
                ++next;
            k = firstPeriodFrom(next * dayMs);
            continue;
        }
        const qint64 inDay = period - day * dayMs;
        const int hour = int(inDay / hourMs);
        if (!r.anyHour && !r.hours[size_t(hour)]) {
            k = firstPeriodFrom(day * dayMs + (hour + 1) * hourMs);
            continue;
        }
        const int minute = int(inDay / minuteMs % 60);
        if (!r.anyMinute && !r.minutes[size_t(minute)]) {
            k = firstPeriodFrom(day * dayMs + hour * hourMs + (minute + 1) * minuteMs);
            continue;
        }
        const int second = int(inDay / 1000 % 60);
        if (!r.anySecond && !r.seconds[size_t(second)]) {
            ++k;
            continue;
        }
        // The instances of this period: the BY-parts finer than the frequency expand it.
        std::vector<qint64> instances;
        if (!r.expandMinutes.empty()) {
            const qint64 base = day * dayMs + hour * hourMs;
            for (int m : r.expandMinutes)
                for (int sec : r.expandSeconds)
                    instances.push_back(base + m * minuteMs + sec * 1000);
        } else if (!r.expandSeconds.empty()) {
            const qint64 base = day * dayMs + hour * hourMs + minute * minuteMs;
            for (int sec : r.expandSeconds)
                instances.push_back(base + sec * 1000);
        } else {
            instances.push_back(period);
        }
        bool finished = false;
        for (qint64 wall : instances) {
            if (wall < r.startWall)
                continue;
            if (wall > lastWall || (r.count > 0 && produced >= r.count)) {
                finished = true;
                break;
            }
            ++produced;
            if (wall < lowWall)
                continue;
            if (floorDiv(wall, dayMs) != shownDay) {
                shownDay = floorDiv(wall, dayMs);
                shownThatDay = 0;
            }
            if (shownThatDay < perDay) {
                out.push_back(wall);
                ++shownThatDay;
            }
        }
        if (finished || (r.count > 0 && produced >= r.count))
            break;
        if (shownThatDay >= perDay && r.count == 0 && floorDiv(period, dayMs) == shownDay) {
            k = firstPeriodFrom((shownDay + 1) * dayMs); // this day is full
            continue;
        }
        ++k;
    }
    return out;
}

} // namespace

QList<RecurrenceExpander::Occurrence> RecurrenceExpander::occurrences(qint64 fromMs, qint64 toMs, int perDay)
{
    QList<Occurrence> out;
    followLocalZone();
    if (perDay <= 0 || fromMs >= toMs || m_first.startMs >= toMs)
        return out;
    // Instants follow wall-clock order except inside a DST fold, hence the slack.
    const qint64 low = fromMs - m_spanMs - slackMs;
    const auto byStart = [](const Occurrence &o, qint64 ms) { return o.startMs < ms; };
    const qint64 windowDays = (toMs - low) / dayMs + 4;

    struct Candidate
    {
        Occurrence occurrence;
        bool ownEnd;
    };
    std::vector<Candidate> candidates;
    candidates.reserve(32); // a month of a daily series without growing
    // Qt's own lookups near a change of offset are slow; months are revisited, so keep those.
    const auto cachedResolve = [this](Rule &rule, qint64 wall) {
        auto &cache = rule.resolved;
        auto known = std::lower_bound(
            cache.begin(), cache.end(), wall, [](const Occurrence &c, qint64 w) { return c.wall < w; });
        if (known == cache.end() || known->wall != wall) {
            if (cache.size() > 4096) {
                cache.clear();
                known = cache.end();
            }
            known = cache.insert(known, resolve(wall));
        }
        return *known;
    };
    if (m_first.startMs >= low)
        candidates.push_back({ m_first, false });
    for (auto &rule : m_rules) {
        if (rule->subDaily) {
            // Wall bounds with room for any zone offset; exact instants decide below.
            const qint64 lowWall = low - dayMs;
            const qint64 highWall = toMs + slackMs + dayMs;
            for (qint64 wall :
                subDailyWalls(*rule->subDaily, rule->untilWall, lowWall, highWall, perDay, m_master->uid)) {
                const Occurrence o = resolve(wall);
                if (o.startMs >= low && o.startMs < toMs + slackMs)
                    candidates.push_back({ o, false });
            }
            continue;
        }
        if (rule->monthly) {
            const MonthRule &r = *rule->monthly;
            const qint64 lowDay = floorDiv(low, dayMs) + epochJulianDay - 2;
            const qint64 highDay = floorDiv(toMs + slackMs, dayMs) + epochJulianDay + 2;
            const QDate lowDate = QDate::fromJulianDay(lowDay);
            const qint64 lowMonth = qint64(lowDate.year()) * 12 + lowDate.month() - 1;
            // Straight to the window: the period holding its first day, less one.
            for (qint64 n = std::max<qint64>(0, floorDiv(lowMonth - r.firstMonth, r.stepMonths) - 1);; ++n) {
                const qint64 month = r.firstMonth + n * r.stepMonths;
                if (month / 12 > 9999 || (r.count > 0 && n >= r.count))
                    break;
                const qint64 day = QDate(int(month / 12), int(month % 12) + 1, r.day).toJulianDay();
                const qint64 wall = (day - epochJulianDay) * dayMs + r.timeMs;
                if (day > highDay || wall > rule->untilWall)
                    break;
                if (day < lowDay)
                    continue;
                const Occurrence o = cachedResolve(*rule, wall);
                if (o.startMs >= low && o.startMs < toMs + slackMs)
                    candidates.push_back({ o, false });
            }
            continue;
        }
        if (rule->simple) {
            const SimpleRule &r = *rule->simple;
            const qint64 m = qint64(r.offsets.size());
            // Day bounds with room for any zone offset; exact instants decide below.
            const qint64 lowDay = floorDiv(low, dayMs) + epochJulianDay - 2;
            const qint64 highDay = floorDiv(toMs + slackMs, dayMs) + epochJulianDay + 2;
            const qint64 budget
                = qint64(perDay) * windowDays + m_excludedWall.size() + m_excludedDays.size() + 16;
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
                    // The zone table answers most walls at once; only Qt's
                    // lookups near a change of offset are worth remembering.
                    qint64 quick = 0;
                    const Occurrence o = m_offsets && m_offsets->instantOf(wall, &quick)
                        ? placeFrom(wall, quick, *m_master)
                        : cachedResolve(*rule, wall);
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
    out.reserve(qsizetype(candidates.size()));
    qint64 day = std::numeric_limits<qint64>::min();
    int thatDay = 0;
    bool capped = false;
    for (size_t i = 0; i < candidates.size(); ++i) {
        const Occurrence &o = candidates[i].occurrence;
        if (i > 0 && candidates[i - 1].occurrence.wall == o.wall)
            continue;
        if (isExcluded(o.wall) || !overlapsWindow(o.startMs, o.endMs, fromMs, toMs))
            continue;
        if (dayOfWall(o.wall) != day) {
            day = dayOfWall(o.wall);
            thatDay = 0;
        }
        if (thatDay >= perDay) {
            capped = true;
            continue;
        }
        ++thatDay;
        out.append(o);
    }
    if (capped)
        qCInfo(lcStore) << "occurrences of" << m_master->uid << "capped at" << perDay << "a day";
    return out;
}
