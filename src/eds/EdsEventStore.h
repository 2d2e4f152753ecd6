#pragma once

#include "SystemEventStore.h"

#include <QStringList>

#include <memory>

/**
 * The calendars of Evolution Data Server: every enabled and selected calendar
 * source of the desktop's source registry (online accounts, CalDAV, local),
 * with the name and colour the user gave it there.
 *
 * Everything is asynchronous: the registry and the calendar clients are
 * created with callbacks that run in Qt's (GLib) event loop, and each
 * calendar's objects are mirrored in memory through a live client view. A
 * query expands only from that mirror, so the GUI thread never waits on the
 * bus. Until the registry has answered the status is notDetermined; when it
 * cannot be reached at all the status becomes denied and the store stays
 * empty.
 *
 * Each occurrence is its own event; its identifier carries the source uid,
 * the component uid and the recurrence id, which are also set on the event
 * so that a calendar application can be asked to show it.
 */
class EdsEventStore : public SystemEventStore
{
    Q_OBJECT
public:
    explicit EdsEventStore(QObject *parent = nullptr);
    ~EdsEventStore() override;

    AuthorizationStatus authorizationStatus() const override;
    void requestFullAccess(AccessCompletion completion) override;
    EventList events(const QDateTime &start, const QDateTime &end) override;

    bool isLoaded() const override;
    /** The calendars currently mirrored, in the order their events are listed. */
    QList<std::shared_ptr<const CalendarInfo>> calendars() const;
    QStringList localCalendarFiles() const override;
    /** How long a burst of changes is gathered into one changed(); 50 ms unless set. */
    void setChangeCoalescingMs(int ms);

    /** Whether a session bus can be reached without starting one (SystemStoreModule). */
    static bool sessionBusAvailable();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
