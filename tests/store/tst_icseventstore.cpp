#include "IcsEventStore.h"
#include "ZonePin.h"

#include <QDirIterator>
#include <QSaveFile>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTest>

#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString data = QStringLiteral(MORIVA_TEST_DATA);
const QDateTime windowStart(QDate(2025, 2, 23), QTime(0, 0));
const QDateTime windowEnd(QDate(2025, 4, 6), QTime(0, 0));
const IcsEventStore::Options quiet { .watch = false, .loadInBackground = false };

std::unique_ptr<IcsEventStore> loaded(const QStringList &paths, const IcsEventStore::Options &options = quiet)
{
    auto store = std::make_unique<IcsEventStore>(CalendarSources::fromPaths(paths), options);
    store->loadNow();
    return store;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile f(path); // atomic replace, as sync tools write
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    QVERIFY(f.commit());
}

QByteArray item(const QByteArray &uid, const QByteArray &start, const QByteArray &more = "DURATION:PT1H")
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:t\r\nBEGIN:VEVENT\r\nUID:" + uid + "\r\nDTSTART:" + start
        + "\r\n" + more + "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
}

// The copies get an old mtime, so that any later write would show.
void copyFiles(const QString &from, const QString &to)
{
    QVERIFY(QDir().mkpath(to));
    for (const QString &name : QDir(from).entryList(QDir::Files)) {
        QFile f(to + '/' + name);
        QVERIFY(QFile::copy(from + '/' + name, f.fileName()) && f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDate(2020, 1, 1).startOfDay(), QFileDevice::FileModificationTime));
    }
}

// Contents and mtime of every file below root.
QHash<QString, QByteArray> snapshotTree(const QString &root)
{
    QHash<QString, QByteArray> out;
    for (QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        QFile f(it.next());
        out[f.fileName()] = f.fileTime(QFileDevice::FileModificationTime).toString().toUtf8()
            + (f.open(QIODevice::ReadOnly) ? f.readAll() : "unreadable");
    }
    return out;
}

// A background load held at its hand-over while the test acts meanwhile.
struct HeldLoad
{
    QSemaphore reached, release;
    IcsEventStore::Options options()
    {
        return { .watch = false, .beforeHandOver = [this] {
                    reached.release();
                    release.acquire();
                } };
    }
    bool waitUntilHeld() { return reached.tryAcquire(1, 30000); }
    // Lets the load go and delivers whatever it queued for its store.
    void finish()
    {
        release.release();
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::sendPostedEvents();
    }
};

} // namespace

class TestIcsEventStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(pinLocalZone("Europe/Berlin")); }

    void occurrenceFields()
    {
        auto store = loaded({ data + "/cases/trap-overrides.ics", data + "/vdir-work" });
        QHash<QString, EventPtr> byTitle;
        QSet<QString> identifiers;
        const EventList events = store->events(windowStart, windowEnd);
        for (const EventPtr &e : events) {
            identifiers.insert(e->identifier);
            byTitle.insert(e->title.value_or(QString()), e);
        }
        QCOMPARE(identifiers.size(), events.size());
        // The same query again names every occurrence the same way, so a selection survives a refresh.
        for (const EventPtr &e : store->events(windowStart, windowEnd))
            QVERIFY(identifiers.contains(e->identifier));

        // The slot a moved occurrence replaced, which opening it in the desktop calendar names.
        const EventPtr later = byTitle.value("Team meeting (later this week)");
        QVERIFY(later);
        QCOMPARE(later->recurrenceId, QStringLiteral("20250326T130000Z"));
        // Timed events are UTC instants; the views tell them in the user's zone.
        QCOMPARE(later->start.timeSpec(), Qt::UTC);
    }

    // The work is bounded, not what a window shows: every day of the window
    // lists the series, up to the per-day cap, however long ago it began.
    void floodsAreBounded()
    {
        auto store = loaded({ data + "/traps-bounded.ics" },
            { .maxOccurrencesPerSeriesPerDay = 30, .watch = false, .loadInBackground = false });
        for (const int years : { 0, 1 }) {
            QMap<QString, int> perUid;
            for (const EventPtr &e : store->events(windowStart.addYears(years), windowEnd.addYears(years)))
                ++perUid[e->componentUid];
            QCOMPARE(perUid.value("secondly"), (years ? 42 : 36) * 30);
            QCOMPARE(perUid.value("minutely"), 42 * 30);
            // One hour fewer across the spring change.
            QCOMPARE(perUid.value("hourly-since-2019"), windowStart.secsTo(windowEnd) / 3600);
            QCOMPARE(perUid.value("count-billions"), years ? 42 : 36);
            QCOMPARE(perUid.value("plain-neighbour"), 1 - years);
            QCOMPARE(perUid.value("until-before-start"), 1 - years); // its DTSTART still stands
        }
    }

    // Two versions of one item in one collection: the newer stands, whichever file is read first.
    void newerVersionInACollectionWins()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("a.ics"), item("board", "20250303T130000Z", "SEQUENCE:1\r\nSUMMARY:Old\r\nRRULE:FREQ=WEEKLY;COUNT=3"));
        writeFile(dir.filePath("b.ics"), item("board", "20250303T130000Z", "SEQUENCE:2\r\nSUMMARY:New\r\nRRULE:FREQ=WEEKLY;COUNT=3\r\nEXDATE:20250310T130000Z"));
        QStringList titles;
        for (const EventPtr &e : loaded({ dir.path() })->events(windowStart, windowEnd))
            titles << *e->title;
        QCOMPARE(titles, QStringList({ "New", "New" }));
    }

    // Floating and all-day times are wall times: after the user's zone
    // changes at run time they still read 09:00 and that date, without a reload.
    void zoneChangeAtRunTime()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("wall.ics"),
            item("floating", "20250305T090000", "DURATION:PT1H\r\nRRULE:FREQ=DAILY;COUNT=3")
                + item("allday", "20250305", "DTEND;VALUE=DATE:20250306").replace("DTSTART:20250305", "DTSTART;VALUE=DATE:20250305"));
        auto store = loaded({ dir.filePath("wall.ics") });
        for (const QByteArray zone : { "Europe/Berlin", "America/New_York", "Asia/Tokyo", "Europe/Berlin" }) {
            qputenv("TZ", zone);
            tzset();
            const QDate day(2025, 3, 5);
            const EventList events = store->events(day.startOfDay(), day.addDays(1).startOfDay());
            QCOMPARE(events.size(), 2);
            for (const EventPtr &e : events) {
                const QDateTime local = e->start.toLocalTime();
                QCOMPARE(local.date(), day);
                QCOMPARE(local.time(), e->allDay ? QTime(0, 0) : QTime(9, 0));
            }
        }
    }

    void brokenFolderLoadsTheRest()
    {
        QTemporaryDir dir;
        const QString cal = dir.filePath("cal");
        copyFiles(data + "/vdir-broken", cal);
        copyFiles(data + "/crashers", cal);
        // A symlink loop, a dangling link, a FIFO and a sparse 100 MB file beside good items.
        QVERIFY(QFile::link(cal + "/loop.ics", cal + "/loop.ics"));
        QVERIFY(QFile::link(cal + "/gone", cal + "/dangling.ics"));
        QCOMPARE(::mkfifo(QFile::encodeName(cal + "/pipe.ics").constData(), 0600), 0);
        QFile big(cal + "/huge.ics");
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(100LL * 1024 * 1024));
        big.close();
        QVERIFY(QDir().mkpath(cal + "/nested"));
        QVERIFY(QFile::link(cal, cal + "/nested/up"));

        QStringList titles;
        for (const EventPtr &e : loaded({ cal })->events(windowStart, windowEnd))
            titles.append(e->title.value_or(QString()));
        titles.sort();
        titles.removeDuplicates(); // "" is the all-day crasher that still has a good DTSTART
        QCOMPARE(titles,
            (QStringList { "", "First of two UIDs in one file", "Good event after an impossible one",
                "No UID at all", "Same UID in two files", "Second of two UIDs in one file" }));
    }

    void authorization_data()
    {
        QTest::addColumn<QStringList>("paths"); // "locked": a folder without read permission; "empty": an empty one
        QTest::addColumn<AuthorizationStatus>("status");
        QTest::addColumn<bool>("sources"); // what the first-run hint asks
        // clang-format off
        QTest::newRow("one missing, one readable") << QStringList { "/nonexistent/cal", data + "/vdir-work" } << AuthorizationStatus::fullAccess << true;
        QTest::newRow("every configured source missing") << QStringList { "/nonexistent/a", "/nonexistent/b.ics" } << AuthorizationStatus::denied << false;
        QTest::newRow("a single file that is not a calendar at all") << QStringList { data + "/vdir-broken/notes.txt" } << AuthorizationStatus::fullAccess << true;
        QTest::newRow("an unreadable folder") << QStringList { "locked" } << AuthorizationStatus::denied << false;
        // Nothing found is not a refusal: the app must keep asking, or a later drop-in is never read.
        QTest::newRow("an empty folder") << QStringList { "empty" } << AuthorizationStatus::fullAccess << false;
        // clang-format on
    }

    void authorization()
    {
        QFETCH(QStringList, paths);
        QFETCH(AuthorizationStatus, status);
        QFETCH(bool, sources);
        QTemporaryDir dir;
        if (paths == QStringList { "locked" }) {
            if (::geteuid() == 0)
                QSKIP("permissions do not bind root");
            QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::Permissions()));
        }
        if (paths == QStringList { "locked" } || paths == QStringList { "empty" })
            paths = { dir.path() };
        IcsEventStore store(CalendarSources::fromPaths(paths), quiet);
        QCOMPARE(store.authorizationStatus(), AuthorizationStatus::notDetermined);
        QVERIFY(store.hasCalendarSources()); // unknown until loaded
        store.loadNow();
        QFile::setPermissions(
            dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(store.authorizationStatus(), status);
        QCOMPARE(store.hasCalendarSources(), sources);
    }

    // Each step ends on the change it must announce; a change announced twice,
    // or a rescan that announces nothing new, shows up as one signal too many
    // by the time the next step is seen.
    void watchingCoalescesAndRereadsOnlyWhatChanged()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath("calendars");
        const QString cal = root + "/cal";
        const QString single = dir.filePath("export.ics");
        QVERIFY(QDir().mkpath(cal));
        writeFile(cal + "/first.ics", item("first", "20250303T100000Z"));
        writeFile(single, item("single", "20250304T100000Z"));
        // A settle time a loaded machine cannot outstay between two writes of one burst.
        std::atomic<int> loads = 0;
        IcsEventStore store({ SourceRoot { root, true }, SourceRoot { single } },
            { .settleMs = 1500, .beforeHandOver = [&loads] { ++loads; } });
        QSignalSpy changed(&store, &EventStore::changed);
        std::optional<bool> granted;
        store.requestFullAccess([&](bool g, const QString &) { granted = g; });
        // The first load runs in the background; until it is done the store answers empty.
        QVERIFY(store.events(windowStart, windowEnd).isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 1, 20000);
        QCOMPARE(granted, true);
        // Later requests complete too, asynchronously, with the settled answer.
        granted.reset();
        store.requestFullAccess([&](bool g, const QString &) { granted = g; });
        QVERIFY(!granted);
        QTRY_COMPARE(granted, true);

        // A sync of 1,200 files in one burst is one change.
        for (int i = 0; i < 1200; ++i)
            writeFile(
                cal + QStringLiteral("/%1.ics").arg(i), item(QByteArray::number(i), "20250310T100000Z"));
        QTRY_COMPARE_WITH_TIMEOUT(store.events(windowStart, windowEnd).size(), 1202, 20000);
        QCOMPARE(changed.size(), 2);
        // One watch a folder, however many items it holds: a watch each would use up the user's watches.
        QCOMPARE(store.watchedPaths().size(), 3); // the two folders and the single file

        // A watch that fires without a change to size, mtime or inode announces
        // nothing. Its rescan must be over before the next edit, or an
        // announcement it made would merge with that edit's.
        const int loadsBefore = loads;
        QVERIFY(QFile::setPermissions(cal + "/first.ics", QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        QTRY_VERIFY_WITH_TIMEOUT(loads > loadsBefore, 20000);
        // An in-place edit, of a single-file source and then of one item among
        // many, each moves an event out of the window.
        for (const int step : { 1, 2 }) {
            QFile f(step == 1 ? single : cal + "/700.ics");
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(item(step == 1 ? "single" : "700", "20300305T100000Z"));
            f.close();
            QTRY_COMPARE_WITH_TIMEOUT(store.events(windowStart, windowEnd).size(), 1202 - step, 20000);
            QCOMPARE(changed.size(), 2 + step);
        }

        // A folder loses an item.
        QVERIFY(QFile::remove(cal + "/0.ics"));
        QTRY_COMPARE_WITH_TIMEOUT(store.events(windowStart, windowEnd).size(), 1199, 20000);
        QCOMPARE(changed.size(), 5);

        // A new collection is picked up; its item's UID, equal to one elsewhere, stays apart.
        QVERIFY(QDir().mkpath(root + "/work"));
        writeFile(root + "/work/first.ics", item("first", "20250303T100000Z"));
        QTRY_COMPARE_WITH_TIMEOUT(store.events(windowStart, windowEnd).size(), 1200, 20000);
        QCOMPARE(changed.size(), 6);
        QCOMPARE(store.calendars().size(), 3);
        QSet<QString> identifiers;
        for (const EventPtr &e : store.events(windowStart, windowEnd))
            identifiers.insert(e->identifier);
        QCOMPARE(identifiers.size(), 1200);
    }

    // Destroying a store does not wait for its load (the load is held until
    // after the store is gone, so waiting would hang here), and the load then
    // touches nothing of the store (the sanitizer run catches it if it does).
    void destroyedDuringABackgroundLoad()
    {
        QTemporaryDir dir;
        for (int i = 0; i < 30; ++i)
            writeFile(dir.filePath(QStringLiteral("%1.ics").arg(i)), item(QByteArray::number(i), "20250305T100000Z"));
        HeldLoad held;
        auto store = std::make_unique<IcsEventStore>(QList<SourceRoot> { SourceRoot { dir.path() } }, held.options());
        QVERIFY(held.waitUntilHeld());
        store.reset();
        held.finish();
    }

    // A reload that finishes while an older load is still out: the older
    // result, read before the files changed, must not replace the newer one.
    void reloadOvertakingALoad()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("board.ics");
        writeFile(path, item("board", "20250305T100000Z", "DURATION:PT1H\r\nSUMMARY:Old"));
        HeldLoad held;
        IcsEventStore store({ SourceRoot { path } }, held.options());
        QSignalSpy changed(&store, &EventStore::changed);
        QVERIFY(held.waitUntilHeld());
        writeFile(path, item("board", "20250306T100000Z", "DURATION:PT1H\r\nSUMMARY:New"));
        store.loadNow();
        held.finish();
        const EventList events = store.events(windowStart, windowEnd);
        QCOMPARE(events.size(), 1);
        QCOMPARE(events.first()->title, QStringLiteral("New"));
        QCOMPARE(changed.size(), 1);
    }

    void discoveryNoticesTheDropInFolderAppearing()
    {
        QTemporaryDir home;
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("share")));
        QVERIFY(QDir().mkpath(home.filePath("share")));
        IcsEventStore store({}, { .settleMs = 50 });
        QSignalSpy changed(&store, &EventStore::changed);
        QTRY_COMPARE(changed.size(), 1);
        QVERIFY(QDir().mkpath(CalendarSources::dropInFolder()));
        writeFile(CalendarSources::dropInFolder() + "/export.ics", item("x", "20250303T100000Z"));
        QTRY_COMPARE_WITH_TIMEOUT(store.events(windowStart, windowEnd).size(), 1, 5000);
    }

    void filesAreNeverWritten()
    {
        QTemporaryDir dir;
        QStringList paths;
        for (const char *sub : { "cases", "vdir-work", "vdir-broken" })
            copyFiles(data + '/' + sub, paths.emplace_back(dir.filePath(sub)));
        const QHash<QString, QByteArray> before = snapshotTree(dir.path());
        QVERIFY(before.size() > 10);
        {
            IcsEventStore store(CalendarSources::fromPaths(paths), { .settleMs = 50 });
            QSignalSpy changed(&store, &EventStore::changed);
            QTRY_COMPARE(changed.size(), 1);
            for (int month = 0; month < 12; ++month)
                store.events(windowStart.addMonths(month), windowEnd.addMonths(month));
            // A change elsewhere in a watched folder makes it rescan everything.
            writeFile(dir.filePath("vdir-work/new.ics"), item("n", "20250303T100000Z"));
            QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 2, 5000);
            store.events(windowStart, windowEnd);
        }
        QHash<QString, QByteArray> after = snapshotTree(dir.path());
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QVERIFY2(after.take(it.key()) == it.value(), qPrintable(it.key()));
        QCOMPARE(after.keys(), QStringList { dir.filePath("vdir-work/new.ics") });
    }
};

QTEST_GUILESS_MAIN(TestIcsEventStore)
#include "tst_icseventstore.moc"
