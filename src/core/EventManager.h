#pragma once

#include "CalendarEvent.h"
#include "DayIndex.h"
#include "EventStore.h"

#include <QDateTime>
#include <QObject>

#include <optional>

class Clock;
class QTimer;

/**
 * The model behind the popover: the displayed month, the selected day, the
 * six-week window of events around the month and the selected day's events.
 * Every assignment to a published property emits its notify signal, equal
 * value or not; views rely on the last assignment of a fetch to redraw.
 */
class EventManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QDateTime selectedDate READ selectedDate NOTIFY selectedDateChanged)
    Q_PROPERTY(QDateTime currentMonth READ currentMonth NOTIFY currentMonthChanged)
    Q_PROPERTY(int authorizationStatus READ authorizationStatusValue NOTIFY authorizationStatusChanged)
    Q_PROPERTY(EventList selectedDayEvents READ selectedDayEvents NOTIFY selectedDayEventsChanged)

public:
    /** Neither argument is owned; both must outlive the manager. */
    EventManager(EventStore *eventStore, const Clock *clock, QObject *parent = nullptr);
    ~EventManager() override;

    QDateTime selectedDate() const { return m_selectedDate; }
    QDateTime currentMonth() const { return m_currentMonth; }
    AuthorizationStatus authorizationStatus() const { return m_authorizationStatus; }
    int authorizationStatusValue() const { return static_cast<int>(m_authorizationStatus); }
    EventList selectedDayEvents() const { return m_selectedDayEvents; }

    /** Whether the store can read any calendar at all (for the first-run hint). */
    bool hasCalendarSources() const { return m_eventStore->hasCalendarSources(); }

    /** Whether the last fetch holds an event on the local day of date. */
    bool hasEvents(const QDateTime &date) const;

    void selectDate(const QDateTime &date);
    void nextMonth();
    void previousMonth();
    void goToToday();
    void goToMonth(const QDateTime &date);
    void goToYear(int year);
    void fetchEventsForCurrentAndAdjacent();

    /** Read-only views of the index and cached range, for the grid and for tests. */
    const QHash<QDate, EventList> &eventsByDay() const { return m_index.eventsByDay; }
    const QSet<QDate> &datesWithEvents() const { return m_index.datesWithEvents; }
    std::optional<QDateTime> fetchedRangeStart() const { return m_fetchedRangeStart; }
    std::optional<QDateTime> fetchedRangeEnd() const { return m_fetchedRangeEnd; }
    /** Whether a debounced refetch is pending. */
    bool isRefetchPending() const;

Q_SIGNALS:
    void selectedDateChanged();
    void currentMonthChanged();
    void authorizationStatusChanged();
    void selectedDayEventsChanged();

private:
    void scheduleRefetch();
    void clearAndRefetch();
    void checkAndRequestAccess();
    struct Range { std::optional<QDateTime> start; std::optional<QDateTime> end; };
    Range currentMonthGridRange() const;
    void updateSelectedDayEvents();
    bool isInFetchedWindow(const QDateTime &date) const;
    EventList lookUpSingleDay(QDate day);

    void setSelectedDate(const QDateTime &value);
    void setCurrentMonth(const QDateTime &value);
    void setAuthorizationStatus(AuthorizationStatus value);
    void setSelectedDayEvents(const EventList &value);

    EventStore *const m_eventStore;
    const Clock *const m_clock;
    QDateTime m_selectedDate;
    QDateTime m_currentMonth;
    AuthorizationStatus m_authorizationStatus = AuthorizationStatus::notDetermined;
    EventList m_selectedDayEvents;
    DayIndex m_index;
    std::optional<QDateTime> m_fetchedRangeStart;
    std::optional<QDateTime> m_fetchedRangeEnd;
    QTimer *m_refetchWorkItem = nullptr;
    /// Set while selectDate refetches for a selection that is about to move into the new window.
    bool m_selectionMoving = false;
};
