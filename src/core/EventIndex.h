#pragma once

#include "CalendarEvent.h"
#include "IcsFileReader.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QTimeZone>

#include <functional>
#include <memory>
#include <vector>

class RecurrenceExpander;

/**
 * The calendar engine's answer to "what happens between these two instants":
 * the events of some calendars, each series expanded with its overrides,
 * exceptions and RANGE=THISANDFUTURE changes. Both stores feed it the events
 * they read and only move data; every rule of the reading lives here and in
 * the parts it uses (ComponentReader, RecurrenceExpander).
 *
 * Records follow the time rule of CalendarEvent. Built on any thread, then
 * used by one thread at a time (expansion is cached as it goes).
 */
class EventIndex
{
public:
    struct Item
    {
        std::shared_ptr<const IcsEvent> event;
        QString uid; ///< never empty: a stand-in where the item had none
    };

    struct Calendar
    {
        std::shared_ptr<const CalendarInfo> info;
        QList<Item> items;
        /** The identifier of an item (empty recurrence id) or one occurrence. */
        std::function<QString(const QString &uid, const QString &recurrenceId)> identifier;
        /** Recurrence ids in the series' own wall time, as a calendar service writes them; else UTC. */
        bool wallTimeRecurrenceIds = false;
    };

    struct Limits
    {
        /** A series shows at most this many occurrences starting on one day: every minute, not every second. */
        int perSeriesPerDay = 1440;
        /** Instances one series with an irregular rule may remember. */
        int instancesPerSeries = 100000;
    };

    EventIndex(const QList<Calendar> &calendars, const Limits &limits);
    ~EventIndex();
    EventIndex(const EventIndex &) = delete;
    EventIndex &operator=(const EventIndex &) = delete;

    /** Works series out up to this instant ahead of time, e.g. on a loader thread. */
    void prepare(qint64 untilMs);

    /** Every event overlapping [start, end), by start, then by item. */
    EventList events(const QDateTime &start, const QDateTime &end);

    /** Which of two versions of one item stands: the higher SEQUENCE, then the later stamp. */
    static bool supersedes(const IcsEvent &candidate, const IcsEvent &current);

private:
    struct Source;
    struct Single;
    struct Extra;
    struct Master;
    void placeSingles();
    void rankUids();
    EventPtr recordOf(const Single &single, const QTimeZone &local) const;

    std::vector<Source> m_sources;
    std::vector<Extra> m_extras;
    std::vector<Single> m_shortEvents; ///< sorted by start
    std::vector<Single> m_longEvents;
    std::vector<Master> m_masters;
    Limits m_limits;
    quint64 m_localGeneration = 0;
};
