#include "EventManager.h"

#include "Clock.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int refetchDelayMs = 100;
constexpr int gridDays = 42;
// Days this far outside the six-week window are still indexed, so an event
// reaching out of the window is listed on its neighbouring days as well; past
// that the index stops, so that an absurdly long span stays cheap.
constexpr int indexMarginDays = 366;

bool sameMonth(const QDateTime &a, const QDateTime &b)
{
    const QDate da = a.toLocalTime().date();
    const QDate db = b.toLocalTime().date();
    return da.year() == db.year() && da.month() == db.month();
}

} // namespace

EventManager::EventManager(EventStore *eventStore, const Clock *clock, QObject *parent)
    : QObject(parent)
    , m_eventStore(eventStore)
    , m_clock(clock)
    , m_selectedDate(clock->now())
    , m_currentMonth(clock->now())
    , m_refetchWorkItem(new QTimer(this))
{
    m_refetchWorkItem->setSingleShot(true);
    m_refetchWorkItem->setInterval(refetchDelayMs);
    connect(m_refetchWorkItem, &QTimer::timeout, this, &EventManager::clearAndRefetch);

    // Whoever creates the manager gets to finish its own set-up (and connect
    // to the signals) before the store is asked anything.
    QMetaObject::invokeMethod(this, &EventManager::checkAndRequestAccess, Qt::QueuedConnection);

    connect(m_eventStore, &EventStore::changed, this, &EventManager::scheduleRefetch);
}

EventManager::~EventManager() = default;

bool EventManager::isRefetchPending() const
{
    return m_refetchWorkItem->isActive();
}

void EventManager::scheduleRefetch()
{
    // start() on an active timer restarts it: the pending refetch is replaced,
    // so a burst of changes costs one query after its last change.
    m_refetchWorkItem->start();
}

void EventManager::clearAndRefetch()
{
    m_index = DayIndex();
    m_fetchedRangeStart.reset();
    m_fetchedRangeEnd.reset();
    fetchEventsForCurrentAndAdjacent();
}

void EventManager::checkAndRequestAccess()
{
    const AuthorizationStatus status = m_eventStore->authorizationStatus();
    setAuthorizationStatus(status);
    if (status == AuthorizationStatus::fullAccess) {
        fetchEventsForCurrentAndAdjacent();
        return;
    }
    if (status != AuthorizationStatus::notDetermined)
        return;

    QPointer<EventManager> self(this);
    m_eventStore->requestFullAccess([self](bool granted, const QString &error) {
        auto settle = [self, granted, error] {
            if (!self)
                return;
            if (!granted || !error.isEmpty()) {
                self->setAuthorizationStatus(AuthorizationStatus::denied);
                return;
            }
            self->setAuthorizationStatus(AuthorizationStatus::fullAccess);
            // A fetch made while the answer was pending recorded this window
            // with nothing in it; trusting that cache would hide every event
            // until the calendars next change.
            self->m_fetchedRangeStart.reset();
            self->m_fetchedRangeEnd.reset();
            self->fetchEventsForCurrentAndAdjacent();
        };
        QCoreApplication *app = QCoreApplication::instance();
        if (!app || QThread::currentThread() == app->thread())
            settle();
        else
            QMetaObject::invokeMethod(app, settle, Qt::QueuedConnection);
    });
}

void EventManager::fetchEventsForCurrentAndAdjacent()
{
    const Range range = currentMonthGridRange();
    if (!range.start || !range.end)
        return;

    if (m_fetchedRangeStart == range.start && m_fetchedRangeEnd == range.end) {
        updateSelectedDayEvents();
        return;
    }

    const EventList events = m_eventStore->events(*range.start, *range.end);
    const QDate firstDay = range.start->toLocalTime().date();
    const QDate lastDay = range.end->toLocalTime().date();
    m_index = DayIndex::build(events, firstDay.addDays(-indexMarginDays), lastDay.addDays(indexMarginDays));
    m_fetchedRangeStart = range.start;
    m_fetchedRangeEnd = range.end;
    updateSelectedDayEvents();
}

