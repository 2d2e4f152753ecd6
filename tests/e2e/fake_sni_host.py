#!/usr/bin/python3
"""A StatusNotifierWatcher with one host, as KDE Plasma, GNOME's AppIndicator
extension and waybar provide: it owns org.kde.StatusNotifierWatcher on the
session bus, says a host is registered, and prints each item that registers
(its bus name and the service it gave) on a line of standard output.

With --no-host it holds the watcher's name but reports no host, which keeps a
panel's own watcher out and leaves applications to its XEmbed tray.
"""

import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

XML = """
<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
    <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
    <signal name="StatusNotifierHostRegistered"/>
  </interface>
</node>
"""

items = []


def on_call(connection, sender, path, interface, method, params, invocation):
    if method == "RegisterStatusNotifierItem":
        service = params.unpack()[0]
        items.append(service)
        print("%s %s" % (sender, service), flush=True)
        connection.emit_signal(None, path, interface, "StatusNotifierItemRegistered",
                               GLib.Variant("(s)", (service,)))
    invocation.return_value(None)


def on_get(connection, sender, path, interface, name):
    if name == "RegisteredStatusNotifierItems":
        return GLib.Variant("as", items)
    if name == "IsStatusNotifierHostRegistered":
        return GLib.Variant("b", "--no-host" not in sys.argv)
    return GLib.Variant("i", 0)


def on_bus(connection, name):
    node = Gio.DBusNodeInfo.new_for_xml(XML)
    connection.register_object("/StatusNotifierWatcher", node.interfaces[0], on_call, on_get, None)


def main():
    loop = GLib.MainLoop()
    Gio.bus_own_name(Gio.BusType.SESSION, "org.kde.StatusNotifierWatcher", Gio.BusNameOwnerFlags.NONE,
                     on_bus, lambda *_: print("ready", flush=True), lambda *_: loop.quit())
    loop.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
