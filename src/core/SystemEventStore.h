#pragma once

#include "EventStore.h"

#include <QStringList>

/**
 * A store that reads the desktop's calendar service. It lives in a module
 * loaded at run time (SystemStoreModule), so this interface is all that
 * the app and the agenda see of it.
 */
class SystemEventStore : public EventStore
{
    Q_OBJECT
public:
    using EventStore::EventStore;

    /** The service answered and every calendar delivered its first contents (or failed to). */
    virtual bool isLoaded() const = 0;
    /**
     * Files that hold the service's local calendars. When the service runs it
     * owns them, so a files store reading the same file would show it twice.
     */
    virtual QStringList localCalendarFiles() const = 0;

Q_SIGNALS:
    /** Emitted once, when isLoaded() first becomes true. */
    void loaded();
};
