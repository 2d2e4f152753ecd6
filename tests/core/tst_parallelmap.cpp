#include "ParallelMap.h"

#include <QSemaphore>
#include <QTest>
#include <QThreadPool>

#include <atomic>

class tst_ParallelMap : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void eachItemOnceInOrder_data()
    {
        QTest::addColumn<int>("items");
        QTest::addColumn<int>("threads");
        QTest::newRow("none") << 0 << 4;
        QTest::newRow("fewer than threads") << 3 << 8;
        QTest::newRow("many") << 5000 << 4;
        QTest::newRow("single-thread pool") << 100 << 1;
    }
    void eachItemOnceInOrder()
    {
        QFETCH(int, items);
        QFETCH(int, threads);
        QThreadPool pool;
        pool.setMaxThreadCount(threads);
        QList<int> input;
        for (int i = 0; i < items; ++i)
            input.append(i);
        std::atomic<int> calls { 0 };
        const std::vector<qint64> out = ParallelMap::mapped<qint64>(&pool, input, [&](int v) {
            ++calls;
            return qint64(v) * v;
        });
        QCOMPARE(calls.load(), items);
        QCOMPARE(int(out.size()), items);
        for (int i = 0; i < items; ++i)
            QCOMPARE(out[size_t(i)], qint64(i) * i);
    }

    // Loads run on the pool and map on the same pool: with every thread
    // taken by such a caller, the map must still finish on the caller alone.
    void finishesWhenThePoolIsFull()
    {
        QThreadPool pool;
        pool.setMaxThreadCount(2);
        QList<int> input(200, 1);
        std::atomic<int> sum { 0 };
        QSemaphore done;
        auto load = [&] {
            const auto out = ParallelMap::mapped<int>(&pool, input, [](int v) { return v; });
            for (int v : out)
                sum += v;
            done.release();
        };
        pool.start(load);
        pool.start(load);
        QVERIFY(done.tryAcquire(2, 20000));
        QCOMPARE(sum.load(), 400);
    }
};

QTEST_MAIN(tst_ParallelMap)
#include "tst_parallelmap.moc"
