#include "CalendarSources.h"
#include "DayIndex.h"
#include "EventRowRules.h"
#include "IcsWindowReader.h"
#include "LocalZone.h"
#include "SystemClock.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>

#include <QSet>

#ifdef MORIVA_WITH_EDS
#include "CompositeEventStore.h"
#include "EdsEventStore.h"

#include <QEventLoop>
#include <QTimer>
#endif

#include <cstdio>
#include <cstdlib>

namespace {

const char usage[]
    = "Usage: moriva-agenda [--source PATH]... [--from YYYY-MM-DD] [--days N] [--json] [--next]\n"
      "Lists the events of each day, as the Moriva calendar shows them.\n"
      "  --source PATH  read this folder or .ics file (repeatable); default: Moriva's sources\n"
      "  --from DATE    first day (default: today)\n"
      "  --days N       number of days, 1 to 3660 (default: 1)\n"
      "  --json         one JSON object per line\n"
      "  --next         only the next event that has not ended\n"
      "  --no-system    leave out the desktop's calendars (Evolution Data Server);\n"
      "                 implied by --source\n";

struct Arguments
{
    QStringList sources;
    QDate from;
    int days = 1;
    bool json = false;
    bool next = false;
    bool noSystem = false;
};

[[noreturn]] void badArguments(const QString &message)
{
    std::fprintf(stderr, "moriva-agenda: %s\n%s", qPrintable(message), usage);
    std::exit(2);
}

Arguments parseArguments(const QStringList &args)
{
    Arguments out;
    bool fromGiven = false;
    bool daysGiven = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        QString arg = args[i];
        QString value;
        bool hasInlineValue = false;
        if (arg.startsWith(QLatin1String("--")) && arg.contains(QLatin1Char('='))) {
            value = arg.section(QLatin1Char('='), 1);
            arg = arg.section(QLatin1Char('='), 0, 0);
            hasInlineValue = true;
        }
        const auto takeValue = [&]() -> QString {
            if (hasInlineValue)
                return value;
            if (i + 1 >= args.size())
                badArguments(QStringLiteral("%1 needs a value").arg(arg));
            return args[++i];
        };
        const auto noValue = [&] {
            if (hasInlineValue)
                badArguments(QStringLiteral("%1 takes no value").arg(arg));
        };
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            std::fputs(usage, stdout);
            std::exit(0);
        } else if (arg == QLatin1String("--source")) {
            const QString path = takeValue();
            if (path.isEmpty())
                badArguments(QStringLiteral("--source needs a path"));
            out.sources.append(path);
        } else if (arg == QLatin1String("--from")) {
            if (fromGiven)
                badArguments(QStringLiteral("--from given twice"));
            fromGiven = true;
            const QString text = takeValue();
            out.from = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
            if (!out.from.isValid() || text.size() != 10)
                badArguments(QStringLiteral("--from wants a date as YYYY-MM-DD, not \"%1\"").arg(text));
        } else if (arg == QLatin1String("--days")) {
            if (daysGiven)
                badArguments(QStringLiteral("--days given twice"));
            daysGiven = true;
            const QString text = takeValue();
            bool ok = false;
            out.days = text.toInt(&ok);
            if (!ok || out.days < 1 || out.days > 3660)
                badArguments(
                    QStringLiteral("--days wants a whole number from 1 to 3660, not \"%1\"").arg(text));
        } else if (arg == QLatin1String("--json")) {
            noValue();
            out.json = true;
        } else if (arg == QLatin1String("--next")) {
            noValue();
            out.next = true;
        } else if (arg == QLatin1String("--no-system")) {
            noValue();
            out.noSystem = true;
        } else {
            badArguments(QStringLiteral("unknown argument \"%1\"").arg(args[i]));
        }
    }
    if (out.next && (fromGiven || daysGiven))
        badArguments(QStringLiteral("--next looks from now; it takes no --from or --days"));
    return out;
}

