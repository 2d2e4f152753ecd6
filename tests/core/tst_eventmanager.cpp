#include "EventManager.h"

#include "FakeClock.h"
#include "FakeEventStore.h"
#include "ZonePin.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

// "2026-12-05T22:00" is local wall time; parsed only after the zone is pinned.
QDateTime when(const QString &text)
{
    const QDateTime t = QDateTime::fromString(text, Qt::ISODate);
    Q_ASSERT(t.isValid());
    return t;
}

EventPtr record(const QString &id, const QString &start, const QString &end)
{
    return FakeEventStore::make(id, when(start), when(end), id);
}

QStringList ids(const EventList &events)
{
    QStringList out;
    for (const auto &e : events)
        out << e->identifier;
    return out;
}

QPair<QDateTime, QDateTime> dayRange(QDate day)
{
    return { day.startOfDay(), day.addDays(1).startOfDay() };
}

} // namespace

class tst_EventManager : public QObject
{
    Q_OBJECT

    FakeEventStore m_store;
    std::unique_ptr<FakeClock> m_clock;
    std::unique_ptr<EventManager> m_manager;

    // Creates the manager and lets its queued access check run.
    EventManager &start()
    {
        m_manager = std::make_unique<EventManager>(&m_store, m_clock.get());
        QCoreApplication::processEvents();
        return *m_manager;
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(pinLocalZone("Europe/Berlin"));
        m_store.status = AuthorizationStatus::fullAccess;
        m_store.grantOnRequest = true;
        m_store.answerRequestLater = false;
        m_store.pendingCompletion = nullptr;
        m_store.queries.clear();
        m_store.all = {
            record("yesterday-late", "2026-12-04T22:00", "2026-12-05T02:00"),
            record("today-noon", "2026-12-05T12:00", "2026-12-05T13:00"),
            record("today-all-day", "2026-12-05T00:00", "2026-12-06T00:00"),
            record("new-year", "2027-01-01T00:00", "2027-01-02T00:00"),
            record("mid-january", "2027-01-15T09:00", "2027-01-15T10:00"),
            record("december-30", "2026-12-30T08:00", "2026-12-30T09:00"),
        };
        m_clock = std::make_unique<FakeClock>(when("2026-12-05T10:00"));
    }

    void cleanup() { m_manager.reset(); }

    void startsAtNowAndChecksAccessAfterConstruction()
    {
        m_manager = std::make_unique<EventManager>(&m_store, m_clock.get());
        QCOMPARE(m_manager->selectedDate(), when("2026-12-05T10:00"));
        QCOMPARE(m_manager->currentMonth(), when("2026-12-05T10:00"));
        QCOMPARE(m_manager->authorizationStatus(), AuthorizationStatus::notDetermined);
        QVERIFY(m_manager->selectedDayEvents().isEmpty());
        QVERIFY2(m_store.queries.isEmpty(), "the access check must wait for the event loop");

        QCoreApplication::processEvents();
        QCOMPARE(m_manager->authorizationStatus(), AuthorizationStatus::fullAccess);
        QCOMPARE(m_store.queries.size(), 1);
        QCOMPARE(m_store.queries[0], qMakePair(when("2026-11-29T00:00"), when("2027-01-10T00:00")));
        QCOMPARE(ids(m_manager->selectedDayEvents()),
            (QStringList { "yesterday-late", "today-all-day", "today-noon" }));
    }

    void accessCheck_data()
    {
        QTest::addColumn<AuthorizationStatus>("storeStatus");
        QTest::addColumn<bool>("grant");
        QTest::addColumn<AuthorizationStatus>("expectedStatus");
        QTest::addColumn<int>("expectedQueries");

        QTest::newRow("full access fetches")
            << AuthorizationStatus::fullAccess << false << AuthorizationStatus::fullAccess << 1;
        QTest::newRow("restricted") << AuthorizationStatus::restricted << true
                                    << AuthorizationStatus::restricted << 0;
        QTest::newRow("denied") << AuthorizationStatus::denied << true << AuthorizationStatus::denied << 0;
        QTest::newRow("write only") << AuthorizationStatus::writeOnly << true
                                    << AuthorizationStatus::writeOnly << 0;
        QTest::newRow("asked and granted")
            << AuthorizationStatus::notDetermined << true << AuthorizationStatus::fullAccess << 1;
        QTest::newRow("asked and refused")
            << AuthorizationStatus::notDetermined << false << AuthorizationStatus::denied << 0;
    }

