#include "AppDelegate.h"
#ifdef MORIVA_WITH_EDS
#include "CompositeEventStore.h"
#endif
#include "DesktopCalendarLauncher.h"
#include "DesktopUrlOpener.h"
#include "IcsEventStore.h"
#include "SettingsFile.h"
#include "SettingsManager.h"
#include "SingleInstance.h"
#include "SystemClock.h"
#include "Translations.h"
#include "XdgAutostartLoginItem.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("moriva"));
    QApplication::setDesktopFileName(QStringLiteral("moriva"));
    QApplication::setQuitOnLastWindowClosed(false);
    Translations::install(&app, QLocale(), Translations::defaultFolders());

    SingleInstance instance;
    if (instance.claim() == SingleInstance::Role::secondary) {
        QString error;
        if (SingleInstance::activateRunning(&error))
            return 0;
        std::fprintf(stderr, "Moriva is already running but did not answer: %s\n", qPrintable(error));
        return 1;
    }

    AppServices services;
    services.clock = std::make_unique<SystemClock>();
    // One reader and writer of the settings file for the whole app: the
    // calendar sources are taken from it, the settings manager writes it.
    auto settings = std::make_unique<SettingsFile>(SettingsManager::defaultFilePath());
    auto files = std::make_unique<IcsEventStore>(CalendarSources::fromSettings(*settings));
#ifdef MORIVA_WITH_EDS
    // Returns at once: the desktop's calendars arrive later, and a session
    // without the calendar service starts just as fast.
    services.eventStore = CompositeEventStore::withDesktopCalendars(std::move(files));
#else
    services.eventStore = std::move(files);
#endif
    services.settings = std::move(settings);
    services.loginItem = std::make_unique<XdgAutostartLoginItem>(XdgAutostartLoginItem::executableToStart(
        QCoreApplication::applicationFilePath(),
        { QStringLiteral(MORIVA_INSTALLED_BINARY), QStringLiteral("/usr/bin/moriva") }));
    services.urlOpener = std::make_unique<DesktopUrlOpener>();
    services.calendarLauncher = std::make_unique<DesktopCalendarLauncher>();

    AppDelegate delegate(std::move(services));
    QObject::connect(&instance, &SingleInstance::openRequested, &delegate, &AppDelegate::openPopover);
    return app.exec();
}