QString isoWithOffset(const QDateTime &instant)
{
    const QDateTime local = LocalZone::toLocal(instant, LocalZone::zone());
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"))
        + QString::asprintf("%c%02d:%02d", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
}

QString jsonString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray { text }).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

// A status bar shows each line as it comes: a line break or a control
// character inside an invitation's text must not forge another line.
QString oneLine(QString text)
{
    for (QChar &c : text) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format
            || c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph)
            c = QLatin1Char(' ');
    }
    return text;
}

QString jsonLine(QDate day, const CalendarEvent &e)
{
    QString start, end;
    if (e.allDay) {
        start = e.start.toLocalTime().date().toString(Qt::ISODate);
        end = e.end.toLocalTime().date().toString(Qt::ISODate);
    } else {
        start = isoWithOffset(e.start);
        end = isoWithOffset(e.end);
    }
    const EventRowRules::RowContent row = EventRowRules::rowContent(e);
    const QColor color = e.calendar ? e.calendar->color : QColor();
    QString line(QLatin1Char('{'));
    line += QStringLiteral("\"day\":") + jsonString(day.toString(Qt::ISODate));
    line += QStringLiteral(",\"start\":") + jsonString(start);
    line += QStringLiteral(",\"end\":") + jsonString(end);
    line += QStringLiteral(",\"allDay\":") + (e.allDay ? QStringLiteral("true") : QStringLiteral("false"));
    line += QStringLiteral(",\"title\":") + jsonString(row.title);
    line += QStringLiteral(",\"calendar\":") + jsonString(e.calendar ? e.calendar->name : QString());
    line += QStringLiteral(",\"color\":")
        + (color.isValid() ? jsonString(color.name(QColor::HexRgb)) : QStringLiteral("null"));
    line += QStringLiteral(",\"location\":") + jsonString(e.location);
    line += QStringLiteral(",\"meeting\":")
        + (row.link ? jsonString(row.link.url.toString(QUrl::FullyEncoded)) : QStringLiteral("null"));
    line += QStringLiteral(",\"service\":")
        + (row.link.service.isEmpty() ? QStringLiteral("null") : jsonString(row.link.service));
    line += QLatin1Char('}');
    return line;
}

QString textLine(const CalendarEvent &e)
{
    const EventRowRules::RowContent row = EventRowRules::rowContent(e);
    QString line = QStringLiteral("  ") + row.time.leftJustified(15) + oneLine(row.title);
    if (e.calendar && !e.calendar->name.isEmpty())
        line += QStringLiteral("  [") + oneLine(e.calendar->name) + QLatin1Char(']');
    if (row.location)
        line += QStringLiteral("  @ ") + oneLine(*row.location);
    if (row.link)
        line += QStringLiteral("  ") + row.link.url.toString(QUrl::FullyEncoded);
    return line;
}

void print(const QString &line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
}

int runNext(EventStore &store, const QDateTime &now, bool json)
{
    // Widening steps: a status bar asks every few seconds and the next event is usually close.
    const QDate today = now.date();
    for (int span : { 1, 8, 32, 367, 3660 }) {
        const QDateTime end(today.addDays(span), QTime(0, 0));
        const EventList events = store.events(now, end);
        EventPtr best;
        QSet<QString> seen;
        for (const EventPtr &e : events) {
            if (seen.contains(e->identifier))
                continue;
            seen.insert(e->identifier);
            if (e->end < e->start || (e->end <= now && !(e->end == e->start && e->start >= now)))
                continue;
            if (!best || e->start < best->start)
                best = e;
        }
        if (best) {
            const QDate day = std::max(best->start.toLocalTime().date(), today);
            print(json ? jsonLine(day, *best)
                       : day.toString(Qt::ISODate) + QLatin1Char(' ') + textLine(*best).trimmed());
            return 0;
        }
    }
    return 0;
}

