#include "IcsFileReader.h"

#include "IcsTextParser.h"
#include "ZoneResolver.h"

#include <QHash>

#include <libical/ical.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

constexpr qint32 maxDurationDays = 366 * 100;

bool validDate(int year, int month, int day)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    return day <= QDate(year, month, 1).daysInMonth();
}

// libical accepts "20250-27" as month 0, day -2 and then reads out of bounds
// in its own arithmetic, so nothing reaches it or Qt before this check.
bool validTime(const icaltimetype &t)
{
    if (!validDate(t.year, t.month, t.day))
        return false;
    if (t.is_date)
        return true;
    return t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 && t.second >= 0 && t.second <= 60;
}

QString cleanText(const char *raw)
{
    if (!raw)
        return {};
    QString text = QString::fromUtf8(raw);
    text.removeIf([](QChar c) {
        const char16_t u = c.unicode();
        return (u < 0x20 && u != u'\n' && u != u'\t') || u == 0x7f;
    });
    return text;
}

const char *valueText(icalproperty *prop)
{
    const icalvalue *value = icalproperty_get_value(prop);
    if (!value)
        return nullptr;
    switch (icalvalue_isa(value)) {
    case ICAL_TEXT_VALUE:
        return icalvalue_get_text(value);
    case ICAL_URI_VALUE:
        return icalvalue_get_uri(value);
    case ICAL_X_VALUE:
        return icalvalue_get_x(value);
    default:
        return nullptr;
    }
}

QByteArray tzidOf(icalproperty *prop)
{
    icalparameter *param = icalproperty_get_first_parameter(prop, ICAL_TZID_PARAMETER);
    const char *tzid = param ? icalparameter_get_tzid(param) : nullptr;
    return tzid ? QByteArray(tzid) : QByteArray();
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

    QTimeZone zone(const QByteArray &tzid, QDate date, QTime time)
    {
        if (const auto it = m_resolved.constFind(tzid); it != m_resolved.constEnd())
            return *it;
        if (const auto it = m_defined.constFind(tzid); it != m_defined.constEnd())
            return it->zoneFor(date, time);
        const QTimeZone zone = ZoneResolver::systemZone(tzid);
        if (!zone.isValid()) {
            if (icalcomponent *definition = m_definitions.value(tzid))
                return m_defined.insert(tzid, ZoneResolver::DefinedZone(definition))->zoneFor(date, time);
        }
        m_resolved.insert(tzid, zone);
        return zone;
    }

private:
    QHash<QByteArray, icalcomponent *> m_definitions;
    QHash<QByteArray, QTimeZone> m_resolved;
    QHash<QByteArray, ZoneResolver::DefinedZone> m_defined;
};

IcsTime makeTime(const icaltimetype &t, const QByteArray &tzid, ZoneTable &zones)
{
    IcsTime out;
    if (!validTime(t))
        return out;
    out.date = QDate(t.year, t.month, t.day);
    if (t.is_date) {
        out.kind = IcsTime::Kind::date;
        out.time = QTime(0, 0);
        return out;
    }
    out.time = QTime(t.hour, t.minute, std::min(t.second, 59));
    if (icaltime_is_utc(t)) {
        out.kind = IcsTime::Kind::zoned;
        out.zone = QTimeZone::utc();
    } else if (!tzid.isEmpty()) {
        out.zone = zones.zone(tzid, out.date, out.time);
        // A name nobody can resolve leaves the wall-clock time, which is what
        // the author saw; treating it as UTC would shift it by hours.
        out.kind = out.zone.isValid() ? IcsTime::Kind::zoned : IcsTime::Kind::floating;
    } else {
        out.kind = IcsTime::Kind::floating;
    }
    return out;
}

IcsTime readTime(icalproperty *prop, ZoneTable &zones)
{
    const icalvalue *value = icalproperty_get_value(prop);
    if (!value)
        return {};
    const icalvalue_kind kind = icalvalue_isa(value);
    if (kind == ICAL_DATETIME_VALUE || kind == ICAL_DATE_VALUE)
        return makeTime(icalvalue_get_datetime(value), tzidOf(prop), zones);
    if (kind == ICAL_DATETIMEPERIOD_VALUE) {
        const icaldatetimeperiodtype dtp = icalvalue_get_datetimeperiod(value);
        if (!icaltime_is_null_time(dtp.time))
            return makeTime(dtp.time, tzidOf(prop), zones);
        return makeTime(dtp.period.start, tzidOf(prop), zones);
    }
    if (kind == ICAL_PERIOD_VALUE)
        return makeTime(icalvalue_get_period(value).start, tzidOf(prop), zones);
    return {};
}

