#pragma once

#include "IcsFileReader.h"

#include <QByteArray>
#include <QString>
#include <QTimeZone>

#include <functional>

typedef struct icalcomponent_impl icalcomponent;
struct icalproperty_impl;
typedef struct icalproperty_impl icalproperty;
struct icaltimetype;

/**
 * Turns one VEVENT, as libical holds it, into our event record. Both stores
 * hand their components here (the files store after parsing a file, the
 * system store as the calendar service delivers them), so every repair of
 * untrusted input lives in this one place: text cleaning, date checks, the
 * empty SUMMARY, UNTIL as a date or in another zone, a rule with both COUNT
 * and UNTIL. Pure and safe on any thread.
 */
namespace ComponentReader {

/** The zone a TZID names for a wall-clock time given in it; invalid when nobody can tell. */
using ZoneLookup = std::function<QTimeZone(const QByteArray &tzid, QDate date, QTime time)>;

/** Fills `out`; false when the component has no usable start. */
bool read(icalcomponent *vevent, const ZoneLookup &zones, IcsEvent &out);

/** Text with the control characters removed that would show as boxes; line breaks and tabs stay. */
QString cleanText(const char *raw);

/**
 * Whether libical may do arithmetic on this value. It accepts "20250-27" as
 * month 0, day -2 and then reads out of bounds, so nothing unchecked reaches it.
 */
bool validTime(const icaltimetype &t);

/** The text of a TEXT, URI or X value; null for other values. */
const char *valueText(icalproperty *prop);

} // namespace ComponentReader
