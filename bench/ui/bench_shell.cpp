// Start-up and popover figures for the shell, on a real X display with a tray
// (run it through bench_shell.sh, which provides both). Prints figures; never fails on them.
#include "AppDelegate.h"
#include "IcsEventStore.h"
#include "PopoverWindow.h"
#include "SettingsManager.h"
#include "StatusBarController.h"
#include "SystemClock.h"
#include "XdgAutostartLoginItem.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

double msSinceProcessStart()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    QFile uptime(QStringLiteral("/proc/uptime"));
    if (!stat.open(QIODevice::ReadOnly) || !uptime.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double startTicks = fields.value(19).toDouble();
    const double upSeconds = uptime.readAll().split(' ').value(0).toDouble();
    return (upSeconds - startTicks / double(sysconf(_SC_CLK_TCK))) * 1000.0;
}

double residentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

void writeCalendar(const QString &path, int events)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Moriva//bench//EN\r\n");
    const QDateTime first(QDate::currentDate().addDays(-365), QTime(8, 0));
    for (int i = 0; i < events; ++i) {
        const QDateTime start = first.addSecs(qint64(i) * 3600 * 24 * 730 / events);
        const QString stamp = start.toString(QStringLiteral("yyyyMMdd'T'HHmmss"));
        const QString end = start.addSecs(1800).toString(QStringLiteral("yyyyMMdd'T'HHmmss"));
        file.write(QStringLiteral("BEGIN:VEVENT\r\nUID:bench-%1@moriva\r\nDTSTAMP:20260101T000000Z\r\n"
                                  "DTSTART:%2\r\nDTEND:%3\r\nSUMMARY:Meeting %1\r\nLOCATION:Room %4\r\n"
                                  "END:VEVENT\r\n")
                       .arg(i)
                       .arg(stamp, end)
                       .arg(i % 40)
                       .toUtf8());
    }
    file.write("END:VCALENDAR\r\n");
}

} // namespace

int main(int argc, char *argv[])
{
    const double preMainMs = msSinceProcessStart();
    QElapsedTimer sinceMain;
    sinceMain.start();

    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", home.filePath(QStringLiteral("cache")).toLocal8Bit());
    const int eventCount = argc > 1 ? atoi(argv[1]) : 10'000;
    QDir().mkpath(home.filePath(QStringLiteral("data/moriva/calendars")));
    QElapsedTimer writing;
    writing.start();
    writeCalendar(home.filePath(QStringLiteral("data/moriva/calendars/bench.ics")), eventCount);
    const double writeMs = writing.elapsed();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("moriva"));
    QApplication::setQuitOnLastWindowClosed(false);

    AppServices services;
    services.clock = std::make_unique<SystemClock>();
    // Started as the app starts it: the calendars are read once the icon is up.
    IcsEventStore::Options options;
    options.loadInBackground = false;
    auto store = std::make_unique<IcsEventStore>(CalendarSources::forUser(), options);
    IcsEventStore *storePtr = store.get();
    services.eventStore = std::move(store);
    services.settings = std::make_unique<SettingsFile>(SettingsManager::defaultFilePath());
    services.loginItem = std::make_unique<XdgAutostartLoginItem>(QCoreApplication::applicationFilePath());
    AppDelegate delegate(std::move(services));
    QObject::connect(&delegate, &AppDelegate::didFinishLaunching, storePtr, &IcsEventStore::startLoad,
        Qt::QueuedConnection);

    double iconMs = -1;
    QObject::connect(&delegate, &AppDelegate::didFinishLaunching, [&] {
        StatusBarController *controller = delegate.statusBarController();
        const auto shown = [&] { iconMs = preMainMs + sinceMain.nsecsElapsed() / 1e6 - writeMs; };
        if (controller->trayIcon())
            shown();
        else
            QObject::connect(controller, &StatusBarController::trayIconShown, shown);
    });

    QElapsedTimer deadline;
    deadline.start();
    while ((iconMs < 0 || !storePtr->isLoaded()) && deadline.elapsed() < 30'000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    QTimer::singleShot(300, &app, &QCoreApplication::quit);
    app.exec();
    const double rssStart = residentMb();

    StatusBarController *controller = delegate.statusBarController();
    PopoverWindow *popover = controller->popover();
    double paintMs = -1;
    QElapsedTimer click;
    struct FirstPaint : QObject
    {
        PopoverWindow *popover;
        std::function<void()> done;
        bool seen = false;
        bool eventFilter(QObject *object, QEvent *event) override
        {
            if (!seen && event->type() == QEvent::Paint && object->isWidgetType()
                && static_cast<QWidget *>(object)->window() == popover) {
                seen = true;
                // Runs once the whole paint pass (and its flush) has finished.
                QTimer::singleShot(0, done);
            }
            return false;
        }
    } firstPaint;
    firstPaint.popover = popover;
    firstPaint.done = [&] {
        paintMs = click.nsecsElapsed() / 1e6;
        QTimer::singleShot(300, &app, &QCoreApplication::quit);
    };
    app.installEventFilter(&firstPaint);
    click.start();
    controller->handleActivation(QSystemTrayIcon::Trigger);
    QTimer::singleShot(5000, &app, &QCoreApplication::quit);
    app.exec();
    const double rssOpen = residentMb();

    std::printf("events in calendar:              %d\n", eventCount);
    std::printf("process start to tray icon:      %.1f ms%s\n", iconMs,
        controller->trayIcon() ? "" : " (no tray host)");
    std::printf("click to popover first paint:    %.1f ms\n", paintMs);
    std::printf("resident memory after start:     %.1f MB\n", rssStart);
    std::printf("resident memory, popover open:   %.1f MB\n", rssOpen);
    return 0;
}
