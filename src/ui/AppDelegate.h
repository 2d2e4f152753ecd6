#pragma once

#include "CalendarAppLauncher.h"
#include "Clock.h"
#include "EventStore.h"
#include "LoginItem.h"
#include "SettingsFile.h"
#include "TrayHostWatcher.h"
#include "UrlOpener.h"

#include <QObject>

#include <memory>

class ColorSchemeWatcher;
class EventManager;
class MeetingNotifier;
class MeetingWatch;
class SettingsManager;
class StatusBarController;

/** Everything from outside the process that the application is built on; the delegate owns it all. */
struct AppServices
{
    std::unique_ptr<Clock> clock;
    std::unique_ptr<EventStore> eventStore;
    std::unique_ptr<SettingsFile> settings;
    std::unique_ptr<LoginItem> loginItem;
    std::unique_ptr<UrlOpener> urlOpener;
    std::unique_ptr<CalendarAppLauncher> calendarLauncher;
    /** How a tray host is found; tests replace it so that no real panel is asked. */
    TrayHostWatcher::Probe trayProbe = &TrayHostWatcher::probeSystem;
    /** Follow the desktop's colour scheme through xdg-desktop-portal. */
    bool followDesktopScheme = true;
};

/**
 * Builds the application in its fixed order: the event manager, then the
 * settings manager at once; the status bar controller once the event loop
 * runs; then the month moves to today, once. Lives until the process ends.
 */
class AppDelegate : public QObject
{
    Q_OBJECT
public:
    /** How long a join request that started Moriva waits for the calendars to be read. */
    static constexpr int joinWaitMs = 3000;

    explicit AppDelegate(AppServices services, QObject *parent = nullptr);
    ~AppDelegate() override;

    EventManager *eventManager() const { return m_eventManager.get(); }
    SettingsManager *settingsManager() const { return m_settingsManager.get(); }
    /** Empty until launching has finished. */
    StatusBarController *statusBarController() const { return m_statusBarController.get(); }
    const Clock *clock() const { return m_services.clock.get(); }
    /** Empty until launching has finished. */
    MeetingWatch *meetingWatch() const { return m_meetingWatch.get(); }

public Q_SLOTS:
    /** Opens the popover, now or as soon as it exists (another `moriva` asked for it). */
    void openPopover();
    /** Opens the meeting in progress or starting soon, else the popover (`moriva --join-next`). */
    void joinNextMeeting();

Q_SIGNALS:
    void didFinishLaunching();

private:
    void applicationDidFinishLaunching();
    void startMeetingWatch();

    AppServices m_services;
    std::unique_ptr<EventManager> m_eventManager;
    std::unique_ptr<SettingsManager> m_settingsManager;
    std::unique_ptr<ColorSchemeWatcher> m_colorScheme;
    std::unique_ptr<TrayHostWatcher> m_trayHostWatcher;
    std::unique_ptr<StatusBarController> m_statusBarController;
    std::unique_ptr<MeetingWatch> m_meetingWatch;
    std::unique_ptr<MeetingNotifier> m_meetingNotifier;
    bool m_openRequested = false;
    bool m_joinRequested = false;
};
