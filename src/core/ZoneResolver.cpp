#include "ZoneResolver.h"

#include <QDateTime>
#include <QHash>
#include <QMutex>

#include <libical/ical.h>

#include <algorithm>
#include <optional>
#include <vector>

namespace {

bool isAvailable(const QByteArray &id)
{
    return !id.isEmpty() && QTimeZone::isTimeZoneIdAvailable(id);
}

QTimeZone lookup(const QByteArray &raw)
{
    QByteArray name = raw.trimmed();
    if (name.size() >= 2 && name.startsWith('"') && name.endsWith('"'))
        name = name.mid(1, name.size() - 2).trimmed();
    if (name.isEmpty())
        return {};
    if (name == "UTC" || name == "Z" || name == "GMT" || name == "Etc/UTC")
        return QTimeZone::utc();
    if (isAvailable(name))
        return QTimeZone(name);

    // Vendor prefixes: try every tail after a slash, longest first, so that
    // "/x/America/Argentina/Buenos_Aires" still finds the three-part name.
    if (name.contains('/')) {
        const QList<QByteArray> parts = name.split('/');
        for (qsizetype i = 1; i < parts.size(); ++i) {
            const QByteArray tail = parts.mid(i).join('/');
            if (isAvailable(tail))
                return QTimeZone(tail);
        }
    }

    QByteArray windows = QTimeZone::windowsIdToDefaultIanaId(name);
    if (isAvailable(windows))
        return QTimeZone(windows);
    // Exchange sometimes numbers duplicates: "GMT Standard Time 1".
    QByteArray stripped = name;
    while (!stripped.isEmpty() && (QChar::fromLatin1(stripped.back()).isDigit() || stripped.back() == ' '))
        stripped.chop(1);
    if (stripped != name) {
        windows = QTimeZone::windowsIdToDefaultIanaId(stripped);
        if (isAvailable(windows))
            return QTimeZone(windows);
    }
    return {};
}

// A file's own zone definition is compared with system zones, and its
// onsets worked out, from 1970 to the end of 2037: the span calendars use.
constexpr int spanFirstYear = 1970;
constexpr int spanEndYear = 2038;
constexpr int firstOnsetYear = 1968; // so that the state on 1 January 1970 is known

qint64 utcSeconds(QDate date, QTime time)
{
    return QDateTime(date, time, Qt::UTC).toSecsSinceEpoch();
}

const qint64 spanStart = utcSeconds(QDate(spanFirstYear, 1, 1), QTime(0, 0));
const qint64 spanEnd = utcSeconds(QDate(spanEndYear, 1, 1), QTime(0, 0));

bool validTime(const icaltimetype &t)
{
    return t.year >= 1 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1
        && t.day <= QDate(t.year, t.month, 1).daysInMonth() && t.hour >= 0 && t.hour <= 23 && t.minute >= 0
        && t.minute <= 59 && t.second >= 0 && t.second <= 60;
}

/** "The nth weekday of a month", "the last weekday" or "a fixed day", each year. */
struct YearlyRule
{
    int month = 0;
    int week = 0; ///< 1 to 4, 5 for the last; 0 for a fixed day
    int weekday = 0; ///< 1 = Monday … 7 = Sunday
    int day = 0; ///< the fixed day

