#include "AppDelegate.h"

#include "CalendarAppLauncher.h"
#include "Clock.h"
#include "ColorSchemeWatcher.h"
#include "ContentView.h"
#include "EventManager.h"
#include "EventStore.h"
#include "LoginItem.h"
#include "MeetingNotifier.h"
#include "MeetingWatch.h"
#include "SettingsManager.h"
#include "StatusBarController.h"
#include "UrlOpener.h"

#include <QApplication>
#include <QThread>
#include <QTimer>

#include <memory>
#include <utility>

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
    m_meetingNotifier.reset();
    m_meetingWatch.reset();
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
    startMeetingWatch();
    Q_EMIT didFinishLaunching();
    if (m_openRequested) {
        m_openRequested = false;
        m_statusBarController->openPopover();
    }
    if (m_joinRequested) {
        // Started by the shortcut itself: the calendars are still being read.
        // Decide once they have arrived, or after a bounded wait.
        m_joinRequested = false;
        auto decided = std::make_shared<bool>(false);
        const auto decide = [this, decided] {
            if (std::exchange(*decided, true))
                return;
            joinNextMeeting();
        };
        connect(m_services.eventStore.get(), &EventStore::changed, this, decide, Qt::SingleShotConnection);
        QTimer::singleShot(joinWaitMs, this, decide);
    }
}

void AppDelegate::startMeetingWatch()
{
    m_meetingWatch = std::make_unique<MeetingWatch>(m_services.eventStore.get(), m_services.clock.get());
    m_meetingNotifier = std::make_unique<MeetingNotifier>(m_services.urlOpener.get());
    StatusBarController *controller = m_statusBarController.get();
    MeetingWatch *watch = m_meetingWatch.get();
    controller->setToolTipText(watch->tooltip());
    connect(watch, &MeetingWatch::tooltipChanged, controller, &StatusBarController::setToolTipText);
    // The icon is redrawn at each new day, after resume and on every settings change.
    connect(controller, &StatusBarController::iconUpdated, watch, &MeetingWatch::refresh);
    connect(watch, &MeetingWatch::reminderDue, m_meetingNotifier.get(), &MeetingNotifier::notify);
    SettingsManager *settings = m_settingsManager.get();
    watch->setRemindersEnabled(settings->remindBeforeMeetings());
    connect(settings, &SettingsManager::remindBeforeMeetingsChanged, watch,
        [watch, settings] { watch->setRemindersEnabled(settings->remindBeforeMeetings()); });
}

void AppDelegate::joinNextMeeting()
{
    if (!m_meetingWatch) {
        m_joinRequested = true;
        return;
    }
    if (const auto join = m_meetingWatch->joinTarget()) {
        if (m_services.urlOpener)
            m_services.urlOpener->openUrl(join->link.url);
        return;
    }
    openPopover();
}

void AppDelegate::openPopover()
{
    if (!m_statusBarController) {
        m_openRequested = true;
        return;
    }
    m_statusBarController->openPopover();
}
