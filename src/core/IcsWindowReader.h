#pragma once

#include "CalendarSources.h"
#include "EventIndex.h"
#include "EventStore.h"
#include "IcsPrescan.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>

#include <memory>
#include <vector>

/**
 * The files store's answer for a command that asks about one stretch of
 * time and exits: the same calendars, read by the same rules (the engine of
 * EventIndex), so it lists exactly what IcsEventStore lists, but it keeps
 * only what can matter.
 *
 * Every file is read once. A file whose text proves it has nothing near the
 * window asked for (IcsPrescan) is never parsed: only its UIDs and the days
 * its events lie within are kept, and it is parsed after all when one of its
 * UIDs turns up in a parsed file of the same calendar (a newer version of an
 * item, or the series an override belongs to) or when a later question asks
 * about days it may touch. Nothing is watched; nothing is read again unless
 * a question needs it.
 */
class IcsWindowReader : public EventStore
{
    Q_OBJECT
public:
    struct Options
    {
        /** Larger files are skipped, as the store skips them. */
        qint64 maxFileBytes = 32 * 1024 * 1024;
        EventIndex::Limits limits;
        /** Threads that read and parse files; more answer sooner and take a little more memory. */
        int threads = 1;
    };

    explicit IcsWindowReader(const QList<SourceRoot> &roots, QObject *parent = nullptr);
    IcsWindowReader(const QList<SourceRoot> &roots, const Options &options, QObject *parent = nullptr);
    ~IcsWindowReader() override;

    /** Reads the calendars, parsing what may have something in [start, end). */
    void load(const QDateTime &start, const QDateTime &end);

    AuthorizationStatus authorizationStatus() const override;
    void requestFullAccess(AccessCompletion completion) override;
    /** Exact for any window; files that may touch days not asked about before are parsed first. */
    EventList events(const QDateTime &start, const QDateTime &end) override;
    bool hasCalendarSources() const override;

    /** Files parsed so far, out of those read; for tests and benchmarks. */
    int parsedFiles() const { return m_parsedFiles; }
    int readFiles() const { return m_readFiles; }

private:
    struct Calendar;
    /** What reading one file found. */
    struct Outcome
    {
        bool read = false;
        IcsPrescan::Result scan;
        std::shared_ptr<const IcsFileContent> content; ///< when it was parsed
    };

    void cover(qint64 firstDay, qint64 lastDay);
    void take(Calendar &calendar, int file, Outcome &&outcome);
    bool parseFile(Calendar &calendar, int file);
    void adopt(Calendar &calendar, int file, std::shared_ptr<const IcsFileContent> content);
    void parseSharingUids(Calendar &calendar);
    void rebuildIndex();

    const QList<SourceRoot> m_roots;
    const Options m_options;
    std::vector<std::unique_ptr<Calendar>> m_calendars;
    std::unique_ptr<EventIndex> m_index;
    AuthorizationStatus m_status = AuthorizationStatus::notDetermined;
    bool m_loaded = false;
    /** The days whose files have all been parsed, as Julian days. */
    qint64 m_firstDay = 0;
    qint64 m_lastDay = -1;
    int m_parsedFiles = 0;
    int m_readFiles = 0;
};
