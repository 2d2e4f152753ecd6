#pragma once

#include "CalendarDay.h"
#include "WeekStart.h"

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QStringList>

#include <optional>

/**
 * The calendar arithmetic of the month view, as pure functions of their
 * inputs: the model's month and selection, the week start, a locale and the
 * "now" the caller took once for the whole rebuild.
 */
namespace MonthGrid {

/** 42 days (six whole weeks) from the start of the week holding the 1st; empty when the month cannot be formed. */
QList<CalendarDay> calendarDays(const QDateTime &currentMonth, const QDateTime &selectedDate, WeekStart weekStart,
                                const QDateTime &now);

/** Seven one-letter weekday labels in grid column order. */
QStringList dayHeaders(WeekStart weekStart, const QLocale &locale = QLocale());

/** "Today", "in 3 days", "1 day ago"... counted in whole calendar days; not translated. */
std::optional<QString> relativeDateString(const QDateTime &selectedDate, const QDateTime &now);

/** The month title: the full month name in the locale's language. */
QString monthTitle(const QDateTime &currentMonth, const QLocale &locale = QLocale());
/** The year title: always ASCII digits, at least four, never grouped. */
QString yearTitle(const QDateTime &currentMonth);
/** The event-list heading, "Saturday, Dec 5" in English. */
QString eventListDateTitle(const QDateTime &selectedDate, const QLocale &locale = QLocale());
/** The twelve full month names, January first, as the month chooser lists them. */
QStringList monthNames(const QLocale &locale = QLocale());

} // namespace MonthGrid
