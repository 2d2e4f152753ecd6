#pragma once

#include <QMetaType>
#include <QString>

#include <optional>

/** Colour scheme of the application; persisted and shown by its raw value. */
enum class AppearanceMode : quint8 { system, light, dark };

QString rawValue(AppearanceMode value);
/** Exact, case-sensitive match of a raw value; anything else gives no value. */
std::optional<AppearanceMode> appearanceModeFromRawValue(const QString &raw);
