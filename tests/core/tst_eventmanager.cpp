#include "EventManager.h"

#include "FakeClock.h"
#include "FakeEventStore.h"
#include "ZonePin.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <optional>

namespace {

constexpr auto when = &FakeEventStore::when;
constexpr auto ids = &FakeEventStore::ids;

} // namespace

class tst_EventManager : public QObject
{
    Q_OBJECT

    std::optional<FakeEventStore> m_store;
    std::unique_ptr<FakeClock> m_clock;
    std::unique_ptr<EventManager> m_manager;
    const QStringList m_today { "yesterday-late", "today-all-day", "today-noon" };

    // Creates the manager and lets its queued access check run.
    EventManager &start()
    {
        m_manager = std::make_unique<EventManager>(&*m_store, m_clock.get());
        QCoreApplication::processEvents();
        return *m_manager;
    }

    void moveBy(EventManager &manager, const QString &how)
    {
        if (how == u"next")
            manager.nextMonth();
        else if (how == u"previous")
            manager.previousMonth();
        else if (how == u"month")
            manager.goToMonth(when("2027-03-01T00:00"));
        else
            manager.goToYear(how.toInt());
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(pinLocalZone("Europe/Berlin"));
        m_store.emplace();
        m_store->all = {
            FakeEventStore::record("yesterday-late", "2026-12-04T22:00", "2026-12-05T02:00"),
            FakeEventStore::record("today-noon", "2026-12-05T12:00", "2026-12-05T13:00"),
            FakeEventStore::record("today-all-day", "2026-12-05T00:00", "2026-12-06T00:00"),
            FakeEventStore::record("new-year", "2027-01-01T00:00", "2027-01-02T00:00"),
            FakeEventStore::record("mid-january", "2027-01-15T09:00", "2027-01-15T10:00"),
            FakeEventStore::record("december-30", "2026-12-30T08:00", "2026-12-30T09:00"),
        };
        m_clock = std::make_unique<FakeClock>(when("2026-12-05T10:00"));
    }

    void cleanup() { m_manager.reset(); }

    void startsAtNowAndChecksAccessAfterConstruction()
    {
        m_manager = std::make_unique<EventManager>(&*m_store, m_clock.get());
        QCOMPARE(m_manager->selectedDate(), when("2026-12-05T10:00"));
        QCOMPARE(m_manager->currentMonth(), when("2026-12-05T10:00"));
        QCOMPARE(m_manager->authorizationStatus(), AuthorizationStatus::notDetermined);
        QVERIFY2(m_store->queries.isEmpty(), "the access check must wait for the event loop");

        QCoreApplication::processEvents();
        QCOMPARE(m_manager->authorizationStatus(), AuthorizationStatus::fullAccess);
        QCOMPARE(m_store->queries, (QList { qMakePair(when("2026-11-29T00:00"), when("2027-01-10T00:00")) }));
        QCOMPARE(ids(m_manager->selectedDayEvents()), m_today);
    }

    void accessCheck_data()
    {
        QTest::addColumn<AuthorizationStatus>("storeStatus");
        QTest::addColumn<bool>("grant");
        QTest::addColumn<AuthorizationStatus>("expectedStatus");
        QTest::addColumn<int>("expectedQueries");

        using S = AuthorizationStatus;
        QTest::newRow("full access fetches") << S::fullAccess << false << S::fullAccess << 1;
        QTest::newRow("write only is not asked again") << S::writeOnly << true << S::writeOnly << 0;
        QTest::newRow("asked and granted") << S::notDetermined << true << S::fullAccess << 1;
        QTest::newRow("asked and refused") << S::notDetermined << false << S::denied << 0;
    }

    void accessCheck()
    {
        QFETCH(AuthorizationStatus, storeStatus);
        QFETCH(bool, grant);
        QFETCH(AuthorizationStatus, expectedStatus);
        QFETCH(int, expectedQueries);
        m_store->status = storeStatus;
        m_store->grantOnRequest = grant;
        start();
        QCOMPARE(m_manager->authorizationStatus(), expectedStatus);
        QCOMPARE(m_store->queries.size(), expectedQueries);
    }