    void accessCheck()
    {
        QFETCH(AuthorizationStatus, storeStatus);
        QFETCH(bool, grant);
        QFETCH(AuthorizationStatus, expectedStatus);
        QFETCH(int, expectedQueries);
        m_store.status = storeStatus;
        m_store.grantOnRequest = grant;
        start();
        QCOMPARE(m_manager->authorizationStatus(), expectedStatus);
        QCOMPARE(m_store.queries.size(), expectedQueries);
    }

    void grantAfterAFetchQueriesTheWindowAgain()
    {
        m_store.status = AuthorizationStatus::notDetermined;
        m_store.answerRequestLater = true;
        EventManager &manager = start();
        manager.goToToday(); // launching finished before the user answered
        QCOMPARE(m_store.queries.size(), 1);
        QVERIFY(manager.selectedDayEvents().isEmpty());

        m_store.answerRequest(true);
        QCOMPARE(manager.authorizationStatus(), AuthorizationStatus::fullAccess);
        QCOMPARE(m_store.queries.size(), 2);
        QCOMPARE(m_store.queries[1], m_store.queries[0]);
        QVERIFY(manager.hasEvents(when("2026-12-05T18:00")));
        QCOMPARE(manager.selectedDayEvents().size(), 3);
    }

    void answerArrivingAfterTheManagerIsGoneIsIgnored()
    {
        m_store.status = AuthorizationStatus::notDetermined;
        m_store.answerRequestLater = true;
        start();
        m_manager.reset();
        m_store.answerRequest(true);
        QVERIFY(m_store.queries.isEmpty());
    }

    void gridRange_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("month");
        QTest::addColumn<QString>("expectedStart");
        QTest::addColumn<QString>("expectedEnd");

