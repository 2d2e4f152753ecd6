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

EventPtr eventIn(const QString &id, const std::shared_ptr<const CalendarInfo> &calendar, int day = 7)
{
    auto e = std::make_shared<CalendarEvent>();
    e->identifier = id;
    e->start = QDateTime(QDate(2026, 12, day), QTime(9, 0));
    e->end = e->start.addSecs(3600);
    e->title = id;
    e->calendar = calendar;
    return e;
}

std::shared_ptr<const CalendarInfo> calendarAt(const QString &id)
{
    auto c = std::make_shared<CalendarInfo>();
    c->id = id;
    c->name = QFileInfo(id).fileName();
    return c;
}

QStringList ids(const EventList &events)
{
    QStringList out;
    for (const auto &e : events)
        out << e->identifier;
    return out;
}

const QDateTime kFrom(QDate(2026, 12, 1), QTime(0, 0));
const QDateTime kTo(QDate(2027, 1, 1), QTime(0, 0));

} // namespace

class tst_CompositeEventStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void statusIsTheBestOfItsParts_data()
    {
        QTest::addColumn<QList<int>>("parts");
        QTest::addColumn<int>("expected");
        auto row = [](const char *name, QList<Status> parts, Status expected) {
            QList<int> raw;
            for (Status s : parts)
                raw << int(s);
            QTest::newRow(name) << raw << int(expected);
        };
        row("no parts: nothing to read", {}, Status::denied);
        row("files readable, service absent", { Status::fullAccess, Status::denied }, Status::fullAccess);
        row("service readable, no files", { Status::denied, Status::fullAccess }, Status::fullAccess);
        row("both still starting", { Status::notDetermined, Status::notDetermined }, Status::notDetermined);
        row("one starting, one refused: may still be granted", { Status::denied, Status::notDetermined },
            Status::notDetermined);
        row("write-only is no better than not asked", { Status::writeOnly, Status::notDetermined },
            Status::notDetermined);
        row("refusals: denied over restricted", { Status::restricted, Status::denied }, Status::denied);
        row("write-only over denied", { Status::denied, Status::writeOnly }, Status::writeOnly);
    }

    void statusIsTheBestOfItsParts()
    {
        QFETCH(QList<int>, parts);
        QFETCH(int, expected);
        CompositeEventStore composite;
        for (int s : parts) {
            auto *fake = new FakeEventStore;
            fake->status = Status(s);
            composite.addStore(fake);
        }
        QCOMPARE(int(composite.authorizationStatus()), expected);
    }

    void mergesPartsInOrderAndForwardsChanges()
    {
        CompositeEventStore composite;
        auto *eds = new FakeEventStore;
        auto *files = new FakeEventStore;
        eds->all = { eventIn("eds-b", calendarAt("work"), 8), eventIn("eds-a", calendarAt("work"), 7) };
        files->all = { eventIn("file-a", calendarAt("/home/u/.calendars/home"), 7) };
        composite.addStore(eds);
        composite.addStore(files);
        QCOMPARE(eds->parent(), &composite);

        QCOMPARE(ids(composite.events(kFrom, kTo)), (QStringList { "eds-b", "eds-a", "file-a" }));
        QCOMPARE(eds->queries.size(), 1);
        QCOMPARE(eds->queries.first(), qMakePair(kFrom, kTo));

        QSignalSpy changed(&composite, &EventStore::changed);
        files->emitChanged();
        eds->emitChanged();
        QCOMPARE(changed.size(), 2);
    }

    void accessAnsweredByTheFirstGrantOrTheLastRefusal_data()
    {
        QTest::addColumn<bool>("firstGrants");
        QTest::addColumn<bool>("secondGrants");
        QTest::addColumn<bool>("answeredAfterFirst");
        QTest::addColumn<bool>("granted");
        QTest::newRow("first grants: answered at once") << true << false << true << true;
        QTest::newRow("first refuses, second grants") << false << true << false << true;
        QTest::newRow("both refuse: refused once both said so") << false << false << false << false;
    }

    void accessAnsweredByTheFirstGrantOrTheLastRefusal()
    {
        QFETCH(bool, firstGrants);
        QFETCH(bool, secondGrants);
        QFETCH(bool, answeredAfterFirst);
        QFETCH(bool, granted);
        CompositeEventStore composite;
        auto *first = new FakeEventStore;
        auto *second = new FakeEventStore;
        for (auto *f : { first, second }) {
            f->status = Status::notDetermined;
            f->answerRequestLater = true;
            composite.addStore(f);
        }
        int answers = 0;
        bool result = !granted;
        composite.requestFullAccess([&](bool ok, const QString &) {
            ++answers;
            result = ok;
        });
        QCOMPARE(answers, 0);
        first->answerRequest(firstGrants);
        QCOMPARE(answers, answeredAfterFirst ? 1 : 0);
        second->answerRequest(secondGrants);
        QCOMPARE(answers, 1);
        QCOMPARE(result, granted);
    }

    void accessAlreadyHeldIsGrantedAtOnce()
    {
        CompositeEventStore composite;
        auto *starting = new FakeEventStore;
        starting->status = Status::notDetermined;
        starting->answerRequestLater = true;
        auto *ready = new FakeEventStore;
        composite.addStore(starting);
        composite.addStore(ready);
        bool granted = false;
        composite.requestFullAccess([&](bool ok, const QString &) { granted = ok; });
        QVERIFY(granted);
        QVERIFY(!starting->pendingCompletion);
    }

    void calendarsTheServiceOwnsAreNotShownTwice_data()
    {
        QTest::addColumn<QString>("filesCalendar"); // relative to the temp home
        QTest::addColumn<bool>("hidden");
        QTest::newRow("the service's own file, listed as a single .ics")
            << "evolution/calendar/system/calendar.ics" << true;
        QTest::newRow("its folder, read as a collection") << "evolution/calendar/system" << true;
        QTest::newRow("the same file through a symlink") << "link-to-calendar.ics" << true;
        QTest::newRow("another calendar beside it") << "calendars/home" << false;
        QTest::newRow("a file of the same name elsewhere") << "calendars/calendar.ics" << false;
    }

    void calendarsTheServiceOwnsAreNotShownTwice()
    {
        QFETCH(QString, filesCalendar);
        QFETCH(bool, hidden);
        QTemporaryDir home;
        QVERIFY(home.isValid());
        const QString owned = home.filePath(QStringLiteral("evolution/calendar/system/calendar.ics"));
        QVERIFY(QDir().mkpath(QFileInfo(owned).absolutePath()));
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("calendars/home"))));
        for (const QString &f : { owned, home.filePath(QStringLiteral("calendars/calendar.ics")) }) {
            QFile file(f);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QVERIFY(QFile::link(owned, home.filePath(QStringLiteral("link-to-calendar.ics"))));

        CompositeEventStore composite;
        auto *service = new FakeEventStore;
        auto *files = new FakeEventStore;
        service->all = { eventIn("service", calendarAt("system")) };
        files->all = { eventIn("file", calendarAt(home.filePath(filesCalendar))) };
        composite.addStore(service);
        composite.addStore(files);
        int asked = 0;
        composite.setHiddenPathsProvider([&] {
            ++asked;
            return QStringList { owned };
        });
        const QStringList expected = hidden ? QStringList { "service" } : QStringList { "service", "file" };
        QCOMPARE(ids(composite.events(kFrom, kTo)), expected);
        composite.events(kFrom, kTo);
        QCOMPARE(asked, 1);
        // When the service's calendars change, the list is asked for again.
        service->emitChanged();
        composite.events(kFrom, kTo);
        QCOMPARE(asked, 2);
    }

    void withoutASessionBusTheServiceIsDeniedPromptly()
    {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        QVERIFY(!EdsEventStore::sessionBusAvailable());

        CompositeEventStore composite;
        auto *files = new FakeEventStore;
        files->all = { eventIn("file", calendarAt("/x/home")) };
        auto *eds = new EdsEventStore;
        composite.addStore(eds);
        composite.addStore(files);
        QCOMPARE(composite.authorizationStatus(), Status::fullAccess);
        QCOMPARE(ids(composite.events(kFrom, kTo)), QStringList { "file" });

        QSignalSpy loaded(eds, &EdsEventStore::loaded);
        bool answered = false, granted = true;
        eds->requestFullAccess([&](bool ok, const QString &) {
            answered = true;
            granted = ok;
        });
        QVERIFY(loaded.wait(5000));
        QVERIFY(answered);
        QVERIFY(!granted);
        QCOMPARE(eds->authorizationStatus(), Status::denied);
        QVERIFY(eds->events(kFrom, kTo).isEmpty());

        // What the app builds: only the files when there is no bus to ask.
        auto desktop = CompositeEventStore::withDesktopCalendars(std::make_unique<FakeEventStore>());
        QCOMPARE(desktop->stores().size(), 1);
        QCOMPARE(desktop->authorizationStatus(), Status::fullAccess);
    }
};

QTEST_GUILESS_MAIN(tst_CompositeEventStore)
#include "tst_compositeeventstore.moc"
