// Figures for the calendar-file store on a folder the size of a busy user's:
// 5,000 single events and 300 weekly series with exceptions and overrides,
// one item per file across five collections (--items scales both alike, for
// the memory per event at 10,000 and 50,000). Prints, never judges.
//
// bench_store [--agenda PATH] [--keep DIR] [--items N] [--store-only]
#include "DayIndex.h"
#include "IcsEventStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <malloc.h>

namespace {

const QDate gridStart(2025, 2, 23); // the grid of March 2025
const char *const zones[] = { "Europe/Berlin", "America/New_York", "Asia/Tokyo", nullptr, "UTC" };

QString stamp(const QDateTime &t)
{
    return t.toString(QStringLiteral("yyyyMMdd'T'HHmmss"));
}

QString timeProperty(const char *name, const QDateTime &wall, const char *zone)
{
    if (!zone)
        return QStringLiteral("%1:%2").arg(QLatin1String(name), stamp(wall));
    if (qstrcmp(zone, "UTC") == 0)
        return QStringLiteral("%1:%2Z").arg(QLatin1String(name), stamp(wall));
    return QStringLiteral("%1;TZID=%2:%3").arg(QLatin1String(name), QLatin1String(zone), stamp(wall));
}

void write(const QString &path, const QString &text)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(text.toUtf8());
    f.commit();
}

QString wrap(const QStringList &lines)
{
    return QStringLiteral("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//bench//EN\r\n")
        + lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\nEND:VCALENDAR\r\n");
}

void generate(const QString &root, int items)
{
    const int series = int(qint64(items) * 300 / 5300);
    const int singles = items - series;
    QRandomGenerator rng(20250223);
    const QStringList collections { "personal", "work", "family", "sport", "holidays" };
    for (const QString &c : collections) {
        QDir().mkpath(root + QLatin1Char('/') + c);
        write(root + QLatin1Char('/') + c + QStringLiteral("/displayname"), c);
        write(root + QLatin1Char('/') + c + QStringLiteral("/color"),
            QStringLiteral("#%1FF").arg(rng.bounded(0x1000000), 6, 16, QLatin1Char('0')));
    }
    for (int i = 0; i < singles; ++i) {
        const char *zone = zones[rng.bounded(5)];
        const QString uid = QStringLiteral("single-%1@bench").arg(i);
        QStringList lines { QStringLiteral("BEGIN:VEVENT"), QStringLiteral("UID:") + uid,
            QStringLiteral("DTSTAMP:20250101T000000Z"), QStringLiteral("SUMMARY:Event %1").arg(i) };
        const QDate day = gridStart.addDays(rng.bounded(-400, 400));
        if (rng.bounded(10) == 0) {
            lines << QStringLiteral("DTSTART;VALUE=DATE:") + day.toString(QStringLiteral("yyyyMMdd"))
                  << QStringLiteral("DTEND;VALUE=DATE:")
                    + day.addDays(1 + rng.bounded(3)).toString(QStringLiteral("yyyyMMdd"));
        } else {
            const QDateTime start(day, QTime(rng.bounded(7, 20), 15 * rng.bounded(4)));
            lines << timeProperty("DTSTART", start, zone)
                  << timeProperty("DTEND", start.addSecs(60 * (30 + 30 * rng.bounded(4))), zone);
        }
        if (rng.bounded(4) == 0)
            lines << QStringLiteral("LOCATION:Room %1").arg(rng.bounded(100));
        if (rng.bounded(5) == 0)
            lines << QStringLiteral("DESCRIPTION:Join https://meet.google.com/abc-defg-%1").arg(i);
        lines << QStringLiteral("END:VEVENT");
        write(QStringLiteral("%1/%2/%3.ics").arg(root, collections[i % 5], uid), wrap(lines));
    }
    for (int i = 0; i < series; ++i) {
        const char *zone = zones[rng.bounded(4)]; // zoned or floating; UTC series are rare
        const QString uid = QStringLiteral("weekly-%1@bench").arg(i);
        const QDateTime start(QDate(2023, 1, 2).addDays(rng.bounded(700)), QTime(rng.bounded(8, 18), 0));
        QStringList lines { QStringLiteral("BEGIN:VEVENT"), QStringLiteral("UID:") + uid,
            QStringLiteral("DTSTAMP:20250101T000000Z"), QStringLiteral("SUMMARY:Weekly %1").arg(i),
            timeProperty("DTSTART", start, zone), timeProperty("DTEND", start.addSecs(3600), zone),
            QStringLiteral("RRULE:FREQ=WEEKLY") };
        for (int k = 1; k <= 2; ++k)
            lines << timeProperty("EXDATE", start.addDays(7 * (10 * k + rng.bounded(60))), zone);
        lines << QStringLiteral("END:VEVENT");
        const QDateTime moved = start.addDays(7 * (5 + rng.bounded(100)));
        lines << QStringLiteral("BEGIN:VEVENT") << QStringLiteral("UID:") + uid
              << QStringLiteral("DTSTAMP:20250101T000000Z") << timeProperty("RECURRENCE-ID", moved, zone)
              << timeProperty("DTSTART", moved.addSecs(7200), zone)
              << timeProperty("DTEND", moved.addSecs(10800), zone)
              << QStringLiteral("SUMMARY:Weekly %1 (moved)").arg(i) << QStringLiteral("END:VEVENT");
        write(QStringLiteral("%1/%2/%3.ics").arg(root, collections[i % 5], uid), wrap(lines));
    }
}

