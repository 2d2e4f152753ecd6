#include "EventIndex.h"

#include "LocalZone.h"
#include "Overlap.h"
#include "RecurrenceExpander.h"

#include <QHash>

#include <algorithm>

namespace {

constexpr qint64 dayMs = 86400000;
constexpr qint64 shortSpanMs = 7 * dayMs;

// Recurrence instants as RFC 5545 writes them: "20250305", "20250305T090000"
// or "20250305T090000Z". Hand-formatted because a month step formats thousands.
char16_t *putDigits(char16_t *at, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        at[i] = char16_t(u'0' + value % 10);
        value /= 10;
    }
    return at + width;
}

char16_t *putDate(char16_t *at, QDate date)
{
    at = putDigits(at, date.year(), 4);
    at = putDigits(at, date.month(), 2);
    return putDigits(at, date.day(), 2);
}

// Years outside 0..9999 never come out of a checked file, but keep the
// general form rather than a truncated one should one get here.
bool fourDigitYear(QDate date)
{
    return date.year() >= 0 && date.year() <= 9999;
}

QString dateKey(QDate date)
{
    if (!fourDigitYear(date))
        return QString::asprintf("%04d%02d%02d", date.year(), date.month(), date.day());
    char16_t buffer[8];
    putDate(buffer, date);
    return QString(reinterpret_cast<const QChar *>(buffer), 8);
}

QString wallKey(QDate date, QTime time, bool utc)
{
    if (!fourDigitYear(date))
        return QString::asprintf("%04d%02d%02dT%02d%02d%02d%s", date.year(), date.month(), date.day(), time.hour(),
            time.minute(), time.second(), utc ? "Z" : "");
    char16_t buffer[16];
    char16_t *at = putDate(buffer, date);
    *at++ = u'T';
    at = putDigits(at, time.hour(), 2);
    at = putDigits(at, time.minute(), 2);
    at = putDigits(at, time.second(), 2);
    if (utc)
        *at++ = u'Z';
    return QString(reinterpret_cast<const QChar *>(buffer), at - buffer);
}

QString utcKey(qint64 ms)
{
    const qint64 day = ms >= 0 ? ms / dayMs : -((-ms + dayMs - 1) / dayMs);
    const qint64 secs = (ms - day * dayMs) / 1000;
    return wallKey(QDate::fromJulianDay(day + 2440588),
        QTime(int(secs / 3600), int(secs / 60 % 60), int(secs % 60)), true);
}

QString wallKeyOf(qint64 wall, bool utc)
{
    const qint64 day = wall >= 0 ? wall / dayMs : -((-wall + dayMs - 1) / dayMs);
    return wallKey(RecurrenceExpander::dateOfWall(wall),
        QTime::fromMSecsSinceStartOfDay(int(wall - day * dayMs)), utc);
}

bool isUtc(const IcsTime &t)
{
    // QTimeZone::utc() looks its zone up by name on every call.
    static const QTimeZone utc = QTimeZone::utc();
    return t.kind == IcsTime::Kind::zoned && t.zone == utc;
}

/** The instant a value of an item stands for, floating ones in the zone the user is in now. */
QDateTime instantOf(const IcsTime &t, const QTimeZone &local)
{
    if (t.kind == IcsTime::Kind::zoned)
        return QDateTime(t.date, t.time, t.zone);
    return LocalZone::at(t.date, t.time, local);
}

/**
 * The record of one occurrence. Timed events carry UTC instants; all-day and
 * floating ones the wall time in the zone the user is in now.
 */
EventPtr makeRecord(const IcsEvent &source, bool allDayOrFloating, qint64 startMs, qint64 endMs,
    const std::shared_ptr<const CalendarInfo> &calendar, const QString &identifier, const QString &recurrenceKey,
    const QTimeZone &local)
{
    auto e = std::make_shared<CalendarEvent>();
    e->identifier = identifier;
    if (allDayOrFloating) {
        e->start = LocalZone::toLocal(QDateTime::fromMSecsSinceEpoch(startMs, Qt::UTC), local);
        e->end = LocalZone::toLocal(QDateTime::fromMSecsSinceEpoch(endMs, Qt::UTC), local);
    } else {
        e->start = QDateTime::fromMSecsSinceEpoch(startMs, Qt::UTC);
        e->end = QDateTime::fromMSecsSinceEpoch(endMs, Qt::UTC);
    }
    e->allDay = source.isAllDay();
    e->title = source.summary;
    e->location = source.location;
    e->url = source.url;
    e->notes = source.description;
    e->meeting = source.meeting;
    e->calendar = calendar;
    e->sourceUid = calendar->id;
    e->componentUid = source.uid;
    e->recurrenceId = recurrenceKey;
    return e;
}