    QDate dateIn(int year) const
    {
        const QDate first(year, month, 1);
        if (week == 0)
            return day <= first.daysInMonth() ? QDate(year, month, day) : QDate();
        if (week == 5) {
            const QDate last(year, month, first.daysInMonth());
            return last.addDays(-((last.dayOfWeek() - weekday + 7) % 7));
        }
        return first.addDays((weekday - first.dayOfWeek() + 7) % 7 + 7 * (week - 1));
    }
};

bool unset(const short *list)
{
    return list[0] == ICAL_RECURRENCE_ARRAY_MAX;
}

/** The rule when it is one of the yearly forms zone definitions use, which need no iterator. */
std::optional<YearlyRule> yearlyRule(const icalrecurrencetype &r)
{
    if (r.freq != ICAL_YEARLY_RECURRENCE || r.interval > 1 || unset(r.by_month)
        || r.by_month[1] != ICAL_RECURRENCE_ARRAY_MAX || !unset(r.by_year_day) || !unset(r.by_week_no)
        || !unset(r.by_set_pos) || !unset(r.by_hour) || !unset(r.by_minute) || !unset(r.by_second))
        return std::nullopt;
    YearlyRule rule;
    rule.month = r.by_month[0];
    if (rule.month < 1 || rule.month > 12)
        return std::nullopt;
    std::vector<int> monthDays;
    for (int i = 0; i < ICAL_BY_MONTHDAY_SIZE && r.by_month_day[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i)
        monthDays.push_back(r.by_month_day[i]);
    std::sort(monthDays.begin(), monthDays.end());

    if (unset(r.by_day)) {
        if (monthDays.size() != 1 || monthDays[0] < 1 || monthDays[0] > 31)
            return std::nullopt;
        rule.day = monthDays[0];
        return rule;
    }
    if (r.by_day[1] != ICAL_RECURRENCE_ARRAY_MAX)
        return std::nullopt;
    const int weekday = int(icalrecurrencetype_day_day_of_week(r.by_day[0])); // 1 = Sunday
    if (weekday < 1 || weekday > 7)
        return std::nullopt;
    rule.weekday = weekday == 1 ? 7 : weekday - 1;
    const int position = icalrecurrencetype_day_position(r.by_day[0]);
    if (position != 0) {
        if (!monthDays.empty())
            return std::nullopt;
        if (position >= 1 && position <= 4)
            rule.week = position;
        else if (position == -1)
            rule.week = 5;
        else
            return std::nullopt;
        return rule;
    }
    // The RFC's own form: BYDAY=SU;BYMONTHDAY=8,9,10,11,12,13,14 for the second Sunday.
    if (monthDays.size() != 7 || monthDays.back() - monthDays.front() != 6
        || std::adjacent_find(monthDays.begin(), monthDays.end()) != monthDays.end())
        return std::nullopt;
    if (monthDays.front() == -7)
        rule.week = 5;
    else if (monthDays.front() >= 1 && monthDays.front() <= 22 && (monthDays.front() - 1) % 7 == 0)
        rule.week = (monthDays.front() - 1) / 7 + 1;
    else
        return std::nullopt;
    return rule;
}

struct Onset
{
    qint64 utc;
    int from;
    int to;
};

/** A STANDARD or DAYLIGHT block. */
struct Observance
{
    QDate startDate;
    QTime startTime; ///< wall time, in `from`
    int from = 0;
    int to = 0;
    std::optional<YearlyRule> yearly;
    int lastYear = 9999; ///< of the yearly rule
};

class Definition
{
public:
    explicit Definition(icalcomponent *vtimezone)
    {
        for (icalcompiter it = icalcomponent_begin_component(vtimezone, ICAL_ANY_COMPONENT);
             icalcompiter_deref(&it); icalcompiter_next(&it)) {
            icalcomponent *sub = icalcompiter_deref(&it);
            const icalcomponent_kind kind = icalcomponent_isa(sub);
            if (kind == ICAL_XSTANDARD_COMPONENT || kind == ICAL_XDAYLIGHT_COMPONENT)
                addObservance(sub);
        }
        std::sort(
            m_onsets.begin(), m_onsets.end(), [](const Onset &a, const Onset &b) { return a.utc < b.utc; });
    }

    bool isEmpty() const { return m_onsets.empty(); }

    int offsetAt(qint64 utc) const
    {
        const auto after = std::upper_bound(
            m_onsets.begin(), m_onsets.end(), utc, [](qint64 t, const Onset &o) { return t < o.utc; });
        return after == m_onsets.begin() ? m_onsets.front().from : std::prev(after)->to;
    }

    /** Every offset in force from 1970 to 2037, each once. */
    QList<int> offsetsInSpan() const
    {
        QList<int> out { offsetAt(spanStart) };
        for (const Onset &o : m_onsets) {
            if (o.utc > spanStart && o.utc < spanEnd && !out.contains(o.to))
                out.append(o.to);
        }
        return out;
    }

    /** Onsets are the whole truth about a definition: equal onsets, equal zones. */
    QByteArray signature() const
    {
        QByteArray out;
        out.reserve(qsizetype(m_onsets.size() * sizeof(Onset)));
        for (const Onset &o : m_onsets) {
            if (o.utc < spanEnd)
                out.append(reinterpret_cast<const char *>(&o), sizeof o);
        }
        return out;
    }

    /** Whether `zone` agrees with the definition at every moment of the span. */
    bool agreesWith(const QTimeZone &zone) const
    {
        const auto same = [&](qint64 utc) {
            return zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(utc, Qt::UTC)) == offsetAt(utc);
        };
        if (!same(spanStart))
            return false;
        for (const Onset &o : m_onsets) {
            if (o.utc > spanStart && o.utc < spanEnd && !(same(o.utc) && same(o.utc - 1)))
                return false;
        }
        const auto transitions = zone.transitions(QDateTime::fromSecsSinceEpoch(spanStart, Qt::UTC),
            QDateTime::fromSecsSinceEpoch(spanEnd - 1, Qt::UTC));
        for (const QTimeZone::OffsetData &t : transitions) {
            const qint64 utc = t.atUtc.toSecsSinceEpoch();
            if (!(same(utc) && same(utc - 1)))
                return false;
        }
        return true;
    }

    /**
     * The rules in force in `year` as a POSIX zone ("<+1000>-10:00<+1200>-12:00,M10.1.0/2:00,M4.1.0/3:00"),
     * which the zone database's own code reads; empty when they are not two yearly rules.
     */
    QByteArray posixRule(int year) const
    {
        std::vector<const Observance *> inForce;
        for (const Observance &o : m_observances) {
            if (o.yearly && o.startDate.year() <= year && o.lastYear >= year)
                inForce.push_back(&o);
        }
        if (inForce.size() != 2 || inForce[0]->to == inForce[1]->to)
            return {};
        const Observance *standard = inForce[0];
        const Observance *daylight = inForce[1];
        if (daylight->to < standard->to)
            std::swap(standard, daylight);
        // POSIX gives each change in the wall time in force before it.
        const auto part = [](const Observance &change, int before) -> QByteArray {
            const YearlyRule &r = *change.yearly;
            QByteArray date;
            if (r.week == 0) {
                if (r.month == 2 && r.day == 29)
                    return {};
                date = "J" + QByteArray::number(QDate(2001, r.month, r.day).dayOfYear());
            } else {
                date = "M" + QByteArray::number(r.month) + '.' + QByteArray::number(r.week) + '.'
                    + QByteArray::number(r.weekday % 7);
            }
            const int seconds = change.startTime.msecsSinceStartOfDay() / 1000 - change.from + before;
            if (seconds < 0 || seconds >= 86400)
                return {};
            return date + '/' + clock(seconds);
        };
        const QByteArray start = part(*daylight, standard->to);
        const QByteArray end = part(*standard, daylight->to);
        if (start.isEmpty() || end.isEmpty())
            return {};
        return name(standard->to) + offset(standard->to) + name(daylight->to) + offset(daylight->to) + ','
            + start + ',' + end;
    }

private:
    static QByteArray clock(int seconds)
    {
        return QByteArray::number(seconds / 3600) + ':'
            + QByteArray::number(seconds / 60 % 60).rightJustified(2, '0') + ':'
            + QByteArray::number(seconds % 60).rightJustified(2, '0');
    }
    static QByteArray name(int offset)
    {
        const int minutes = std::abs(offset) / 60;
        return QByteArray(offset < 0 ? "<-" : "<+") + QByteArray::number(minutes / 60).rightJustified(2, '0')
            + QByteArray::number(minutes % 60).rightJustified(2, '0') + '>';
    }
    static QByteArray offset(int offset)
    {
        // POSIX counts west of Greenwich as positive.
        return (offset > 0 ? "-" : "") + clock(std::abs(offset));
    }

    void addObservance(icalcomponent *sub)
    {
        icaltimetype start = icaltime_null_time();
        bool haveFrom = false, haveTo = false;
        int from = 0, to = 0;
        std::optional<icalrecurrencetype> rule;
        std::vector<icaltimetype> rdates;
        for (icalproperty *p = icalcomponent_get_first_property(sub, ICAL_ANY_PROPERTY); p;
             p = icalcomponent_get_next_property(sub, ICAL_ANY_PROPERTY)) {
            const icalvalue *v = icalproperty_get_value(p);
            if (!v)
                continue;
            switch (icalproperty_isa(p)) {
            case ICAL_DTSTART_PROPERTY:
                if (icalvalue_isa(v) == ICAL_DATETIME_VALUE || icalvalue_isa(v) == ICAL_DATE_VALUE)
                    start = icalvalue_get_datetime(v);
                break;
            case ICAL_TZOFFSETFROM_PROPERTY:
                from = icalvalue_get_utcoffset(v);
                haveFrom = true;
                break;
            case ICAL_TZOFFSETTO_PROPERTY:
                to = icalvalue_get_utcoffset(v);
                haveTo = true;
                break;
            case ICAL_RRULE_PROPERTY:
                if (!rule && icalvalue_isa(v) == ICAL_RECUR_VALUE) {
                    rule = icalvalue_get_recur(v);
                    rule->rscale = nullptr;
                }
                break;
            case ICAL_RDATE_PROPERTY:
                if (rdates.size() < 1000 && icalvalue_isa(v) == ICAL_DATETIMEPERIOD_VALUE) {
                    const icaldatetimeperiodtype dtp = icalvalue_get_datetimeperiod(v);
                    rdates.push_back(icaltime_is_null_time(dtp.time) ? dtp.period.start : dtp.time);
                }
                break;
            default:
                break;
            }
        }
        if (!haveTo || !validTime(start) || std::abs(to) > 18 * 3600 || std::abs(from) > 18 * 3600)
            return;
        if (!haveFrom)
            from = to;
        Observance observance;
        observance.startDate = QDate(start.year, start.month, start.day);
        observance.startTime
            = start.is_date ? QTime(0, 0) : QTime(start.hour, start.minute, std::min(start.second, 59));
        observance.from = from;
        observance.to = to;
        const qint64 startWall = utcSeconds(observance.startDate, observance.startTime);
        m_onsets.push_back({ startWall - from, from, to });
        for (icaltimetype r : rdates) {
            if (validTime(r))
                m_onsets.push_back({ utcSeconds(QDate(r.year, r.month, r.day),
                                         QTime(r.hour, r.minute, std::min(r.second, 59)))
                        - (icaltime_is_utc(r) ? 0 : from),
                    from, to });
        }
        if (rule && rule->freq != ICAL_NO_RECURRENCE)
            addRule(*rule, observance, startWall);
        m_observances.push_back(observance);
    }

    void addRule(const icalrecurrencetype &rule, Observance &observance, qint64 startWall)
    {
        std::optional<qint64> until;
        if (!icaltime_is_null_time(rule.until)) {
            if (!validTime(rule.until))
                return;
            const icaltimetype &u = rule.until;
            until = utcSeconds(QDate(u.year, u.month, u.day),
                        u.is_date ? QTime(23, 59, 59) : QTime(u.hour, u.minute, std::min(u.second, 59)))
                - (icaltime_is_utc(u) ? 0 : observance.from);
        }
        observance.yearly = yearlyRule(rule);
        if (observance.yearly) {
            observance.lastYear = rule.count > 0 ? observance.startDate.year() + rule.count - 1 : 9999;
            if (until)
                observance.lastYear = std::min<qint64>(
                    observance.lastYear, QDateTime::fromSecsSinceEpoch(*until, Qt::UTC).date().year());
            const int last = std::min(observance.lastYear, spanEndYear);
            for (int year = std::max(observance.startDate.year(), firstOnsetYear); year <= last; ++year) {
                const QDate date = observance.yearly->dateIn(year);
                if (!date.isValid())
                    continue;
                const qint64 wall = utcSeconds(date, observance.startTime);
                const qint64 utc = wall - observance.from;
                if (wall <= startWall || (until && utc > *until))
                    continue;
                m_onsets.push_back({ utc, observance.from, observance.to });
            }
        }
    }

    std::vector<Observance> m_observances;
    std::vector<Onset> m_onsets;
};

/** Offsets on the 15th of each month in a few years: zones that differ nearly always differ here. */
std::vector<qint64> fingerprintProbes()
{
    std::vector<qint64> out;
    for (int year : { 1975, 1985, 1995, 2005, 2015, 2025, 2035 }) {
        for (int month = 1; month <= 12; ++month)
            out.push_back(utcSeconds(QDate(year, month, 15), QTime(12, 0)));
    }
    return out;
}

QByteArray fingerprint(const std::vector<qint64> &probes, const auto &offsetAt)
{
    QByteArray out;
    out.reserve(qsizetype(probes.size() * sizeof(int)));
    for (qint64 utc : probes) {
        const int offset = offsetAt(utc);
        out.append(reinterpret_cast<const char *>(&offset), sizeof offset);
    }
    return out;
}

/** Every system zone, by fingerprint; built once, on first need. */
const QHash<QByteArray, QList<QByteArray>> &systemZonesByFingerprint()
{
    static const QHash<QByteArray, QList<QByteArray>> index = [] {
        QHash<QByteArray, QList<QByteArray>> out;
        const std::vector<qint64> probes = fingerprintProbes();
        for (const QByteArray &id : QTimeZone::availableTimeZoneIds()) {
            const QTimeZone zone(id);
            if (!zone.isValid())
                continue;
            out[fingerprint(probes, [&](qint64 utc) {
                return zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(utc, Qt::UTC));
            })].append(id);
        }
        return out;
    }();
    return index;
}

