#!/usr/bin/python3
"""Moriva on a panel that speaks StatusNotifierItem (KDE Plasma, GNOME with
the AppIndicator extension, waybar): no XEmbed tray, a watcher with a host on
the session bus. The host's part is played over D-Bus: read the icon and the
menu the item exports, activate it, choose menu entries.
"""

import os
import subprocess
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import gi  # noqa: E402

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

import tray_session  # noqa: E402
from tray_session import Failure  # noqa: E402

ITEM = "org.kde.StatusNotifierItem"
MENU = "com.canonical.dbusmenu"


class SniSession(tray_session.Session):
    def bus(self):
        if not hasattr(self, "_bus"):
            self._bus = Gio.DBusConnection.new_for_address_sync(
                self.env["DBUS_SESSION_BUS_ADDRESS"],
                Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION,
                None, None)
        return self._bus

    def call(self, service, path, interface, method, args, reply_type=None):
        return self.bus().call_sync(service, path, interface, method, args,
                                    GLib.VariantType(reply_type) if reply_type else None,
                                    Gio.DBusCallFlags.NONE, 5000, None)

    def prop(self, service, path, interface, name):
        return self.call(service, path, "org.freedesktop.DBus.Properties", "Get",
                         GLib.Variant("(ss)", (interface, name)), "(v)").unpack()[0]

    def menu_entries(self, service, menu_path):
        _, layout = self.call(service, menu_path, MENU, "GetLayout", GLib.Variant("(iias)", (0, -1, [])),
                              "(u(ia{sv}av))").unpack()
        entries = []
        for child in layout[2]:
            ident, props, _ = child
            if props.get("type") == "separator":
                entries.append((ident, "--"))
            elif props.get("visible", True):
                entries.append((ident, props.get("label", "").replace("&", "")))
        return entries

    def click_entry(self, service, menu_path, ident):
        self.call(service, menu_path, MENU, "Event",
                  GLib.Variant("(isvu)", (ident, "clicked", GLib.Variant("s", ""), int(time.time()) & 0xffffffff)))

    def scenario(self):
        self.start_desktop()
        self.install_calendar()

        host = self.spawn(["/usr/bin/python3", os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                             "fake_sni_host.py")], stdout=subprocess.PIPE)
        if host.stdout.readline().decode().strip() != "ready":
            raise Failure("the stand-in StatusNotifierWatcher did not start")

        log = open(os.path.join(self.args.artifacts, "moriva-sni.log"), "w")
        self.moriva = self.spawn(self.app_argv(self.args.moriva), stderr=log, stdout=log)
        line = host.stdout.readline().decode().split()
        if len(line) != 2:
            raise Failure("moriva did not register a StatusNotifierItem")
        sender, service = line
        # Items register either a bus name (the object at /StatusNotifierItem) or an object path.
        name, path = (sender, service) if service.startswith("/") else (service, "/StatusNotifierItem")
        print("item", name, path)
        if self.icon_window():
            raise Failure("an XEmbed icon as well as the StatusNotifierItem")

        pixmaps = self.prop(name, path, ITEM, "IconPixmap")
        sizes = sorted({(w, h) for w, h, _ in pixmaps})
        print("icon sizes", sizes)
        if not sizes or not any(w >= 22 for w, _ in sizes):
            raise Failure("the item exports no icon a panel could use: %r" % (sizes,))

        menu_path = self.prop(name, path, ITEM, "Menu")
        entries = self.menu_entries(name, menu_path)
        print("menu", entries)
        labels = [label for _, label in entries]
        if not labels or labels[-1] != "Quit Moriva" or "Open Calendar" not in labels:
            raise Failure("the item's menu is %r, not an open entry above Quit Moriva" % (labels,))
        ids = {label: ident for ident, label in entries}

        self.call(name, path, ITEM, "Activate", GLib.Variant("(ii)", (600, 20)))
        self.wait_for(self.popover_window, 20, "activating the item did not open the popover")
        self.screenshot("sni-activated")
        self.call(name, path, ITEM, "Activate", GLib.Variant("(ii)", (600, 20)))
        self.wait_closed("activating the item again did not close the popover")

        # Hosts that open the menu on every click: the menu's own entry opens the popover.
        self.click_entry(name, menu_path, ids["Open Calendar"])
        self.wait_for(self.popover_window, 20, "\"Open Calendar\" did not open the popover")
        self.screenshot("sni-open-entry")

        self.click_entry(name, menu_path, ids["Quit Moriva"])
        self.expect_clean_exit("\"Quit Moriva\" from the item's menu")


def main():
    return tray_session.run(SniSession, ("Xvfb", "openbox", "xdotool", "import", "dbus-daemon", "faketime"),
                            errors=(Failure, GLib.Error))


if __name__ == "__main__":
    import signal
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main())
