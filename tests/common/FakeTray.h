#pragma once

#include "TrayColorWatcher.h"

#include <QHash>
#include <QList>

#include <xcb/xcb.h>

/**
 * An X server's tray as the colour watcher sees it: which window manages the
 * tray, the colours each manager names, which windows were watched. A read of
 * a window not yet watched is recorded, since a change in between would be lost.
 */
struct FakeTray
{
    static constexpr quint32 selection = 301;
    static constexpr quint32 colors = 302;
    static constexpr quint32 manager = 303;
    static constexpr quint32 otherAtom = 304;

    quint32 owner = 0;
    QHash<quint32, std::optional<QColor>> foregrounds;
    QList<quint32> watched;
    bool readBeforeWatch = false;

    TrayColorWatcher::Tray tray()
    {
        TrayColorWatcher::Tray t;
        t.manager = [this] { return owner; };
        t.watch = [this](quint32 window) { watched.append(window); };
        t.foreground = [this](quint32 window) {
            readBeforeWatch |= !watched.contains(window);
            return foregrounds.value(window);
        };
        t.selectionAtom = selection;
        t.colorsAtom = colors;
        t.managerAtom = manager;
        return t;
    }

    static void propertyChanged(TrayColorWatcher &watcher, quint32 window, quint32 atom)
    {
        xcb_property_notify_event_t event {};
        event.response_type = XCB_PROPERTY_NOTIFY;
        event.window = window;
        event.atom = atom;
        watcher.handleEvent(&event);
    }
    static void announced(TrayColorWatcher &watcher, quint32 window, quint32 selectionAtom = selection)
    {
        xcb_client_message_event_t event {};
        event.response_type = XCB_CLIENT_MESSAGE | 0x80; // as sent by another client
        event.format = 32;
        event.type = manager;
        event.data.data32[1] = selectionAtom;
        event.data.data32[2] = window;
        watcher.handleEvent(&event);
    }
    static void destroyed(TrayColorWatcher &watcher, quint32 window)
    {
        xcb_destroy_notify_event_t event {};
        event.response_type = XCB_DESTROY_NOTIFY;
        event.window = window;
        watcher.handleEvent(&event);
    }
};
