#include "ZoneOffsets.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <algorithm>

namespace {

constexpr qint64 hourMs = 3600000;
// Wall times this close to a change of offset are left to Qt, whatever
// rounding its own lookup does near a change.
constexpr qint64 marginMs = 3 * hourMs;

// The years repeating events are looked at in (1970 to 2100); walls outside go to Qt.
constexpr qint64 tableStartMs = 0;
constexpr qint64 tableEndMs = 4102444800000;

} // namespace

ZoneOffsets::ZoneOffsets(const QTimeZone &zone)
{
    const QDateTime tableStart = QDateTime::fromMSecsSinceEpoch(tableStartMs, Qt::UTC);
    const QDateTime tableEnd = QDateTime::fromMSecsSinceEpoch(tableEndMs, Qt::UTC);
    if (!zone.isValid())
        return;
    if (!zone.hasTransitions()) {
        // A fixed offset (UTC and friends) is one stretch; a zone with
        // daylight time whose changes Qt cannot list stays with Qt.
        if (zone.hasDaylightTime())
            return;
        const qint64 offset = qint64(zone.offsetFromUtc(tableStart)) * 1000;
        m_stretches.push_back({ tableStartMs + offset, tableEndMs + offset,
            offset });
        return;
    }
    // Instants [from, to) with one offset, each change starting the next.
    struct Span
    {
        qint64 from;
        qint64 to;
        qint64 offsetMs;
    };
    std::vector<Span> spans;
    qint64 from = tableStartMs;
    qint64 offset = qint64(zone.offsetFromUtc(tableStart)) * 1000;
    for (const QTimeZone::OffsetData &change : zone.transitions(tableStart, tableEnd)) {
        const qint64 at = change.atUtc.toMSecsSinceEpoch();
        const qint64 next = qint64(change.offsetFromUtc) * 1000;
        if (at <= from || next == offset)
            continue;
        spans.push_back({ from, at, offset });
        from = at;
        offset = next;
    }
    spans.push_back({ from, tableEndMs, offset });

    // Past the years its zone file lists, Qt may know changes that it does
    // not list; twice a year the table is checked against Qt's own answer,
    // and ends where they first differ.
    for (int year = 1970; year < 2100 && spans.size() > 0; ++year) {
        for (int month : { 1, 7 }) {
            const QDateTime sample(QDate(year, month, 15), QTime(12, 0), Qt::UTC);
            const qint64 at = sample.toMSecsSinceEpoch();
            const auto span = std::find_if(
                spans.begin(), spans.end(), [at](const Span &s) { return s.from <= at && at < s.to; });
            if (span != spans.end() && span->offsetMs == qint64(zone.offsetFromUtc(sample)) * 1000)
                continue;
            spans.erase(span, spans.end());
            year = 2100;
            break;
        }
    }

    // Each span's wall times, less those near a neighbour's: there the
    // clock skipped (a gap) or ran twice (a fold).
    for (size_t i = 0; i < spans.size(); ++i) {
        const Span &s = spans[i];
        qint64 wallFrom = s.from + s.offsetMs;
        qint64 wallTo = s.to + s.offsetMs;
        if (i > 0)
            wallFrom = std::max(wallFrom, spans[i - 1].to + spans[i - 1].offsetMs) + marginMs;
        if (i + 1 < spans.size())
            wallTo = std::min(wallTo, spans[i + 1].from + spans[i + 1].offsetMs) - marginMs;
        if (wallFrom < wallTo && (m_stretches.empty() || m_stretches.back().wallTo <= wallFrom))
            m_stretches.push_back({ wallFrom, wallTo, s.offsetMs });
    }
}

std::shared_ptr<const ZoneOffsets> ZoneOffsets::of(const QTimeZone &zone)
{
    if (!zone.isValid())
        return nullptr;
    // System zones and fixed offsets: one id, one set of rules.
    static QMutex mutex;
    static QHash<QByteArray, std::shared_ptr<const ZoneOffsets>> tables;
    const QByteArray id = zone.id();
    QMutexLocker lock(&mutex);
    auto &table = tables[id];
    if (!table)
        table = std::make_shared<const ZoneOffsets>(zone);
    return table;
}

bool ZoneOffsets::instantOf(qint64 wallMs, qint64 *utcMs) const
{
    // Successive questions are mostly about the same months: try the
    // stretch that answered last before searching. Shared between
    // threads, the hint may be stale, never wrong.
    const size_t hint = m_hint.load(std::memory_order_relaxed);
    if (hint < m_stretches.size()) {
        const Stretch &s = m_stretches[hint];
        if (wallMs >= s.wallFrom && wallMs < s.wallTo) {
            *utcMs = wallMs - s.offsetMs;
            return true;
        }
    }
    const auto it = std::upper_bound(m_stretches.begin(), m_stretches.end(), wallMs,
        [](qint64 wall, const Stretch &s) { return wall < s.wallFrom; });
    if (it == m_stretches.begin())
        return false;
    const Stretch &s = *(it - 1);
    if (wallMs >= s.wallTo)
        return false;
    m_hint.store(size_t(it - 1 - m_stretches.begin()), std::memory_order_relaxed);
    *utcMs = wallMs - s.offsetMs;
    return true;
}