/**
 * The listing, a day at a time, so that a long window never holds all its
 * records at once. It lists what one DayIndex of the whole window lists: an
 * identifier counts once, so a record under an identifier already listed is
 * the same occurrence again, on its later days, only when its times agree.
 * Identifiers are remembered by two independent hashes; they are many.
 */
void printDays(EventStore &store, QDate first, int days, bool json)
{
    struct Times
    {
        qint64 start;
        qint64 end;
        bool operator==(const Times &) const = default;
    };
    QHash<QPair<size_t, size_t>, Times> listed;
    constexpr int chunkDays = 1;
    for (int offset = 0; offset < days; offset += chunkDays) {
        const QDate from = first.addDays(offset);
        const QDate to = first.addDays(std::min(days, offset + chunkDays) - 1);
        const EventList events = store.events(QDateTime(from, QTime(0, 0)), QDateTime(to.addDays(1), QTime(0, 0)));
        EventList kept;
        kept.reserve(events.size());
        for (const EventPtr &e : events) {
            if (!e)
                continue;
            const QPair<size_t, size_t> key(qHash(e->identifier, 0), qHash(e->identifier, 0x51ed270b));
            const Times times { e->start.toMSecsSinceEpoch(), e->end.toMSecsSinceEpoch() };
            const auto known = listed.constFind(key);
            if (known == listed.constEnd())
                listed.insert(key, times);
            else if (!(*known == times))
                continue;
            kept.append(e);
        }
        const DayIndex index = DayIndex::build(kept, from, to);
        for (QDate day = from; day <= to; day = day.addDays(1)) {
            const EventList onDay = index.eventsOn(day);
            if (onDay.isEmpty())
                continue;
            if (!json)
                print(QLocale::c().toString(day, QStringLiteral("ddd yyyy-MM-dd")));
            for (const EventPtr &e : onDay)
                print(json ? jsonLine(day, *e) : textLine(*e));
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("moriva-agenda"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MORIVA_VERSION));
    const Arguments args = parseArguments(QCoreApplication::arguments());

    const SystemClock clock;
    const QDateTime now = clock.now();
    const QDate first = args.from.isValid() ? args.from : now.date();
    const QDateTime start(first, QTime(0, 0));
    const QDateTime end(first.addDays(args.days), QTime(0, 0));

    // Only what can matter to the window asked about is parsed; --next
    // looks at the rest of today first and widens from there.
    const QList<SourceRoot> roots
        = args.sources.isEmpty() ? CalendarSources::forUser() : CalendarSources::fromPaths(args.sources);
    IcsWindowReader::Options options;
    // A status bar waits on --next: two threads answer sooner for a little more memory.
    options.threads = args.next ? 2 : 1;
    IcsWindowReader store(roots, options);
    if (args.next)
        store.load(now, QDateTime(now.date().addDays(1), QTime(0, 0)));
    else
        store.load(start, end);
    EventStore *shown = &store;
#ifdef MORIVA_WITH_EDS
    // The desktop's own calendars join the files, unless the sources were
    // named. A command prints once, so it waits (boundedly) for them to load.
    CompositeEventStore composite;
    if (args.sources.isEmpty() && !args.noSystem && EdsEventStore::sessionBusAvailable()) {
        auto *eds = new EdsEventStore;
        QEventLoop loop;
        QObject::connect(eds, &EdsEventStore::loaded, &loop, &QEventLoop::quit);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        if (!eds->isLoaded())
            loop.exec();
        composite.addStore(eds);
        composite.addStore(&store, false);
        composite.setHiddenPathsProvider([eds] { return eds->localCalendarFiles(); });
        shown = &composite;
    }
#endif
    if (shown->authorizationStatus() == AuthorizationStatus::denied) {
        std::fputs("moriva-agenda: none of the calendar sources can be read\n", stderr);
        return 1;
    }

    if (args.next)
        return runNext(*shown, now, args.json);

    printDays(*shown, first, args.days, args.json);
    return 0;
}
