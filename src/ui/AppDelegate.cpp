#include "AppDelegate.h"

#include "CalendarAppLauncher.h"
#include "Clock.h"
#include "ColorSchemeWatcher.h"
#include "ContentView.h"
#include "EventManager.h"
#include "EventStore.h"
#include "LoginItem.h"
#include "SettingsManager.h"
#include "StatusBarController.h"
#include "UrlOpener.h"

#include <QApplication>
#include <QThread>

AppDelegate::AppDelegate(AppServices services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
{
    Q_ASSERT(QThread::currentThread() == thread());
    // Closing the popover closes the last window; only "Quit Moriva" ends the application.
    QApplication::setQuitOnLastWindowClosed(false);
    m_eventManager = std::make_unique<EventManager>(m_services.eventStore.get(), m_services.clock.get());
    m_settingsManager
        = std::make_unique<SettingsManager>(m_services.settings.get(), m_services.loginItem.get());
    QMetaObject::invokeMethod(this, &AppDelegate::applicationDidFinishLaunching, Qt::QueuedConnection);
}

AppDelegate::~AppDelegate()
{
    // The controller and its popover content read both models to the end.
    m_statusBarController.reset();
    m_trayHostWatcher.reset();
    m_colorScheme.reset();
    m_settingsManager.reset();
    m_eventManager.reset();
}

void AppDelegate::applicationDidFinishLaunching()
{
    if (m_statusBarController)
        return;
    m_colorScheme = std::make_unique<ColorSchemeWatcher>();
    if (m_services.followDesktopScheme)
        m_colorScheme->start();
    m_trayHostWatcher = std::make_unique<TrayHostWatcher>(
        m_services.trayProbe, TrayHostWatcher::defaultIntervalMs, TrayHostWatcher::defaultTimeoutMs);

    EventManager *eventManager = m_eventManager.get();
    SettingsManager *settingsManager = m_settingsManager.get();
    const Clock *clock = m_services.clock.get();
    UrlOpener *urlOpener = m_services.urlOpener.get();
    CalendarAppLauncher *launcher = m_services.calendarLauncher.get();
    auto contentFactory
        = [=] { return new ContentView(eventManager, settingsManager, clock, urlOpener, launcher); };
    m_statusBarController = std::make_unique<StatusBarController>(
        eventManager, settingsManager, clock, contentFactory, m_colorScheme.get(), m_trayHostWatcher.get());
    m_eventManager->goToToday();
    Q_EMIT didFinishLaunching();
    if (m_openRequested) {
        m_openRequested = false;
        m_statusBarController->openPopover();
    }
}

void AppDelegate::openPopover()
{
    if (!m_statusBarController) {
        m_openRequested = true;
        return;
    }
    m_statusBarController->openPopover();
}
