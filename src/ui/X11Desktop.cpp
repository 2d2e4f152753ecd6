#include "X11Desktop.h"

#include <QGuiApplication>
#include <QLibrary>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
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
    decltype(&xcb_change_window_attributes) changeWindowAttributes = nullptr;
    decltype(&xcb_connect) connect = nullptr;
    decltype(&xcb_disconnect) disconnect = nullptr;
    decltype(&xcb_connection_has_error) hasError = nullptr;
    decltype(&xcb_get_file_descriptor) fileDescriptor = nullptr;
    decltype(&xcb_poll_for_event) pollForEvent = nullptr;
    decltype(&xcb_get_setup) setup = nullptr;
    decltype(&xcb_setup_roots_iterator) rootsIterator = nullptr;
    decltype(&xcb_screen_next) screenNext = nullptr;
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
            resolve(lib, c.changeWindowAttributes, "xcb_change_window_attributes");
            resolve(lib, c.connect, "xcb_connect");
            resolve(lib, c.disconnect, "xcb_disconnect");
            resolve(lib, c.hasError, "xcb_connection_has_error");
            resolve(lib, c.fileDescriptor, "xcb_get_file_descriptor");
            resolve(lib, c.pollForEvent, "xcb_poll_for_event");
            resolve(lib, c.setup, "xcb_get_setup");
            resolve(lib, c.rootsIterator, "xcb_setup_roots_iterator");
            resolve(lib, c.screenNext, "xcb_screen_next");
            resolve(lib, c.flush, "xcb_flush");
            QLibrary shape(QStringLiteral("xcb-shape"), 0);
            if (shape.load())
                resolve(shape, c.shapeRectangles, "xcb_shape_rectangles");
            return c;
        }();
        if (!calls.internAtom || !calls.internAtomReply || !calls.getSelectionOwner
            || !calls.getSelectionOwnerReply || !calls.getProperty || !calls.getPropertyReply
            || !calls.propertyValue || !calls.propertyValueLength || !calls.changeProperty || !calls.flush
            || !calls.changeWindowAttributes || !calls.connect || !calls.disconnect || !calls.hasError
            || !calls.fileDescriptor || !calls.pollForEvent || !calls.setup || !calls.rootsIterator
            || !calls.screenNext)
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

std::optional<QColor> trayColors(const Xcb &xcb, xcb_window_t manager)
{
    const xcb_atom_t colors = xcb.atom("_NET_SYSTEM_TRAY_COLORS");
    if (manager == XCB_WINDOW_NONE || colors == XCB_ATOM_NONE)
        return std::nullopt;
    xcb_get_property_reply_t *reply = xcb.getPropertyReply(xcb.connection,
        xcb.getProperty(xcb.connection, 0, manager, colors, XCB_ATOM_CARDINAL, 0, 12), nullptr);
    if (!reply)
        return std::nullopt;
    std::optional<QColor> result;
    if (reply->format == 32) {
        const int count = xcb.propertyValueLength(reply) / 4;
        result
            = X11Desktop::colorFromTrayColors(static_cast<const quint32 *>(xcb.propertyValue(reply)), count);
    }
    std::free(reply);
    return result;
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
    const Xcb *xcb = Xcb::get();
    return xcb && xcb->selectionOwner("_NET_SYSTEM_TRAY_S" + screenSuffix()) != XCB_WINDOW_NONE;
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

std::optional<QColor> X11Desktop::trayForeground()
{
    const Xcb *xcb = Xcb::get();
    return xcb ? trayColors(*xcb, xcb->selectionOwner("_NET_SYSTEM_TRAY_S" + screenSuffix())) : std::nullopt;
}

X11Desktop::TrayConnection::TrayConnection()
{
    const Xcb *xcb = Xcb::get();
    if (!xcb)
        return;
    int screen = 0;
    xcb_connection_t *connection = xcb->connect(nullptr, &screen);
    if (xcb->hasError(connection)) {
        xcb->disconnect(connection);
        return;
    }
    auto *own = new Xcb(*xcb);
    own->connection = connection;
    m_xcb = own;
    m_selection = own->atom("_NET_SYSTEM_TRAY_S" + QByteArray::number(screen));
    m_colors = own->atom("_NET_SYSTEM_TRAY_COLORS");
    m_manager = own->atom("MANAGER");
    // New managers announce themselves to the root window with StructureNotify.
    xcb_screen_iterator_t roots = own->rootsIterator(own->setup(connection));
    for (int i = 0; i < screen && roots.rem > 0; ++i)
        own->screenNext(&roots);
    if (roots.rem > 0) {
        const quint32 mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        own->changeWindowAttributes(connection, roots.data->root, XCB_CW_EVENT_MASK, &mask);
    }
    own->flush(connection);
}

X11Desktop::TrayConnection::~TrayConnection()
{
    if (const auto *own = static_cast<const Xcb *>(m_xcb)) {
        own->disconnect(own->connection);
        delete own;
    }
}

bool X11Desktop::TrayConnection::isValid() const
{
    return m_xcb && m_selection != XCB_ATOM_NONE && m_colors != XCB_ATOM_NONE;
}

int X11Desktop::TrayConnection::fileDescriptor() const
{
    const auto *own = static_cast<const Xcb *>(m_xcb);
    return own ? own->fileDescriptor(own->connection) : -1;
}

quint32 X11Desktop::TrayConnection::trayManager() const
{
    const auto *own = static_cast<const Xcb *>(m_xcb);
    if (!own || m_selection == XCB_ATOM_NONE)
        return XCB_WINDOW_NONE;
    xcb_get_selection_owner_reply_t *reply = own->getSelectionOwnerReply(
        own->connection, own->getSelectionOwner(own->connection, m_selection), nullptr);
    if (!reply)
        return XCB_WINDOW_NONE;
    const xcb_window_t owner = reply->owner;
    std::free(reply);
    return owner;
}

void X11Desktop::TrayConnection::watch(quint32 manager) const
{
    const auto *own = static_cast<const Xcb *>(m_xcb);
    if (!own || manager == XCB_WINDOW_NONE)
        return;
    const quint32 mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    own->changeWindowAttributes(own->connection, manager, XCB_CW_EVENT_MASK, &mask);
    own->flush(own->connection);
}

std::optional<QColor> X11Desktop::TrayConnection::foreground(quint32 manager) const
{
    const auto *own = static_cast<const Xcb *>(m_xcb);
    return own ? trayColors(*own, manager) : std::nullopt;
}

void *X11Desktop::TrayConnection::nextEvent() const
{
    const auto *own = static_cast<const Xcb *>(m_xcb);
    return own ? own->pollForEvent(own->connection) : nullptr;
}

std::optional<QColor> X11Desktop::colorFromTrayColors(const quint32 *values, int count)
{
    if (!values || count < 3)
        return std::nullopt;
    auto channel = [](quint32 v) { return int(qMin<quint32>(v, 0xffff) >> 8); };
    // Panels write the property as soon as they take the tray, some before
    // they have styled themselves: twelve values of 0 or 1, colours of 0..1
    // written unscaled. That is no colour, and taken for one it draws black
    // ink on a dark panel. (Panels do name four equal colours when they mean them.)
    if (count >= 12 && std::all_of(values, values + 12, [](quint32 v) { return v <= 1; }))
        return std::nullopt;
    return QColor(channel(values[0]), channel(values[1]), channel(values[2]));
}
