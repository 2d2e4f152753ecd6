#include "AppearanceMode.h"

QString rawValue(AppearanceMode value)
{
    switch (value) {
    case AppearanceMode::light:
        return QStringLiteral("Light");
    case AppearanceMode::dark:
        return QStringLiteral("Dark");
    case AppearanceMode::system:
        break;
    }
    return QStringLiteral("System");
}

std::optional<AppearanceMode> appearanceModeFromRawValue(const QString &raw)
{
    if (raw == QLatin1String("System"))
        return AppearanceMode::system;
    if (raw == QLatin1String("Light"))
        return AppearanceMode::light;
    if (raw == QLatin1String("Dark"))
        return AppearanceMode::dark;
    return std::nullopt;
}
