#!/usr/bin/python3
"""Moriva as a user meets it: a virtual X display with openbox and an XEmbed
tray (trayer), the real binary on a private session bus, clicks through
xdotool and screenshots of every step.

Every process started here is ended by its PID when the script ends, also on
failure. Screenshots go to --artifacts (inside the build folder).
"""

import argparse
import calendar
import datetime
import math
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

CALENDAR = """BEGIN:VCALENDAR
VERSION:2.0
PRODID:-//Moriva//end-to-end//EN
BEGIN:VEVENT
UID:standup@e2e.moriva
DTSTAMP:20260101T000000Z
DTSTART:{today}T090000
DTEND:{today}T093000
SUMMARY:Team stand-up
END:VEVENT
BEGIN:VEVENT
UID:review@e2e.moriva
DTSTAMP:20260101T000000Z
DTSTART;VALUE=DATE:{today}
DTEND;VALUE=DATE:{tomorrow}
SUMMARY:Quarterly review
END:VEVENT
END:VCALENDAR
"""


# The moment the sessions play at. The app runs on a clock that starts there
# (libfaketime; timers keep the real monotonic clock), so a run across
# midnight, or at a month's end, sees the same day throughout.
NOW = datetime.datetime(2026, 12, 9, 10, 0)
TODAY = NOW.date()
# The app takes a click on the icon within 0.3 s of the popover closing for the
# click that closed it. A user's next click comes later; so do the sessions'.
USER_PAUSE = 0.6


class Failure(Exception):
    pass


