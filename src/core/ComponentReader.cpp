#include "ComponentReader.h"

#include "IcsTextParser.h"
#include "MeetingProperties.h"

#include <libical/ical.h>

#include <algorithm>
#include <optional>

namespace {

// Long enough for an event from the year 1 to the year 9999.
constexpr qint32 maxDurationDays = 3700000;

bool validDate(int year, int month, int day)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    return day <= QDate(year, month, 1).daysInMonth();
}

QByteArray tzidOf(icalproperty *prop)
{
    icalparameter *param = icalproperty_get_first_parameter(prop, ICAL_TZID_PARAMETER);
    const char *tzid = param ? icalparameter_get_tzid(param) : nullptr;
    return tzid ? QByteArray(tzid) : QByteArray();
}

IcsTime makeTime(const icaltimetype &t, const QByteArray &tzid, const ComponentReader::ZoneLookup &zones)
{
    IcsTime out;
    if (!ComponentReader::validTime(t))
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
        out.zone = zones(tzid, out.date, out.time);
        // A name nobody can resolve leaves the wall-clock time, which is what
        // the author saw; treating it as UTC would shift it by hours.
        out.kind = out.zone.isValid() ? IcsTime::Kind::zoned : IcsTime::Kind::floating;
    } else {
        out.kind = IcsTime::Kind::floating;
    }
    return out;
}

IcsTime readTime(icalproperty *prop, const ComponentReader::ZoneLookup &zones)
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

IcsPeriod readPeriod(icalproperty *prop, const ComponentReader::ZoneLookup &zones)
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
 * Our own form of a rule: libical's text of the pattern, and the bounds
 * apart. UNTIL is brought into the wall time of the series, the only frame
 * in which the expander compares. A UTC or zoned UNTIL on a floating or
 * all-day series is taken as the date and time it was written for, the same
 * in every zone, as RFC 5545 compares such values.
 */
std::optional<IcsRule> ourRule(icalrecurrencetype rule, const IcsTime &start)
{
    if (rule.freq == ICAL_NO_RECURRENCE)
        return std::nullopt;
    IcsRule out;
    out.count = std::max(0, rule.count);
    icaltimetype until = rule.until;
    if (!icaltime_is_null_time(until)) {
        if (!ComponentReader::validTime(until))
            return std::nullopt;
        QDate date(until.year, until.month, until.day);
        QTime time = until.is_date ? QTime(0, 0) : QTime(until.hour, until.minute, std::min(until.second, 59));
        if (start.isDate()) {
            time = QTime(0, 0);
        } else if (until.is_date) {
            // Invalid by the RFC; readers take the bare date as its midnight, so the
            // series ends before any instance on that day, and so does Moriva.
        } else if (icaltime_is_utc(until) && start.kind == IcsTime::Kind::zoned) {
            const QDateTime wall = QDateTime(date, time, Qt::UTC).toTimeZone(start.zone);
            if (!wall.isValid())
                return std::nullopt;
            date = wall.date();
            time = wall.time();
        }
        out.untilDate = date;
        out.untilTime = time;
    }
    // A calendar scale stays with the pattern, and the expander walks it in
    // that calendar; the Gregorian one without SKIP is the plain rule.
    if (rule.rscale && qstricmp(rule.rscale, "GREGORIAN") == 0 && rule.skip == ICAL_SKIP_OMIT)
        rule.rscale = nullptr;
    rule.count = 0;
    rule.until = icaltime_null_time();
    if (rule.interval < 1)
        rule.interval = 1;
    char *text = icalrecurrencetype_as_string_r(&rule);
    if (!text)
        return std::nullopt;
    out.pattern = QByteArray(text);
    icalmemory_free_buffer(text);
    return out;
}

/**
 * libical refuses a rule with both COUNT and UNTIL and leaves only a note
 * with the rule's text. Real services export such rules, and every other
 * reader honours both bounds: read the two halves apart and join them.
 */
/** A rule as read, and the scale's name when the rule was parsed here, which we then own. */
struct RuleSource
{
    icalrecurrencetype rule;
    QByteArray scale;
};