EventManager::Range EventManager::currentMonthGridRange() const
{
    const QDate month = m_currentMonth.toLocalTime().date();
    const QDate first(month.year(), month.month(), 1);
    if (!first.isValid())
        return {};
    // Always the Sunday on or before the 1st: a Monday-first grid lies one day
    // later or six days earlier, and the index's margin covers those days.
    const QDate startDay = first.addDays(-(first.dayOfWeek() % 7));
    const QDate endDay = startDay.addDays(gridDays);
    const QDateTime start = startDay.startOfDay();
    const QDateTime end = endDay.startOfDay();
    if (!start.isValid() || !end.isValid())
        return {};
    return { start, end };
}

bool EventManager::hasEvents(const QDateTime &date) const
{
    return m_index.datesWithEvents.contains(date.toLocalTime().date());
}

bool EventManager::isInFetchedWindow(const QDateTime &date) const
{
    return m_fetchedRangeStart && m_fetchedRangeEnd && *m_fetchedRangeStart <= date
        && date < *m_fetchedRangeEnd;
}

EventList EventManager::lookUpSingleDay(QDate day)
{
    const QDateTime start = day.startOfDay();
    const QDateTime end = day.addDays(1).startOfDay();
    if (!start.isValid() || !end.isValid())
        return {};
    return DayIndex::build(m_eventStore->events(start, end), day, day).eventsOn(day);
}

void EventManager::updateSelectedDayEvents()
{
    const QDate day = m_selectedDate.toLocalTime().date();
    // The index only answers for the window it was fetched for; a selection
    // left outside it (the month moved, a chooser was used) asks the store for
    // its own day rather than claiming it has no events.
    if (!m_selectionMoving && !isInFetchedWindow(m_selectedDate)) {
        setSelectedDayEvents(lookUpSingleDay(day));
        return;
    }
    setSelectedDayEvents(m_index.eventsOn(day));
}

void EventManager::selectDate(const QDateTime &date)
{
    if (!date.isValid())
        return;
    if (!sameMonth(date, m_currentMonth)) {
        setCurrentMonth(date);
        // The selection moves into the new window just below; a lookup of the
        // old day on its own would be a query thrown away.
        m_selectionMoving = true;
        fetchEventsForCurrentAndAdjacent();
        m_selectionMoving = false;
    }
    setSelectedDate(date);
    updateSelectedDayEvents();
}

void EventManager::nextMonth()
{
    const QDateTime d = m_currentMonth.addMonths(1);
    if (!d.isValid())
        return;
    setCurrentMonth(d);
    fetchEventsForCurrentAndAdjacent();
}

void EventManager::previousMonth()
{
    const QDateTime d = m_currentMonth.addMonths(-1);
    if (!d.isValid())
        return;
    setCurrentMonth(d);
    fetchEventsForCurrentAndAdjacent();
}

void EventManager::goToToday()
{
    const QDateTime now = m_clock->now();
    setCurrentMonth(now.toLocalTime().date().startOfDay());
    setSelectedDate(now);
    m_fetchedRangeStart.reset();
    m_fetchedRangeEnd.reset();
    fetchEventsForCurrentAndAdjacent();
}

void EventManager::goToMonth(const QDateTime &date)
{
    if (!date.isValid())
        return;
    setCurrentMonth(date);
    fetchEventsForCurrentAndAdjacent();
}

void EventManager::goToYear(int year)
{
    const QDate current = m_currentMonth.toLocalTime().date();
    const QDate firstOfMonth(year, current.month(), 1);
    if (!firstOfMonth.isValid())
        return;
    // 29 February into a common year becomes the 28th, as month arithmetic
    // clamps, so the month shown stays February.
    const QDate target(year, current.month(), std::min(current.day(), firstOfMonth.daysInMonth()));
    const QDateTime d = target.startOfDay();
    if (!d.isValid())
        return;
    setCurrentMonth(d);
    fetchEventsForCurrentAndAdjacent();
}

void EventManager::setSelectedDate(const QDateTime &value)
{
    m_selectedDate = value;
    Q_EMIT selectedDateChanged();
}

void EventManager::setCurrentMonth(const QDateTime &value)
{
    m_currentMonth = value;
    Q_EMIT currentMonthChanged();
}

void EventManager::setAuthorizationStatus(AuthorizationStatus value)
{
    m_authorizationStatus = value;
    Q_EMIT authorizationStatusChanged();
}

void EventManager::setSelectedDayEvents(const EventList &value)
{
    m_selectedDayEvents = value;
    Q_EMIT selectedDayEventsChanged();
}
