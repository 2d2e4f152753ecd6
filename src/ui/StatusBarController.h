#pragma once

#include "ColorSchemeWatcher.h"
#include "TrayHostWatcher.h"

#include <QIcon>
#include <QObject>
#include <QPalette>
#include <QPointer>
#include <QSystemTrayIcon>

#include <functional>

class Clock;
class DayChangeWatcher;
class EventManager;
class PopoverWindow;
class QMenu;
class QTimer;
class SettingsManager;
class StatusNotifierItem;
class SwayFocusWatcher;
class TrayColorWatcher;

/**
 * Moriva's presence on the panel: the tray icon with today's date, the popover
 * it opens, the menu that quits, and the appearance applied to the whole
 * application. One exists from the end of start-up until the process ends.
 */
class StatusBarController : public QObject
{
    Q_OBJECT
public:
    /** Builds a fresh popover content; called whenever the content is rebuilt. */
    using ContentFactory = std::function<QWidget *()>;

    static constexpr int hourlyIntervalMs = 3600 * 1000;
    static constexpr int reopenDelayMs = 100;
    static constexpr int screenChangeCloseDelayMs = 100;
    /** A tray click this soon after a deactivation close is the click that caused it. */
    static constexpr qint64 reopenGuardMs = 300;

    /**
     * None of the pointers is owned. Without a colour-scheme watcher the platform
     * palette is used as it comes; without a tray host watcher no tray icon is made
     * until createTrayIcon() is called.
     */
    StatusBarController(EventManager *eventManager, SettingsManager *settingsManager, const Clock *clock,
        ContentFactory contentFactory, ColorSchemeWatcher *colorScheme, TrayHostWatcher *trayHostWatcher,
        QObject *parent = nullptr);
    ~StatusBarController() override;

    /** Draws today's icon and hands it to the tray icon. */
    void updateIcon();
    int iconDay() const { return m_iconDay; }
    QIcon icon() const { return m_icon; }
    QColor iconTint() const;
    /** The tray tooltip; until one is given, today's date. */
    void setToolTipText(const QString &text);
    QString toolTipText() const;

    void handleActivation(QSystemTrayIcon::ActivationReason reason);
    /** A primary click a StatusNotifierItem host reported, at its point (see PanelAnchor). */
    void handleHostActivation(const QPoint &hostPoint);
    void togglePopover();
    /** Opens at the icon: its geometry where the tray gives it, else the pointer or the panel's corner. */
    void openPopover();
    /** Opens against this rectangle of the screen (the icon, or the panel column it sits in). */
    void openPopoverAt(const QRect &anchor);
    void closePopover();
    bool isPopoverShown() const;
    PopoverWindow *popover() const { return m_popover; }

    /** Fills menu with the tray menu's entries; the quit entry is always last. */
    void populateMenu(QMenu *menu, bool withOpenEntry);
    /** A fresh menu at the cursor (or at the given point), deleted when it closes. */
    QMenu *showQuitMenu(const QPoint &at = QPoint());
    void quitApp();

    void applyAppearance();
    void recreatePopoverContent();

    /** The XEmbed tray icon, where no StatusNotifierItem host was found. */
    QSystemTrayIcon *trayIcon() const { return m_trayIcon; }
    /** The StatusNotifierItem, once a host was found. */
    StatusNotifierItem *statusNotifierItem() const { return m_statusNotifierItem; }
    /** Pushes the tooltip to whichever tray shows the icon. */
    void applyToolTip();
    void createTrayIcon(TrayHostWatcher::Host host);
    bool isDeactivationWatchInstalled() const { return bool(m_deactivationWatch); }
    const QTimer *hourlyTimer() const { return m_hourlyTimer; }
    DayChangeWatcher *dayChangeWatcher() const { return m_dayChangeWatcher; }
    TrayColorWatcher *trayColorWatcher() const { return m_trayColors; }
    /** Takes the icon's colours from this watcher from now on; it becomes a child. */
    void setTrayColorWatcher(TrayColorWatcher *watcher);

public Q_SLOTS:
    void hourlyTick();
    /** Today may be another day: the icon and the grid's today mark follow. */
    void refreshToday();

Q_SIGNALS:
    void iconUpdated();
    void trayIconShown();
    void popoverOpened();
    void popoverClosed();
    void menuShown(QMenu *menu);

private:
    void setupPopover();
    void observeScreenChanges();
    void popoverDidClose();
    void installDeactivationWatch();
    void removeDeactivationWatch();
    void onDeactivated();
    void applySystemScheme();
    void updatePopoverTitle();
    bool recentlyDismissed() const;
    QRect defaultAnchor() const;
    QRect anchorForHostPoint(const QPoint &hostPoint) const;
    bool createStatusNotifierItem();
    /** Looks at the panel behind the XEmbed icon again, a few times until it is placed. */
    void schedulePanelSample();
    void samplePanel();

    EventManager *const m_eventManager;
    SettingsManager *const m_settingsManager;
    const Clock *const m_clock;
    const ContentFactory m_contentFactory;
    QPointer<ColorSchemeWatcher> m_colorScheme;

    QSystemTrayIcon *m_trayIcon = nullptr;
    StatusNotifierItem *m_statusNotifierItem = nullptr;
    /** Where the last host click put the icon: its column across the panel. */
    QRect m_lastHostAnchor;
    TrayHostWatcher::Host m_trayHost = TrayHostWatcher::Host::none;
    QMenu *m_sniMenu = nullptr;
    PopoverWindow *m_popover = nullptr;
    QMetaObject::Connection m_deactivationWatch;
    SwayFocusWatcher *m_swayFocus = nullptr;
    qint64 m_lastDeactivationCloseMs = -1;
    QTimer *m_hourlyTimer = nullptr;
    DayChangeWatcher *m_dayChangeWatcher = nullptr;
    TrayColorWatcher *m_trayColors = nullptr;
    QTimer *m_panelSampler = nullptr;
    int m_panelSamplesLeft = 0;
    QColor m_lastPanelSample;
    /** The panel behind the XEmbed icon, where it could be seen; invalid otherwise. */
    QColor m_panelBackground;
    QIcon m_icon;
    int m_iconDay = 0;
    QString m_toolTip;

    QString m_platformStyle;
    QPalette m_platformPalette;
};