IcsPeriod readPeriod(icalproperty *prop, ZoneTable &zones)
{
    const icalvalue *value = icalproperty_get_value(prop);
    if (!value)
        return {};
    icalperiodtype period = icalperiodtype_null_period();
    const icalvalue_kind kind = icalvalue_isa(value);
    if (kind == ICAL_PERIOD_VALUE) {
        period = icalvalue_get_period(value);
    } else if (kind == ICAL_DATETIMEPERIOD_VALUE) {
        const icaldatetimeperiodtype dtp = icalvalue_get_datetimeperiod(value);
        if (icaltime_is_null_time(dtp.time))
            period = dtp.period;
    }
    if (icaltime_is_null_time(period.start))
        return { readTime(prop, zones), {} };

    IcsPeriod out;
    const QByteArray tzid = tzidOf(prop);
    out.start = makeTime(period.start, tzid, zones);
    if (!out.start.isValid())
        return {};
    if (!icaltime_is_null_time(period.end)) {
        out.end = makeTime(period.end, tzid, zones);
    } else {
        const icaldurationtype d = period.duration;
        if (!d.is_neg && d.weeks < 10000 && d.days < 100000) {
            const qint64 secs = qint64(d.hours) * 3600 + qint64(d.minutes) * 60 + d.seconds;
            const QDateTime start = out.start.toDateTime();
            const QDateTime end = start.addDays(qint64(d.weeks) * 7 + d.days).addSecs(secs);
            if (end.isValid()) {
                out.end = out.start;
                out.end.date = end.toTimeZone(start.timeZone()).date();
                out.end.time = end.toTimeZone(start.timeZone()).time();
            }
        }
    }
    return out;
}

bool sameWallClock(const IcsTime &a, const IcsTime &b)
{
    return a.kind == b.kind && (a.kind != IcsTime::Kind::zoned || a.zone == b.zone);
}

void setDuration(IcsEvent &event, const IcsTime &end, const std::optional<icaldurationtype> &duration)
{
    if (event.isAllDay()) {
        qint64 days = 1;
        if (end.isValid()) {
            days = event.start.date.daysTo(end.date);
        } else if (duration && !duration->is_neg) {
            days = qint64(duration->weeks) * 7 + duration->days;
        }
        // Zero-length and backwards all-day events exist in the wild; every
        // reader shows them on their one day.
        event.durationDays = qint32(std::clamp<qint64>(days, 1, maxDurationDays));
        return;
    }

    qint64 seconds = 0;
    if (end.isValid()) {
        IcsTime endTime = end;
        if (endTime.isDate()) {
            endTime.kind = event.start.kind;
            endTime.zone = event.start.zone;
        }
        if (sameWallClock(event.start, endTime)) {
            seconds = QDateTime(event.start.date, event.start.time, Qt::UTC)
                          .secsTo(QDateTime(endTime.date, endTime.time, Qt::UTC));
        } else {
            seconds = event.start.toDateTime().secsTo(endTime.toDateTime());
        }
        event.durationDays = qint32(std::clamp<qint64>(seconds / 86400, 0, maxDurationDays));
        event.durationSeconds = std::max<qint64>(0, seconds % 86400);
        return;
    }
    if (duration && !duration->is_neg) {
        const qint64 days = qint64(duration->weeks) * 7 + duration->days;
        event.durationDays = qint32(std::clamp<qint64>(days, 0, maxDurationDays));
        seconds = qint64(duration->hours) * 3600 + qint64(duration->minutes) * 60 + duration->seconds;
        event.durationSeconds = std::clamp<qint64>(seconds, 0, qint64(maxDurationDays) * 86400);
    }
}

/**
 * Brings a rule's UNTIL into the wall time of the series, the only frame in
 * which the expander compares: UTC and date-only bounds are both common.
 */
std::optional<QByteArray> normalizedRule(icalrecurrencetype rule, const IcsTime &start)
{
    if (rule.freq == ICAL_NO_RECURRENCE)
        return std::nullopt;
    rule.rscale = nullptr;
    if (rule.interval < 1)
        rule.interval = 1;
    if (rule.count < 0)
        rule.count = 0;
    icaltimetype &until = rule.until;
    if (!icaltime_is_null_time(until)) {
        if (!validTime(until))
            return std::nullopt;
        if (start.isDate()) {
            if (!until.is_date && icaltime_is_utc(until)) {
                const QDate local = QDateTime(
                    QDate(until.year, until.month, until.day), QTime(until.hour, until.minute, 0), Qt::UTC)
                                        .toLocalTime()
                                        .date();
                until.year = local.year();
                until.month = local.month();
                until.day = local.day();
            }
            until.hour = until.minute = until.second = 0;
            until.is_date = 1;
        } else if (until.is_date) {
            // Invalid by the RFC; readers take the bare date as its midnight, so the
            // series ends before any instance on that day, and so does Moriva.
            until.hour = until.minute = until.second = 0;
            until.is_date = 0;
        } else if (icaltime_is_utc(until)) {
            const QDateTime utc(QDate(until.year, until.month, until.day),
                QTime(until.hour, until.minute, std::min(until.second, 59)), Qt::UTC);
            const QDateTime wall
                = start.kind == IcsTime::Kind::zoned ? utc.toTimeZone(start.zone) : utc.toLocalTime();
            if (!wall.isValid())
                return std::nullopt;
            until.year = wall.date().year();
            until.month = wall.date().month();
            until.day = wall.date().day();
            until.hour = wall.time().hour();
            until.minute = wall.time().minute();
            until.second = wall.time().second();
        }
        until.zone = nullptr;
        until.is_daylight = 0;
    }
    return QByteArray(reinterpret_cast<const char *>(&rule), sizeof rule);
}

