#pragma once

#include <QDateTime>

/** One position of the six-week grid. */
struct CalendarDay
{
    QDateTime date; ///< the first instant of the day, local time
    bool isCurrentMonth = false;
    bool isToday = false;
    bool isSelected = false;
};
