#include "ColorSchemeWatcher.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace {
const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceNamespace = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");
const QString accentColorKey = QStringLiteral("accent-color");

// Read() of portal versions before 2 wraps the value in one more variant.
QVariant unwrap(QVariant value)
{
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value;
}
} // namespace

ColorSchemeWatcher::ColorSchemeWatcher(QObject *parent)
    : QObject(parent)
{ }

void ColorSchemeWatcher::start()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    bus.connect(portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"), this,
        SLOT(onSettingChanged(QString, QString, QDBusVariant)));
    read(colorSchemeKey);
    read(accentColorKey);
}

void ColorSchemeWatcher::read(const QString &key)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        portalService, portalPath, settingsInterface, QStringLiteral("Read"));
    call << appearanceNamespace << key;
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, 2000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, key](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            apply(key, reply.arguments().constFirst());
    });
}

void ColorSchemeWatcher::onSettingChanged(
    const QString &nameSpace, const QString &key, const QDBusVariant &value)
{
    if (nameSpace == appearanceNamespace)
        apply(key, value.variant());
}

void ColorSchemeWatcher::apply(const QString &key, const QVariant &value)
{
    if (key == colorSchemeKey)
        setScheme(schemeFromValue(value));
    else if (key == accentColorKey)
        setAccent(accentFromValue(value));
}

ColorSchemeWatcher::Scheme ColorSchemeWatcher::schemeFromValue(const QVariant &value)
{
    const QVariant plain = unwrap(value);
    bool ok = false;
    const uint raw = plain.toUInt(&ok);
    if (!ok)
        return Scheme::unknown;
    return raw == 1 ? Scheme::dark : Scheme::light;
}

QColor ColorSchemeWatcher::accentFromComponents(double red, double green, double blue)
{
    const auto inRange = [](double v) { return v >= 0.0 && v <= 1.0; };
    if (!inRange(red) || !inRange(green) || !inRange(blue))
        return {};
    return QColor::fromRgbF(float(red), float(green), float(blue));
}

QColor ColorSchemeWatcher::accentFromValue(const QVariant &value)
{
    const QVariant plain = unwrap(value);
    if (plain.userType() == qMetaTypeId<QDBusArgument>()) {
        const QDBusArgument arg = plain.value<QDBusArgument>();
        if (arg.currentType() != QDBusArgument::StructureType)
            return {};
        double r = -1, g = -1, b = -1;
        arg.beginStructure();
        arg >> r >> g >> b;
        arg.endStructure();
        return accentFromComponents(r, g, b);
    }
    const QVariantList list = plain.toList();
    if (list.size() != 3)
        return {};
    bool okR = false, okG = false, okB = false;
    const double r = list[0].toDouble(&okR), g = list[1].toDouble(&okG), b = list[2].toDouble(&okB);
    if (!okR || !okG || !okB)
        return {};
    return accentFromComponents(r, g, b);
}

void ColorSchemeWatcher::setScheme(Scheme scheme)
{
    if (scheme == m_scheme)
        return;
    m_scheme = scheme;
    Q_EMIT schemeChanged();
}

void ColorSchemeWatcher::setAccent(const QColor &accent)
{
    if (accent == m_accent)
        return;
    m_accent = accent;
    Q_EMIT accentChanged();
}
