#pragma once

#include "AppearanceMode.h"
#include "WeekStart.h"

#include <QObject>

class LoginItem;
class SettingsFile;

/**
 * The four user preferences. Loaded once with fixed fallbacks; every
 * assignment, equal value or not, saves the value, keeps the login item in
 * step for launchAtLogin, and then emits settingsDidChange().
 *
 * It is the only writer of the settings file. Keys it does not know are left
 * alone and can be read through value(). When the file cannot be saved
 * (damaged and not copied aside, read-only, not a regular file, a full disk),
 * changes live until the process ends, and standard error says so once.
 */
class SettingsManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(AppearanceMode appearanceMode READ appearanceMode WRITE setAppearanceMode NOTIFY appearanceModeChanged)
    Q_PROPERTY(WeekStart weekStart READ weekStart WRITE setWeekStart NOTIFY weekStartChanged)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin WRITE setLaunchAtLogin NOTIFY launchAtLoginChanged)
    Q_PROPERTY(bool showEventDots READ showEventDots WRITE setShowEventDots NOTIFY showEventDotsChanged)
    Q_PROPERTY(bool remindBeforeMeetings READ remindBeforeMeetings WRITE setRemindBeforeMeetings NOTIFY
            remindBeforeMeetingsChanged)

public:
    /** Neither argument is owned; both must outlive the manager. */
    SettingsManager(SettingsFile *defaults, LoginItem *loginItem, QObject *parent = nullptr);

    AppearanceMode appearanceMode() const { return m_appearanceMode; }
    WeekStart weekStart() const { return m_weekStart; }
    bool launchAtLogin() const { return m_launchAtLogin; }
    bool showEventDots() const { return m_showEventDots; }
    /** A notification a minute before each online meeting; off unless chosen. */
    bool remindBeforeMeetings() const { return m_remindBeforeMeetings; }

    void setAppearanceMode(AppearanceMode value);
    void setWeekStart(WeekStart value);
    void setLaunchAtLogin(bool value);
    void setShowEventDots(bool value);
    void setRemindBeforeMeetings(bool value);

    /** Any key of the settings file as it was read, or as this process last set it. */
    QVariant value(const QString &key) const;

    /** The settings file of the running user: $XDG_CONFIG_HOME/Moriva/Moriva.conf. */
    static QString defaultFilePath();

Q_SIGNALS:
    void appearanceModeChanged();
    void weekStartChanged();
    void launchAtLoginChanged();
    void showEventDotsChanged();
    void remindBeforeMeetingsChanged();
    /** After every change has been saved. */
    void settingsDidChange();

private:
    void toggleLaunchAtLogin(bool enabled);
    void save(const QString &key, const QVariant &value);
    void reportNotSaved(const QString &reason);

    SettingsFile *const m_defaults;
    LoginItem *const m_loginItem;
    AppearanceMode m_appearanceMode = AppearanceMode::system;
    WeekStart m_weekStart = WeekStart::sunday;
    bool m_launchAtLogin = true;
    bool m_showEventDots = true;
    bool m_remindBeforeMeetings = false;
    bool m_reportedNotSaved = false;
};
