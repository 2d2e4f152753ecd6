#include "MeetingSchedule.h"

#include "EventRowRules.h"

#include <QCoreApplication>
#include <QLocale>

#include <cstdlib>

namespace {

bool startsLaterToday(const QDateTime &now, const CalendarEvent &e)
{
    return !e.allDay && e.start > now && e.start.toLocalTime().date() == now.date();
}

} // namespace

namespace MeetingSchedule {

EventPtr nextEventToday(const QDateTime &now, const EventList &events)
{
    EventPtr best;
    for (const EventPtr &e : events) {
        if (e && startsLaterToday(now, *e) && (!best || e->start < best->start))
            best = e;
    }
    return best;
}

QString startsInText(const QDateTime &now, const CalendarEvent &event)
{
    const qint64 minutes = qMax<qint64>(1, (now.secsTo(event.start) + 59) / 60);
    // One line in the tooltip, whatever line breaks the invitation put in its title.
    const QString title = EventRowRules::titleText(event).simplified();
    if (minutes < 60)
        return QCoreApplication::translate("MeetingSchedule", "%1 in %n min", nullptr, int(minutes))
            .arg(title);
    const int hours = int(minutes / 60);
    const int rest = int(minutes % 60);
    if (rest == 0)
        return QCoreApplication::translate("MeetingSchedule", "%1 in %n h", nullptr, hours).arg(title);
    return QCoreApplication::translate("MeetingSchedule", "%1 in %2 h %3 min")
        .arg(title, QString::number(hours), QString::number(rest));
}

QString tooltipText(const QDateTime &now, const EventList &events)
{
    QString text = QLocale().toString(now.date(), QLocale::LongFormat);
    if (const EventPtr next = nextEventToday(now, events))
        text += QLatin1Char('\n') + startsInText(now, *next);
    return text;
}

std::optional<Join> joinTarget(const QDateTime &now, const EventList &events)
{
    std::optional<Join> best;
    qint64 bestDistance = 0;
    for (const EventPtr &e : events) {
        if (!e || e->allDay)
            continue;
        const qint64 untilStart = now.secsTo(e->start);
        const bool inProgress = untilStart <= 0 && e->end > now;
        const bool startingSoon = untilStart > 0 && untilStart <= joinWindowSecs;
        if (!inProgress && !startingSoon)
            continue;
        const qint64 distance = std::llabs(untilStart);
        if (best && distance >= bestDistance)
            continue;
        MeetingLink link = MeetingLink::find(*e);
        if (link.kind != MeetingLink::Kind::meeting)
            continue;
        best = Join { e, std::move(link) };
        bestDistance = distance;
    }
    return best;
}

QString reminderKey(const CalendarEvent &event)
{
    return event.identifier + QLatin1Char('@') + QString::number(event.start.toSecsSinceEpoch());
}

std::optional<Reminder> nextReminder(const QDateTime &now, const EventList &events, const QSet<QString> &sent)
{
    std::optional<Reminder> best;
    for (const EventPtr &e : events) {
        if (!e || e->allDay || e->start <= now || (best && e->start >= best->event->start))
            continue;
        if (sent.contains(reminderKey(*e)))
            continue;
        MeetingLink link = MeetingLink::find(*e);
        if (link.kind != MeetingLink::Kind::meeting)
            continue;
        best = Reminder { e, std::move(link), e->start.addSecs(-reminderLeadSecs) };
    }
    return best;
}

} // namespace MeetingSchedule
