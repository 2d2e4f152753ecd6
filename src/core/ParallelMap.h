#pragma once

#include <QList>
#include <QThreadPool>

#include <functional>
#include <vector>

/**
 * Runs one function over many items on a thread pool and waits for all of
 * them, results in input order. The calling thread takes items too, so the
 * map finishes even when every pool thread is busy, or when it is called
 * from a pool thread that waits on other pool work.
 */
namespace ParallelMap {

/** Calls work(i) once for each i in [0, count), spread over the pool and the caller. */
void forEachIndex(QThreadPool *pool, qsizetype count, const std::function<void(qsizetype)> &work);

template<typename Result, typename Item, typename Function>
std::vector<Result> mapped(QThreadPool *pool, const QList<Item> &items, Function function)
{
    std::vector<Result> results(size_t(items.size()));
    forEachIndex(pool, items.size(), [&](qsizetype i) { results[size_t(i)] = function(items[i]); });
    return results;
}

} // namespace ParallelMap
