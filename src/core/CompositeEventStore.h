#pragma once

#include "EventStore.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>

class SystemEventStore;

/**
 * Several stores shown as one: the system store and the calendar files side
 * by side. Its status is the best of its parts, so one reachable part is
 * enough; a part that answers later announces itself through changed().
 *
 * A calendar can reach Moriva twice, once through the system store and once
 * as the file that store keeps it in. The hidden-paths provider names such
 * files; calendars of any part whose id is one of them (or the folder that
 * holds one) are left out.
 */
class CompositeEventStore : public EventStore
{
    Q_OBJECT
public:
    explicit CompositeEventStore(QObject *parent = nullptr);

    /**
     * Adds a part; its events follow those of earlier parts. The composite
     * takes it over as a child unless told the caller keeps it (a store on
     * the caller's stack), which must then outlive the composite.
     */
    void addStore(EventStore *store, bool takeOwnership = true);
    QList<EventStore *> stores() const { return m_stores; }
    /** Asked again whenever a part changes; the paths need not exist or be canonical. */
    void setHiddenPathsProvider(std::function<QStringList()> provider);

    AuthorizationStatus authorizationStatus() const override;
    void requestFullAccess(AccessCompletion completion) override;
    EventList events(const QDateTime &start, const QDateTime &end) override;
    /** True while a part is still looking, or once one part can read a calendar. */
    bool hasCalendarSources() const override;

    /**
     * What the app shows: the desktop's calendars (when the service's store
     * is given), then the calendar files, without the files the service
     * already shows. Returns at once; the service's calendars arrive
     * through changed().
     */
    static std::unique_ptr<CompositeEventStore> withSystemStore(
        std::unique_ptr<SystemEventStore> system, std::unique_ptr<EventStore> files);

    /** Which of two statuses lets Moriva show more; exposed for the agenda and tests. */
    static AuthorizationStatus better(AuthorizationStatus a, AuthorizationStatus b);

private:
    bool isHidden(const CalendarInfo *calendar);
    void partChanged();

    QList<EventStore *> m_stores;
    std::function<QStringList()> m_hiddenPathsProvider;
    bool m_hiddenStale = true;
    QSet<QString> m_hiddenPaths;
    QHash<QString, bool> m_hiddenById;
};
