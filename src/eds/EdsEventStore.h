#pragma once

#include "EventStore.h"

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
class EdsEventStore : public EventStore
{
    Q_OBJECT
public:
    explicit EdsEventStore(QObject *parent = nullptr);
    ~EdsEventStore() override;

    AuthorizationStatus authorizationStatus() const override;
    void requestFullAccess(AccessCompletion completion) override;
    EventList events(const QDateTime &start, const QDateTime &end) override;

    /** The registry answered and every calendar delivered its first contents (or failed to). */
    bool isLoaded() const;
    /** The calendars currently mirrored, in the order their events are listed. */
    QList<std::shared_ptr<const CalendarInfo>> calendars() const;
    /**
     * Files that hold the enabled local calendars. When the service runs it
     * owns them, so a files store reading the same file would show it twice.
     */
    QStringList localCalendarFiles() const;
    /** How long a burst of changes is gathered into one changed(); 50 ms unless set. */
    void setChangeCoalescingMs(int ms);

    /**
     * Whether a session bus can be reached without starting one. Without this
     * check GLib would autolaunch a private bus that outlives the program.
     */
    static bool sessionBusAvailable();

Q_SIGNALS:
    /** Emitted once, when isLoaded() first becomes true. */
    void loaded();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
