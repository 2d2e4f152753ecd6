#include "SettingsManager.h"

#include "LoginItem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
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

bool sameContent(const QString &a, const QString &b)
{
    QFile first(a);
    QFile second(b);
    return first.open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly)
        && first.readAll() == second.readAll();
}

} // namespace

SettingsManager::SettingsManager(QSettings *defaults, LoginItem *loginItem, QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_loginItem(loginItem)
{
    // QSettings drops the lines it cannot parse and writes the rest back on the
    // next sync, ours or anyone's, so the copy has to be taken before that.
    // It parses sections lazily and reports a bad line only once its section
    // is read: asking for every key reads them all.
    m_defaults->allKeys();
    if (m_defaults->status() != QSettings::NoError)
        m_persist = keepCopyOfDamagedFile();

    const QString appearance
        = m_defaults->value(appearanceModeKey, rawValue(AppearanceMode::system)).toString();
    m_appearanceMode = appearanceModeFromRawValue(appearance).value_or(AppearanceMode::system);
    const QString weekStart = m_defaults->value(weekStartKey, rawValue(WeekStart::sunday)).toString();
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

void SettingsManager::save(const QString &key, const QVariant &value)
{
    if (!m_persist)
        return;
    m_defaults->setValue(key, value);
    // On disk at once: the app is usually ended by logging out, not by "Quit".
    m_defaults->sync();
}

bool SettingsManager::keepCopyOfDamagedFile() const
{
    const QString path = m_defaults->fileName();
    if (!QFileInfo::exists(path))
        return true;
    // A damaged file that nobody rewrote is found again at every start; one copy of it is enough.
    for (int attempt = 1; attempt <= 100; ++attempt) {
        QString copy = path + QStringLiteral(".damaged");
        if (attempt > 1)
            copy += QLatin1Char('.') + QString::number(attempt);
        if (QFileInfo::exists(copy)) {
            if (sameContent(path, copy))
                return true;
            continue;
        }
        return QFile::copy(path, copy);
    }
    return false;
}
