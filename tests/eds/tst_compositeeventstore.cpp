#include "CompositeEventStore.h"
#include "EdsEventStore.h"
#include "FakeEventStore.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Status = AuthorizationStatus;

const QDateTime kFrom(QDate(2026, 12, 1), QTime(0, 0));
const QDateTime kTo(QDate(2027, 1, 1), QTime(0, 0));

/** A part holding one event per id, each in a calendar of that id (a path for the files store). */
FakeEventStore *part(CompositeEventStore &composite, const QStringList &ids, const QString &calendarId)
{
    auto *store = new FakeEventStore;
    auto calendar = std::make_shared<CalendarInfo>();
    calendar->id = calendarId;
    for (const QString &id : ids) {
        auto e = std::make_shared<CalendarEvent>(*FakeEventStore::make(id, kFrom, kFrom.addSecs(3600), id));
        e->calendar = calendar;
        store->all << e;
    }
    composite.addStore(store);
    return store;
}

} // namespace

class tst_CompositeEventStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What the first-run hint and the empty state read off the parts together.
    void statusAndSourcesFromItsParts_data()
    {
        QTest::addColumn<QList<Status>>("parts");
        QTest::addColumn<QList<bool>>("haveSources");
        QTest::addColumn<Status>("status");
        QTest::addColumn<bool>("sources");
        // clang-format off
        QTest::newRow("no parts: nothing to read") << QList<Status> {} << QList<bool> {} << Status::denied << false;
        QTest::newRow("empty files, service absent") << QList { Status::fullAccess, Status::denied } << QList { false, true } << Status::fullAccess << false;
        QTest::newRow("one refused, one starting: may still be granted") << QList { Status::denied, Status::notDetermined } << QList { false, false } << Status::notDetermined << true;
        QTest::newRow("the service has calendars") << QList { Status::denied, Status::fullAccess } << QList { false, true } << Status::fullAccess << true;
        // clang-format on
    }

    void statusAndSourcesFromItsParts()
    {
        QFETCH(QList<Status>, parts);
        QFETCH(QList<bool>, haveSources);
        QFETCH(Status, status);
        QFETCH(bool, sources);
        CompositeEventStore composite;
        for (int i = 0; i < parts.size(); ++i) {
            FakeEventStore *store = part(composite, {}, {});
            store->status = parts.at(i);
            store->hasSources = haveSources.at(i);
        }
        QCOMPARE(composite.authorizationStatus(), status);
        QCOMPARE(composite.hasCalendarSources(), sources);
    }

    void accessAnsweredByTheFirstGrantOrTheLastRefusal_data()
    {
        QTest::addColumn<bool>("secondHolds"); // access granted before: nobody need be asked
        QTest::addColumn<bool>("firstGrants");
        QTest::addColumn<bool>("secondGrants");
        QTest::addColumn<int>("answeredAfter"); // how many parts had answered when the caller heard
        QTest::addColumn<bool>("granted");
        QTest::newRow("already held: granted at once") << true << false << false << 0 << true;
        QTest::newRow("first grants: answered then") << false << true << false << 1 << true;
        QTest::newRow("first refuses, second grants") << false << false << true << 2 << true;
        QTest::newRow("both refuse: refused once both said so") << false << false << false << 2 << false;
    }

    void accessAnsweredByTheFirstGrantOrTheLastRefusal()
    {
        QFETCH(bool, secondHolds);
        QFETCH(bool, firstGrants);
        QFETCH(bool, secondGrants);
        QFETCH(int, answeredAfter);
        QFETCH(bool, granted);
        CompositeEventStore composite;
        FakeEventStore *parts[] = { part(composite, {}, {}), part(composite, {}, {}) };
        for (auto *p : parts) {
            p->status = Status::notDetermined;
            p->answerRequestLater = true;
        }
        if (secondHolds)
            parts[1]->status = Status::fullAccess;
        QList<bool> answers;
        composite.requestFullAccess([&](bool ok, const QString &) { answers << ok; });
        QCOMPARE(bool(parts[0]->pendingCompletion), answeredAfter > 0);
        QCOMPARE(answers.size(), answeredAfter == 0 ? 1 : 0);
        parts[0]->answerRequest(firstGrants);
        QCOMPARE(answers.size(), answeredAfter <= 1 ? 1 : 0);
        parts[1]->answerRequest(secondGrants);
        QCOMPARE(answers, QList<bool> { granted });
    }

    void calendarsTheServiceOwnsAreNotShownTwice_data()
    {
        QTest::addColumn<QString>("filesCalendar"); // relative to the temp home
        QTest::addColumn<bool>("hidden");
        QTest::newRow("the service's own file, as a single .ics")
            << "evolution/calendar/system/calendar.ics" << true;
        QTest::newRow("its folder, read as a collection") << "evolution/calendar/system" << true;
        QTest::newRow("the same file through a symlink") << "link-to-calendar.ics" << true;
        QTest::newRow("a file of the same name elsewhere") << "calendars/calendar.ics" << false;
    }

    void calendarsTheServiceOwnsAreNotShownTwice()
    {
        QFETCH(QString, filesCalendar);
        QFETCH(bool, hidden);
        QTemporaryDir home;
        const QString owned = home.filePath(QStringLiteral("evolution/calendar/system/calendar.ics"));
        QVERIFY(QDir().mkpath(QFileInfo(owned).absolutePath()) && QDir().mkpath(home.filePath("calendars")));
        for (const QString &f : { owned, home.filePath(QStringLiteral("calendars/calendar.ics")) })
            QVERIFY(QFile(f).open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(owned, home.filePath(QStringLiteral("link-to-calendar.ics"))));

        CompositeEventStore composite;
        auto *service = part(composite, { "service" }, "system");
        auto *files = part(composite, { "file" }, home.filePath(filesCalendar));
        QSignalSpy changed(&composite, &EventStore::changed);
        QStringList owns { owned };
        composite.setHiddenPathsProvider([&] { return owns; });
        const QStringList both { "service", "file" };
        QCOMPARE(
            FakeEventStore::ids(composite.events(kFrom, kTo)), hidden ? QStringList { "service" } : both);
        // The service's calendars changed: the files it keeps may have too.
        owns.clear();
        service->emitChanged();
        QCOMPARE(FakeEventStore::ids(composite.events(kFrom, kTo)), both);
        files->emitChanged();
        QCOMPARE(changed.size(), 2); // each part's change is the composite's
    }

    void withoutASessionBusTheServiceIsDeniedPromptly()
    {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        QVERIFY(!EdsEventStore::sessionBusAvailable());

        EdsEventStore eds;
        QSignalSpy loaded(&eds, &EdsEventStore::loaded);
        std::optional<bool> granted;
        eds.requestFullAccess([&](bool ok, const QString &) { granted = ok; });
        QVERIFY(loaded.wait(5000));
        QVERIFY(granted == false);
        QCOMPARE(eds.authorizationStatus(), Status::denied);
        QVERIFY(eds.events(kFrom, kTo).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_CompositeEventStore)
#include "tst_compositeeventstore.moc"
