#pragma once

#include <QMetaType>
#include <QString>

#include <optional>

/** First day of the week in the grid; persisted and shown by its raw value. */
enum class WeekStart : quint8 { sunday, monday };

QString rawValue(WeekStart value);
/** Exact, case-sensitive match of a raw value; anything else gives no value. */
std::optional<WeekStart> weekStartFromRawValue(const QString &raw);
