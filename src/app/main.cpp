#include "AgendaFormat.h"
#include "AppDelegate.h"
#include "CompositeEventStore.h"
#include "DesktopCalendarLauncher.h"
#include "DesktopUrlOpener.h"
#include "IcsEventStore.h"
#include "SettingsFile.h"
#include "SettingsManager.h"
#include "SingleInstance.h"
#include "SystemClock.h"
#include "SystemStoreModule.h"
#include "Translations.h"
#include "XdgAutostartLoginItem.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// A Wayland client cannot place its windows, so the popover would land wherever
// the compositor puts new windows (sway: the middle of the screen). Through
// XWayland it opens at the icon. A session-wide QT_QPA_PLATFORM=wayland is meant
// to make Qt applications native, not to send this popover to the middle of the
// screen, so only `-platform` on Moriva's own command line is taken as a choice.
std::vector<char *> preferXWayland(int argc, char *argv[])
{
    std::vector<char *> args(argv, argv + argc);
    static char platformOption[] = "-platform";
    static char xcb[] = "xcb";
    const QByteArray sessionPlatform = qgetenv("QT_QPA_PLATFORM");
    bool chosen = !sessionPlatform.isEmpty() && !sessionPlatform.startsWith("wayland");
    for (int i = 1; i < argc; ++i)
        chosen = chosen || std::strcmp(argv[i], "-platform") == 0;
    if (!chosen && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && !qEnvironmentVariableIsEmpty("DISPLAY")) {
        args.push_back(platformOption);
        args.push_back(xcb);
    }
    args.push_back(nullptr);
    return args;
}

#ifdef MORIVA_WITH_EDS
// The desktop's calendar service answers when its registry runs or the bus
// would start it. Otherwise its module is not loaded at all.
bool calendarServiceAnswers()
{
    if (!SystemStoreModule::sessionBusReachable())
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusConnectionInterface *daemon = bus.isConnected() ? bus.interface() : nullptr;
    if (!daemon)
        return false;
    const QString name = QLatin1String(SystemStoreModule::registryBusName);
    return daemon->isServiceRegistered(name).value()
        || daemon->activatableServiceNames().value().contains(name);
}
#endif

} // namespace

int main(int argc, char *argv[])
{
    // The option goes to this process alone; children the app starts keep the session's platform.
    std::vector<char *> args = preferXWayland(argc, argv);
    int count = int(args.size()) - 1;
    QApplication app(count, args.data());
    QApplication::setApplicationName(QStringLiteral("moriva"));
    QApplication::setDesktopFileName(QStringLiteral("moriva"));
    QApplication::setQuitOnLastWindowClosed(false);
    Translations::install(&app, QLocale(), Translations::defaultFolders());

    // "moriva --join-next" is what users bind to a keyboard shortcut.
    const bool joinNext = QCoreApplication::arguments().contains(QStringLiteral("--join-next"));

    SingleInstance instance;
    if (instance.claim() == SingleInstance::Role::secondary) {
        QString error;
        if (joinNext ? SingleInstance::joinNextInRunning(&error) : SingleInstance::activateRunning(&error))
            return 0;
        std::fprintf(stderr, "Moriva is already running but did not answer: %s\n", qPrintable(error));
        return 1;
    }

    AppServices services;
    services.clock = std::make_unique<SystemClock>();
    // One reader and writer of the settings file for the whole app: the
    // calendar sources are taken from it, the settings manager writes it.
    auto settings = std::make_unique<SettingsFile>(SettingsManager::defaultFilePath());
    // Read once the icon is up: on two cores a load started now would take
    // the CPU that showing the icon needs, the more so the larger the calendars.
    IcsEventStore::Options fileOptions;
    fileOptions.loadInBackground = false;
    auto files = std::make_unique<IcsEventStore>(CalendarSources::fromSettings(*settings), fileOptions);
    IcsEventStore *fileStore = files.get();
    std::unique_ptr<SystemEventStore> system;
#ifdef MORIVA_WITH_EDS
    if (calendarServiceAnswers())
        system = SystemStoreModule::load();
#endif
    SystemEventStore *systemStore = system.get();
    // Returns at once: the desktop's calendars arrive later, and a session
    // without the calendar service starts just as fast.
    services.eventStore = CompositeEventStore::withSystemStore(std::move(system), std::move(files));
    EventStore *shownStore = services.eventStore.get();
    services.settings = std::move(settings);
    services.loginItem = std::make_unique<XdgAutostartLoginItem>(XdgAutostartLoginItem::executableToStart(
        QCoreApplication::applicationFilePath(),
        { QStringLiteral(MORIVA_INSTALLED_BINARY), QStringLiteral("/usr/bin/moriva") }));
    services.urlOpener = std::make_unique<DesktopUrlOpener>();
    services.calendarLauncher = std::make_unique<DesktopCalendarLauncher>();

    AppDelegate delegate(std::move(services));
    QObject::connect(&delegate, &AppDelegate::didFinishLaunching, fileStore, &IcsEventStore::startLoad,
        Qt::QueuedConnection);
    QObject::connect(&instance, &SingleInstance::openRequested, &delegate, &AppDelegate::openPopover);
    QObject::connect(&instance, &SingleInstance::joinNextRequested, &delegate, &AppDelegate::joinNextMeeting);
    // The agenda command's --next, from what the popover holds. Until every
    // store has loaded, the command reads the files itself rather than print
    // a partial answer. --no-system asks for the files alone, as it reads them.
    const SystemClock agendaClock;
    instance.setAgendaHandler(
        [=, &agendaClock](bool json, bool noSystem) -> std::optional<AgendaFormat::Answer> {
            if (!fileStore->isLoaded() || (systemStore && !noSystem && !systemStore->isLoaded()))
                return std::nullopt;
            return AgendaFormat::next(
                noSystem ? static_cast<EventStore &>(*fileStore) : *shownStore, agendaClock.now(), json);
        });
    if (joinNext)
        delegate.joinNextMeeting();
    return app.exec();
}