std::optional<RuleSource> ruleFromNote(const char *note)
{
    static const char prefix[] = "Can't parse as RECUR value in RRULE property. Removing entire property: ";
    if (!note || qstrncmp(note, prefix, sizeof prefix - 1) != 0)
        return std::nullopt;
    const QList<QByteArray> parts = QByteArray(note + sizeof prefix - 1).trimmed().split(';');
    QByteArray withoutCount, countPart;
    for (const QByteArray &part : parts) {
        if (part.toUpper().startsWith("COUNT="))
            countPart = part;
        else if (!part.isEmpty())
            withoutCount += part + ';';
    }
    // The service hands over what libical parsed, INTERVAL wrapped around;
    // only this note still has the number as written.
    if (countPart.isEmpty() || !withoutCount.toUpper().contains("UNTIL=")
        || IcsTextParser::hasOutsizedInterval(withoutCount))
        return std::nullopt;
    withoutCount.chop(1);
    RuleSource out { icalrecurrencetype_from_string(withoutCount.constData()), {} };
    // libical hands over a copy of the scale's name that the caller frees.
    if (out.rule.rscale) {
        out.scale = QByteArray(out.rule.rscale);
        icalmemory_free_buffer(out.rule.rscale);
        out.rule.rscale = nullptr;
    }
    if (out.rule.freq == ICAL_NO_RECURRENCE)
        return std::nullopt;
    bool ok = false;
    const int count = countPart.mid(6).toInt(&ok);
    if (!ok || count < 1)
        return std::nullopt;
    out.rule.count = count;
    return out;
}

qint64 stampOf(const icalvalue *value)
{
    if (!value || icalvalue_isa(value) != ICAL_DATETIME_VALUE)
        return 0;
    const icaltimetype t = icalvalue_get_datetime(value);
    if (!ComponentReader::validTime(t) || t.is_date)
        return 0;
    return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, std::min(t.second, 59)), Qt::UTC)
        .toSecsSinceEpoch();
}

} // namespace

bool ComponentReader::read(icalcomponent *component, const ZoneLookup &zones, IcsEvent &event)
{
    IcsTime end;
    std::optional<icaldurationtype> duration;
    QList<RuleSource> rules;
    bool haveStart = false;

    for (icalproperty *p = icalcomponent_get_first_property(component, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(component, ICAL_ANY_PROPERTY)) {
        const icalvalue *value = icalproperty_get_value(p);
        if (!value)
            continue;
        // libical drops "SUMMARY:" and leaves only this note; but an empty
        // title differs from none, which would read "Untitled Event".
        if (icalproperty_isa(p) == ICAL_XLICERROR_PROPERTY) {
            const char *note = icalproperty_get_xlicerror(p);
            if (note && qstrncmp(note, "No value for SUMMARY property", 29) == 0 && !event.summary)
                event.summary = QString();
            else if (const auto rule = ruleFromNote(note); rule && rules.size() < 8)
                rules.append(*rule);
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
                event.uid = ComponentReader::cleanText(ComponentReader::valueText(p)).trimmed();
            break;
        case ICAL_SUMMARY_PROPERTY:
            if (!event.summary)
                event.summary = ComponentReader::cleanText(ComponentReader::valueText(p));
            break;
        case ICAL_LOCATION_PROPERTY:
            if (event.location.isEmpty())
                event.location = ComponentReader::cleanText(ComponentReader::valueText(p));
            break;
        case ICAL_DESCRIPTION_PROPERTY:
            if (event.description.isEmpty())
                event.description = ComponentReader::cleanText(ComponentReader::valueText(p));
            break;
        case ICAL_URL_PROPERTY:
            if (event.url.isEmpty()) {
                const QUrl url(ComponentReader::cleanText(ComponentReader::valueText(p)).trimmed(), QUrl::StrictMode);
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
                rules.append({ icalvalue_get_recur(value), {} });
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
        case ICAL_SEQUENCE_PROPERTY:
            if (icalvalue_isa(value) == ICAL_INTEGER_VALUE)
                event.sequence = icalvalue_get_integer(value);
            break;
        case ICAL_DTSTAMP_PROPERTY:
        case ICAL_LASTMODIFIED_PROPERTY:
            event.stampSecs = std::max(event.stampSecs, stampOf(value));
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
    setDuration(event, end, duration);
    for (const RuleSource &source : std::as_const(rules)) {
        icalrecurrencetype rule = source.rule;
        if (!source.scale.isNull())
            rule.rscale = const_cast<char *>(source.scale.constData());
        if (auto ours = ourRule(rule, event.start))
            event.rules.append(std::move(*ours));
    }
    MeetingProperties::read(component, event.meeting);
    return true;
}

bool ComponentReader::validTime(const icaltimetype &t)
{
    if (!validDate(t.year, t.month, t.day))
        return false;
    if (t.is_date)
        return true;
    return t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 && t.second >= 0 && t.second <= 60;
}

QString ComponentReader::cleanText(const char *raw)
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

const char *ComponentReader::valueText(icalproperty *prop)
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
