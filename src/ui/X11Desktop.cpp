#include "X11Desktop.h"

#include <QGuiApplication>
#include <QLibrary>

#include <xcb/xcb.h>

#include <cstdlib>

namespace {

// libxcb is already in the process through Qt's xcb plugin; the calls are
// resolved at run time so the library needs no link dependency for X11 alone.
struct Xcb
{
    decltype(&xcb_intern_atom) internAtom = nullptr;
    decltype(&xcb_intern_atom_reply) internAtomReply = nullptr;
    decltype(&xcb_get_selection_owner) getSelectionOwner = nullptr;
    decltype(&xcb_get_selection_owner_reply) getSelectionOwnerReply = nullptr;
    decltype(&xcb_get_property) getProperty = nullptr;
    decltype(&xcb_get_property_reply) getPropertyReply = nullptr;
    decltype(&xcb_get_property_value) propertyValue = nullptr;
    decltype(&xcb_get_property_value_length) propertyValueLength = nullptr;
    xcb_connection_t *connection = nullptr;

    template<typename F> static void resolve(QLibrary &lib, F &f, const char *name)
    {
        f = reinterpret_cast<F>(lib.resolve(name));
    }

    static const Xcb *get()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            return nullptr;
        auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        if (!x11 || !x11->connection())
            return nullptr;
        static Xcb calls = [] {
            Xcb c;
            QLibrary lib(QStringLiteral("xcb"), 1);
            if (!lib.load())
                return c;
            resolve(lib, c.internAtom, "xcb_intern_atom");
            resolve(lib, c.internAtomReply, "xcb_intern_atom_reply");
            resolve(lib, c.getSelectionOwner, "xcb_get_selection_owner");
            resolve(lib, c.getSelectionOwnerReply, "xcb_get_selection_owner_reply");
            resolve(lib, c.getProperty, "xcb_get_property");
            resolve(lib, c.getPropertyReply, "xcb_get_property_reply");
            resolve(lib, c.propertyValue, "xcb_get_property_value");
            resolve(lib, c.propertyValueLength, "xcb_get_property_value_length");
            return c;
        }();
        if (!calls.internAtom || !calls.internAtomReply || !calls.getSelectionOwner
            || !calls.getSelectionOwnerReply || !calls.getProperty || !calls.getPropertyReply
            || !calls.propertyValue || !calls.propertyValueLength)
            return nullptr;
        calls.connection = x11->connection();
        return &calls;
    }

    xcb_atom_t atom(const QByteArray &name) const
    {
        xcb_intern_atom_reply_t *reply
            = internAtomReply(connection, internAtom(connection, 0, name.size(), name.constData()), nullptr);
        if (!reply)
            return XCB_ATOM_NONE;
        const xcb_atom_t result = reply->atom;
        std::free(reply);
        return result;
    }

    xcb_window_t selectionOwner(const QByteArray &name) const
    {
        const xcb_atom_t selection = atom(name);
        if (selection == XCB_ATOM_NONE)
            return XCB_WINDOW_NONE;
        xcb_get_selection_owner_reply_t *reply
            = getSelectionOwnerReply(connection, getSelectionOwner(connection, selection), nullptr);
        if (!reply)
            return XCB_WINDOW_NONE;
        const xcb_window_t owner = reply->owner;
        std::free(reply);
        return owner;
    }
};

QByteArray screenSuffix()
{
    const QByteArray display = qgetenv("DISPLAY");
    const int dot = display.lastIndexOf('.');
    const int colon = display.lastIndexOf(':');
    return QByteArray::number(dot > colon && colon >= 0 ? display.mid(dot + 1).toInt() : 0);
}

} // namespace

bool X11Desktop::isCompositing()
{
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return true;
    const Xcb *xcb = Xcb::get();
    return xcb && xcb->selectionOwner("_NET_WM_CM_S" + screenSuffix()) != XCB_WINDOW_NONE;
}

std::optional<QColor> X11Desktop::trayForeground()
{
    const Xcb *xcb = Xcb::get();
    if (!xcb)
        return std::nullopt;
    const xcb_window_t tray = xcb->selectionOwner("_NET_SYSTEM_TRAY_S" + screenSuffix());
    const xcb_atom_t colors = xcb->atom("_NET_SYSTEM_TRAY_COLORS");
    if (tray == XCB_WINDOW_NONE || colors == XCB_ATOM_NONE)
        return std::nullopt;
    xcb_get_property_reply_t *reply = xcb->getPropertyReply(xcb->connection,
        xcb->getProperty(xcb->connection, 0, tray, colors, XCB_ATOM_CARDINAL, 0, 12), nullptr);
    if (!reply)
        return std::nullopt;
    std::optional<QColor> result;
    if (reply->format == 32) {
        const int count = xcb->propertyValueLength(reply) / 4;
        result = colorFromTrayColors(static_cast<const quint32 *>(xcb->propertyValue(reply)), count);
    }
    std::free(reply);
    return result;
}

std::optional<QColor> X11Desktop::colorFromTrayColors(const quint32 *values, int count)
{
    if (!values || count < 3)
        return std::nullopt;
    auto channel = [](quint32 v) { return int(qMin<quint32>(v, 0xffff) >> 8); };
    return QColor(channel(values[0]), channel(values[1]), channel(values[2]));
}
