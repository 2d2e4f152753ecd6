#pragma once

#include "EventStore.h"

#include <QList>
#include <QPair>
#include <QStringList>

/**
 * A store with a fixed list of events that records every query. Access is
 * granted or refused as the test says, at once or when the test answers.
 */
class FakeEventStore : public EventStore
{
public:
    AuthorizationStatus status = AuthorizationStatus::fullAccess;
    bool grantOnRequest = true;
    bool answerRequestLater = false;
    AccessCompletion pendingCompletion;
    EventList all;
    QList<QPair<QDateTime, QDateTime>> queries;

    bool hasSources = true;

    AuthorizationStatus authorizationStatus() const override { return status; }
    bool hasCalendarSources() const override { return hasSources; }

    void requestFullAccess(AccessCompletion completion) override
    {
        if (answerRequestLater) {
            pendingCompletion = std::move(completion);
            return;
        }
        completion(grantOnRequest, QString());
    }

    void answerRequest(bool granted, const QString &error = QString())
    {
        auto completion = std::move(pendingCompletion);
        pendingCompletion = nullptr;
        if (granted)
            status = AuthorizationStatus::fullAccess;
        if (completion)
            completion(granted, error);
    }

    EventList events(const QDateTime &start, const QDateTime &end) override
    {
        queries.append({start, end});
        if (status != AuthorizationStatus::fullAccess)
            return {};
        EventList out;
        for (const auto &e : all) {
            const bool overlaps = e->start < end && (e->end > start || (e->end == e->start && e->start >= start));
            if (overlaps)
                out.append(e);
        }
        return out;
    }

    void emitChanged() { Q_EMIT changed(); }

    static EventPtr make(const QString &id, const QDateTime &start, const QDateTime &end,
                         std::optional<QString> title = QString(), bool allDay = false)
    {
        auto e = std::make_shared<CalendarEvent>();
        e->identifier = id;
        e->start = start;
        e->end = end;
        e->allDay = allDay;
        e->title = title;
        return e;
    }

    // Local wall time ("2026-12-05T22:00") or UTC ("...Z"): parse only once the zone is pinned.
    static QDateTime when(const QString &iso) { return QDateTime::fromString(iso, Qt::ISODate); }

    /** An event titled after its identifier, its times as when() reads them. */
    static EventPtr record(const QString &id, const QString &start, const QString &end)
    {
        return make(id, when(start), when(end), id);
    }

    static QStringList ids(const EventList &events)
    {
        QStringList out;
        for (const auto &e : events)
            out << e->identifier;
        return out;
    }
};
