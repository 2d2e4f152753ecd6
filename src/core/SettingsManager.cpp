#include "SettingsManager.h"

#include "LoginItem.h"
#include "SettingsFile.h"

#include <QDir>
#include <QVariant>

#include <cstdio>

namespace {

const QString appearanceModeKey = QStringLiteral("appearanceMode");
const QString weekStartKey = QStringLiteral("weekStart");
const QString launchAtLoginKey = QStringLiteral("launchAtLogin");
const QString showEventDotsKey = QStringLiteral("showEventDots");
const QString remindBeforeMeetingsKey = QStringLiteral("remindBeforeMeetings");

QString configHome()
{
    // The base-directory rules say a relative XDG_CONFIG_HOME is invalid and must be ignored.
    const QString fromEnvironment = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!fromEnvironment.isEmpty() && QDir::isAbsolutePath(fromEnvironment))
        return fromEnvironment;
    return QDir::homePath() + QStringLiteral("/.config");
}

// The INI file hands back text; values set in this run but not yet re-read are real booleans.
std::optional<bool> toBoolean(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::QString: {
        const QString text = value.toString();
        if (text == QLatin1String("1") || text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        if (text == QLatin1String("0") || text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return false;
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

} // namespace

SettingsManager::SettingsManager(SettingsFile *defaults, LoginItem *loginItem, QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_loginItem(loginItem)
{
    if (!m_defaults->refusal().isEmpty())
        reportNotSaved(m_defaults->refusal());

    const QVariant storedAppearance = m_defaults->value(appearanceModeKey);
    const QString appearance
        = storedAppearance.isValid() ? storedAppearance.toString() : rawValue(AppearanceMode::system);
    m_appearanceMode = appearanceModeFromRawValue(appearance).value_or(AppearanceMode::system);
    const QVariant storedWeekStart = m_defaults->value(weekStartKey);
    const QString weekStart = storedWeekStart.isValid() ? storedWeekStart.toString() : rawValue(WeekStart::sunday);
    m_weekStart = weekStartFromRawValue(weekStart).value_or(WeekStart::sunday);
    m_launchAtLogin = toBoolean(m_defaults->value(launchAtLoginKey)).value_or(true);
    m_showEventDots = toBoolean(m_defaults->value(showEventDotsKey)).value_or(true);
    m_remindBeforeMeetings = toBoolean(m_defaults->value(remindBeforeMeetingsKey)).value_or(false);

    toggleLaunchAtLogin(m_launchAtLogin);
}

void SettingsManager::setAppearanceMode(AppearanceMode value)
{
    m_appearanceMode = value;
    Q_EMIT appearanceModeChanged();
    save(appearanceModeKey, rawValue(value));
    Q_EMIT settingsDidChange();
}

void SettingsManager::setWeekStart(WeekStart value)
{
    m_weekStart = value;
    Q_EMIT weekStartChanged();
    save(weekStartKey, rawValue(value));
    Q_EMIT settingsDidChange();
}

void SettingsManager::setLaunchAtLogin(bool value)
{
    m_launchAtLogin = value;
    Q_EMIT launchAtLoginChanged();
    save(launchAtLoginKey, value);
    toggleLaunchAtLogin(value);
    Q_EMIT settingsDidChange();
}

void SettingsManager::setShowEventDots(bool value)
{
    m_showEventDots = value;
    Q_EMIT showEventDotsChanged();
    save(showEventDotsKey, value);
    Q_EMIT settingsDidChange();
}

void SettingsManager::setRemindBeforeMeetings(bool value)
{
    m_remindBeforeMeetings = value;
    Q_EMIT remindBeforeMeetingsChanged();
    save(remindBeforeMeetingsKey, value);
    Q_EMIT settingsDidChange();
}

QString SettingsManager::defaultFilePath()
{
    return configHome() + QStringLiteral("/Moriva/Moriva.conf");
}

void SettingsManager::toggleLaunchAtLogin(bool enabled)
{
    if (!m_loginItem)
        return;
    QString error;
    const bool done = enabled ? m_loginItem->registerItem(error) : m_loginItem->unregisterItem(error);
    if (done)
        return;
    // One report, one line: a multi-line reason would read as several failures.
    error.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QByteArray line
        = (QStringLiteral("Failed to toggle launch at login: ") + error + QLatin1Char('\n')).toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

QVariant SettingsManager::value(const QString &key) const
{
    return m_defaults->value(key);
}

void SettingsManager::save(const QString &key, const QVariant &value)
{
    // On disk at once: the app is usually ended by logging out, not by "Quit".
    QString error;
    if (!m_defaults->setValue(key, value, &error))
        reportNotSaved(error);
}

void SettingsManager::reportNotSaved(const QString &reason)
{
    if (m_reportedNotSaved)
        return;
    m_reportedNotSaved = true;
    QString text = reason;
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QByteArray line
        = (QStringLiteral("Moriva: settings cannot be saved (%1); changes are kept until Moriva quits\n").arg(text))
              .toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}
