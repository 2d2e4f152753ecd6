#include "IcsFileReader.h"

#include "ComponentReader.h"
#include "IcsTextParser.h"
#include "ZoneResolver.h"

#include <QHash>

#include <libical/ical.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

using ComponentReader::cleanText;
using ComponentReader::valueText;

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

    ComponentReader::ZoneLookup lookup()
    {
        return [this](const QByteArray &tzid, QDate date, QTime time) { return zone(tzid, date, time); };
    }

private:
    QHash<QByteArray, icalcomponent *> m_definitions;
    QHash<QByteArray, QTimeZone> m_resolved;
    QHash<QByteArray, ZoneResolver::DefinedZone> m_defined;
};

void readCalendar(icalcomponent *calendar, IcsFileContent &out)
{
    for (icalproperty *p = icalcomponent_get_first_property(calendar, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(calendar, ICAL_ANY_PROPERTY)) {
        const icalproperty_kind kind = icalproperty_isa(p);
        if (kind == ICAL_COLOR_PROPERTY) {
            const CalendarColor color = IcsFileReader::parseColor(cleanText(valueText(p)));
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
    // Kept as long as the file is shown; growth by appending leaves room for a whole event or more.
    out.events.squeeze();
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

CalendarColor IcsFileReader::parseColor(const QString &text)
{
    const QString t = text.trimmed();
    if (t.size() == 9 && t.startsWith(QLatin1Char('#'))) {
        bool ok = false;
        const uint rgba = t.mid(1).toUInt(&ok, 16);
        if (!ok)
            return {};
        return CalendarColor(
            int((rgba >> 24) & 0xff), int((rgba >> 16) & 0xff), int((rgba >> 8) & 0xff), int(rgba & 0xff));
    }
    return CalendarColor::fromString(t);
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
        if (ComponentReader::read(root, zones.lookup(), event))
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