bool floatsWithUser(const IcsEvent &e)
{
    return e.start.kind != IcsTime::Kind::zoned;
}

} // namespace

struct EventIndex::Source
{
    std::shared_ptr<const CalendarInfo> info;
    std::function<QString(const QString &, const QString &)> identifier;
    bool wallKeys = false;
};

// One per one-off event and per override, so kept small: what only a few
// need (a stand-in UID, an override's recurrence key) lives in m_extras.
struct EventIndex::Single
{
    std::shared_ptr<const IcsEvent> event;
    qint64 startMs = 0;
    qint64 endMs = 0;
    quint32 source = 0;
    qint32 extra = -1;
    quint32 uidRank = 0; ///< where the event's UID sorts among all the index holds
};

struct EventIndex::Extra
{
    QString uid; ///< null when it is the event's own
    QString recurrenceKey;
};

struct EventIndex::Master
{
    /** A RANGE=THISANDFUTURE change: later occurrences move by calendar days and wall time, and take its fields. */
    struct Future
    {
        qint64 afterWall;
        qint64 shiftWall;
        std::shared_ptr<const IcsEvent> source;
        quint32 uidRank = 0;
    };
    std::unique_ptr<RecurrenceExpander> expander;
    QString uid;
    quint32 source = 0;
    quint32 uidRank = 0;
    std::vector<Future> future; ///< ascending by afterWall
};

bool EventIndex::supersedes(const IcsEvent &candidate, const IcsEvent &current)
{
    if (candidate.sequence != current.sequence)
        return candidate.sequence > current.sequence;
    return candidate.stampSecs > current.stampSecs;
}

EventIndex::EventIndex(const QList<Calendar> &calendars, const Limits &limits)
    : m_limits(limits)
{
    m_sources.reserve(size_t(calendars.size()));
    for (const Calendar &calendar : calendars) {
        const auto sourceIndex = quint32(m_sources.size());
        m_sources.push_back({ calendar.info, calendar.identifier, calendar.wallTimeRecurrenceIds });
        const auto addSingle = [&](const Item &item, const QString &recurrenceKey) {
            Single single { item.event, 0, 0, sourceIndex, -1, 0 };
            const bool ownUid = item.uid == item.event->uid;
            if (!ownUid || !recurrenceKey.isEmpty()) {
                single.extra = qint32(m_extras.size());
                m_extras.push_back({ ownUid ? QString() : item.uid, recurrenceKey });
            }
            m_shortEvents.push_back(std::move(single));
        };
        // Two versions of one item (same UID and RECURRENCE-ID): the newer
        // one stands, whichever was read first (RFC 5545 3.8.7.4).
        QList<const Item *> items;
        QHash<QString, qsizetype> slotOf;
        for (const Item &item : calendar.items) {
            const IcsTime &rid = item.event->recurrenceId;
            const QString key = item.uid + QLatin1Char('\n')
                + (!rid.isValid()   ? QString()
                        : rid.isDate() ? dateKey(rid.date)
                                       : wallKey(rid.date, rid.time, false) + QString::fromLatin1(rid.zone.id()));
            const auto slot = slotOf.constFind(key);
            if (slot == slotOf.constEnd()) {
                slotOf.insert(key, items.size());
                items.append(&item);
            } else if (supersedes(*item.event, *items[*slot]->event)) {
                items[*slot] = &item;
            }
        }

        QHash<QString, QList<const Item *>> overrides;
        for (const Item *item : std::as_const(items)) {
            if (item->event->recurrenceId.isValid())
                overrides[item->uid].append(item);
        }

        for (const Item *item : std::as_const(items)) {
            const IcsEvent &event = *item->event;
            if (event.recurrenceId.isValid()) {
                if (event.cancelled)
                    continue;
                const IcsTime &rid = event.recurrenceId;
                const QString key = rid.isDate()  ? dateKey(rid.date)
                    : calendar.wallTimeRecurrenceIds ? wallKey(rid.date, rid.time, isUtc(rid))
                                                     : utcKey(instantOf(rid, LocalZone::zone()).toMSecsSinceEpoch());
                addSingle(*item, key);
                continue;
            }
            const auto overridden = overrides.constFind(item->uid);
            if (event.isRecurring() || overridden != overrides.constEnd()) {
                if (event.cancelled)
                    continue;
                Master master;
                master.expander = std::make_unique<RecurrenceExpander>(item->event, m_limits.instancesPerSeries);
                master.source = sourceIndex;
                master.uid = item->uid;
                if (overridden != overrides.constEnd()) {
                    for (const Item *o : *overridden) {
                        const IcsEvent &change = *o->event;
                        master.expander->addOverride(change.recurrenceId);
                        if (!change.thisAndFuture)
                            continue;
                        const qint64 after = master.expander->wallOf(change.recurrenceId);
                        master.future.push_back(
                            { after, master.expander->wallOf(change.start) - after, o->event, 0 });
                    }
                    // Ordered by where each change takes effect, so the latest one before an occurrence wins.
                    std::stable_sort(master.future.begin(), master.future.end(),
                        [](const Master::Future &a, const Master::Future &b) { return a.afterWall < b.afterWall; });
                }
                m_masters.push_back(std::move(master));
                continue;
            }
            if (event.cancelled)
                continue;
            addSingle(*item, QString());
        }
    }
    m_shortEvents.shrink_to_fit();
    m_extras.shrink_to_fit();
    m_masters.shrink_to_fit();
    rankUids();
    placeSingles();
}

