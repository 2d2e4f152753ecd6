#include "MonthGrid.h"

#include <QCoreApplication>

namespace MonthGrid {

namespace {

    constexpr int gridLength = 42;

    // The titles follow the user's own zone whatever zone the caller's instant was made in.
    QDate localDay(const QDateTime &instant)
    {
        return instant.isValid() ? instant.toLocalTime().date() : QDate();
    }

    // Qt's C locale carries the digits 1-7 as its narrowest day names; with LANG=C the
    // header row would read "7 1 2 3 4 5 6". The rest of that locale is English already.
    QLocale weekdayLetterLocale(const QLocale &locale)
    {
        return locale.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates) : locale;
    }

} // namespace

QList<CalendarDay> calendarDays(
    const QDateTime &currentMonth, const QDateTime &selectedDate, WeekStart weekStart, const QDateTime &now)
{
    const QDate shown = localDay(currentMonth);
    const QDate first = shown.isValid() ? QDate(shown.year(), shown.month(), 1) : QDate();
    if (!first.isValid() || !first.startOfDay().isValid())
        return {};

    // QDate numbers Monday 1 … Sunday 7; the grid's columns do not depend on the locale.
    const int isoWeekday = first.dayOfWeek();
    const int offset = weekStart == WeekStart::monday ? isoWeekday - 1 : isoWeekday % 7;
    const QDate gridStart = first.addDays(-offset);
    if (!gridStart.isValid())
        return {};

    const QDate today = localDay(now);
    const QDate selected = localDay(selectedDate);

    QList<CalendarDay> days;
    days.reserve(gridLength);
    for (int i = 0; i < gridLength; ++i) {
        const QDate day = gridStart.addDays(i);
        // startOfDay() rather than midnight: where the clocks jump over 00:00 the day begins later.
        const QDateTime start = day.isValid() ? day.startOfDay() : QDateTime();
        if (!start.isValid())
            continue;
        CalendarDay cell;
        cell.date = start;
        cell.isCurrentMonth = day.year() == first.year() && day.month() == first.month();
        cell.isToday = today.isValid() && day == today;
        cell.isSelected = selected.isValid() && day == selected;
        days.append(cell);
    }
    return days;
}

QStringList dayHeaders(WeekStart weekStart, const QLocale &locale)
{
    const QLocale letters = weekdayLetterLocale(locale);
    QStringList headers;
    headers.reserve(7);
    headers.append(letters.dayName(7, QLocale::NarrowFormat));
    for (int isoDay = 1; isoDay <= 6; ++isoDay)
        headers.append(letters.dayName(isoDay, QLocale::NarrowFormat));
    if (weekStart == WeekStart::monday)
        headers.move(0, headers.size() - 1);
    return headers;
}

std::optional<QString> relativeDateString(const QDateTime &selectedDate, const QDateTime &now)
{
    const QDate today = localDay(now);
    const QDate selected = localDay(selectedDate);
    if (!today.isValid() || !selected.isValid())
        return std::nullopt;

    const qint64 n = today.daysTo(selected);
    // These phrases are written as they stand in every language: the design
    // keeps them out of translation, unlike the rest of the popover.
    if (n == 0)
        return QStringLiteral("Today");
    if (n == 1)
        return QStringLiteral("in 1 day");
    if (n == -1)
        return QStringLiteral("1 day ago");
    if (n > 0)
        return QStringLiteral("in %1 days").arg(n);
    return QStringLiteral("%1 days ago").arg(-n);
}

QString monthTitle(const QDateTime &currentMonth, const QLocale &locale)
{
    // "MMMM" is the month name as used inside a date (e.g. Russian "декабря"),
    // not the stand-alone form; the chooser's names are the same forms.
    return locale.toString(localDay(currentMonth), QStringLiteral("MMMM"));
}

QString yearTitle(const QDateTime &currentMonth)
{
    return QLocale::c().toString(localDay(currentMonth), QStringLiteral("yyyy"));
}

QString eventListDateTitle(const QDateTime &selectedDate, const QLocale &locale)
{
    return locale.toString(localDay(selectedDate), QStringLiteral("dddd, MMM d"));
}

QStringList monthNames(const QLocale &locale)
{
    QStringList names;
    names.reserve(12);
    for (int month = 1; month <= 12; ++month)
        names.append(locale.monthName(month, QLocale::LongFormat));
    return names;
}

} // namespace MonthGrid
