#pragma once

#include "PopoverWindow.h"

#include <QDateTime>
#include <QPointer>
#include <QWidget>

#include <functional>

class CalendarAppLauncher;
class Clock;
class DayCell;
class EventManager;
class EventSection;
class OverlayHost;
class PlainButton;
class ScrollCatcherView;
class SettingsManager;
class ThemedLabel;
class UrlOpener;
class QVBoxLayout;

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
    /** The popover's corners where the window can be translucent. */
    static constexpr int windowCornerRadius = PopoverWindow::cornerRadius;

    /** The panel laid over the view; several may be asked for, the first in this order is shown. */
    enum class Overlay { none, settings, monthPicker, yearPicker };
    Overlay shownOverlay() const { return m_shown; }
    void setShowingSettings(bool showing);
    void setShowingMonthPicker(bool showing);
    void setShowingYearPicker(bool showing);

    /**
     * Shows a folder in the file manager; by default the desktop's. The
     * first-run button hands it the calendar folder after creating it.
     */
    using FolderOpener = std::function<void(const QString &path)>;
    void setFolderOpener(FolderOpener opener) { m_folderOpener = std::move(opener); }
    /** The folder the first-run hint names; by default the drop-in folder for calendar files. */
    void setCalendarFolder(const QString &path);
    QString calendarFolder() const { return m_calendarFolder; }

    DayCell *dayCell(int index) const;
    EventSection *eventSection() const { return m_eventSection; }

    QSize sizeHint() const override { return QSize(preferredWidth, preferredHeight); }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void buildNavigationRow(QVBoxLayout *column);
    void buildWeekdayHeader(QVBoxLayout *column);
    void buildGrid(QVBoxLayout *column);
    void buildActionBar(QVBoxLayout *column);

    void rebuildTitles();
    void rebuildWeekdayHeader();
    void rebuildGrid();
    void rebuildEventSection();
    void updateOverlay();
    QWidget *makePanel(Overlay which);
    void closeShownOverlay();
    void moveSelection(int days);
    void openCalendarFolder();
    void fitEventSection();

    EventManager *const m_eventManager;
    SettingsManager *const m_settingsManager;
    const Clock *const m_clock;
    UrlOpener *const m_urlOpener;
    CalendarAppLauncher *const m_calendarLauncher;

    bool m_showingSettings = false;
    bool m_showingMonthPicker = false;
    bool m_showingYearPicker = false;
    Overlay m_shown = Overlay::none;
    QPointer<OverlayHost> m_overlay;
    QPointer<QWidget> m_focusBeforeOverlay;

    QWidget *m_root = nullptr;
    PlainButton *m_yearTitle = nullptr;
    PlainButton *m_monthTitle = nullptr;
    PlainButton *m_previous = nullptr;
    PlainButton *m_next = nullptr;
    QList<ThemedLabel *> m_weekdayLabels;
    ScrollCatcherView *m_grid = nullptr;
    QList<DayCell *> m_cells;
    PlainButton *m_today = nullptr;
    PlainButton *m_settingsButton = nullptr;
    EventSection *m_eventSection = nullptr;
    QList<QLayout *> m_fixedRows;
    QString m_calendarFolder;
    FolderOpener m_folderOpener;
};