EventIndex::~EventIndex() = default;

// Queries order occurrences that start together by UID; comparing ranks
// worked out once is what keeps that cheap when thousands start together.
void EventIndex::rankUids()
{
    std::vector<std::pair<const QString *, quint32 *>> uids;
    uids.reserve(m_shortEvents.size() + m_masters.size());
    for (Single &s : m_shortEvents)
        uids.emplace_back(&s.event->uid, &s.uidRank);
    for (Master &m : m_masters) {
        uids.emplace_back(&m.expander->master().uid, &m.uidRank);
        for (Master::Future &f : m.future)
            uids.emplace_back(&f.source->uid, &f.uidRank);
    }
    std::sort(uids.begin(), uids.end(), [](const auto &a, const auto &b) { return *a.first < *b.first; });
    quint32 rank = 0;
    for (size_t i = 0; i < uids.size(); ++i) {
        if (i > 0 && *uids[i].first != *uids[i - 1].first)
            ++rank;
        *uids[i].second = rank;
    }
}

void EventIndex::placeSingles()
{
    m_localGeneration = LocalZone::generation();
    const QTimeZone local = LocalZone::zone();
    std::vector<Single> all;
    all.reserve(m_shortEvents.size() + m_longEvents.size());
    std::move(m_shortEvents.begin(), m_shortEvents.end(), std::back_inserter(all));
    std::move(m_longEvents.begin(), m_longEvents.end(), std::back_inserter(all));
    m_shortEvents.clear();
    m_longEvents.clear();
    for (Single &s : all) {
        const QDateTime start = instantOf(s.event->start, local);
        s.startMs = start.toMSecsSinceEpoch();
        s.endMs = std::max(s.startMs, s.event->endFor(start).toMSecsSinceEpoch());
        (s.endMs - s.startMs > shortSpanMs ? m_longEvents : m_shortEvents).push_back(std::move(s));
    }
    // In the order queries hand records out, so that a query only sorts the
    // occurrences of series and merges them in.
    std::stable_sort(m_shortEvents.begin(), m_shortEvents.end(), [](const Single &a, const Single &b) {
        return a.startMs != b.startMs ? a.startMs < b.startMs : a.uidRank < b.uidRank;
    });
    m_shortEvents.shrink_to_fit();
    m_longEvents.shrink_to_fit();
}

// Records of one-off events are made when asked for rather than kept: a
// month shows a few hundred of the thousands held.
EventPtr EventIndex::recordOf(const Single &single, const QTimeZone &local) const
{
    const Source &source = m_sources[single.source];
    const IcsEvent &event = *single.event;
    const Extra *extra = single.extra >= 0 ? &m_extras[size_t(single.extra)] : nullptr;
    const QString &uid = extra && !extra->uid.isNull() ? extra->uid : event.uid;
    const QString key = extra ? extra->recurrenceKey : QString();
    return makeRecord(event, event.isAllDay() || floatsWithUser(event), single.startMs, single.endMs, source.info,
        source.identifier(uid, key), key, local);
}

void EventIndex::prepare(qint64 untilMs)
{
    for (Master &master : m_masters)
        master.expander->prepare(untilMs);
}

