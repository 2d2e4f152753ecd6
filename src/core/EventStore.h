#pragma once

#include "CalendarEvent.h"

#include <QObject>

#include <functional>

/** How far the store lets Moriva read; the raw values are the ones persisted and compared. */
enum class AuthorizationStatus : int {
    notDetermined = 0,
    restricted = 1,
    denied = 2,
    fullAccess = 3,
    writeOnly = 4,
};

/**
 * Read-only access to the user's calendars. Everything is called on the GUI
 * thread; a query answers synchronously from what the store already holds and
 * never waits on disk or the bus.
 */
class EventStore : public QObject
{
    Q_OBJECT
public:
    using AccessCompletion = std::function<void(bool granted, const QString &error)>;

    using QObject::QObject;
    ~EventStore() override = default;

    virtual AuthorizationStatus authorizationStatus() const = 0;
    /** Asks once for full access; the completion may run later, on the GUI thread. */
    virtual void requestFullAccess(AccessCompletion completion) = 0;
    /** Every occurrence overlapping [start, end), each its own record, in the store's order. */
    virtual EventList events(const QDateTime &start, const QDateTime &end) = 0;
    /**
     * Whether at least one calendar can be read. A store that cannot tell, or
     * has not finished looking, answers true, so no one is told to add
     * calendars they already have.
     */
    virtual bool hasCalendarSources() const { return true; }

Q_SIGNALS:
    /** The calendars changed; callers refetch what they show. */
    void changed();
};
