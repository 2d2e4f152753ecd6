#include "IcsEventStore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString data = QStringLiteral(MORIVA_TEST_DATA);
const QDateTime windowStart(QDate(2025, 2, 23), QTime(0, 0));
const QDateTime windowEnd(QDate(2025, 4, 6), QTime(0, 0));

IcsEventStore::Options quietOptions()
{
    IcsEventStore::Options options;
    options.watch = false;
    options.loadInBackground = false;
    return options;
}

std::unique_ptr<IcsEventStore> loaded(
    const QStringList &paths, IcsEventStore::Options options = quietOptions())
{
    auto store = std::make_unique<IcsEventStore>(CalendarSources::fromPaths(paths), options);
    store->loadNow();
    return store;
}

// "2025-03-04 10:00" in local time, or "2025-03-04" for all-day starts, sorted.
QStringList startsOf(const EventList &events, const QString &uid = QString())
{
    QStringList out;
    for (const EventPtr &e : events) {
        if (!uid.isEmpty() && e->componentUid != uid)
            continue;
        out.append(e->allDay ? e->start.date().toString(Qt::ISODate)
                             : e->start.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    }
    out.sort();
    return out;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile f(path); // atomic replace, as sync tools write
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    QVERIFY(f.commit());
}

QByteArray item(const QString &uid, const QString &start, const QString &summary = QStringLiteral("Item"))
{
    return QStringLiteral("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:t\r\nBEGIN:VEVENT\r\nUID:%1\r\n"
                          "DTSTART:%2\r\nDURATION:PT1H\r\nSUMMARY:%3\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
        .arg(uid, start, summary)
        .toUtf8();
}

struct FileState
{
    QByteArray hash;
    qint64 mtime;
    friend bool operator==(const FileState &, const FileState &) = default;
};

QHash<QString, FileState> snapshotTree(const QString &root)
{
    QHash<QString, FileState> out;
    QDir dir(root);
    const QFileInfoList entries
        = dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QFileInfo &fi : entries) {
        if (fi.isDir()) {
            out.insert(snapshotTree(fi.filePath()));
            continue;
        }
        QFile f(fi.filePath());
        if (!f.open(QIODevice::ReadOnly))
            continue;
        struct stat st;
        ::stat(QFile::encodeName(fi.filePath()).constData(), &st);
        out.insert(fi.filePath(),
            { QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256),
                qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec });
    }
    return out;
}

} // namespace

class TestIcsEventStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "Europe/Berlin");
        tzset();
        QVERIFY2(QDateTime(QDate(2025, 1, 15), QTime(12, 0)).offsetFromUtc() == 3600
                && QDateTime(QDate(2025, 7, 15), QTime(12, 0)).offsetFromUtc() == 7200,
            "zone pin did not take");
    }

    void occurrences_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("uid");
        QTest::addColumn<QStringList>("starts");

        QTest::newRow("EXDATE in UTC and in another zone; an RDATE in another zone")
            << "traps/exdate-zones.ics"
            << "berlin-daily"
            << QStringList { "2025-03-03 10:00", "2025-03-06 10:00", "2025-03-09 15:00", "2025-03-10 10:00",
                   "2025-03-11 10:00", "2025-03-12 10:00", "2025-03-15 17:00" };
        QTest::newRow("an EXDATE given as a DATE removes that day's occurrence")
            << "traps/exdate-as-date.ics"
            << "date-exdate" << QStringList { "2025-03-10 07:30", "2025-03-12 07:30", "2025-03-13 07:30" };
        QTest::newRow("overrides moved in, moved out, cancelled and re-timed")
            << "traps/overrides.ics"
            << "weekly-team"
            << QStringList { "2025-02-26 14:00", "2025-03-12 14:00", "2025-03-14 09:00", "2025-03-26 16:00",
                   "2025-04-02 14:00" };
        QTest::newRow("a THISANDFUTURE override moves every later occurrence")
            << "traps/this-and-future.ics"
            << "weekly-review"
            << QStringList { "2025-03-03 10:00", "2025-03-10 10:00", "2025-03-18 15:00", "2025-03-25 15:00",
                   "2025-04-01 15:00" };
        QTest::newRow("an override without its master still shows")
            << "traps/overrides.ics"
            << "orphan-override" << QStringList { "2025-03-11 09:00" };
        QTest::newRow("a cancelled event is left out") << "traps/overrides.ics"
                                                       << "cancelled-single" << QStringList();
        QTest::newRow("RDATE only keeps DTSTART")
            << "traps/occurrence-set.ics"
            << "rdate-only" << QStringList { "2025-03-03 16:00", "2025-03-10 16:00", "2025-03-20 18:00" };
        QTest::newRow("a DTSTART off the rule is still an occurrence")
            << "traps/occurrence-set.ics"
            << "dtstart-off-rule"
            << QStringList { "2025-03-04 08:00", "2025-03-07 08:00", "2025-03-14 08:00", "2025-03-21 08:00" };
        QTest::newRow("an RDATE equal to a rule instance counts once")
            << "traps/occurrence-set.ics"
            << "rdate-equals-rule"
            << QStringList { "2025-03-05 07:00", "2025-03-06 07:00", "2025-03-07 07:00" };
        QTest::newRow("UNTIL as a DATE ends before that day")
            << "traps/rrule-oddities.ics"
            << "until-as-date" << QStringList { "2025-03-03 18:00", "2025-03-04 18:00", "2025-03-05 18:00" };
        QTest::newRow("floating start with a UTC UNTIL")
            << "traps/rrule-oddities.ics"
            << "floating-until-utc"
            << QStringList { "2025-03-10 08:00", "2025-03-11 08:00", "2025-03-12 08:00", "2025-03-13 08:00" };
        QTest::newRow("prefixed New York zone keeps its own DST change")
            << "traps/prefixed-zones.ics"
            << "prefixed-new-york"
            << QStringList { "2025-03-07 14:30", "2025-03-08 14:30", "2025-03-09 13:30", "2025-03-10 13:30",
                   "2025-03-11 13:30" };
        QTest::newRow("Windows zone name across the European change")
            << "traps/windows-zones.ics"
            << "windows-berlin-weekly"
            << QStringList { "2025-03-03 09:00", "2025-03-10 09:00", "2025-03-17 09:00", "2025-03-24 09:00",
                   "2025-03-31 09:00" };
        QTest::newRow("yearly all-day series reaches the window")
            << "traps/allday.ics"
            << "allday-yearly" << QStringList { "2025-03-20" };
        QTest::newRow("an RDATE period brings its own end")
            << "traps/rdate-period.ics"
            << "rdate-period" << QStringList { "2025-03-24 11:00", "2025-03-25 11:00" };
    }

    void occurrences()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, uid);
        QFETCH(QStringList, starts);
        auto store = loaded({ data + QLatin1Char('/') + fixture });
        QCOMPARE(startsOf(store->events(windowStart, windowEnd), uid), starts);
    }

    void occurrenceFields()
    {
        auto store
            = loaded({ data + QStringLiteral("/traps/overrides.ics"), data + QStringLiteral("/vdir-work") });
        const EventList events = store->events(windowStart, windowEnd);
        QSet<QString> identifiers;
        for (const EventPtr &e : events) {
            QVERIFY2(!identifiers.contains(e->identifier), qPrintable(e->identifier));
            identifiers.insert(e->identifier);
            QVERIFY(e->calendar);
            QCOMPARE(e->sourceUid, e->calendar->id);
        }
        // The same query again names every occurrence the same way.
        QStringList again;
        for (const EventPtr &e : store->events(windowStart, windowEnd))
            again.append(e->identifier);
        QCOMPARE(QSet<QString>(again.begin(), again.end()), identifiers);

        const auto find = [&](const QString &title) -> EventPtr {
            for (const EventPtr &e : events) {
                if (e->title == title)
                    return e;
            }
            return {};
        };
        const EventPtr later = find(QStringLiteral("Team meeting (later this week)"));
        QVERIFY(later);
        QCOMPARE(later->componentUid, QStringLiteral("weekly-team"));
        QCOMPARE(later->recurrenceId, QStringLiteral("20250326T130000Z"));
        QCOMPARE(later->location, QStringLiteral("Room 9"));
        QVERIFY(later->identifier.endsWith(QStringLiteral("/weekly-team/20250326T130000Z")));

        const EventPtr work = find(QStringLiteral("Work item 2"));
        QVERIFY(work);
        QCOMPARE(work->calendar->name, QStringLiteral("Work"));
        QCOMPARE(work->calendar->color, QColor(0x3a, 0x86, 0xff));
        QCOMPARE(work->url, QUrl(QStringLiteral("https://zoom.us/j/12345")));
        QVERIFY(work->recurrenceId.isEmpty());
        QCOMPARE(work->start.timeSpec(), Qt::LocalTime);
    }

    void sameUidInTwoCalendarsStaysApart()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("a")));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("b")));
        writeFile(dir.filePath(QStringLiteral("a/x.ics")),
            item(QStringLiteral("shared"), QStringLiteral("20250303T100000Z")));
        writeFile(dir.filePath(QStringLiteral("b/x.ics")),
            item(QStringLiteral("shared"), QStringLiteral("20250303T100000Z")));
        auto store = loaded({ dir.path() });
        const EventList events = store->events(windowStart, windowEnd);
        QCOMPARE(events.size(), 2);
        QVERIFY(events[0]->identifier != events[1]->identifier);
        QCOMPARE(store->calendars().size(), 2);
    }

    void windowEdges_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("duration");
        QTest::addColumn<bool>("listed");
        // Window: 2025-03-10 00:00 to 2025-03-11 00:00 local (23:00Z the day before).
        QTest::newRow("ends exactly at the window start") << "20250309T220000Z"
                                                          << "PT1H" << false;
        QTest::newRow("ends a minute into the window") << "20250309T220000Z"
                                                       << "PT61M" << true;
        QTest::newRow("zero length at the window start") << "20250309T230000Z"
                                                         << "PT0S" << true;
        QTest::newRow("starts exactly at the window end") << "20250310T230000Z"
                                                          << "PT1H" << false;
        QTest::newRow("spans the whole window") << "20250301T000000Z"
                                                << "P20D" << true;
    }

    void windowEdges()
    {
        QFETCH(QString, start);
        QFETCH(QString, duration);
        QFETCH(bool, listed);
        QTemporaryDir dir;
        const QByteArray ics = QStringLiteral("BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:edge\r\nDTSTART:%1\r\n"
                                              "DURATION:%2\r\nEND:VEVENT\r\nBEGIN:VEVENT\r\nUID:weekly\r\n"
                                              "DTSTART:%1\r\nDURATION:%2\r\nRRULE:FREQ=WEEKLY;COUNT=1\r\n"
                                              "END:VEVENT\r\nEND:VCALENDAR\r\n")
                                   .arg(start, duration)
                                   .toUtf8();
        writeFile(dir.filePath(QStringLiteral("edge.ics")), ics);
        auto store = loaded({ dir.filePath(QStringLiteral("edge.ics")) });
        const EventList events = store->events(
            QDateTime(QDate(2025, 3, 10), QTime(0, 0)), QDateTime(QDate(2025, 3, 11), QTime(0, 0)));
        // Single and recurring events take different paths; both must agree.
        QCOMPARE(events.size(), listed ? 2 : 0);
    }

    void floodsAreBounded()
    {
        IcsEventStore::Options options = quietOptions();
        options.maxOccurrencesPerEventPerQuery = 300;
        options.maxInstancesPerEvent = 20000;
        auto store = loaded({ data + QStringLiteral("/traps-bounded.ics") }, options);
        const EventList events = store->events(windowStart, windowEnd);
        QMap<QString, int> perUid;
        for (const EventPtr &e : events)
            ++perUid[e->componentUid];
        QCOMPARE(perUid.value(QStringLiteral("secondly")), 300);
        QCOMPARE(perUid.value(QStringLiteral("count-billions")), 36); // every day of the window from 1 March
        QCOMPARE(perUid.value(QStringLiteral("plain-neighbour")), 1);
        QCOMPARE(perUid.value(QStringLiteral("until-before-start")), 1); // its DTSTART still stands
        // Minute-by-minute since 2020 cannot reach 2025 within the instance cap: dropped, not hung.
        QCOMPARE(perUid.value(QStringLiteral("minutely")), 0);
        // A year on, the per-second series has run out of its instance cap while the daily one goes on.
        QCOMPARE(store->events(windowStart.addYears(1), windowEnd.addYears(1)).size(), 42);
    }

    void brokenFolderLoadsTheRest()
    {
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("cal"))));
        for (const QString &name : QDir(data + QStringLiteral("/vdir-broken")).entryList(QDir::Files))
            QVERIFY(QFile::copy(
                data + QStringLiteral("/vdir-broken/") + name, dir.filePath(QStringLiteral("cal/")) + name));
        for (const QString &name : QDir(data + QStringLiteral("/crashers")).entryList(QDir::Files))
            QVERIFY(QFile::copy(
                data + QStringLiteral("/crashers/") + name, dir.filePath(QStringLiteral("cal/")) + name));
        // A symlink loop, a dangling link, a FIFO and a sparse 100 MB file beside good items.
        QVERIFY(QFile::link(
            dir.filePath(QStringLiteral("cal/loop.ics")), dir.filePath(QStringLiteral("cal/loop.ics"))));
        QVERIFY(QFile::link(
            dir.filePath(QStringLiteral("cal/gone")), dir.filePath(QStringLiteral("cal/dangling.ics"))));
        QCOMPARE(
            ::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("cal/pipe.ics"))).constData(), 0600), 0);
        {
            QFile big(dir.filePath(QStringLiteral("cal/huge.ics")));
            QVERIFY(big.open(QIODevice::WriteOnly));
            QVERIFY(big.resize(100LL * 1024 * 1024));
        }
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("cal/nested"))));
        QVERIFY(
            QFile::link(dir.filePath(QStringLiteral("cal")), dir.filePath(QStringLiteral("cal/nested/up"))));

        auto store = loaded({ dir.filePath(QStringLiteral("cal")) });
        QCOMPARE(store->authorizationStatus(), AuthorizationStatus::fullAccess);
        const EventList events = store->events(windowStart, windowEnd);
        QStringList titles;
        for (const EventPtr &e : events)
            titles.append(e->title.value_or(QString()));
        titles.sort();
        titles.removeDuplicates(); // "" is the all-day crasher that still has a good DTSTART
        QCOMPARE(titles,
            (QStringList { "", "First of two UIDs in one file", "Good event after an impossible one",
                "No UID at all", "Same UID in two files", "Second of two UIDs in one file" }));
    }

    void authorization_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<int>("status");
        QTest::newRow("a readable source")
            << QStringList { data + QStringLiteral("/vdir-work") } << int(AuthorizationStatus::fullAccess);
        QTest::newRow("one missing, one readable") << QStringList { QStringLiteral("/nonexistent/cal"),
            data + QStringLiteral("/vdir-work") } << int(AuthorizationStatus::fullAccess);
        QTest::newRow("every configured source missing") << QStringList { QStringLiteral("/nonexistent/a"),
            QStringLiteral("/nonexistent/b.ics") } << int(AuthorizationStatus::denied);
        QTest::newRow("a single file that is not a calendar at all")
            << QStringList { data + QStringLiteral("/vdir-broken/notes.txt") }
            << int(AuthorizationStatus::fullAccess);
    }

    void authorization()
    {
        QFETCH(QStringList, paths);
        QFETCH(int, status);
        IcsEventStore store(CalendarSources::fromPaths(paths), quietOptions());
        QCOMPARE(store.authorizationStatus(), AuthorizationStatus::notDetermined);
        QVERIFY(store.events(windowStart, windowEnd).isEmpty());
        store.loadNow();
        QCOMPARE(int(store.authorizationStatus()), status);
    }

    void unreadableFolderIsDenied()
    {
        if (::geteuid() == 0)
            QSKIP("permissions do not bind root");
        QTemporaryDir dir;
        const QString locked = dir.filePath(QStringLiteral("locked"));
        QVERIFY(QDir().mkpath(locked));
        writeFile(
            locked + QStringLiteral("/a.ics"), item(QStringLiteral("a"), QStringLiteral("20250303T100000Z")));
        QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
        auto store = loaded({ locked });
        QFile::setPermissions(
            locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(store->authorizationStatus(), AuthorizationStatus::denied);
    }

    void backgroundLoadAnswersEmptyThenSignals()
    {
        IcsEventStore::Options options;
        options.watch = false;
        IcsEventStore store(CalendarSources::fromPaths({ data + QStringLiteral("/traps") }), options);
        QSignalSpy changed(&store, &EventStore::changed);
        bool answered = false;
        bool granted = false;
        store.requestFullAccess([&](bool g, const QString &) {
            answered = true;
            granted = g;
        });
        QVERIFY(store.events(windowStart, windowEnd).isEmpty());
        QTRY_COMPARE(changed.size(), 1);
        QVERIFY(answered);
        QVERIFY(granted);
        QVERIFY(!store.events(windowStart, windowEnd).isEmpty());
        // Later requests complete too, asynchronously, with the settled answer.
        bool again = false;
        store.requestFullAccess([&](bool g, const QString &) { again = g; });
        QVERIFY(!again);
        QTRY_VERIFY(again);
    }

    void watchingCoalescesAndRereadsOnlyWhatChanged()
    {
        QTemporaryDir dir;
        const QString cal = dir.filePath(QStringLiteral("cal"));
        QVERIFY(QDir().mkpath(cal));
        const QString single = dir.filePath(QStringLiteral("export.ics"));
        writeFile(cal + QStringLiteral("/first.ics"),
            item(QStringLiteral("first"), QStringLiteral("20250303T100000Z")));
        writeFile(single, item(QStringLiteral("single"), QStringLiteral("20250304T100000Z")));

        IcsEventStore::Options options;
        options.settleMs = 100;
        IcsEventStore store(CalendarSources::fromPaths({ cal, single }), options);
        QSignalSpy changed(&store, &EventStore::changed);
        QTRY_COMPARE(changed.size(), 1);
        QCOMPARE(store.events(windowStart, windowEnd).size(), 2);

        // A sync of 300 files in one burst is one change.
        for (int i = 0; i < 300; ++i) {
            writeFile(cal + QStringLiteral("/burst-%1.ics").arg(i),
                item(QStringLiteral("burst-%1").arg(i), QStringLiteral("20250310T100000Z")));
        }
        QTRY_COMPARE_WITH_TIMEOUT(store.events(windowStart, windowEnd).size(), 302, 10000);
        QTest::qWait(400);
        QCOMPARE(changed.size(), 2);

        // A watch that fires without a change to size, mtime or inode announces nothing.
        const EventPtr firstBefore = store.events(windowStart, windowEnd).first();
        const QString touched = cal + QStringLiteral("/first.ics");
        QVERIFY(QFile::setPermissions(touched, QFileInfo(touched).permissions() | QFileDevice::ExeOwner));
        QTest::qWait(400);
        QCOMPARE(changed.size(), 2);
        QVERIFY(store.events(windowStart, windowEnd).first() == firstBefore); // the very same record

        // An in-place edit of a single-file source.
        {
            QFile f(single);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(
                item(QStringLiteral("single"), QStringLiteral("20250305T100000Z"), QStringLiteral("Edited")));
        }
        QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 3, 5000);
        bool edited = false;
        for (const EventPtr &e : store.events(windowStart, windowEnd))
            edited = edited || e->title == QStringLiteral("Edited");
        QVERIFY(edited);

        // Removal drops the item; a new collection beside is not part of these sources.
        QVERIFY(QFile::remove(cal + QStringLiteral("/burst-0.ics")));
        QTRY_COMPARE_WITH_TIMEOUT(store.events(windowStart, windowEnd).size(), 301, 5000);
        QCOMPARE(changed.size(), 4);
    }

    void containerPicksUpNewCollections()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath(QStringLiteral("calendars"));
        QVERIFY(QDir().mkpath(root + QStringLiteral("/home")));
        writeFile(root + QStringLiteral("/home/a.ics"),
            item(QStringLiteral("a"), QStringLiteral("20250303T100000Z")));
        IcsEventStore::Options options;
        options.settleMs = 50;
        IcsEventStore store({ SourceRoot { root, true } }, options);
        QSignalSpy changed(&store, &EventStore::changed);
        QTRY_COMPARE(changed.size(), 1);
        QVERIFY(QDir().mkpath(root + QStringLiteral("/work")));
        writeFile(root + QStringLiteral("/work/b.ics"),
            item(QStringLiteral("b"), QStringLiteral("20250304T100000Z")));
        QTRY_COMPARE_WITH_TIMEOUT(store.events(windowStart, windowEnd).size(), 2, 5000);
        QCOMPARE(store.calendars().size(), 2);
    }

    void discoveryNoticesTheDropInFolderAppearing()
    {
        QTemporaryDir home;
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("share"))));
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("share"))));
        IcsEventStore::Options options;
        options.settleMs = 50;
        IcsEventStore store({}, options);
        QSignalSpy changed(&store, &EventStore::changed);
        QTRY_COMPARE(changed.size(), 1);
        QCOMPARE(
            store.authorizationStatus(), AuthorizationStatus::fullAccess); // nothing found is not a refusal
        const QString dropIn = CalendarSources::dropInFolder();
        QVERIFY(QDir().mkpath(dropIn));
        writeFile(dropIn + QStringLiteral("/export.ics"),
            item(QStringLiteral("x"), QStringLiteral("20250303T100000Z")));
        QTRY_COMPARE_WITH_TIMEOUT(store.events(windowStart, windowEnd).size(), 1, 5000);
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_DATA_HOME");
    }

    void filesAreNeverWritten()
    {
        QTemporaryDir dir;
        const QString copy = dir.filePath(QStringLiteral("data"));
        QVERIFY(QDir().mkpath(copy));
        for (const QString &sub :
            { QStringLiteral("traps"), QStringLiteral("vdir-work"), QStringLiteral("vdir-broken") }) {
            QVERIFY(QDir().mkpath(copy + QLatin1Char('/') + sub));
            for (const QString &name : QDir(data + QLatin1Char('/') + sub).entryList(QDir::Files))
                QVERIFY(QFile::copy(data + QLatin1Char('/') + sub + QLatin1Char('/') + name,
                    copy + QLatin1Char('/') + sub + QLatin1Char('/') + name));
        }
        // Give every file an old mtime so that any write would show.
        const QDateTime old(QDate(2020, 1, 1), QTime(0, 0));
        const QStringList files = snapshotTree(copy).keys();
        for (const QString &path : files) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite | QIODevice::ExistingOnly));
            QVERIFY(f.setFileTime(old, QFileDevice::FileModificationTime));
        }
        const QHash<QString, FileState> before = snapshotTree(copy);
        QVERIFY(before.size() > 10);

        IcsEventStore::Options options;
        options.settleMs = 50;
        {
            IcsEventStore store(
                CalendarSources::fromPaths({ copy + QStringLiteral("/traps"),
                    copy + QStringLiteral("/vdir-work"), copy + QStringLiteral("/vdir-broken") }),
                options);
            QSignalSpy changed(&store, &EventStore::changed);
            QTRY_COMPARE(changed.size(), 1);
            for (int month = 0; month < 12; ++month)
                store.events(windowStart.addMonths(month), windowEnd.addMonths(month));
            // A change elsewhere in a watched folder makes it rescan everything.
            writeFile(copy + QStringLiteral("/vdir-work/new.ics"),
                item(QStringLiteral("n"), QStringLiteral("20250303T100000Z")));
            QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 2, 5000);
            store.events(windowStart, windowEnd);
        }
        QHash<QString, FileState> after = snapshotTree(copy);
        after.remove(copy + QStringLiteral("/vdir-work/new.ics"));
        QCOMPARE(after.keys().size(), before.keys().size());
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key()));
    }
};

QTEST_GUILESS_MAIN(TestIcsEventStore)
#include "tst_icseventstore.moc"