bool readEvent(icalcomponent *component, ZoneTable &zones, IcsEvent &event)
{
    IcsTime end;
    std::optional<icaldurationtype> duration;
    QList<icalrecurrencetype> rules;
    bool haveStart = false;

    for (icalproperty *p = icalcomponent_get_first_property(component, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(component, ICAL_ANY_PROPERTY)) {
        const icalvalue *value = icalproperty_get_value(p);
        if (!value)
            continue;
        // libical drops "SUMMARY:" and leaves only this note; but an empty
        // title differs from none, which would read "Untitled Event".
        if (icalproperty_isa(p) == ICAL_XLICERROR_PROPERTY && !event.summary) {
            const char *note = icalproperty_get_xlicerror(p);
            if (note && qstrncmp(note, "No value for SUMMARY property", 29) == 0)
                event.summary = QString();
            continue;
        }
        switch (icalproperty_isa(p)) {
        case ICAL_DTSTART_PROPERTY:
            if (!haveStart) {
                event.start = readTime(p, zones);
                haveStart = true;
            }
            break;
        case ICAL_DTEND_PROPERTY:
            if (!end.isValid())
                end = readTime(p, zones);
            break;
        case ICAL_DURATION_PROPERTY:
            if (!duration && icalvalue_isa(value) == ICAL_DURATION_VALUE)
                duration = icalvalue_get_duration(value);
            break;
        case ICAL_UID_PROPERTY:
            if (event.uid.isEmpty())
                event.uid = cleanText(valueText(p)).trimmed();
            break;
        case ICAL_SUMMARY_PROPERTY:
            if (!event.summary)
                event.summary = cleanText(valueText(p));
            break;
        case ICAL_LOCATION_PROPERTY:
            if (event.location.isEmpty())
                event.location = cleanText(valueText(p));
            break;
        case ICAL_DESCRIPTION_PROPERTY:
            if (event.description.isEmpty())
                event.description = cleanText(valueText(p));
            break;
        case ICAL_URL_PROPERTY:
            if (event.url.isEmpty()) {
                const QUrl url(cleanText(valueText(p)).trimmed(), QUrl::StrictMode);
                if (url.isValid())
                    event.url = url;
            }
            break;
        case ICAL_STATUS_PROPERTY:
            if (icalvalue_isa(value) == ICAL_STATUS_VALUE)
                event.cancelled = icalvalue_get_status(value) == ICAL_STATUS_CANCELLED;
            break;
        case ICAL_RRULE_PROPERTY:
            if (icalvalue_isa(value) == ICAL_RECUR_VALUE && rules.size() < 8)
                rules.append(icalvalue_get_recur(value));
            break;
        case ICAL_RDATE_PROPERTY:
            if (event.rdates.size() < 10000) {
                const IcsPeriod period = readPeriod(p, zones);
                if (period.start.isValid())
                    event.rdates.append(period);
            }
            break;
        case ICAL_EXDATE_PROPERTY:
            if (event.exdates.size() < 10000) {
                const IcsTime t = readTime(p, zones);
                if (t.isValid())
                    event.exdates.append(t);
            }
            break;
        case ICAL_RECURRENCEID_PROPERTY:
            if (!event.recurrenceId.isValid()) {
                event.recurrenceId = readTime(p, zones);
                icalparameter *range = icalproperty_get_first_parameter(p, ICAL_RANGE_PARAMETER);
                event.thisAndFuture = range && icalparameter_get_range(range) == ICAL_RANGE_THISANDFUTURE;
            }
            break;
        default:
            break;
        }
    }

    if (!event.start.isValid())
        return false;
    MeetingProperties::read(component, event.meeting);
    setDuration(event, end, duration);
    for (const icalrecurrencetype &rule : std::as_const(rules)) {
        if (const auto blob = normalizedRule(rule, event.start))
            event.rules.append(*blob);
    }
    return true;
}

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
        if (readEvent(icalcompiter_deref(&it), zones, event))
            out.events.append(std::move(event));
        else
            ++out.skipped;
    }
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
    const IcsTextParser::Result parsed = IcsTextParser().parse(input);
    out.refusal = parsed.reason();
    icalcomponent *const root = parsed.root.get();
    if (!root)
        return out;

    switch (icalcomponent_isa(root)) {
    case ICAL_VCALENDAR_COMPONENT:
        readCalendar(root, out);
        break;
    case ICAL_XROOT_COMPONENT:
        // Several calendars in one file, or stray events beside them.
        readCalendar(root, out);
        for (icalcompiter it = icalcomponent_begin_component(root, ICAL_VCALENDAR_COMPONENT);
             icalcompiter_deref(&it); icalcompiter_next(&it))
            readCalendar(icalcompiter_deref(&it), out);
        break;
    case ICAL_VEVENT_COMPONENT: {
        ZoneTable zones(root);
        IcsEvent event;
        if (readEvent(root, zones, event))
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
