#include "WeekStart.h"

QString rawValue(WeekStart value)
{
    return value == WeekStart::monday ? QStringLiteral("Monday") : QStringLiteral("Sunday");
}

std::optional<WeekStart> weekStartFromRawValue(const QString &raw)
{
    if (raw == QLatin1String("Sunday"))
        return WeekStart::sunday;
    if (raw == QLatin1String("Monday"))
        return WeekStart::monday;
    return std::nullopt;
}
