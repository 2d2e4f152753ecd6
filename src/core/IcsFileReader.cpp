#include "IcsFileReader.h"

#include "ComponentReader.h"
#include "ZoneResolver.h"

#include <QHash>
#include <QMutex>

#include <libical/ical.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

using ComponentReader::cleanText;
using ComponentReader::validTime;
using ComponentReader::valueText;

struct ComponentDeleter
{
    void operator()(icalcomponent *c) const { icalcomponent_free(c); }
};
using ComponentPtr = std::unique_ptr<icalcomponent, ComponentDeleter>;

/** UTC offsets of a file's own VTIMEZONE, computed from its onsets without libical's zone code. */
class VTimezoneOffsets
{
public:
    VTimezoneOffsets(icalcomponent *vtimezone, int year)
    {
        const qint64 horizon = QDateTime(QDate(year + 1, 1, 1), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
        for (icalcompiter it = icalcomponent_begin_component(vtimezone, ICAL_ANY_COMPONENT);
             icalcompiter_deref(&it); icalcompiter_next(&it)) {
            icalcomponent *sub = icalcompiter_deref(&it);
            const icalcomponent_kind kind = icalcomponent_isa(sub);
            if (kind != ICAL_XSTANDARD_COMPONENT && kind != ICAL_XDAYLIGHT_COMPONENT)
                continue;
            addObservance(sub, horizon);
        }
        std::sort(
            m_onsets.begin(), m_onsets.end(), [](const Onset &a, const Onset &b) { return a.utc < b.utc; });
    }

    bool isEmpty() const { return m_onsets.isEmpty(); }

    int offsetAt(qint64 utc) const
    {
        int offset = m_onsets.first().from;
        for (const Onset &onset : m_onsets) {
            if (onset.utc > utc)
                break;
            offset = onset.to;
        }
        return offset;
    }

private:
    struct Onset
    {
        qint64 utc;
        int from;
        int to;
    };

    void addObservance(icalcomponent *sub, qint64 horizon)
    {
        icaltimetype start = icaltime_null_time();
        bool haveFrom = false, haveTo = false;
        int from = 0, to = 0;
        std::optional<icalrecurrencetype> rule;
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
            default:
                break;
            }
        }
        if (!haveTo || !validTime(start) || std::abs(to) > 18 * 3600 || std::abs(from) > 18 * 3600)
            return;
        if (!haveFrom)
            from = to;
        start.is_date = 0;
        start.zone = nullptr;
        const auto onsetOf = [&](const icaltimetype &wall) {
            return QDateTime(
                       QDate(wall.year, wall.month, wall.day), QTime(wall.hour, wall.minute, 0), Qt::UTC)
                       .toSecsSinceEpoch()
                - from;
        };
        m_onsets.append({ onsetOf(start), from, to });
        if (!rule || rule->freq == ICAL_NO_RECURRENCE)
            return;
        if (!icaltime_is_null_time(rule->until)) {
            if (!validTime(rule->until))
                return;
            rule->until.zone = nullptr;
            rule->until.is_date = 0;
        }
        if (rule->interval < 1)
            rule->interval = 1;
        icalrecur_iterator *it = icalrecur_iterator_new(*rule, start);
        if (!it)
            return;
        for (int i = 0; i < 1000; ++i) {
            const icaltimetype next = icalrecur_iterator_next(it);
            if (icaltime_is_null_time(next) || !validTime(next))
                break;
            const qint64 utc = onsetOf(next);
            if (utc > horizon)
                break;
            m_onsets.append({ utc, from, to });
        }
        icalrecur_iterator_free(it);
    }

    QList<Onset> m_onsets;
};

/**
 * A file's own zone definition stands in for a system zone with the same
 * offsets through the year in question; failing that, for its standard offset.
 */
