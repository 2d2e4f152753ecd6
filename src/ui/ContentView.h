#pragma once

#include <QWidget>

class CalendarAppLauncher;
class Clock;
class EventManager;
class SettingsManager;
class UrlOpener;

/**
 * The popover's whole content: navigation row, weekday header, the six-week
 * grid, the action bar, and the selected day's events, with the settings
 * panel and the two choosers laid over it. Reads the two shared models,
 * rebuilds from their notify signals and changes them only through their
 * operations. None of the pointers is owned.
 */
class ContentView : public QWidget
{
    Q_OBJECT
public:
    ContentView(EventManager *eventManager, SettingsManager *settingsManager, const Clock *clock,
                UrlOpener *urlOpener, CalendarAppLauncher *calendarLauncher, QWidget *parent = nullptr);
    ~ContentView() override;

    static constexpr int preferredWidth = 320;
    static constexpr int preferredHeight = 520;
};
