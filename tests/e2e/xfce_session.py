#!/usr/bin/python3
"""Moriva on Xfce's panel under Xvfb: its tray plugin is a StatusNotifierItem
host and an XEmbed tray at once. --mode sni lets the panel show the item it
draws itself; --mode xembed holds the watcher's name first (reporting no host),
so Moriva embeds its own icon window in the panel's tray instead.

Real clicks through xdotool: the popover opens at the icon, Esc closes it, a
click on the panel beside the icon closes it, a click on the icon closes it
without opening it again, and "Quit Moriva" from the right-click menu ends the
process with status 0. Screenshots of every step go to --artifacts.
"""

import math
import os
import subprocess
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import sni_session  # noqa: E402
import tray_session  # noqa: E402
from tray_session import Failure  # noqa: E402
from sni_session import GLib, ITEM  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
# The popover's edge nearest the icon, and the icon itself, may be this far apart.
REACH = 48


class XfceSession(sni_session.SniSession):
    def start_panel(self):
        log = open(os.path.join(self.args.artifacts, "xfce4-panel.log"), "w")
        self.spawn(["xfce4-panel", "--disable-wm-check"], stdout=log, stderr=log)
        self.panel = self.wait_for(self.panel_window, 20, "xfce4-panel did not show its panel")
        print("panel", self.panel)

    def panel_window(self):
        for window in self.visible_windows("--classname", "^xfce4-panel$"):
            x, y, w, h = self.geometry(window)
            if w >= 600 and h <= 64:
                return (x, y, w, h)
        return None

    def sni_icon(self):
        # The panel draws the item inside its own window: find the date icon's ring on the panel.
        x0, y0, w, h = self.panel
        shot = os.path.join(self.home, "panel.png")
        self.run("import", "-window", "root", shot)
        found = find_ring(self.read_gray(shot, (x0, y0, w, h)))
        if not found:
            return None
        cx, cy, r = found
        side = 2 * r + 4
        return (x0 + cx - side // 2, y0 + cy - side // 2, side, side)

    def settled(self, where):
        # The panel lays itself out again once the tray has grown: wait until the icon stays put.
        seen = []

        def still():
            seen.append(where())
            return seen[-1] if len(seen) >= 3 and seen[-1] and seen[-1] == seen[-2] == seen[-3] else None
        return self.wait_for(still, 20, "the icon kept moving on the panel")

    def popover_geometry(self):
        window = self.popover_window()
        return self.content_geometry(window) if window else None

    def click_at(self, rect, button=1):
        x, y, w, h = rect
        self.click(x + w // 2, y + h // 2, button)

    def check_placement(self, popover, icon, panel):
        px, py, pw, ph = popover
        ix, iy, iw, ih = icon
        _, ay, _, ah = panel
        print("MEASURED %s: popover top-left (%d, %d) size %dx%d; icon (%d, %d) %dx%d; panel bottom %d"
              % (self.args.mode, px, py, pw, ph, ix, iy, iw, ih, ay + ah))
        if (pw, ph) != (320, 520):
            raise Failure("the popover is %dx%d, not 320x520" % (pw, ph))
        if not (ay + ah <= py <= iy + ih + REACH):
            raise Failure("the popover's top (%d) is not just under the panel (%d)" % (py, ay + ah))
        gap = max(px - (ix + iw), ix - (px + pw), 0)
        if gap > REACH:
            raise Failure("the popover is %d px beside the icon" % gap)
        if px < 0 or px + pw > 1280:
            raise Failure("the popover leaves the screen")

    # The desktop window's colour, as gray: what lies under a window before it is painted.
    under = 52

    def open_by_click(self, name):
        self.pause_as_a_user()
        icon = self.locate_icon()
        self.click_at(icon)
        try:
            popover = self.wait_for(self.popover_geometry, 20, "a click on the icon did not open the popover")
        except Failure:
            # A plugin that showed up just then moved the icon: the click met
            # something else, which Esc closes. A click that met the icon fails here.
            if self.locate_icon() == icon:
                raise
            self.screenshot("missed-" + name)
            self.run("xdotool", "key", "Escape")
            icon = self.locate_icon()
            self.click_at(icon)
            popover = self.wait_for(self.popover_geometry, 20, "a click on the icon did not open the popover")
        self.wait_painted(popover)
        self.screenshot(name)
        return popover, icon

    def wait_painted(self, rect):
        # Shown is not yet painted: wait until the window's middle stops looking like what was under it.
        x, y, w, h = rect
        side = max(4, min(40, w // 2, h // 2))
        crop = (x + w // 2 - side // 2, y + h // 2 - side // 2, side, side)

        def painted():
            shot = os.path.join(self.home, "probe.png")
            self.run("import", "-window", "root", shot)
            values = [v for row in self.read_gray(shot, crop) for v in row]
            mean = sum(values) / len(values)
            spread = (sum((v - mean) ** 2 for v in values) / len(values)) ** 0.5
            return spread > 8 or abs(mean - self.under) > 12
        self.wait_for(painted, 20, "the window at %r was never painted" % (rect,))

    def scenario(self):
        self.start_desktop()
        self.install_calendar()
        if self.args.mode == "xembed":
            holder = self.spawn(["/usr/bin/python3", os.path.join(HERE, "fake_sni_host.py"), "--no-host"],
                                stdout=subprocess.PIPE)
            if holder.stdout.readline().decode().strip() != "ready":
                raise Failure("could not hold the watcher's name")
        self.start_panel()
        panel = self.panel
        if self.args.mode == "sni" and self.sni_icon():
            raise Failure("a ring on the panel before Moriva started")

        log = open(os.path.join(self.args.artifacts, "moriva-xfce-%s.log" % self.args.mode), "w")
        self.moriva = self.spawn(self.app_argv(self.args.moriva), stderr=log, stdout=log)
        if self.args.mode == "xembed":
            window = self.wait_for(self.icon_window, 20, "the icon did not appear in Xfce's XEmbed tray")
            # Plugins the panel runs in processes of their own may show up late and
            # push the tray aside: every click looks for the icon where it is now.
            self.locate_icon = lambda: self.settled(lambda: self.geometry(window))
            icon = self.locate_icon()
            # Xfce's default panel is dark: the icon must still stand out on it.
            self.check_icon(window)
        else:
            self.wait_for(self.sni_icon, 20, "Xfce's panel did not show the StatusNotifierItem")
            self.locate_icon = lambda: self.settled(self.sni_icon)
            icon = self.locate_icon()
            if self.icon_window():
                raise Failure("an XEmbed icon as well as the StatusNotifierItem")
            self.check_item_properties()
            self.screenshot("icon")
        print("icon", icon)

        popover, icon = self.open_by_click("opened")
        self.check_placement(popover, icon, panel)

        self.run("xdotool", "key", "Escape")
        self.wait_closed("Esc did not close the popover")
        self.screenshot("closed-by-esc")

        _, icon = self.open_by_click("reopened")
        # The panel beside the icon: a panel takes no focus, so only a grab sees this click.
        self.click(icon[0] - 150, panel[1] + panel[3] // 2)
        self.wait_closed("a click on the panel beside the icon did not close the popover")
        self.screenshot("closed-by-panel-click")

        self.open_by_click("opened-again")
        self.click_at(self.locate_icon())
        self.wait_closed("a second click on the icon did not close the popover")
        self.screenshot("closed-by-icon")

        # Had the closing click also reopened the popover, this click would close
        # it again instead: that it opens shows the earlier click stopped at closing.
        self.open_by_click("opened-for-desktop")
        self.click(400, 600)
        self.wait_closed("a click on the desktop did not close the popover")
        self.screenshot("closed-by-desktop")

        self.quit_from_menu(self.locate_icon())

    def check_item_properties(self):
        name = self.item_service()
        title = self.prop(name, "/StatusNotifierItem", ITEM, "Title")
        tooltip = self.prop(name, "/StatusNotifierItem", ITEM, "ToolTip")
        print("title %r, tooltip %r" % (title, tooltip[2]))
        if title != "Moriva":
            raise Failure("the item's title is %r" % title)
        if tray_session.TODAY.strftime("%Y") not in tooltip[2] or tray_session.TODAY.strftime("%B") not in tooltip[2]:
            raise Failure("the tooltip %r is not today's long date" % tooltip[2])

    def item_service(self):
        out = self.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "ListNames",
                        None, "(as)").unpack()[0]
        names = [n for n in out if n.startswith("org.kde.StatusNotifierItem-")]
        if len(names) != 1:
            raise Failure("%d StatusNotifierItems on the bus" % len(names))
        return names[0]

    def quit_from_menu(self, icon):
        before = set(self.visible_windows("--name", ""))
        self.click_at(icon, button=3)

        def menu():
            for window in self.visible_windows("--name", ""):
                if window in before:
                    continue
                x, y, w, h = self.geometry(window)
                if 40 <= w <= 400 and 20 <= h <= 200:
                    return (x, y, w, h)
            return None
        mx, my, mw, mh = self.wait_for(menu, 20, "a right click on the icon showed no menu")
        self.wait_painted((mx, my, mw, mh))
        self.screenshot("menu")
        if self.popover_window():
            raise Failure("the right click opened the popover")
        # "Quit Moriva" is the last entry. GTK's menu activates only an entry it has
        # highlighted, and it highlights on pointer motion: a press that comes before
        # the menu has seen the pointer there closes the menu and chooses nothing.
        entry = (mx + 4, my + mh - 20, mw - 8, 16)
        shot = os.path.join(self.home, "entry.png")
        self.run("import", "-window", "root", shot)
        unlit = self.read_gray(shot, entry)
        x, y = mx + mw // 2, my + mh - 12
        self.run("xdotool", "mousemove", str(x - 6), str(y))
        self.run("xdotool", "mousemove", str(x), str(y))

        def highlighted():
            self.run("import", "-window", "root", shot)
            now = self.read_gray(shot, entry)
            changed = sum(abs(a - b) > 24 for ra, rb in zip(unlit, now) for a, b in zip(ra, rb))
            return changed > len(unlit) * len(unlit[0]) // 4
        self.wait_for(highlighted, 20, "the menu never highlighted \"Quit Moriva\" under the pointer")
        self.run("xdotool", "click", "1")
        self.expect_clean_exit("choosing Quit Moriva")
        self.screenshot("quit")


def find_ring(gray):
    """The centre and radius of the one ring-shaped mark in a panel strip, or None."""
    h, w = len(gray), len(gray[0])
    values = sorted(v for row in gray for v in row)
    background = values[len(values) // 2]
    ink = [[abs(v - background) > 12 for v in row] for row in gray]
    angles = [(math.cos(a * math.pi / 12), math.sin(a * math.pi / 12)) for a in range(24)]

    def count(cx, cy, r, want_ink):
        hits = 0
        for c, s in angles:
            px, py = int(round(cx + r * c)), int(round(cy + r * s))
            if 0 <= px < w and 0 <= py < h:
                hits += ink[py][px] == want_ink
        return hits

    # Each connected mark on the panel, by its bounding box; a ring's box is a small square.
    seen = [[False] * w for _ in range(h)]
    for y0 in range(h):
        for x0 in range(w):
            if not ink[y0][x0] or seen[y0][x0]:
                continue
            stack, xs, ys = [(x0, y0)], [], []
            seen[y0][x0] = True
            while stack:
                x, y = stack.pop()
                xs.append(x)
                ys.append(y)
                for nx, ny in ((x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)):
                    if 0 <= nx < w and 0 <= ny < h and ink[ny][nx] and not seen[ny][nx]:
                        seen[ny][nx] = True
                        stack.append((nx, ny))
            bw, bh = max(xs) - min(xs) + 1, max(ys) - min(ys) + 1
            if not (12 <= bw <= 26 and abs(bw - bh) <= 2):
                continue
            cx, cy = (min(xs) + max(xs)) / 2.0, (min(ys) + max(ys)) / 2.0
            for r in (bw / 2.0 - 1, bw / 2.0 - 1.5, bw / 2.0 - 2):
                # A thin ring (clear between it and the digits), or the filled badge
                # drawn where the panel does not say which colour its icons take.
                inside_clear = count(cx, cy, r - 3, False) >= 14
                inside_filled = count(cx, cy, r - 3, True) >= 22
                if count(cx, cy, r, True) >= 22 and (inside_clear or inside_filled):
                    return int(round(cx)), int(round(cy)), int(round(r))
    return None


def main():
    return tray_session.run(
        XfceSession, ("Xvfb", "openbox", "xfce4-panel", "xdotool", "import", "convert", "dbus-daemon", "faketime"),
        errors=(Failure, GLib.Error),
        add_arguments=lambda parser: parser.add_argument("--mode", choices=("sni", "xembed"), required=True))


if __name__ == "__main__":
    import signal
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main())