QTimeZone zoneFromDefinition(icalcomponent *vtimezone, int year)
{
    year = std::clamp(year, 1971, 2100);
    const VTimezoneOffsets offsets(vtimezone, year);
    if (offsets.isEmpty())
        return {};
    QList<qint64> probes;
    QList<int> expected;
    for (int month = 1; month <= 12; ++month) {
        const qint64 utc = QDateTime(QDate(year, month, 15), QTime(12, 0), Qt::UTC).toSecsSinceEpoch();
        probes.append(utc);
        expected.append(offsets.offsetAt(utc));
    }
    const int standard = *std::min_element(expected.begin(), expected.end());
    if (std::all_of(expected.begin(), expected.end(), [&](int o) { return o == standard; }))
        return standard == 0 ? QTimeZone::utc() : QTimeZone(standard);

    static QMutex mutex;
    static QHash<QString, QTimeZone> cache;
    QString signature = QString::number(year);
    for (int o : expected)
        signature += QLatin1Char(',') + QString::number(o);
    QMutexLocker lock(&mutex);
    if (const auto it = cache.constFind(signature); it != cache.constEnd())
        return *it;

    QTimeZone best(standard);
    int bestScore = 0;
    for (const QByteArray &id : QTimeZone::availableTimeZoneIds(standard)) {
        const QTimeZone candidate(id);
        int score = 0;
        for (qsizetype i = 0; i < probes.size(); ++i) {
            if (candidate.offsetFromUtc(QDateTime::fromSecsSinceEpoch(probes[i], Qt::UTC)) == expected[i])
                ++score;
        }
        if (score > bestScore) {
            best = candidate;
            bestScore = score;
            if (score == probes.size())
                break;
        }
    }
    if (cache.size() < 1024)
        cache.insert(signature, best);
    return best;
}

/** The zones one VCALENDAR refers to, resolved once each. */
class ZoneTable
{
public:
    explicit ZoneTable(icalcomponent *calendar)
    {
        for (icalcompiter it = icalcomponent_begin_component(calendar, ICAL_VTIMEZONE_COMPONENT);
             icalcompiter_deref(&it); icalcompiter_next(&it)) {
            icalcomponent *tz = icalcompiter_deref(&it);
            icalproperty *p = icalcomponent_get_first_property(tz, ICAL_TZID_PROPERTY);
            const char *tzid = p ? valueText(p) : nullptr;
            if (tzid && !m_definitions.contains(tzid))
                m_definitions.insert(QByteArray(tzid), tz);
        }
    }

    QTimeZone zone(const QByteArray &tzid, int year)
    {
        if (const auto it = m_resolved.constFind(tzid); it != m_resolved.constEnd())
            return *it;
        QTimeZone zone = ZoneResolver::systemZone(tzid);
        if (!zone.isValid()) {
            if (icalcomponent *definition = m_definitions.value(tzid))
                zone = zoneFromDefinition(definition, year);
        }
        m_resolved.insert(tzid, zone);
        return zone;
    }

    ComponentReader::ZoneLookup lookup()
    {
        return [this](const QByteArray &tzid, int year) { return zone(tzid, year); };
    }

private:
    QHash<QByteArray, icalcomponent *> m_definitions;
    QHash<QByteArray, QTimeZone> m_resolved;
};

void readCalendar(icalcomponent *calendar, IcsFileContent &out)
{
    for (icalproperty *p = icalcomponent_get_first_property(calendar, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(calendar, ICAL_ANY_PROPERTY)) {
        const icalproperty_kind kind = icalproperty_isa(p);
        if (kind == ICAL_COLOR_PROPERTY) {
            const QColor color = IcsFileReader::parseColor(cleanText(valueText(p)));
            if (color.isValid())
                out.color = color;
        } else if (kind == ICAL_X_PROPERTY) {
            const char *name = icalproperty_get_x_name(p);
            if (!name)
                continue;
            if (qstricmp(name, "X-WR-CALNAME") == 0 && out.calendarName.isEmpty()) {
                out.calendarName = cleanText(valueText(p)).trimmed();
            } else if (qstricmp(name, "X-APPLE-CALENDAR-COLOR") == 0 && !out.color.isValid()) {
                out.color = IcsFileReader::parseColor(cleanText(valueText(p)));
            }
        }
    }

    ZoneTable zones(calendar);
    for (icalcompiter it = icalcomponent_begin_component(calendar, ICAL_VEVENT_COMPONENT);
         icalcompiter_deref(&it); icalcompiter_next(&it)) {
        IcsEvent event;
        if (ComponentReader::read(icalcompiter_deref(&it), zones.lookup(), event))
            out.events.append(std::move(event));
        else
            ++out.skipped;
    }
}

/**
 * libical prints "Encountered END before BEGIN" to standard error, whatever
 * its error settings. Unfolding first and dropping every END that closes
 * nothing keeps it quiet; the parser would have ignored those lines anyway.
 */
QByteArray withoutStrayEnds(const QByteArray &bytes)
{
    QByteArray unfolded;
    unfolded.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' && i + 2 < bytes.size() && bytes[i + 1] == '\n'
            && (bytes[i + 2] == ' ' || bytes[i + 2] == '\t')) {
            i += 2;
            continue;
        }
        if (c == '\n' && i + 1 < bytes.size() && (bytes[i + 1] == ' ' || bytes[i + 1] == '\t')) {
            i += 1;
            continue;
        }
        unfolded.append(c);
    }

    QByteArray out;
    out.reserve(unfolded.size());
    int depth = 0;
    qsizetype start = 0;
    while (start < unfolded.size()) {
        qsizetype end = unfolded.indexOf('\n', start);
        if (end < 0)
            end = unfolded.size();
        const QByteArrayView line(unfolded.constData() + start, end - start);
        qsizetype nameEnd = 0;
        while (nameEnd < line.size() && line[nameEnd] != ':' && line[nameEnd] != ';')
            ++nameEnd;
        const QByteArrayView name = line.first(nameEnd).trimmed();
        bool keep = true;
        if (name.compare("BEGIN", Qt::CaseInsensitive) == 0) {
            ++depth;
        } else if (name.compare("END", Qt::CaseInsensitive) == 0) {
            if (depth == 0)
                keep = false;
            else
                --depth;
        }
        if (keep)
            out.append(line.data(), line.size()).append('\n');
        start = end + 1;
    }
    return out;
}

} // namespace

