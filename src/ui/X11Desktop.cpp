#include "X11Desktop.h"

#include <QGuiApplication>
#include <QLibrary>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>

namespace {

// From xcb/shape.h, whose development package the build does not need: the
// SHAPE extension's request that sets a window's input region to rectangles.
using ShapeRectangles
    = xcb_void_cookie_t (*)(xcb_connection_t *, uint8_t operation, uint8_t kind, uint8_t ordering,
        xcb_window_t, int16_t xOffset, int16_t yOffset, uint32_t count, const xcb_rectangle_t *rectangles);
constexpr uint8_t shapeSet = 0;
constexpr uint8_t shapeInput = 2;
constexpr uint8_t unsortedClip = 0;

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
    decltype(&xcb_change_property) changeProperty = nullptr;
    decltype(&xcb_get_window_attributes) getWindowAttributes = nullptr;
    decltype(&xcb_get_window_attributes_reply) getWindowAttributesReply = nullptr;
    decltype(&xcb_change_window_attributes) changeWindowAttributes = nullptr;
    decltype(&xcb_flush) flush = nullptr;
    // libxcb-shape comes with Qt's xcb plugin too; without it input stays unshaped.
    ShapeRectangles shapeRectangles = nullptr;
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
            resolve(lib, c.changeProperty, "xcb_change_property");
            resolve(lib, c.getWindowAttributes, "xcb_get_window_attributes");
            resolve(lib, c.getWindowAttributesReply, "xcb_get_window_attributes_reply");
            resolve(lib, c.changeWindowAttributes, "xcb_change_window_attributes");
            resolve(lib, c.flush, "xcb_flush");
            QLibrary shape(QStringLiteral("xcb-shape"), 0);
            if (shape.load())
                resolve(shape, c.shapeRectangles, "xcb_shape_rectangles");
            return c;
        }();
        if (!calls.internAtom || !calls.internAtomReply || !calls.getSelectionOwner
            || !calls.getSelectionOwnerReply || !calls.getProperty || !calls.getPropertyReply
            || !calls.propertyValue || !calls.propertyValueLength || !calls.changeProperty || !calls.flush
            || !calls.getWindowAttributes || !calls.getWindowAttributesReply || !calls.changeWindowAttributes)
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

bool X11Desktop::hasSystemTray()
{
    return trayManager() != XCB_WINDOW_NONE;
}

void X11Desktop::setInputAndFrame(QWindow *window, const QRect &content, const QSize &windowSize)
{
    const Xcb *xcb = Xcb::get();
    if (!xcb || !window)
        return;
    const auto id = xcb_window_t(window->winId());
    const qreal dpr = window->devicePixelRatio();
    const QRect device((QPointF(content.topLeft()) * dpr).toPoint(), (QSizeF(content.size()) * dpr).toSize());
    const QSize outer = (QSizeF(windowSize) * dpr).toSize();
    if (xcb->shapeRectangles) {
        const xcb_rectangle_t rect { int16_t(device.x()), int16_t(device.y()), uint16_t(device.width()),
            uint16_t(device.height()) };
        xcb->shapeRectangles(xcb->connection, shapeSet, shapeInput, unsortedClip, id, 0, 0, 1, &rect);
    }
    const xcb_atom_t extents = xcb->atom("_GTK_FRAME_EXTENTS");
    if (extents != XCB_ATOM_NONE) {
        // Left, right, top, bottom.
        const quint32 values[4] = { quint32(device.left()), quint32(outer.width() - device.right() - 1),
            quint32(device.top()), quint32(outer.height() - device.bottom() - 1) };
        xcb->changeProperty(
            xcb->connection, XCB_PROP_MODE_REPLACE, id, extents, XCB_ATOM_CARDINAL, 32, 4, values);
    }
    xcb->flush(xcb->connection);
}

quint32 X11Desktop::internAtom(const QByteArray &name)
{
    const Xcb *xcb = Xcb::get();
    return xcb ? xcb->atom(name) : quint32(XCB_ATOM_NONE);
}

quint32 X11Desktop::trayManager()
{
    const Xcb *xcb = Xcb::get();
    return xcb ? xcb->selectionOwner(traySelectionName()) : quint32(XCB_WINDOW_NONE);
}

QByteArray X11Desktop::traySelectionName()
{
    return "_NET_SYSTEM_TRAY_S" + screenSuffix();
}

void X11Desktop::watchTrayManager(quint32 manager)
{
    const Xcb *xcb = Xcb::get();
    if (!xcb || manager == XCB_WINDOW_NONE)
        return;
    // The mask is per client and replaces what this connection selected before;
    // Qt's own tray code may already listen on the same window.
    xcb_get_window_attributes_reply_t *reply = xcb->getWindowAttributesReply(
        xcb->connection, xcb->getWindowAttributes(xcb->connection, manager), nullptr);
    if (!reply)
        return; // Gone already: its successor announces itself.
    const quint32 mask
        = reply->your_event_mask | XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    std::free(reply);
    xcb->changeWindowAttributes(xcb->connection, manager, XCB_CW_EVENT_MASK, &mask);
    xcb->flush(xcb->connection);
}

std::optional<QColor> X11Desktop::trayForeground()
{
    return trayForeground(trayManager());
}

std::optional<QColor> X11Desktop::trayForeground(quint32 manager)
{
    const Xcb *xcb = Xcb::get();
    if (!xcb || manager == XCB_WINDOW_NONE)
        return std::nullopt;
    const xcb_atom_t colors = xcb->atom("_NET_SYSTEM_TRAY_COLORS");
    if (colors == XCB_ATOM_NONE)
        return std::nullopt;
    xcb_get_property_reply_t *reply = xcb->getPropertyReply(xcb->connection,
        xcb->getProperty(xcb->connection, 0, manager, colors, XCB_ATOM_CARDINAL, 0, 12), nullptr);
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
    auto colorAt
        = [&](int i) { return QColor(channel(values[i]), channel(values[i + 1]), channel(values[i + 2])); };
    const QColor normal = colorAt(0);
    // A tray names four colours so that errors, warnings and successes stand
    // apart from the rest. Four equal ones are a placeholder (a panel that has
    // not styled itself yet writes all black), not a choice; trusting it would
    // draw black ink on a dark panel.
    if (count >= 12 && colorAt(3) == normal && colorAt(6) == normal && colorAt(9) == normal)
        return std::nullopt;
    return normal;
}
