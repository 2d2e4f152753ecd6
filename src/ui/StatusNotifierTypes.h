#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

class QDBusConnection;
class QDBusMessage;
class QIcon;

/**
 * The value types a StatusNotifierItem and its com.canonical.dbusmenu menu put
 * on the bus, with their marshalling. registerStatusNotifierTypes() must run
 * once before any of them is sent.
 */

/** One size of the icon: ARGB32 in network byte order, as hosts expect. */
struct SniPixmap
{
    int width = 0;
    int height = 0;
    QByteArray bytes;

    static QList<SniPixmap> fromIcon(const QIcon &icon, const QList<int> &sizes);
};
using SniPixmapList = QList<SniPixmap>;

struct SniToolTip
{
    QString iconName;
    SniPixmapList pixmaps;
    QString title;
    QString text;
};

/** A menu entry and, recursively, its children, as GetLayout answers. */
struct DBusMenuLayoutItem
{
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayoutItem> children;
};

/** One entry's properties, as GetGroupProperties answers. */
struct DBusMenuItemProperties
{
    int id = 0;
    QVariantMap properties;
};

Q_DECLARE_METATYPE(SniPixmap)
Q_DECLARE_METATYPE(SniToolTip)
Q_DECLARE_METATYPE(DBusMenuLayoutItem)
Q_DECLARE_METATYPE(DBusMenuItemProperties)

QDBusArgument &operator<<(QDBusArgument &arg, const SniPixmap &pixmap);
const QDBusArgument &operator>>(const QDBusArgument &arg, SniPixmap &pixmap);
QDBusArgument &operator<<(QDBusArgument &arg, const SniToolTip &toolTip);
const QDBusArgument &operator>>(const QDBusArgument &arg, SniToolTip &toolTip);
QDBusArgument &operator<<(QDBusArgument &arg, const DBusMenuLayoutItem &item);
const QDBusArgument &operator>>(const QDBusArgument &arg, DBusMenuLayoutItem &item);
QDBusArgument &operator<<(QDBusArgument &arg, const DBusMenuItemProperties &item);
const QDBusArgument &operator>>(const QDBusArgument &arg, DBusMenuItemProperties &item);

void registerStatusNotifierTypes();

/** True when the message is for org.freedesktop.DBus.Properties. */
bool isPropertiesCall(const QDBusMessage &message);

/**
 * Answers a Properties Get or GetAll from an object's read-only properties
 * (an unknown name gets the UnknownProperty error); false for anything else.
 */
bool answerPropertiesCall(
    const QDBusMessage &message, const QDBusConnection &connection, const QVariantMap &properties);
