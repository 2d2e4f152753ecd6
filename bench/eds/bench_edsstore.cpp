// Figures for the system store on a calendar of a few thousand events:
// how long until it is loaded, what a query costs, and how long a change
// made by another client takes to reach a refetch. Prints, never fails on
// timing. Run: tests/eds/with-private-eds.sh <build>/tests/eds/bench_edsstore
#include "EdsEventStore.h"

#include <libecal/libecal.h>
#include <libedataserver/libedataserver.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kSingles = 3000;
constexpr int kWeekly = 200;

QByteArray calendar()
{
    QByteArray out = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Moriva//bench//EN\r\n";
    const QDateTime base(QDate(2026, 1, 5), QTime(8, 0), Qt::UTC);
    for (int i = 0; i < kSingles; ++i) {
        const QDateTime start = base.addSecs(qint64(i) * 2 * 3600 + (i % 7) * 900);
        out += "BEGIN:VEVENT\r\nUID:single-" + QByteArray::number(i)
            + "\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:"
            + start.toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1()
            + "\r\nDTEND:" + start.addSecs(3600).toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1()
            + "\r\nSUMMARY:Single " + QByteArray::number(i) + "\r\nLOCATION:Room "
            + QByteArray::number(i % 40) + "\r\nEND:VEVENT\r\n";
    }
    for (int i = 0; i < kWeekly; ++i) {
        const QByteArray uid = "weekly-" + QByteArray::number(i);
        const QByteArray day = QByteArray::number(5 + i % 5).rightJustified(2, '0');
        out += "BEGIN:VEVENT\r\nUID:" + uid
            + "\r\nDTSTAMP:20260101T000000Z\r\nDTSTART;TZID=Europe/Berlin:202601" + day
            + "T100000\r\nDTEND;TZID=Europe/Berlin:202601" + day
            + "T110000\r\nRRULE:FREQ=WEEKLY\r\nEXDATE;TZID=Europe/Berlin:202602"
            + QByteArray::number(2 + i % 5).rightJustified(2, '0') + "T100000\r\nSUMMARY:Weekly "
            + QByteArray::number(i) + "\r\nEND:VEVENT\r\n";
        out += "BEGIN:VEVENT\r\nUID:" + uid + "\r\nRECURRENCE-ID;TZID=Europe/Berlin:202603"
            + QByteArray::number(2 + i % 5).rightJustified(2, '0') + "T100000\r\nDTSTAMP:20260101T000000Z\r\n"
            + "DTSTART;TZID=Europe/Berlin:202603" + QByteArray::number(2 + i % 5).rightJustified(2, '0')
            + "T150000\r\nDTEND;TZID=Europe/Berlin:202603"
            + QByteArray::number(2 + i % 5).rightJustified(2, '0') + "T160000\r\nSUMMARY:Moved "
            + QByteArray::number(i) + "\r\nEND:VEVENT\r\n";
    }
    return out + "END:VCALENDAR\r\n";
}

bool write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

double loadMs(bool *ok)
{
    QElapsedTimer t;
    t.start();
    EdsEventStore store;
    QEventLoop loop;
    QObject::connect(&store, &EdsEventStore::loaded, &loop, &QEventLoop::quit);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    if (!store.isLoaded())
        loop.exec();
    *ok = store.isLoaded();
    return t.nsecsElapsed() / 1e6;
}

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v.at(v.size() / 2);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("MORIVA_PRIVATE_EDS")) {
        std::fprintf(stderr, "run through with-private-eds.sh\n");
        return 2;
    }
    qputenv("TZ", "Europe/Berlin");
    const QString uid = QStringLiteral("bench");
    if (!write(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/evolution/sources/bench.source"),
            "[Data "
            "Source]\nDisplayName=Bench\nEnabled=true\nParent=local-stub\n\n[Calendar]\nBackendName=local\n")
        || !write(
            qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/evolution/calendar/bench/calendar.ics"),
            calendar()))
        return 1;

    bool ok = false;
    const double cold = loadMs(&ok);
    std::printf("load, service started on demand: %.0f ms (%s)\n", cold, ok ? "loaded" : "TIMED OUT");
    const double warm = loadMs(&ok);
    std::printf("load, service running:           %.0f ms (%d singles, %d weekly series with overrides)\n",
        warm, kSingles, kWeekly);

    EdsEventStore store;
    {
        QEventLoop loop;
        QObject::connect(&store, &EdsEventStore::loaded, &loop, &QEventLoop::quit);
        if (!store.isLoaded())
            loop.exec();
    }
    QElapsedTimer t;
    QList<double> grid, step;
    int count = 0;
    for (int month = 0; month < 12; ++month) {
        const QDateTime start(QDate(2026, 1 + month, 1).addDays(-6), QTime(0, 0));
        t.start();
        count = int(store.events(start, start.addDays(42)).size());
        grid << t.nsecsElapsed() / 1e6;
        t.start();
        store.events(start.addDays(7), start.addDays(49));
        step << t.nsecsElapsed() / 1e6;
    }
    std::printf("42-day query: median %.2f ms (last one %d events); a week on: %.2f ms\n", median(grid),
        count, median(step));

    // A change made by another client, to the refetch that shows it.
    ESourceRegistry *registry = e_source_registry_new_sync(nullptr, nullptr);
    ESource *source = registry ? e_source_registry_ref_source(registry, "bench") : nullptr;
    EClient *client = source
        ? e_cal_client_connect_sync(source, E_CAL_CLIENT_SOURCE_TYPE_EVENTS, 30, nullptr, nullptr)
        : nullptr;
    QList<double> latency;
    for (int i = 0; client && i < 10; ++i) {
        const QByteArray ics = "BEGIN:VEVENT\r\nUID:live-" + QByteArray::number(i)
            + "\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:20261224T100000Z\r\nDTEND:20261224T110000Z\r\nSUMMARY:"
              "Live\r\nEND:VEVENT\r\n";
        ICalComponent *comp = i_cal_component_new_from_string(ics.constData());
        const QDateTime day(QDate(2026, 12, 24), QTime(0, 0));
        const qsizetype before = store.events(day, day.addDays(1)).size();
        QEventLoop loop;
        QElapsedTimer since;
        double took = -1;
        auto connection = QObject::connect(&store, &EventStore::changed, &loop, [&] {
            if (store.events(day, day.addDays(1)).size() > before) {
                took = since.nsecsElapsed() / 1e6;
                loop.quit();
            }
        });
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        since.start();
        e_cal_client_create_object(
            E_CAL_CLIENT(client), comp, E_CAL_OPERATION_FLAG_NONE, nullptr, nullptr, nullptr);
        loop.exec();
        QObject::disconnect(connection);
        g_object_unref(comp);
        if (took >= 0)
            latency << took;
    }
    std::sort(latency.begin(), latency.end());
    std::printf(
        "change by another client to a refetch that shows it: median %.0f ms, %.0f to %.0f ms over %lld "
        "changes (50 ms of it is the store's own gathering of bursts)\n",
        median(latency), latency.isEmpty() ? 0 : latency.first(), latency.isEmpty() ? 0 : latency.last(),
        qlonglong(latency.size()));
    return 0;
}