        const QByteArray berlin = "Europe/Berlin";
        QTest::newRow("1st on a Sunday") << berlin << "2026-02-14T12:00"
                                         << "2026-02-01T00:00"
                                         << "2026-03-15T00:00";
        QTest::newRow("1st on a Tuesday") << berlin << "2026-12-31T23:59"
                                          << "2026-11-29T00:00"
                                          << "2027-01-10T00:00";
        QTest::newRow("1st on a Friday") << berlin << "2026-05-01T00:00"
                                         << "2026-04-26T00:00"
                                         << "2026-06-07T00:00";
        QTest::newRow("1st on a Saturday") << berlin << "2026-08-20T08:00"
                                           << "2026-07-26T00:00"
                                           << "2026-09-06T00:00";
        QTest::newRow("spring change inside the window") << berlin << "2026-03-10T12:00"
                                                         << "2026-03-01T00:00"
                                                         << "2026-04-12T00:00";
        // The window of August 2026 ends on 6 September, which begins at 01:00 there.
        QTest::newRow("window ends on a day without midnight")
            << QByteArray("America/Santiago") << "2026-08-20T08:00"
            << "2026-07-26T00:00"
            << "2026-09-06T01:00";
    }

    void gridRange()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, month);
        QFETCH(QString, expectedStart);
        QFETCH(QString, expectedEnd);
        QVERIFY(pinLocalZone(zone));
        m_clock->setNow(when("2026-12-05T10:00"));

        EventManager &manager = start();
        manager.goToMonth(when(month));
        const auto expected = qMakePair(when(expectedStart), when(expectedEnd));
        QVERIFY(m_store.queries.contains(expected));
        QCOMPARE(manager.fetchedRangeStart(), std::optional(expected.first));
        QCOMPARE(manager.fetchedRangeEnd(), std::optional(expected.second));
        QCOMPARE(manager.currentMonth(), when(month));
    }

    void selectDate_data()
    {
        QTest::addColumn<QString>("clicked");
        QTest::addColumn<int>("expectedQueries");
        QTest::addColumn<QStringList>("expectedIds");

        QTest::newRow("today") << "2026-12-05T00:00" << 0
                               << QStringList { "yesterday-late", "today-all-day", "today-noon" };
        QTest::newRow("the day before, late") << "2026-12-04T23:59" << 0 << QStringList { "yesterday-late" };
        QTest::newRow("first of the month") << "2026-12-01T09:00" << 0 << QStringList {};
        QTest::newRow("last of the month") << "2026-12-31T12:00" << 0 << QStringList {};
        QTest::newRow("a day of January in the grid moves the month")
            << "2027-01-01T15:00" << 1 << QStringList { "new-year" };
        QTest::newRow("a day of January outside the grid")
            << "2027-01-15T09:30" << 1 << QStringList { "mid-january" };
    }

    void selectDate()
    {
        QFETCH(QString, clicked);
        QFETCH(int, expectedQueries);
        QFETCH(QStringList, expectedIds);
        EventManager &manager = start();
        manager.goToToday();
        const qsizetype before = m_store.queries.size();

        manager.selectDate(when(clicked));
        QCOMPARE(m_store.queries.size() - before, expectedQueries);
        QCOMPARE(manager.selectedDate(), when(clicked));
        QCOMPARE(ids(manager.selectedDayEvents()), expectedIds);
        QCOMPARE(manager.currentMonth(), expectedQueries ? when(clicked) : when("2026-12-05T00:00"));
    }

    void goToTodayAlwaysQueries()
    {
        EventManager &manager = start();
        manager.goToToday();
        manager.goToToday();
        QCOMPARE(m_store.queries.size(), 3);
        QCOMPARE(m_store.queries[2], m_store.queries[0]);

        m_clock->setNow(when("2027-01-15T08:00"));
        manager.goToToday();
        QCOMPARE(manager.selectedDate(), when("2027-01-15T08:00"));
        QCOMPARE(manager.currentMonth(), when("2027-01-15T00:00"));
        QCOMPARE(ids(manager.selectedDayEvents()), QStringList { "mid-january" });
    }

    void storeChangesAreDebounced()
    {
        EventManager &manager = start();
        const qsizetype before = m_store.queries.size();
        m_store.all.removeIf([](const EventPtr &e) { return e->identifier == "today-noon"; });
        for (int i = 0; i < 5; ++i)
            m_store.emitChanged();
        QVERIFY(manager.isRefetchPending());
        QCOMPARE(m_store.queries.size(), before);

        QTRY_COMPARE(m_store.queries.size(), before + 1);
        QVERIFY(!manager.isRefetchPending());
        QCOMPARE(ids(manager.selectedDayEvents()), (QStringList { "yesterday-late", "today-all-day" }));
        QTest::qWait(250);
        QCOMPARE(m_store.queries.size(), before + 1);

        m_store.all.clear();
        m_store.emitChanged();
        QTRY_COMPARE(m_store.queries.size(), before + 2);
        QVERIFY(!manager.hasEvents(when("2026-12-05T12:00")));
        QVERIFY(manager.selectedDayEvents().isEmpty());
    }

    void selectionLeftOutsideTheWindowIsLookedUp_data()
    {
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("move");
        QTest::addColumn<QStringList>("expectedIds");
        QTest::addColumn<bool>("expectDayQuery");

        const QStringList today { "yesterday-late", "today-all-day", "today-noon" };
        QTest::newRow("next month") << "2026-12-05T10:00"
                                    << "next" << today << true;
        QTest::newRow("previous month") << "2026-12-30T10:00"
                                        << "previous" << QStringList { "december-30" } << true;
        QTest::newRow("previous month still shows the 5th") << "2026-12-05T10:00"
                                                            << "previous" << today << false;
        QTest::newRow("month chooser") << "2026-12-05T10:00"
                                       << "month" << today << true;
        QTest::newRow("year chooser") << "2026-12-05T10:00"
                                      << "year" << today << true;
        QTest::newRow("next month still shows the 30th") << "2026-12-30T10:00"
                                                         << "next" << QStringList { "december-30" } << false;
    }

    void selectionLeftOutsideTheWindowIsLookedUp()
    {
        QFETCH(QString, selected);
        QFETCH(QString, move);
        QFETCH(QStringList, expectedIds);
        QFETCH(bool, expectDayQuery);
        EventManager &manager = start();
        manager.selectDate(when(selected));
        const qsizetype before = m_store.queries.size();

        if (move == "next")
            manager.nextMonth();
        else if (move == "previous")
            manager.previousMonth();
        else if (move == "month")
            manager.goToMonth(when("2027-03-01T00:00"));
        else
            manager.goToYear(2027);

        QCOMPARE(manager.selectedDate(), when(selected));
        QCOMPARE(ids(manager.selectedDayEvents()), expectedIds);
        QCOMPARE(m_store.queries.size() - before, expectDayQuery ? 2 : 1);
        if (expectDayQuery)
            QCOMPARE(m_store.queries.last(), dayRange(when(selected).date()));
    }

    void monthArithmetic_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("step");
        QTest::addColumn<QDate>("expected");

        QTest::newRow("next month from 31 January") << "2026-01-31T10:00"
                                                    << "next" << QDate(2026, 2, 28);
        QTest::newRow("next month from 31 January, leap year") << "2028-01-31T10:00"
                                                               << "next" << QDate(2028, 2, 29);
        QTest::newRow("previous month from 31 March") << "2026-03-31T10:00"
                                                      << "previous" << QDate(2026, 2, 28);
        QTest::newRow("next month from December") << "2026-12-31T10:00"
                                                  << "next" << QDate(2027, 1, 31);
        QTest::newRow("29 February into a common year") << "2028-02-29T10:00"
                                                        << "2027" << QDate(2027, 2, 28);
        QTest::newRow("29 February into a leap year") << "2028-02-29T10:00"
                                                      << "2032" << QDate(2032, 2, 29);
        QTest::newRow("year 0 does not exist") << "2028-02-29T10:00"
                                               << "0" << QDate(2028, 2, 29);
    }

    void monthArithmetic()
    {
        QFETCH(QString, from);
        QFETCH(QString, step);
        QFETCH(QDate, expected);
        EventManager &manager = start();
        manager.goToMonth(when(from));
        const qsizetype before = m_store.queries.size();
        QSignalSpy monthSpy(&manager, &EventManager::currentMonthChanged);

        if (step == "next")
            manager.nextMonth();
        else if (step == "previous")
            manager.previousMonth();
        else
            manager.goToYear(step.toInt());

        QCOMPARE(manager.currentMonth().date(), expected);
        const bool moved = expected != when(from).date();
        QCOMPARE(monthSpy.size(), moved ? 1 : 0);
        const QDate first(expected.year(), expected.month(), 1);
        if (moved)
            QCOMPARE(manager.fetchedRangeStart(),
                std::optional(first.addDays(-(first.dayOfWeek() % 7)).startOfDay()));
        else
            QCOMPARE(m_store.queries.size(), before);
    }

    void everyAssignmentNotifies()
    {
        EventManager &manager = start();
        QSignalSpy dateSpy(&manager, &EventManager::selectedDateChanged);
        QSignalSpy monthSpy(&manager, &EventManager::currentMonthChanged);
        QSignalSpy eventsSpy(&manager, &EventManager::selectedDayEventsChanged);

        manager.selectDate(manager.selectedDate());
        manager.selectDate(manager.selectedDate());
        QCOMPARE(dateSpy.size(), 2);
        QCOMPARE(eventsSpy.size(), 2);
        QCOMPARE(monthSpy.size(), 0);

        manager.goToMonth(manager.currentMonth()); // same window: no query, still a fresh list
        QCOMPARE(monthSpy.size(), 1);
        QCOMPARE(eventsSpy.size(), 3);
        QCOMPARE(m_store.queries.size(), 1);
    }

    void eventsReachingOutOfTheWindow()
    {
        m_store.all = {
            record("november", "2026-11-20T09:00", "2026-11-30T10:00"),
            FakeEventStore::make("forever", QDateTime(QDate(1, 1, 1), QTime(0, 0)),
                QDateTime(QDate(9999, 12, 31), QTime(0, 0))),
        };
        EventManager &manager = start();
        QVERIFY(manager.hasEvents(when("2026-11-25T12:00"))); // before the window's first day
        QVERIFY(manager.hasEvents(when("2026-11-30T12:00")));
        QCOMPARE(
            ids(manager.eventsByDay().value(QDate(2026, 11, 25))), (QStringList { "forever", "november" }));
        QCOMPARE(ids(manager.selectedDayEvents()), QStringList { "forever" });
        QVERIFY2(manager.eventsByDay().size() < 1000, "a span of millennia must not fill the index");
    }
};

QTEST_GUILESS_MAIN(tst_EventManager)
#include "tst_eventmanager.moc"