    void grantAfterAFetchQueriesTheWindowAgain()
    {
        m_store->status = AuthorizationStatus::notDetermined;
        m_store->answerRequestLater = true;
        EventManager &manager = start();
        manager.goToToday(); // launching finished before the user answered
        QCOMPARE(m_store->queries.size(), 1);
        QVERIFY(manager.selectedDayEvents().isEmpty());

        m_store->answerRequest(true);
        QCOMPARE(m_store->queries.size(), 2);
        QCOMPARE(m_store->queries[1], m_store->queries[0]);
        QVERIFY(manager.hasEvents(when("2026-12-05T18:00")));
        QCOMPARE(ids(manager.selectedDayEvents()), m_today);
    }

    void answerArrivingAfterTheManagerIsGoneIsIgnored()
    {
        m_store->status = AuthorizationStatus::notDetermined;
        m_store->answerRequestLater = true;
        start();
        m_manager.reset();
        m_store->answerRequest(true);
        QVERIFY(m_store->queries.isEmpty());
    }

    void windowIsSixWeeksFromTheSundayOnOrBeforeThe1st()
    {
        EventManager &manager = start();
        manager.goToMonth(when("2026-02-14T12:00")); // the 1st is a Sunday
        QVERIFY(m_store->queries.contains(qMakePair(when("2026-02-01T00:00"), when("2026-03-15T00:00"))));
        // The window of August 2026 ends on 6 September, which begins at 01:00 in Santiago.
        QVERIFY(pinLocalZone("America/Santiago"));
        manager.goToMonth(when("2026-08-20T08:00"));
        const auto expected = qMakePair(when("2026-07-26T00:00"), when("2026-09-06T01:00"));
        QVERIFY(m_store->queries.contains(expected));
        QCOMPARE(manager.fetchedRangeStart(), std::optional(expected.first));
        QCOMPARE(manager.fetchedRangeEnd(), std::optional(expected.second));
    }

    void goToTodayAlwaysQueries()
    {
        EventManager &manager = start();
        manager.goToToday();
        manager.goToToday();
        QCOMPARE(m_store->queries.size(), 3);
        QCOMPARE(m_store->queries[2], m_store->queries[0]);

        m_clock->setNow(when("2027-01-15T08:00"));
        manager.goToToday();
        QCOMPARE(manager.selectedDate(), when("2027-01-15T08:00"));
        QCOMPARE(manager.currentMonth(), when("2027-01-15T00:00"));
        QCOMPARE(ids(manager.selectedDayEvents()), QStringList { "mid-january" });
    }

    void storeChangesAreDebounced()
    {
        EventManager &manager = start();
        const qsizetype before = m_store->queries.size();
        m_store->all.removeIf([](const EventPtr &e) { return e->identifier == "today-noon"; });
        for (int i = 0; i < 5; ++i)
            m_store->emitChanged();
        QVERIFY(manager.isRefetchPending());
        QCOMPARE(m_store->queries.size(), before);

        QTRY_COMPARE(m_store->queries.size(), before + 1);
        QCOMPARE(ids(manager.selectedDayEvents()), (QStringList { "yesterday-late", "today-all-day" }));
        QTest::qWait(250);
        QCOMPARE(m_store->queries.size(), before + 1);

        m_store->all.clear();
        m_store->emitChanged();
        QTRY_COMPARE(m_store->queries.size(), before + 2);
        QVERIFY(!manager.hasEvents(when("2026-12-05T12:00")));
        QVERIFY(manager.selectedDayEvents().isEmpty());
    }

    void selectionAndTheWindow_data()
    {
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("move");
        QTest::addColumn<QStringList>("expectedIds");
        QTest::addColumn<int>("expectedQueries");

        // clang-format off
        QTest::newRow("click today") << "2026-12-05T00:00" << "" << m_today << 0;
        QTest::newRow("click January in the grid: new month") << "2027-01-01T15:00" << "" << QStringList { "new-year" } << 1;
        QTest::newRow("click January outside the grid") << "2027-01-15T09:30" << "" << QStringList { "mid-january" } << 1;
        // A selection left outside the fetched window is looked up on its own, not reported empty.
        QTest::newRow("next month") << "2026-12-05T10:00" << "next" << m_today << 2;
        QTest::newRow("previous month") << "2026-12-30T10:00" << "previous" << QStringList { "december-30" } << 2;
        QTest::newRow("month chooser") << "2026-12-05T10:00" << "month" << m_today << 2;
        QTest::newRow("year chooser") << "2026-12-05T10:00" << "2027" << m_today << 2;
        QTest::newRow("previous month still shows the 5th") << "2026-12-05T10:00" << "previous" << m_today << 1;
        // clang-format on
    }