class Session:
    def __init__(self, args):
        self.args = args
        self.procs = []
        self.step_no = 0
        self.home = tempfile.mkdtemp(prefix="moriva-e2e-")
        # Only the wall clock is faked; timers keep counting real time.
        self.env = dict(os.environ, FAKETIME_DONT_FAKE_MONOTONIC="1")
        self.display = None
        self.moriva = None
        self.closed_at = 0.0
        os.makedirs(args.artifacts, exist_ok=True)
        for old in os.listdir(args.artifacts):
            if old.endswith(".png"):
                os.remove(os.path.join(args.artifacts, old))

    # -- processes -------------------------------------------------------
    def spawn(self, argv, **kw):
        proc = subprocess.Popen(argv, env=self.env, stdout=kw.get("stdout", subprocess.DEVNULL),
                                stderr=kw.get("stderr", subprocess.DEVNULL), pass_fds=kw.get("pass_fds", ()))
        self.procs.append(proc)
        return proc

    def app_argv(self, *argv):
        """The app, or another program that must see the same day, on the session's clock."""
        return ["faketime", "-f", NOW.strftime("@%Y-%m-%d %H:%M:%S")] + list(argv)

    def cleanup(self):
        for proc in reversed(self.procs):
            if proc.poll() is None:
                try:
                    proc.send_signal(signal.SIGTERM)
                    proc.wait(timeout=3)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
                except ProcessLookupError:
                    pass
        shutil.rmtree(self.home, ignore_errors=True)

    def run(self, *argv, check=True):
        out = subprocess.run(list(argv), env=self.env, capture_output=True, text=True, timeout=20)
        if check and out.returncode != 0:
            raise Failure("%s failed: %s" % (" ".join(argv), out.stderr.strip()))
        return out.stdout.strip()

    # -- the desktop -----------------------------------------------------
    def start_desktop(self):
        read_fd, write_fd = os.pipe()
        xvfb = self.spawn(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
                          pass_fds=(write_fd,))
        os.close(write_fd)
        number = b""
        deadline = time.time() + 15
        while not number.endswith(b"\n") and time.time() < deadline:
            chunk = os.read(read_fd, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_fd)
        if not number.strip():
            raise Failure("Xvfb did not start (exit %s)" % xvfb.poll())
        self.display = ":" + number.decode().strip()

        for sub in ("config", "data", "cache", "runtime"):
            os.makedirs(os.path.join(self.home, sub), mode=0o700, exist_ok=True)
        self.env.update({
            "DISPLAY": self.display,
            "HOME": self.home,
            "XDG_CONFIG_HOME": os.path.join(self.home, "config"),
            "XDG_DATA_HOME": os.path.join(self.home, "data"),
            "XDG_CACHE_HOME": os.path.join(self.home, "cache"),
            "XDG_RUNTIME_DIR": os.path.join(self.home, "runtime"),
            "LANG": "C.UTF-8",
            "LC_ALL": "C.UTF-8",
            "NO_AT_BRIDGE": "1",
        })
        for key in ("QT_QPA_PLATFORM", "XDG_CURRENT_DESKTOP", "WAYLAND_DISPLAY", "SESSION_MANAGER"):
            self.env.pop(key, None)

        self.start_session_bus()

        # Windows mapped before the window manager runs may stay unmanaged. On a
        # loaded machine openbox has been seen to end at once: it is started again.
        openbox_log = open(os.path.join(self.args.artifacts, "openbox.log"), "w")
        openbox = [None]

        def window_manager():
            if openbox[0] is None or openbox[0].poll() is not None:
                openbox[0] = self.spawn(["openbox"], stderr=openbox_log, stdout=openbox_log)
            return "window id" in self.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK", check=False)
        self.wait_for(window_manager, 60, "openbox did not start")
        if getattr(self.args, "compositor", False):
            # A compositing manager, as most X11 desktops run: the popover is then
            # translucent, with rounded corners and a shadow it draws itself.
            self.spawn(["xcompmgr"])
            self.wait_for(lambda: self.run("xdotool", "search", "--name", "^xcompmgr$", check=False), 30,
                          "xcompmgr did not start")
        # The desktop background that real sessions have; clicks "on the desktop" land on it.
        self.spawn([self.args.probe, "desktop"])
        self.wait_for(self.desktop_shown, 30, "no desktop window")

    def desktop_shown(self):
        if self.visible_windows("--name", "^Desktop$"):
            return True
        # A map request sent while openbox was still starting can be lost; ask again.
        for window in self.run("xdotool", "search", "--name", "^Desktop$", check=False).split():
            self.run("xdotool", "windowmap", window, check=False)
        return False

    def start_tray(self):
        self.spawn(["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "120",
                    "--heighttype", "pixel", "--height", "28", "--SetDockType", "true", "--transparent", "false"])
        self.wait_for(lambda: self.run("xdotool", "search", "--classname", "trayer", check=False), 30,
                      "trayer did not start")

    def install_calendar(self):
        today = TODAY
        folder = os.path.join(self.env["XDG_DATA_HOME"], "moriva", "calendars")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "work.ics"), "w") as ics:
            ics.write(CALENDAR.format(today=today.strftime("%Y%m%d"),
                                      tomorrow=(today + datetime.timedelta(days=1)).strftime("%Y%m%d")))

    # -- helpers ---------------------------------------------------------
    def wait_for(self, predicate, seconds, message):
        deadline = time.time() + seconds
        while time.time() < deadline:
            value = predicate()
            if value:
                return value
            time.sleep(0.1)
        raise Failure(message)

    def probe(self, *argv):
        env = dict(self.env, QT_QPA_PLATFORM="offscreen")
        out = subprocess.run([self.args.probe] + list(argv), env=env, capture_output=True, text=True, timeout=20)
        if out.returncode != 0:
            raise Failure("probe %s failed: %s" % (" ".join(argv), out.stderr.strip()))
        return out.stdout.strip()

    def screenshot(self, name):
        self.step_no += 1
        path = os.path.join(self.args.artifacts, "%02d-%s.png" % (self.step_no, name))
        self.run("import", "-window", "root", path)
        return path

    def geometry(self, window):
        out = self.run("xdotool", "getwindowgeometry", "--shell", window)
        values = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def content_geometry(self, window):
        # Where a compositor runs the popover draws its shadow around its content
        # and says how far it reaches in _GTK_FRAME_EXTENTS (left, right, top, bottom).
        x, y, w, h = self.geometry(window)
        out = self.run("xprop", "-id", window, "_GTK_FRAME_EXTENTS", check=False)
        match = re.search(r"=\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+)", out)
        if not match:
            return x, y, w, h
        left, right, top, bottom = (int(v) for v in match.groups())
        return x + left, y + top, w - left - right, h - top - bottom

    def visible_windows(self, *query):
        out = self.run("xdotool", "search", "--onlyvisible", *query, check=False)
        return [w for w in out.split() if w]

    def shown_windows(self, *query):
        """Visible windows with their geometry, less those gone between the search and the question."""
        shown = []
        for window in self.visible_windows(*query):
            try:
                shown.append((window, self.content_geometry(window)))
            except Failure:
                pass
        return shown

    def icon_window(self):
        for window, (_, _, w, h) in self.shown_windows("--classname", "^moriva$"):
            if w <= 64 and h <= 64:
                return window
        return None

    def popover_window(self):
        for window, (_, _, w, h) in self.shown_windows("--name", "^Moriva"):
            if (w, h) == (320, 520):
                return window
        return None

    def start_session_bus(self):
        """A private session bus for the app and the tray host, in self.env."""
        bus = self.spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"], stdout=subprocess.PIPE)
        address = bus.stdout.readline().decode().strip()
        if not address:
            raise Failure("no session bus")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address

    def app_on_bus(self):
        out = self.run("dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus", "/",
                       "org.freedesktop.DBus.NameHasOwner", "string:org.moriva.Moriva", check=False)
        return "boolean true" in out

    def click(self, x, y, button=1):
        # The click goes where the pointer has arrived, not where it was. (xdotool's
        # own --sync waits forever when the pointer is already there.)
        self.run("xdotool", "mousemove", str(x), str(y))
        self.wait_for(lambda: self.run("xdotool", "getmouselocation", "--shell").startswith("X=%d\nY=%d\n" % (x, y)),
                      10, "the pointer did not reach %d,%d" % (x, y))
        self.run("xdotool", "click", str(button))

    def click_icon(self, icon, button=1):
        x, y, w, h = self.geometry(icon)
        self.click(x + w // 2, y + h // 2, button)

    def read_gray(self, png, crop=None):
        argv = ["convert", png]
        if crop:
            x, y, w, h = crop
            argv += ["-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage"]
        argv += ["-colorspace", "gray", "-depth", "8", "pgm:-"]
        data = subprocess.run(argv, capture_output=True, check=True).stdout
        return parse_pgm(data)

    # -- the steps -------------------------------------------------------
    def check_icon(self, icon, min_contrast=80):
        x, y, w, h = self.geometry(icon)
        peaks = []

        def inked():
            # Until the icon has been drawn the tray shows only its own background.
            gray = self.read_gray(self.screenshot("icon"), (x, y, w, h))
            border = [gray[0][i] for i in range(w)] + [gray[h - 1][i] for i in range(w)]
            background = sorted(border)[len(border) // 2]
            ink = [[abs(v - background) for v in row] for row in gray]
            peaks.append(max(max(row) for row in ink))
            return ink if peaks[-1] >= min_contrast else None
        try:
            ink = self.wait_for(inked, 20, "")
        except Failure:
            raise Failure("the tray icon has no contrast to its background (peak %d)" % max(peaks))
        peak = peaks[-1]
        ink = [[v / peak for v in row] for row in ink]

        size = min(w, h)
        radius = 9.0 / 22.0 * size
        cx, cy = w / 2.0, h / 2.0
        ring_hits = 0
        for step in range(36):
            angle = step * 10 * 3.14159265 / 180
            best = 0.0
            for r in (radius - 1, radius, radius + 1):
                px, py = int(cx + r * math.cos(angle)), int(cy + r * math.sin(angle))
                if 0 <= px < w and 0 <= py < h:
                    best = max(best, ink[py][px])
            ring_hits += best > 0.35
        if ring_hits < 32:
            raise Failure("no ring in the tray icon (%d of 36 angles)" % ring_hits)

        scores = {}
        self.probe("icon", "all", str(w), str(h), os.path.join(self.home, "ref-%1.pgm"))
        for day in range(1, 32):
            with open(os.path.join(self.home, "ref-%d.pgm" % day), "rb") as f:
                expected = parse_pgm(f.read())
            scores[day] = correlation(ink, [[v / 255.0 for v in row] for row in expected])
        best = max(scores, key=scores.get)
        today = TODAY.day
        print("icon %dx%d: best match day %d (%.3f), today %d (%.3f)" % (w, h, best, scores[best], today,
                                                                        scores[today]))
        if best != today or scores[today] < 0.8:
            raise Failure("the tray icon does not show today's number %d (best match %d)" % (today, best))

    def check_menu(self, geometry):
        # The menu on screen against menus rendered with the same toolkit: it must
        # look like the one whose only entry is "Quit Moriva", and unlike the others.
        _, _, w, h = geometry
        references = {}
        for text in ("Quit Moriva", "Open Calendar", "Quit", "Moriva"):
            ref = os.path.join(self.home, "menu.pgm")
            self.probe("menu", text, ref)
            with open(ref, "rb") as f:
                references[text] = parse_pgm(f.read())

        def reads_quit():
            # Taken again until the menu has been drawn, or the time is up.
            seen = self.read_gray(self.screenshot("menu"), geometry)
            scores = {text: correlation(seen, expected) if len(expected) == h and len(expected[0]) == w else -1.0
                      for text, expected in references.items()}
            print("menu likeness:", ", ".join("%s %.3f" % item for item in scores.items()))
            return max(scores, key=scores.get) == "Quit Moriva" and scores["Quit Moriva"] >= 0.9
        self.wait_for(reads_quit, 20, "the right-click menu does not read \"Quit Moriva\"")

    def run_app(self):
        # The panel comes up after the application, as it may at login.
        log = open(os.path.join(self.args.artifacts, "moriva.log"), "w")
        self.moriva = self.spawn(self.app_argv(self.args.moriva), stderr=log, stdout=log)
        # Up: it holds its name on the bus, claimed before it looks for a tray.
        self.wait_for(lambda: self.moriva.poll() is not None or self.app_on_bus(), 30,
                      "moriva never took its name on the session bus")
        if self.moriva.poll() is not None:
            raise Failure("moriva ended on its own with status %d" % self.moriva.returncode)
        if self.icon_window():
            raise Failure("an icon appeared without a tray")
        self.start_tray()
        # The tray embeds the icon, and may have it made again before it stays:
        # the icon is the one seen at the same place on two looks in a row.
        seen = [None]

        def steady_icon():
            window = self.icon_window()
            now = (window, self.shown_windows("--classname", "^moriva$")) if window else None
            steady = now is not None and now == seen[0]
            seen[0] = now
            return window if steady else None
        icon = self.wait_for(steady_icon, 30, "the tray icon did not appear once the tray started")
        print("icon window", icon, self.geometry(icon))
        return icon

    def month_of(self, popover):
        title = self.run("xdotool", "getwindowname", popover)
        match = re.search(r"([A-Z][a-z]+) (\d{4})$", title)
        if not match:
            raise Failure("the popover's title names no month: %r" % title)
        return list(calendar.month_name).index(match.group(1)), int(match.group(2))

    def pause_as_a_user(self):
        """The time a user takes between seeing the popover close and clicking again."""
        time.sleep(max(0.0, self.closed_at + USER_PAUSE - time.time()))

    def open_popover(self, icon, name):
        self.pause_as_a_user()
        self.click_icon(icon)
        popover = self.wait_for(self.popover_window, 20, "a left click did not open the popover")
        self.wait_drawn(popover)
        self.screenshot(name)
        return popover

    def wait_drawn(self, window):
        """Until two pictures of the window in a row agree: it has drawn what it will draw."""
        last = [None]

        def steady():
            shot = subprocess.run(["import", "-window", window, "rgb:-"], env=self.env, capture_output=True,
                                  timeout=20).stdout
            same = bool(shot) and shot == last[0]
            last[0] = shot
            # A window not drawn yet is one flat colour, and as steady as a drawn one.
            return same and shot != shot[:3] * (len(shot) // 3)
        self.wait_for(steady, 20, "window %s never finished drawing" % window)

    def wait_closed(self, message):
        self.wait_for(lambda: not self.popover_window(), 20, message)
        self.closed_at = time.time()

    def scenario(self):
        self.start_desktop()
        self.install_calendar()
        icon = self.run_app()
        self.check_icon(icon)

        popover = self.open_popover(icon, "popover-open")
        ix, iy, iw, ih = self.geometry(icon)
        px, py, pw, ph = self.content_geometry(popover)
        print("popover", (px, py, pw, ph), "icon", (ix, iy, iw, ih), "window", self.geometry(popover))
        if (pw, ph) != (320, 520):
            raise Failure("the popover is %dx%d, not 320x520" % (pw, ph))
        if py < iy + ih or py > iy + ih + 40:
            raise Failure("the popover does not open under the icon")
        if px + pw < ix or px > ix + iw or px + pw > 1280:
            raise Failure("the popover is not beside the icon horizontally or leaves the screen")

        today = TODAY
        if self.month_of(popover) != (today.month, today.year):
            raise Failure("the popover does not open on this month: %r" % (self.month_of(popover),))
        bx, by = (int(v) for v in self.probe("button", "nextMonthButton").split())
        self.click(px + bx, py + by)
        expected = (today.month % 12 + 1, today.year + (1 if today.month == 12 else 0))
        self.wait_for(lambda: self.month_of(popover) == expected, 30,
                      "the next-month arrow did not move the month title")
        self.screenshot("next-month")

        self.click_icon(icon)
        self.wait_closed("a second click on the icon did not close the popover")
        self.screenshot("closed-by-icon")

        # Had the closing click also reopened it, this click would close it again:
        # the popover must open, and stay the only one.
        self.open_popover(icon, "reopened")
        if len([w for w, g in self.shown_windows("--name", "^Moriva") if g[2] > 64]) != 1:
            raise Failure("the click that closed the popover opened it again")
        self.click(400, 600)
        self.wait_closed("a click on the desktop did not close the popover")
        self.screenshot("closed-by-desktop")

        if getattr(self.args, "compositor", False):
            self.check_shadow(icon)

        second = subprocess.run(self.app_argv(self.args.moriva), env=self.env, capture_output=True, timeout=20)
        if second.returncode != 0:
            raise Failure("a second moriva exited with %d" % second.returncode)
        self.wait_for(self.popover_window, 20, "a second moriva did not open the running one's popover")
        icons = [w for w, g in self.shown_windows("--classname", "^moriva$") if g[2] <= 64]
        if len(icons) != 1:
            raise Failure("%d tray icons after starting moriva twice" % len(icons))
        self.screenshot("second-instance")
        self.click_icon(icon)
        self.wait_closed("the icon did not close the popover opened by a second moriva")

        before = set(self.visible_windows("--classname", "^moriva$"))
        self.click_icon(icon, button=3)
        menu = self.wait_for(lambda: [w for w in self.visible_windows("--classname", "^moriva$")
                                      if w not in before], 20, "a right click showed no menu")[0]
        mx, my, mw, mh = self.geometry(menu)
        print("menu", (mx, my, mw, mh))
        self.check_menu((mx, my, mw, mh))
        if self.popover_window():
            raise Failure("the right click opened the popover")
        # "Quit Moriva" is the last entry.
        self.click(mx + mw // 2, my + mh - 12)
        self.expect_clean_exit("choosing Quit Moriva")
        self.screenshot("quit")

    def check_shadow(self, icon):
        popover = self.open_popover(icon, "shadow")
        px, py, pw, ph = self.content_geometry(popover)
        wx, wy, ww, wh = self.geometry(popover)
        print("MEASURED compositor: content (%d, %d) %dx%d in window (%d, %d) %dx%d" % (px, py, pw, ph, wx, wy, ww, wh))
        if (ww, wh) == (pw, ph):
            raise Failure("with a compositor the popover has no margin for its shadow")
        shot = self.screenshot("shadow-measured")
        # Below the content the desktop is darkened, less so further away.
        column = [row[0] for row in self.read_gray(shot, (px + pw // 2, py + ph, 1, wy + wh - py - ph + 10))]
        print("gray under the popover, from its edge down:", column)
        if column[2] > column[-1] - 4:
            raise Failure("no shadow under the popover (%d near, %d far)" % (column[2], column[-1]))
        # The shadow is not the popover: a click on it is a click outside.
        self.click(px - 6, py + ph // 2)
        self.wait_closed("a click on the popover's shadow did not close it")
        self.screenshot("closed-by-shadow")

    def expect_clean_exit(self, action):
        try:
            status = self.moriva.wait(timeout=10)
        except subprocess.TimeoutExpired:
            raise Failure("%s did not end the process" % action)
        if status != 0:
            raise Failure("moriva exited with status %d after %s" % (status, action))


def parse_pgm(data):
    parts = data.split(maxsplit=4)
    if parts[0] != b"P5":
        raise Failure("not a binary PGM")
    width, height, pixels = int(parts[1]), int(parts[2]), parts[4]
    return [list(pixels[row * width:(row + 1) * width]) for row in range(height)]


def correlation(a, b):
    xs = [v for row in a for v in row]
    ys = [v for row in b for v in row]
    n = len(xs)
    mx, my = sum(xs) / n, sum(ys) / n
    cov = sum((x - mx) * (y - my) for x, y in zip(xs, ys))
    vx = sum((x - mx) ** 2 for x in xs)
    vy = sum((y - my) ** 2 for y in ys)
    return cov / ((vx * vy) ** 0.5) if vx and vy else 0.0


def run(session_class, tools, errors=(Failure,), add_arguments=None, before=None):
    """The command line every session shares: parse, check the tools, play the scenario, report.

    before(args) may answer for the session (a status) or return None to let it run."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--moriva", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--artifacts", required=True)
    if add_arguments:
        add_arguments(parser)
    args = parser.parse_args()
    for tool in tools:
        if not shutil.which(tool):
            print("missing %s: run scripts/install-deps.sh" % tool)
            return 1
    if before:
        status = before(args)
        if status is not None:
            return status
    session = session_class(args)
    try:
        session.scenario()
    except errors as failure:
        try:
            session.screenshot("failure")
        except Exception:
            pass
        print("FAIL:", failure)
        return 1
    finally:
        session.cleanup()
    print("PASS; screenshots in", args.artifacts)
    return 0


def main():
    def add_arguments(parser):
        parser.add_argument("--compositor", action="store_true", help="run xcompmgr on the desktop")
    tools = ("Xvfb", "openbox", "trayer", "xdotool", "import", "convert", "dbus-daemon", "dbus-send", "faketime")
    if "--compositor" in sys.argv:
        tools += ("xcompmgr",)
    return run(Session, tools, add_arguments=add_arguments)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main())
