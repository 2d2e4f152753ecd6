#include "AgendaFormat.h"
#include "CalendarSources.h"
#include "CompositeEventStore.h"
#include "DayIndex.h"
#include "IcsWindowReader.h"
#include "SessionBus.h"
#include "SystemClock.h"
#include "SystemStoreModule.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

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
      "                 implied by --source; a running Moriva leaves them out too\n"
      "With --next and Moriva's own sources, a running Moriva answers from memory.\n";

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

void print(const QString &line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
}

int finish(const AgendaFormat::Answer &answer)
{
    std::fputs(answer.output.toUtf8().constData(), stdout);
    std::fputs(answer.errors.toUtf8().constData(), stderr);
    return answer.status;
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
    // Only whether the times agree matters, so one mix of them is kept; a mix
    // that agrees by chance would only list a record once more.
    const auto timesOf = [](const EventPtr &e) {
        return quint64(e->start.toMSecsSinceEpoch()) * 0x9e3779b97f4a7c15ULL
            ^ quint64(e->end.toMSecsSinceEpoch());
    };
    QHash<QPair<size_t, size_t>, quint64> listed;
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
            const quint64 times = timesOf(e);
            const auto known = listed.constFind(key);
            if (known == listed.constEnd())
                listed.insert(key, times);
            else if (*known != times)
                continue;
            kept.append(e);
        }
        const DayIndex index = DayIndex::build(kept, from, to);
        for (QDate day = from; day <= to; day = day.addDays(1)) {
            const EventList onDay = index.eventsOn(day);
            if (onDay.isEmpty())
                continue;
            if (!json)
                print(AgendaFormat::dayHeading(day));
            for (const EventPtr &e : onDay)
                print(json ? AgendaFormat::jsonLine(day, *e) : AgendaFormat::textLine(*e));
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

    // Moriva's own sources are what a running Moriva holds in memory, and
    // what the desktop's calendars join. Named sources are read as given.
    const bool ownSources = args.sources.isEmpty();
    std::unique_ptr<SessionBus> bus;
    if (ownSources)
        bus = SessionBus::connect(400);
    // A status bar asks every few seconds: the app has the answer already.
    // Whatever keeps it from answering (not running, still loading, other
    // settings or zone, too slow) leaves the question to the files.
    if (args.next && bus) {
        if (const auto answer = bus->askNext(args.json, args.noSystem, AgendaFormat::currentContext()))
            return finish(*answer);
    }

    // Only what can matter to the window asked about is parsed; --next
    // looks at the rest of today first and widens from there.
    const QList<SourceRoot> roots
        = ownSources ? CalendarSources::forUser() : CalendarSources::fromPaths(args.sources);
    IcsWindowReader::Options options;
    // A status bar waits on --next: two threads answer sooner for a little more memory.
    options.threads = args.next ? 2 : 1;
    IcsWindowReader store(roots, options);
    if (args.next)
        store.load(now, QDateTime(now.date().addDays(1), QTime(0, 0)));
    else
        store.load(start, end);
    EventStore *shown = &store;
    // The desktop's own calendars join the files when their service answers
    // on the bus; only then is its module (and its fifty libraries) loaded.
    // A command prints once, so it waits (boundedly) for them to load.
    CompositeEventStore composite;
#ifdef MORIVA_WITH_EDS
    const bool withSystem = ownSources && !args.noSystem && bus;
#else
    const bool withSystem = false;
#endif
    if (withSystem && bus->answers(SystemStoreModule::registryBusName)) {
        if (std::unique_ptr<SystemEventStore> system = SystemStoreModule::load()) {
            SystemEventStore *service = system.release();
            QEventLoop loop;
            QObject::connect(service, &SystemEventStore::loaded, &loop, &QEventLoop::quit);
            QTimer::singleShot(10000, &loop, &QEventLoop::quit);
            if (!service->isLoaded())
                loop.exec();
            composite.addStore(service);
            composite.addStore(&store, false);
            composite.setHiddenPathsProvider([service] { return service->localCalendarFiles(); });
            shown = &composite;
        }
    }
    bus.reset();

    if (args.next)
        return finish(AgendaFormat::next(*shown, now, args.json));
    if (shown->authorizationStatus() == AuthorizationStatus::denied)
        return finish(AgendaFormat::unreadable());

    printDays(*shown, first, args.days, args.json);
    return 0;
}