QDateTime IcsTime::toDateTime() const
{
    switch (kind) {
    case Kind::none:
        return {};
    case Kind::date:
        return QDateTime(date, QTime(0, 0), Qt::LocalTime);
    case Kind::floating:
        return QDateTime(date, time, Qt::LocalTime);
    case Kind::zoned:
        return QDateTime(date, time, zone);
    }
    return {};
}

QDateTime IcsEvent::endFor(const QDateTime &occurrenceStart) const
{
    if (isAllDay())
        return occurrenceStart.addDays(durationDays);
    return occurrenceStart.addDays(durationDays).addSecs(durationSeconds);
}

QTimeZone IcsFileReader::zoneFromDefinition(icalcomponent *vtimezone, int year)
{
    return ::zoneFromDefinition(vtimezone, year);
}

void IcsFileReader::quietLibical()
{
    static std::once_flag once;
    std::call_once(once, [] {
        icalerror_set_errors_are_fatal(0);
        // Creates libical's UTC zone before any worker thread races to do it.
        icaltimezone_get_utc_timezone();
    });
}

QColor IcsFileReader::parseColor(const QString &text)
{
    const QString t = text.trimmed();
    if (t.size() == 9 && t.startsWith(QLatin1Char('#'))) {
        bool ok = false;
        const uint rgba = t.mid(1).toUInt(&ok, 16);
        if (!ok)
            return {};
        return QColor(
            int((rgba >> 24) & 0xff), int((rgba >> 16) & 0xff), int((rgba >> 8) & 0xff), int(rgba & 0xff));
    }
    return QColor::fromString(t);
}

IcsFileContent IcsFileReader::parse(const QByteArray &input)
{
    quietLibical();
    IcsFileContent out;
    QByteArray bytes = input;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    if (bytes.trimmed().isEmpty())
        return out;
    bytes = withoutStrayEnds(bytes);

    const ComponentPtr root(icalparser_parse_string(bytes.constData()));
    if (!root)
        return out;

    switch (icalcomponent_isa(root.get())) {
    case ICAL_VCALENDAR_COMPONENT:
        readCalendar(root.get(), out);
        break;
    case ICAL_XROOT_COMPONENT:
        // Several calendars in one file, or stray events beside them.
        readCalendar(root.get(), out);
        for (icalcompiter it = icalcomponent_begin_component(root.get(), ICAL_VCALENDAR_COMPONENT);
             icalcompiter_deref(&it); icalcompiter_next(&it))
            readCalendar(icalcompiter_deref(&it), out);
        break;
    case ICAL_VEVENT_COMPONENT: {
        ZoneTable zones(root.get());
        IcsEvent event;
        if (ComponentReader::read(root.get(), zones.lookup(), event))
            out.events.append(std::move(event));
        else
            ++out.skipped;
        break;
    }
    default:
        break;
    }
    return out;
}