EventList EventIndex::events(const QDateTime &start, const QDateTime &end)
{
    EventList out;
    if (!start.isValid() || !end.isValid() || !(start < end))
        return out;
    // Sorted on UTC milliseconds: comparing the records' times would look
    // up a zone for every comparison.
    struct Found
    {
        qint64 startMs;
        quint32 uidRank;
        EventPtr record;
    };
    std::vector<Found> found;
    if (LocalZone::generation() != m_localGeneration)
        placeSingles();
    const QTimeZone local = LocalZone::zone();
    const qint64 from = start.toMSecsSinceEpoch();
    const qint64 to = end.toMSecsSinceEpoch();

    auto it = std::lower_bound(m_shortEvents.begin(), m_shortEvents.end(), from - shortSpanMs,
        [](const Single &s, qint64 value) { return s.startMs < value; });
    for (; it != m_shortEvents.end() && it->startMs < to; ++it) {
        if (overlapsWindow(it->startMs, it->endMs, from, to))
            found.push_back({ it->startMs, it->uidRank, recordOf(*it, local) });
    }
    const size_t inOrder = found.size();
    for (const Single &s : m_longEvents) {
        if (overlapsWindow(s.startMs, s.endMs, from, to))
            found.push_back({ s.startMs, s.uidRank, recordOf(s, local) });
    }

    for (Master &master : m_masters) {
        RecurrenceExpander &expander = *master.expander;
        const Source &source = m_sources[master.source];
        const IcsEvent &event = expander.master();
        const bool floating = event.isAllDay() || floatsWithUser(event);
        const bool utcSeries = isUtc(event.start);
        const auto add = [&](const RecurrenceExpander::Occurrence &o, const IcsEvent &fields, quint32 rank,
                              qint64 startMs, qint64 endMs) {
            const QString key = event.isAllDay() ? dateKey(RecurrenceExpander::dateOfWall(o.wall))
                : source.wallKeys                ? wallKeyOf(o.wall, utcSeries)
                                                 : utcKey(o.startMs);
            found.push_back({ startMs, rank,
                makeRecord(
                    fields, floating, startMs, endMs, source.info, source.identifier(master.uid, key), key, local) });
        };
        // Occurrences before the first change stay where the rule puts them;
        // each later stretch is looked for where it was before its change
        // moved it, so a shift of years costs no wider search.
        const qint64 firstChange
            = master.future.empty() ? std::numeric_limits<qint64>::max() : master.future.front().afterWall;
        for (const auto &o : expander.occurrences(from, to, m_limits.perSeriesPerDay)) {
            if (o.wall <= firstChange)
                add(o, event, master.uidRank, o.startMs, o.endMs);
        }
        for (size_t i = 0; i < master.future.size(); ++i) {
            const Master::Future &change = master.future[i];
            const qint64 until
                = i + 1 < master.future.size() ? master.future[i + 1].afterWall : std::numeric_limits<qint64>::max();
            if (change.source->cancelled)
                continue;
            // Wall shifts equal instant shifts but for zone offsets: two days cover any.
            const qint64 margin = 2 * dayMs;
            for (const auto &o : expander.occurrences(
                     from - change.shiftWall - margin, to - change.shiftWall + margin, m_limits.perSeriesPerDay)) {
                if (o.wall <= change.afterWall || o.wall > until)
                    continue;
                const auto moved = expander.place(o.wall + change.shiftWall, *change.source);
                if (overlapsWindow(moved.startMs, moved.endMs, from, to))
                    add(o, *change.source, change.uidRank, moved.startMs, moved.endMs);
            }
        }
    }
    // One order whatever order the items arrived in, so that every store
    // answers alike: by start, then by item, then as found. Sorting small
    // keys rather than the records themselves.
    struct Key
    {
        qint64 startMs;
        quint32 uidRank;
        quint32 at;
    };
    std::vector<Key> order(found.size());
    for (size_t i = 0; i < found.size(); ++i)
        order[i] = { found[i].startMs, found[i].uidRank, quint32(i) };
    const auto before = [](const Key &a, const Key &b) {
        return a.startMs != b.startMs ? a.startMs < b.startMs
            : a.uidRank != b.uidRank  ? a.uidRank < b.uidRank
                                      : a.at < b.at;
    };
    // The one-off events came in order already; the order is total, so
    // merging gives what sorting everything would.
    const auto rest = order.begin() + std::ptrdiff_t(inOrder);
    std::sort(rest, order.end(), before);
    std::inplace_merge(order.begin(), rest, order.end(), before);
    out.reserve(qsizetype(found.size()));
    for (const Key &k : order)
        out.append(std::move(found[k.at].record));
    return out;
}
