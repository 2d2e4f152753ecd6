#pragma once

#include <QColor>
#include <QObject>

#include <optional>

class QDBusVariant;
class QDBusPendingCallWatcher;

/**
 * The desktop's colour scheme and accent colour as xdg-desktop-portal tells
 * them, followed live. Without a portal both stay unknown and the platform
 * palette is all there is.
 */
class ColorSchemeWatcher : public QObject
{
    Q_OBJECT
public:
    enum class Scheme { unknown, light, dark };
    Q_ENUM(Scheme)

    explicit ColorSchemeWatcher(QObject *parent = nullptr);

    /** Subscribes to changes and asks for the current values; answers arrive later. */
    void start();

    Scheme scheme() const { return m_scheme; }
    /** Invalid when the desktop has no accent colour. */
    QColor accent() const { return m_accent; }

    /** The portal's color-scheme value: 1 prefers dark; 0 (no preference) and 2 read as light. */
    static Scheme schemeFromValue(const QVariant &value);
    /** The portal's accent-color (r, g, b) in [0, 1]; anything outside means "not set". */
    static QColor accentFromComponents(double red, double green, double blue);
    static QColor accentFromValue(const QVariant &value);

    /** For tests and for sources other than the portal. */
    void setScheme(Scheme scheme);
    void setAccent(const QColor &accent);

Q_SIGNALS:
    void schemeChanged();
    void accentChanged();

private Q_SLOTS:
    void onSettingChanged(const QString &nameSpace, const QString &key, const QDBusVariant &value);

private:
    void read(const QString &key);
    void apply(const QString &key, const QVariant &value);

    Scheme m_scheme = Scheme::unknown;
    QColor m_accent;
};
