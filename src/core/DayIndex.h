#pragma once

#include "CalendarEvent.h"

#include <QDate>
#include <QHash>
#include <QSet>

/**
 * Events bucketed by local calendar day. An event is listed on every day from
 * the day of its start to the day of its last instant (the end is exclusive,
 * so an event ending at midnight is not listed on the day that begins then);
 * an event of zero length is listed on its start day, and one that ends before
 * it starts on none. Only the first record of each identifier counts; each
 * day's list is stably sorted by start, so ties keep the store's order.
 */
struct DayIndex
{
    QHash<QDate, EventList> eventsByDay;
    QSet<QDate> datesWithEvents;

    static DayIndex build(const EventList &events);
    /**
     * The same index, listing only the days from firstDay to lastDay
     * (inclusive; an invalid bound leaves that side open). Spans come from
     * other people's invitations, and one that runs for millennia would
     * otherwise cost a list entry per day; identifiers are still counted for
     * events that fall wholly outside.
     */
    static DayIndex build(const EventList &events, QDate firstDay, QDate lastDay);
    EventList eventsOn(QDate day) const { return eventsByDay.value(day); }
};