    void selectionAndTheWindow()
    {
        QFETCH(QString, selected);
        QFETCH(QString, move);
        QFETCH(QStringList, expectedIds);
        QFETCH(int, expectedQueries);
        EventManager &manager = start();
        manager.goToToday();
        qsizetype before = m_store->queries.size();
        manager.selectDate(when(selected));
        if (!move.isEmpty()) {
            before = m_store->queries.size();
            moveBy(manager, move);
        } else {
            const bool monthChanged = expectedQueries > 0;
            QCOMPARE(manager.currentMonth(), monthChanged ? when(selected) : when("2026-12-05T00:00"));
        }

        QCOMPARE(manager.selectedDate(), when(selected));
        QCOMPARE(ids(manager.selectedDayEvents()), expectedIds);
        QCOMPARE(m_store->queries.size() - before, expectedQueries);
        const QDate day = when(selected).date();
        if (expectedQueries == 2)
            QCOMPARE(m_store->queries.last(), qMakePair(day.startOfDay(), day.addDays(1).startOfDay()));
    }

    void monthArithmetic_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("step");
        QTest::addColumn<QDate>("expected");

        // clang-format off
        QTest::newRow("next month from 31 January") << "2026-01-31T10:00" << "next" << QDate(2026, 2, 28);
        QTest::newRow("previous month from 31 March") << "2026-03-31T10:00" << "previous" << QDate(2026, 2, 28);
        QTest::newRow("next month from December") << "2026-12-31T10:00" << "next" << QDate(2027, 1, 31);
        QTest::newRow("29 February into a common year") << "2028-02-29T10:00" << "2027" << QDate(2027, 2, 28);
        QTest::newRow("29 February into a leap year") << "2028-02-29T10:00" << "2032" << QDate(2032, 2, 29);
        QTest::newRow("year 0 does not exist") << "2028-02-29T10:00" << "0" << QDate(2028, 2, 29);
        // clang-format on
    }

    void monthArithmetic()
    {
        QFETCH(QString, from);
        QFETCH(QString, step);
        QFETCH(QDate, expected);
        EventManager &manager = start();
        manager.goToMonth(when(from));
        const qsizetype before = m_store->queries.size();
        QSignalSpy monthSpy(&manager, &EventManager::currentMonthChanged);

        moveBy(manager, step);
        QCOMPARE(manager.currentMonth().date(), expected);
        const bool moved = expected != when(from).date();
        QCOMPARE(monthSpy.size(), moved ? 1 : 0);
        // The grid's window follows the month; the selection's own lookup may add a query.
        const qint64 lead = manager.fetchedRangeStart()->date().daysTo(QDate(expected.year(), expected.month(), 1));
        QVERIFY2(lead >= 0 && lead < 7, qPrintable(manager.fetchedRangeStart()->toString(Qt::ISODate)));
        if (!moved)
            QCOMPARE(m_store->queries.size(), before);
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
        QCOMPARE(m_store->queries.size(), 1);
    }

    void eventsReachingOutOfTheWindow()
    {
        m_store->all = {
            FakeEventStore::record("november", "2026-11-20T09:00", "2026-11-30T10:00"),
            FakeEventStore::make("forever", QDateTime(QDate(1, 1, 1), QTime(0, 0)),
                QDateTime(QDate(9999, 12, 31), QTime(0, 0))),
        };
        EventManager &manager = start();
        QVERIFY(manager.hasEvents(when("2026-11-25T12:00"))); // before the window's first day
        QCOMPARE(
            ids(manager.eventsByDay().value(QDate(2026, 11, 25))), (QStringList { "forever", "november" }));
        QCOMPARE(ids(manager.selectedDayEvents()), QStringList { "forever" });
        QVERIFY2(manager.eventsByDay().size() < 1000, "a span of millennia must not fill the index");
    }
};

QTEST_GUILESS_MAIN(tst_EventManager)
#include "tst_eventmanager.moc"
