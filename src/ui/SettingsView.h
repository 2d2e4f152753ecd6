#pragma once

#include <QWidget>

class SegmentedControl;
class SettingsManager;
class SwitchButton;

/**
 * The settings panel: appearance, first weekday, launch at login and event
 * dots. Every control writes straight into the shared settings, which save
 * and announce the change; the close button only asks the owner to hide the
 * panel and writes nothing.
 */
class SettingsView : public QWidget
{
    Q_OBJECT
public:
    explicit SettingsView(SettingsManager *settingsManager, QWidget *parent = nullptr);

    static constexpr int panelWidth = 300;
    /** 290 holds four settings; each further switch row adds its 20 and the 16 between rows. */
    static constexpr int panelHeight = 290 + 36;
    static inline const char *versionText = QT_TR_NOOP("Moriva v1.0.0 (2026.08.26)");

Q_SIGNALS:
    /** The close button was clicked. */
    void closeRequested();

private:
    void showSettings();

    SettingsManager *const m_settings;
    SegmentedControl *m_appearance;
    SegmentedControl *m_weekStart;
    SwitchButton *m_launchAtLogin;
    SwitchButton *m_remindBeforeMeetings = nullptr;
    SwitchButton *m_showEventDots;
};