/** What a definition resolves to for every year; invalid when that depends on the year. */
QTimeZone yearIndependentZone(const Definition &definition)
{
    const QList<int> offsets = definition.offsetsInSpan();
    if (offsets.size() == 1)
        return offsets.first() == 0 ? QTimeZone::utc() : QTimeZone(offsets.first());
    static const std::vector<qint64> probes = fingerprintProbes();
    const auto &index = systemZonesByFingerprint();
    const auto candidates
        = index.value(fingerprint(probes, [&](qint64 utc) { return definition.offsetAt(utc); }));
    for (const QByteArray &id : candidates) {
        const QTimeZone zone(id);
        if (definition.agreesWith(zone))
            return zone;
    }
    return {};
}

} // namespace

struct ZoneResolver::DefinedZone::Data
{
    explicit Data(icalcomponent *vtimezone)
        : definition(vtimezone)
    { }
    Definition definition;
    QTimeZone whole; ///< valid when one zone serves every year
};

ZoneResolver::DefinedZone::DefinedZone(icalcomponent_impl *vtimezone)
{
    auto data = std::make_shared<Data>(vtimezone);
    if (!data->definition.isEmpty()) {
        // Exchange writes the same few definitions under thousands of names.
        static QMutex mutex;
        static QHash<QByteArray, QTimeZone> cache;
        const QByteArray signature = data->definition.signature();
        bool known = false;
        {
            QMutexLocker lock(&mutex);
            const auto it = cache.constFind(signature);
            if ((known = it != cache.constEnd()))
                data->whole = *it;
        }
        if (!known) {
            data->whole = yearIndependentZone(data->definition);
            QMutexLocker lock(&mutex);
            if (cache.size() < 4096)
                cache.insert(signature, data->whole);
        }
    }
    d = std::move(data);
}

