#pragma once

#include "CalendarSources.h"
#include "Clock.h"
#include "EventStore.h"

#include <QHash>
#include <QList>
#include <QStringList>
#include <QMutex>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

class EventIndex;
class FolderWatcher;
class QFileSystemWatcher;

/**
 * The event store over iCalendar files: vdir collections (one item per .ics
 * file, with optional displayname and color files) and single .ics files.
 * It only ever reads them.
 *
 * Files are parsed once, on worker threads, into compact events; queries are
 * answered on the GUI thread from memory. Until the first load completes it
 * answers nothing, then emits changed(). Watched folders and files are
 * rescanned after a burst of changes settles, re-parsing only files whose
 * size, mtime or inode moved, and one changed() follows if anything did.
 */
class IcsEventStore : public EventStore
{
    Q_OBJECT
public:
    struct Options
    {
        /** Larger files are skipped; a calendar that size is a mistake or an attack. */
        qint64 maxFileBytes = 32 * 1024 * 1024;
        /** Bounds FREQ=SECONDLY and friends: no series shows more on one day. */
        int maxOccurrencesPerSeriesPerDay = 1440;
        /** Instances one series with an irregular rule may remember; later ones are dropped. */
        int maxInstancesPerEvent = 100000;
        /** Quiet time after the last file change before the rescan. */
        int settleMs = 250;
        bool watch = true;
        /** Start the first load at once, on a worker thread. */
        bool loadInBackground = true;
        /**
         * Series are resolved this far past now while loading, off the GUI
         * thread; 0: only on demand. The months around today, not a year:
         * what is resolved stays in memory.
         */
        int prepareDays = 100;
        /** Where "now" comes from; the system clock when null. Must be safe to call from any thread. */
        const Clock *clock = nullptr;
        /**
         * Runs on the loading thread once a background load has its result and
         * before the store may receive it; tests hold a load there to decide
         * what happens meanwhile.
         */
        std::function<void()> beforeHandOver = {};
    };

    /** Reads the given roots; an empty list means discovery, repeated on every rescan. */
    explicit IcsEventStore(const QList<SourceRoot> &roots, QObject *parent = nullptr);
    IcsEventStore(const QList<SourceRoot> &roots, const Options &options, QObject *parent = nullptr);
    ~IcsEventStore() override;

    AuthorizationStatus authorizationStatus() const override;
    void requestFullAccess(AccessCompletion completion) override;
    EventList events(const QDateTime &start, const QDateTime &end) override;
    bool hasCalendarSources() const override;

    /** Loads on the calling thread, for a command that has nothing else to do meanwhile. */
    void loadNow();
    /**
     * Starts a load on a worker thread (or marks one due when a load runs),
     * for a store made without loadInBackground that is to load later.
     */
    void startLoad();
    bool isLoaded() const { return m_loaded; }
    QList<std::shared_ptr<const CalendarInfo>> calendars() const;
    /** Folders and files currently watched; for diagnostics and tests. */
    QStringList watchedPaths() const;

    struct Snapshot;

private:
    void scheduleRescan();
    /** What a load in the background shares with its store, which may be gone before it ends. */
    struct LoaderLink
    {
        std::atomic_bool cancelled { false };
        QMutex mutex;
        QObject *store = nullptr; ///< null once the store is destroyed
        QList<SourceRoot> roots;
        bool discover = false;
        Options options;
    };

    void apply(std::shared_ptr<Snapshot> snapshot);
    qint64 horizon() const;
    static void releaseFreedMemory();
    static std::shared_ptr<Snapshot> load(
        const std::shared_ptr<const Snapshot> &previous, qint64 prepareUntilMs, const LoaderLink &link);

    const QList<SourceRoot> m_roots;
    const bool m_discover;
    const Options m_options;

    std::shared_ptr<const Snapshot> m_snapshot;
    std::shared_ptr<EventIndex> m_index;
    AuthorizationStatus m_status = AuthorizationStatus::notDetermined;
    bool m_loaded = false;
    bool m_loading = false;
    bool m_reloadPending = false;
    QList<AccessCompletion> m_pendingAccess;

    FolderWatcher *m_folderWatcher = nullptr;
    QFileSystemWatcher *m_watcher = nullptr;
    QTimer m_settle;
    std::shared_ptr<LoaderLink> m_link;
};
