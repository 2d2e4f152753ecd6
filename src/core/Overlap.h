#pragma once

#include <QtGlobal>

/**
 * Whether an occurrence [start, end) shows in the window [from, to), all in
 * UTC milliseconds. A zero-length occurrence counts when it lies in the
 * window. The one test every store and the engine use.
 */
inline bool overlapsWindow(qint64 start, qint64 end, qint64 from, qint64 to)
{
    return start < to && (end > from || (end <= start && start >= from));
}
