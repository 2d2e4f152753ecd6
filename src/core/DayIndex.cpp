#include "DayIndex.h"

#include "LocalZone.h"

#include <algorithm>

namespace {

DayIndex buildIndex(const EventList &events, QDate windowFirst, QDate windowLast)
{
    DayIndex index;
    QSet<QString> seen;
    LocalZone::refresh();
    const QTimeZone local = LocalZone::zone();
    for (const EventPtr &event : events) {
        if (!event)
            continue;
        if (seen.contains(event->identifier))
            continue;
        seen.insert(event->identifier);

        if (!event->start.isValid() || !event->end.isValid() || event->end < event->start)
            continue;

        // The end is exclusive: the last day is the day of the last instant
        // before it, so an event ending at a midnight stays off the day that
        // midnight begins. A zero-length event still belongs to its start day.
        const QDate firstDay = LocalZone::toLocal(event->start, local).date();
        const QDate lastDay = event->end == event->start
            ? firstDay
            : LocalZone::toLocal(event->end.addMSecs(-1), local).date();

        QDate day = windowFirst.isValid() ? std::max(firstDay, windowFirst) : firstDay;
        const QDate stop = windowLast.isValid() ? std::min(lastDay, windowLast) : lastDay;
        for (; day.isValid() && day <= stop; day = day.addDays(1)) {
            index.eventsByDay[day].append(event);
            index.datesWithEvents.insert(day);
        }
    }

    for (EventList &list : index.eventsByDay) {
        std::stable_sort(list.begin(), list.end(),
            [](const EventPtr &a, const EventPtr &b) { return a->start < b->start; });
    }
    return index;
}

} // namespace

DayIndex DayIndex::build(const EventList &events)
{
    return buildIndex(events, QDate(), QDate());
}

DayIndex DayIndex::build(const EventList &events, QDate firstDay, QDate lastDay)
{
    return buildIndex(events, firstDay, lastDay);
}
