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
        };
        m_clock = std::make_unique<FakeClock>(when("2026-12-05T10:00"));
    }

    void cleanup() { m_manager.reset(); }

    void startsAtNowAndGoesToTodayWithAFreshQuery()
    {
        m_manager = std::make_unique<EventManager>(&*m_store, m_clock.get());
        QCOMPARE(m_manager->selectedDate(), when("2026-12-05T10:00"));
        QVERIFY2(m_store->queries.isEmpty(), "the access check must wait for the event loop");

        QCoreApplication::processEvents();
        QCOMPARE(m_store->queries, (QList { qMakePair(when("2026-11-29T00:00"), when("2027-01-10T00:00")) }));
        QCOMPARE(ids(m_manager->selectedDayEvents()), m_today);

        m_manager->goToToday();
        QCOMPARE(m_store->queries.size(), 2);
        m_clock->setNow(when("2027-01-15T08:00"));
        m_manager->goToToday();
        QCOMPARE(m_manager->selectedDate(), when("2027-01-15T08:00"));
        QCOMPARE(ids(m_manager->selectedDayEvents()), QStringList { "mid-january" });
    }

    // A request granted is the case of grantAfterAFetchQueriesTheWindowAgain.
    void refusedAccessQueriesNothing()
    {
        m_store->status = AuthorizationStatus::notDetermined;
        m_store->grantOnRequest = false;
        start();
        QCOMPARE(m_manager->authorizationStatus(), AuthorizationStatus::denied);
        QVERIFY(m_store->queries.isEmpty());
    }

    void grantAfterAFetchQueriesTheWindowAgain()
    {
        m_store->status = AuthorizationStatus::notDetermined;
        m_store->answerRequestLater = true;
        EventManager &manager = start();
        manager.goToToday(); // launching finished before the user answered
        m_store->answerRequest(true);
        QCOMPARE(m_store->queries.size(), 2);
        QCOMPARE(m_store->queries[1], m_store->queries[0]);
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
        // The window of August 2026 ends on 6 September, which begins at 01:00 in Santiago.
        QVERIFY(pinLocalZone("America/Santiago"));
        manager.goToMonth(when("2026-08-20T08:00"));
        QVERIFY(m_store->queries.contains(qMakePair(when("2026-07-26T00:00"), when("2026-09-06T01:00"))));
    }

    void storeChangesAreDebounced()
    {
        EventManager &manager = start();
        const qsizetype before = m_store->queries.size();
        m_store->all.removeIf([](const EventPtr &e) { return e->identifier == "today-noon"; });
        for (int i = 0; i < 5; ++i)
            m_store->emitChanged();
        QCOMPARE(m_store->queries.size(), before);
        QTRY_COMPARE(m_store->queries.size(), before + 1);
        QCOMPARE(ids(manager.selectedDayEvents()), (QStringList { "yesterday-late", "today-all-day" }));
        // Nothing left pending, so no second query can follow.
        QVERIFY(!manager.isRefetchPending());
    }

    void selectionAndTheWindow_data()
    {
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("move");
        QTest::addColumn<QStringList>("expectedIds");
        QTest::addColumn<int>("expectedQueries");
        QTest::addColumn<QDate>("month");

        // clang-format off
        QTest::newRow("click today") << "2026-12-05T00:00" << "" << m_today << 0 << QDate(2026, 12, 5);
        QTest::newRow("click January in the grid: new month") << "2027-01-01T15:00" << "" << QStringList { "new-year" } << 1 << QDate(2027, 1, 1);
        // A selection left outside the fetched window is looked up on its own, not reported empty.
        QTest::newRow("next month") << "2026-12-05T10:00" << "next" << m_today << 2 << QDate(2027, 1, 5);
        QTest::newRow("previous month still shows the 5th") << "2026-12-05T10:00" << "previous" << m_today << 1 << QDate(2026, 11, 5);
        QTest::newRow("next month from 31 January") << "2026-01-31T10:00" << "next" << QStringList() << 2 << QDate(2026, 2, 28);
        QTest::newRow("29 February into a common year") << "2028-02-29T10:00" << "2027" << QStringList() << 2 << QDate(2027, 2, 28);
        QTest::newRow("29 February into a leap year") << "2028-02-29T10:00" << "2032" << QStringList() << 2 << QDate(2032, 2, 29);
        QTest::newRow("year 0 does not exist") << "2028-02-29T10:00" << "0" << QStringList() << 0 << QDate(2028, 2, 29);
        // clang-format on
    }

    void selectionAndTheWindow()
    {
        QFETCH(QString, selected);
        QFETCH(QString, move);
        QFETCH(QStringList, expectedIds);
        QFETCH(int, expectedQueries);
        QFETCH(QDate, month);
        EventManager &manager = start();
        manager.goToToday();
        qsizetype before = m_store->queries.size();
        manager.selectDate(when(selected));
        if (!move.isEmpty()) {
            before = m_store->queries.size();
            moveBy(manager, move);
        }

        QCOMPARE(manager.selectedDate(), when(selected));
        QCOMPARE(manager.currentMonth().date(), month);
        QCOMPARE(ids(manager.selectedDayEvents()), expectedIds);
        QCOMPARE(m_store->queries.size() - before, expectedQueries);
        const QDate day = when(selected).date();
        if (expectedQueries == 2)
            QCOMPARE(m_store->queries.last(), qMakePair(day.startOfDay(), day.addDays(1).startOfDay()));
        // The grid's window follows the month.
        const qint64 lead = manager.fetchedRangeStart()->date().daysTo(QDate(month.year(), month.month(), 1));
        QVERIFY2(lead >= 0 && lead < 7, qPrintable(manager.fetchedRangeStart()->toString(Qt::ISODate)));
    }

    void eventsReachingOutOfTheWindow()
    {
        m_store->all = {
            FakeEventStore::record("november", "2026-11-20T09:00", "2026-11-30T10:00"),
        };
        EventManager &manager = start();
        QVERIFY(manager.hasEvents(when("2026-11-25T12:00"))); // before the window's first day
        QCOMPARE(ids(manager.eventsByDay().value(QDate(2026, 11, 25))), QStringList { "november" });
    }
};

QTEST_GUILESS_MAIN(tst_EventManager)
#include "tst_eventmanager.moc"