QTimeZone ZoneResolver::DefinedZone::zoneFor(QDate date, QTime time) const
{
    const Definition &definition = d->definition;
    if (definition.isEmpty() || !date.isValid())
        return {};
    if (d->whole.isValid())
        return d->whole;
    const QByteArray rule = definition.posixRule(std::clamp(date.year(), spanFirstYear, spanEndYear - 1));
    if (!rule.isEmpty()) {
        const QTimeZone own(rule);
        if (own.isValid())
            return own;
    }
    // Too irregular for yearly rules: the offset the definition gives that moment.
    const qint64 wall = utcSeconds(date, time.isValid() ? time : QTime(0, 0));
    const int offset = definition.offsetAt(wall - definition.offsetAt(wall));
    return offset == 0 ? QTimeZone::utc() : QTimeZone(offset);
}

QTimeZone ZoneResolver::systemZone(const QByteArray &tzid)
{
    // Files repeat the same handful of names thousands of times, and the
    // loader asks from several threads at once.
    static QMutex mutex;
    static QHash<QByteArray, QTimeZone> cache;
    {
        QMutexLocker lock(&mutex);
        const auto it = cache.constFind(tzid);
        if (it != cache.constEnd())
            return *it;
    }
    const QTimeZone zone = lookup(tzid);
    QMutexLocker lock(&mutex);
    if (cache.size() < 4096)
        cache.insert(tzid, zone);
    return zone;
}
