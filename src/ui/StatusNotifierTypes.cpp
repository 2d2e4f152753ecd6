#include "StatusNotifierTypes.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QIcon>
#include <QImage>
#include <QtEndian>

QList<SniPixmap> SniPixmap::fromIcon(const QIcon &icon, const QList<int> &sizes)
{
    QList<SniPixmap> pixmaps;
    for (int size : sizes) {
        const QImage image
            = icon.pixmap(QSize(size, size), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull())
            continue;
        SniPixmap pixmap { image.width(), image.height(), {} };
        pixmap.bytes.resize(qsizetype(image.width()) * image.height() * 4);
        auto *out = reinterpret_cast<quint32 *>(pixmap.bytes.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                *out++ = qToBigEndian<quint32>(line[x]);
        }
        pixmaps.append(pixmap);
    }
    return pixmaps;
}

QDBusArgument &operator<<(QDBusArgument &arg, const SniPixmap &pixmap)
{
    arg.beginStructure();
    arg << pixmap.width << pixmap.height << pixmap.bytes;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, SniPixmap &pixmap)
{
    arg.beginStructure();
    arg >> pixmap.width >> pixmap.height >> pixmap.bytes;
    arg.endStructure();
    return arg;
}

QDBusArgument &operator<<(QDBusArgument &arg, const SniToolTip &toolTip)
{
    arg.beginStructure();
    arg << toolTip.iconName << toolTip.pixmaps << toolTip.title << toolTip.text;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, SniToolTip &toolTip)
{
    arg.beginStructure();
    arg >> toolTip.iconName >> toolTip.pixmaps >> toolTip.title >> toolTip.text;
    arg.endStructure();
    return arg;
}

QDBusArgument &operator<<(QDBusArgument &arg, const DBusMenuLayoutItem &item)
{
    arg.beginStructure();
    arg << item.id << item.properties;
    // Children travel as variants, which is what lets the layout nest.
    arg.beginArray(qMetaTypeId<QDBusVariant>());
    for (const DBusMenuLayoutItem &child : item.children)
        arg << QDBusVariant(QVariant::fromValue(child));
    arg.endArray();
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, DBusMenuLayoutItem &item)
{
    arg.beginStructure();
    arg >> item.id >> item.properties;
    item.children.clear();
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant variant;
        arg >> variant;
        const QDBusArgument child = variant.variant().value<QDBusArgument>();
        DBusMenuLayoutItem childItem;
        child >> childItem;
        item.children.append(childItem);
    }
    arg.endArray();
    arg.endStructure();
    return arg;
}

QDBusArgument &operator<<(QDBusArgument &arg, const DBusMenuItemProperties &item)
{
    arg.beginStructure();
    arg << item.id << item.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, DBusMenuItemProperties &item)
{
    arg.beginStructure();
    arg >> item.id >> item.properties;
    arg.endStructure();
    return arg;
}

void registerStatusNotifierTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<SniPixmap>();
        qDBusRegisterMetaType<SniPixmapList>();
        qDBusRegisterMetaType<SniToolTip>();
        qDBusRegisterMetaType<DBusMenuLayoutItem>();
        qDBusRegisterMetaType<DBusMenuItemProperties>();
        qDBusRegisterMetaType<QList<DBusMenuItemProperties>>();
        return true;
    }();
    Q_UNUSED(registered);
}

bool isPropertiesCall(const QDBusMessage &message)
{
    return message.interface() == QLatin1String("org.freedesktop.DBus.Properties");
}

bool answerPropertiesCall(
    const QDBusMessage &message, const QDBusConnection &connection, const QVariantMap &properties)
{
    const QString member = message.member();
    const QList<QVariant> args = message.arguments();
    if (member == QLatin1String("Get") && args.size() == 2) {
        const QString name = args.at(1).toString();
        if (!properties.contains(name))
            return connection.send(message.createErrorReply(
                QDBusError::UnknownProperty, QStringLiteral("no property %1").arg(name)));
        return connection.send(
            message.createReply(QVariant::fromValue(QDBusVariant(properties.value(name)))));
    }
    if (member == QLatin1String("GetAll"))
        return connection.send(message.createReply(properties));
    return false;
}
