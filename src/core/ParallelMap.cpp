#include "ParallelMap.h"

#include <QRunnable>
#include <QSemaphore>

#include <algorithm>
#include <atomic>
#include <memory>

namespace {

struct SharedWork
{
    std::atomic<qsizetype> next { 0 };
    qsizetype count = 0;
    const std::function<void(qsizetype)> *work = nullptr;
    QSemaphore finished;

    void drain()
    {
        for (qsizetype i = next.fetch_add(1); i < count; i = next.fetch_add(1))
            (*work)(i);
    }
};

class Helper : public QRunnable
{
public:
    explicit Helper(SharedWork *shared)
        : m_shared(shared)
    {
        setAutoDelete(false);
    }

    void run() override
    {
        m_shared->drain();
        m_shared->finished.release();
    }

private:
    SharedWork *m_shared;
};

} // namespace

void ParallelMap::forEachIndex(QThreadPool *pool, qsizetype count, const std::function<void(qsizetype)> &work)
{
    if (count <= 0)
        return;
    SharedWork shared;
    shared.count = count;
    shared.work = &work;
    const qsizetype helperCount = pool ? std::min<qsizetype>(count, pool->maxThreadCount()) - 1 : 0;
    std::vector<std::unique_ptr<Helper>> helpers;
    for (qsizetype i = 0; i < helperCount; ++i) {
        helpers.push_back(std::make_unique<Helper>(&shared));
        pool->start(helpers.back().get());
    }
    shared.drain();
    // Helpers still queued have nothing left to do: take them back rather
    // than wait for a thread that may only free up once this call returns.
    int running = 0;
    for (const auto &helper : helpers) {
        if (!pool->tryTake(helper.get()))
            ++running;
    }
    shared.finished.acquire(running);
}