// Wall time on a shared machine includes other people's work; this does not.
double threadCpuMs()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double ms(qint64 ns)
{
    return double(ns) / 1e6;
}

qint64 rssKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

double timeProcess(
    const QString &program, const QStringList &args, const QProcessEnvironment &env, int *lines = nullptr)
{
    QProcess p;
    p.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
        return -1;
    }
    const double elapsed = ms(t.nsecsElapsed());
    if (lines)
        *lines = int(p.readAllStandardOutput().count('\n'));
    return elapsed;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("TZ", "Europe/Berlin");
    QCoreApplication app(argc, argv);
    QString agenda = QCoreApplication::applicationDirPath() + QStringLiteral("/../src/agenda/moriva-agenda");
    QString keep;
    int items = 5300;
    bool storeOnly = false;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--store-only"))
            storeOnly = true;
        else if (i + 1 >= args.size())
            break;
        else if (args[i] == QLatin1String("--agenda"))
            agenda = args[++i];
        else if (args[i] == QLatin1String("--keep"))
            keep = args[++i];
        else if (args[i] == QLatin1String("--items"))
            items = std::max(1, args[++i].toInt());
    }

    QTemporaryDir tmp;
    const QString root = keep.isEmpty() ? tmp.filePath(QStringLiteral("calendars")) : keep;
    QElapsedTimer t;
    t.start();
    // A kept folder made for the same size is reused: writing 50,000 files
    // takes minutes and gives the same bytes every time.
    const QString marker = root + QStringLiteral("/.bench-items");
    QFile made(marker);
    if (!keep.isEmpty() && made.open(QIODevice::ReadOnly) && made.readAll().trimmed().toInt() == items) {
        std::printf("reusing %d items in five collections (%s)\n", items, qPrintable(root));
    } else {
        generate(root, items);
        write(marker, QString::number(items));
        std::printf("generated %d items in five collections in %.0f ms (%s)\n", items, ms(t.nsecsElapsed()),
            qPrintable(root));
    }
    const qint64 rssBefore = rssKb();
    const qint64 heapBefore = qint64(mallinfo2().uordblks);

    // Cold load: construction to the first changed(), parsing on worker threads.
    IcsEventStore::Options options;
    t.restart();
    IcsEventStore store({ SourceRoot { root, true } }, options);
    {
        QEventLoop loop;
        QObject::connect(&store, &EventStore::changed, &loop, &QEventLoop::quit);
        loop.exec();
    }
    const double coldLoad = ms(t.nsecsElapsed());
    if (qEnvironmentVariableIsSet("BENCH_TRIM")) malloc_trim(0);
    const qint64 rssLoaded = rssKb();
    const qint64 heapLoaded = qint64(mallinfo2().uordblks);

    const QDateTime from(gridStart, QTime(0, 0));
    t.restart();
    const EventList first = store.events(from, from.addDays(42));
    const DayIndex firstIndex = DayIndex::build(first, gridStart, gridStart.addDays(41));
    const double firstQuery = ms(t.nsecsElapsed());

    // Month steps: the grids of the following twelve months, each a new query and index.
    double stepTotal = 0, stepMax = 0, queryTotal = 0, stepCpu = 0;
    for (int m = 1; m <= 12; ++m) {
        const QDate firstOfMonth = QDate(2025, 3, 1).addMonths(m);
        const QDate start = firstOfMonth.addDays(-(firstOfMonth.dayOfWeek() % 7));
        t.restart();
        const double cpu0 = threadCpuMs();
        const EventList events
            = store.events(QDateTime(start, QTime(0, 0)), QDateTime(start.addDays(42), QTime(0, 0)));
        queryTotal += ms(t.nsecsElapsed());
        const DayIndex index = DayIndex::build(events, start, start.addDays(41));
        const double step = ms(t.nsecsElapsed());
        stepCpu += threadCpuMs() - cpu0;
        stepTotal += step;
        stepMax = std::max(stepMax, step);
        Q_UNUSED(index);
    }

    const qint64 rssTwelveSteps = rssKb();
    // Further steps: do the caches keep growing with every month looked at?
    for (int m = 13; m <= 50; ++m) {
        const QDate firstOfMonth = QDate(2025, 3, 1).addMonths(m);
        const QDate start = firstOfMonth.addDays(-(firstOfMonth.dayOfWeek() % 7));
        const EventList events
            = store.events(QDateTime(start, QTime(0, 0)), QDateTime(start.addDays(42), QTime(0, 0)));
        Q_UNUSED(events);
    }
    const qint64 rssFiftySteps = rssKb();

    // One file changed the way sync tools write it (atomic replace) until changed().
    const QString victim = root + QStringLiteral("/work/single-1@bench.ics");
    QByteArray original;
    if (QFile v(victim); v.open(QIODevice::ReadOnly))
        original = v.readAll();
    t.restart();
    write(victim,
        wrap({ QStringLiteral("BEGIN:VEVENT"), QStringLiteral("UID:single-1@bench"),
            QStringLiteral("DTSTART:20250305T100000Z"), QStringLiteral("SUMMARY:Changed"),
            QStringLiteral("END:VEVENT") }));
    {
        QEventLoop loop;
        QObject::connect(&store, &EventStore::changed, &loop, &QEventLoop::quit);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    const double changeLatency = ms(t.nsecsElapsed());
    const qint64 rssAfter = rssKb();
    // The next run on a kept folder reads what was generated.
    write(victim, QString::fromUtf8(original));
    // What malloc keeps of freed parse memory, for the user to see.
    malloc_trim(0);
    const qint64 rssTrimmed = rssKb();

    std::printf("cold load to first changed():          %8.1f ms\n", coldLoad);
    std::printf("first 42-day query + day index:        %8.2f ms  (%lld events, %lld days)\n", firstQuery,
        qint64(first.size()), qint64(firstIndex.datesWithEvents.size()));
    std::printf("month step (query + index), mean/max:  %8.2f / %.2f ms  (query alone %.2f ms)\n",
        stepTotal / 12, stepMax, queryTotal / 12);
    std::printf("month step, CPU time of the thread:    %8.2f ms\n", stepCpu / 12);
    std::printf("one file changed to changed():         %8.1f ms  (of which %d ms settle time)\n",
        changeLatency, options.settleMs);
    std::printf("resident memory:                       %8.1f MB  (%.1f MB before the store)\n",
        rssAfter / 1024.0, rssBefore / 1024.0);
    std::printf("resident memory per item, loaded:      %8.2f KB  (%.1f MB for %d items)\n",
        double(rssLoaded - rssBefore) / items, (rssLoaded - rssBefore) / 1024.0, items);
    std::printf("heap in use per item, loaded:          %8.2f KB  (malloc's count, without its slack)\n",
        double(heapLoaded - heapBefore) / 1024.0 / items);
    std::printf("resident growth, 12 then 50 steps:     %8.1f / %.1f MB  (since loaded)\n",
        (rssTwelveSteps - rssLoaded) / 1024.0, (rssFiftySteps - rssLoaded) / 1024.0);
    std::printf("resident memory after malloc_trim:     %8.1f MB  (%.1f MB returned)\n", rssTrimmed / 1024.0,
        (rssAfter - rssTrimmed) / 1024.0);
    if (storeOnly)
        return 0;

    // The whole command-line run against khal's warm listing of the same window.
    const QStringList window { gridStart.toString(Qt::ISODate), gridStart.addDays(41).toString(Qt::ISODate) };
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("Europe/Berlin"));
    double agendaMs = -1;
    int agendaLines = 0;
    if (QFile::exists(agenda)) {
        timeProcess(agenda, { "--source", root, "--from", window[0], "--days", "42", "--json" }, env);
        double best = 1e9;
        for (int i = 0; i < 3; ++i)
            best = std::min(best,
                timeProcess(agenda, { "--source", root, "--from", window[0], "--days", "42", "--json" }, env,
                    &agendaLines));
        agendaMs = best;
        std::printf("moriva-agenda, whole run, 42 days:     %8.1f ms  (%d lines, best of 3)\n", agendaMs,
            agendaLines);
    } else {
        std::printf("moriva-agenda not found at %s; pass --agenda PATH\n", qPrintable(agenda));
    }

    const QString khal = QStandardPaths::findExecutable(QStringLiteral("khal"));
    if (khal.isEmpty()) {
        std::printf("khal not installed: no comparison\n");
        return 0;
    }
    const QString home = tmp.filePath(QStringLiteral("khal-home"));
    QDir().mkpath(home + QStringLiteral("/config/khal"));
    QString config = QStringLiteral("[calendars]\n");
    for (const char *c : { "personal", "work", "family", "sport", "holidays" })
        config += QStringLiteral("[[%1]]\npath = %2/%1\ntype = calendar\n").arg(QLatin1String(c), root);
    config += QStringLiteral("[locale]\nlocal_timezone = Europe/Berlin\ndefault_timezone = Europe/Berlin\n"
                             "dateformat = %Y-%m-%d\nlongdateformat = %Y-%m-%d\ntimeformat = %H:%M\n"
                             "datetimeformat = %Y-%m-%d %H:%M\nlongdatetimeformat = %Y-%m-%d %H:%M\n");
    write(home + QStringLiteral("/config/khal/config"), config);
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
    const double build = timeProcess(khal, QStringList { "list" } + window, env);
    double warm = 1e9;
    int khalLines = 0;
    for (int i = 0; i < 3; ++i)
        warm = std::min(warm, timeProcess(khal, QStringList { "list" } + window, env, &khalLines));
    std::printf("khal list, cache build (first run):    %8.1f ms\n", build);
    std::printf("khal list, warm cache, 42 days:        %8.1f ms  (%d lines, best of 3)\n", warm, khalLines);
    if (agendaMs > 0)
        std::printf("ratio khal warm / moriva-agenda run:   %8.1f x\n", warm / agendaMs);
    return 0;
}
