#!/usr/bin/python3
"""Moriva in a Wayland session: sway on its headless back end with waybar's
tray in a bar at the top or the bottom (--position), Moriva through XWayland
(which it picks by itself there).

The headless output has no pointer, so the panel's part is played over the
session bus exactly as waybar plays it on a click: Activate with the point
inside the icon that waybar passes. The popover must open in the corner at the
bar's end (top right under a top bar, bottom right above a bottom one), Esc (typed through a virtual keyboard) must close it, so
must the focus moving to another window and a second activation, and "Quit
Moriva" from the item's menu must end the process with status 0. Screenshots
of every step (grim) go to --artifacts.

sway refuses to run as root: as root the script runs itself again as an
unprivileged user, with copies of the binaries in a folder that user can read.
"""

import os
import pwd
import shutil
import signal
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import sni_session  # noqa: E402
import tray_session  # noqa: E402
from tray_session import Failure  # noqa: E402
from sni_session import GLib, ITEM  # noqa: E402

BAR_HEIGHT = 30
SCREEN = (1280, 800)
REACH = 48

SWAY_CONFIG = """
output HEADLESS-1 resolution {width}x{height} position 0 0
xwayland enable
default_border none
exec env > {runtime}/session.env
exec waybar -c {home}/waybar.json -s {home}/waybar.css > {artifacts}/waybar.log 2>&1
"""

WAYBAR_CONFIG = """{{
  "layer": "top", "position": "{position}", "height": {bar},
  "modules-left": [], "modules-center": [], "modules-right": ["tray"],
  "tray": {{"icon-size": 20, "spacing": 6}}
}}
"""

WAYBAR_STYLE = """
* { font-family: sans-serif; font-size: 12px; min-height: 0; }
window#waybar { background: #222831; color: #eeeeee; }
#tray { padding: 0 8px; }
"""


class SwaySession(sni_session.SniSession):
    def __init__(self, args):
        super().__init__(args)
        self.shots = 0

    def start_desktop(self):
        runtime = os.path.join(self.home, "runtime")
        for sub in ("config", "data", "cache", "runtime"):
            os.makedirs(os.path.join(self.home, sub), mode=0o700, exist_ok=True)
        with open(os.path.join(self.home, "sway.conf"), "w") as f:
            f.write(SWAY_CONFIG.format(width=SCREEN[0], height=SCREEN[1], runtime=runtime, home=self.home,
                                       artifacts=self.args.artifacts))
        with open(os.path.join(self.home, "waybar.json"), "w") as f:
            f.write(WAYBAR_CONFIG.format(bar=BAR_HEIGHT, position=self.args.position))
        with open(os.path.join(self.home, "waybar.css"), "w") as f:
            f.write(WAYBAR_STYLE)
        self.env.update({
            "HOME": self.home,
            "XDG_CONFIG_HOME": os.path.join(self.home, "config"),
            "XDG_DATA_HOME": os.path.join(self.home, "data"),
            "XDG_CACHE_HOME": os.path.join(self.home, "cache"),
            "XDG_RUNTIME_DIR": runtime,
            "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8", "NO_AT_BRIDGE": "1",
        })
        for key in ("QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "SWAYSOCK", "XDG_CURRENT_DESKTOP",
                    "SESSION_MANAGER", "DBUS_SESSION_BUS_ADDRESS"):
            self.env.pop(key, None)

        self.start_session_bus()

        sway_env = dict(self.env, WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1", WLR_RENDERER="pixman",
                        WLR_HEADLESS_OUTPUTS="1", XDG_CURRENT_DESKTOP="sway")
        log = open(os.path.join(self.args.artifacts, "sway.log"), "w")
        self.procs.append(subprocess.Popen(["sway", "-c", os.path.join(self.home, "sway.conf")], env=sway_env,
                                           stdout=log, stderr=log))
        env_file = os.path.join(runtime, "session.env")
        self.wait_for(lambda: os.path.exists(env_file) and "SWAYSOCK=" in open(env_file).read(), 60,
                      "sway did not start (see sway.log)")
        session = dict(line.rstrip("\n").split("=", 1) for line in open(env_file) if "=" in line)
        for key in ("WAYLAND_DISPLAY", "SWAYSOCK", "DISPLAY"):
            if key not in session:
                raise Failure("sway's session has no %s" % key)
            self.env[key] = session[key]
        self.env["XDG_CURRENT_DESKTOP"] = "sway"
        print("sway: WAYLAND_DISPLAY=%s DISPLAY=%s" % (self.env["WAYLAND_DISPLAY"], self.env["DISPLAY"]))
        self.wait_for(self.host_registered, 60, "waybar's tray registered no StatusNotifierItem host")
        # A session has a keyboard before any window maps; the headless one gets a virtual
        # one that stays for the whole run (a keyboard that comes later is never focused).
        self.spawn(["wtype", "-s", "600000"])
        self.wait_for(self.has_keyboard, 30, "the virtual keyboard did not attach")

    def has_keyboard(self):
        return "keyboard" in self.run("swaymsg", "-t", "get_inputs", check=False)

    def host_registered(self):
        try:
            return self.prop("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                             "org.kde.StatusNotifierWatcher", "IsStatusNotifierHostRegistered")
        except GLib.Error:
            return False

    def screenshot(self, name):
        self.step_no += 1
        path = os.path.join(self.args.artifacts, "%02d-%s.png" % (self.step_no, name))
        self.run("grim", path)
        return path

    def grab(self):
        path = os.path.join(self.home, "grab.png")
        self.run("grim", path)
        return path

    def bar_top(self):
        return 0 if self.args.position == "top" else SCREEN[1] - BAR_HEIGHT

    def icon_in_bar(self):
        # The tray is the bar's only module: whatever differs from the bar's colour is the icon.
        gray = self.read_gray(self.grab(), (SCREEN[0] - 200, self.bar_top(), 200, BAR_HEIGHT))
        background = sorted(v for row in gray for v in row)[len(gray) * 200 // 2]
        xs, ys = [], []
        for y, row in enumerate(gray):
            for x, v in enumerate(row):
                if abs(v - background) > 60:
                    xs.append(x)
                    ys.append(y)
        if len(xs) < 30:
            return None
        box = (SCREEN[0] - 200 + min(xs), self.bar_top() + min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1)
        return box if 12 <= box[2] <= 30 and 12 <= box[3] <= 30 else None

    def popover_geometry(self):
        window = self.popover_window()
        return self.content_geometry(window) if window else None

    def painted(self, rect):
        x, y, w, h = rect
        values = [v for row in self.read_gray(self.grab(), (x + w // 2 - 20, y + h // 2 - 20, 40, 40)) for v in row]
        mean = sum(values) / len(values)
        spread = (sum((v - mean) ** 2 for v in values) / len(values)) ** 0.5
        # The headless output is black where nothing is drawn.
        return spread > 8 or mean > 20

    def activate(self, point):
        self.call(self.item, "/StatusNotifierItem", ITEM, "Activate", GLib.Variant("(ii)", point))

    def open_popover(self, point, name):
        self.pause_as_a_user()
        self.activate(point)
        popover = self.wait_for(self.popover_geometry, 20, "Activate%r did not open the popover" % (point,))
        self.wait_for(lambda: self.painted(popover), 20, "the popover was never drawn on the output")
        self.screenshot(name)
        return popover

    def scenario(self):
        self.start_desktop()
        self.install_calendar()
        log = open(os.path.join(self.args.artifacts, "moriva-sway.log"), "w")
        # Many sway users set this for all Qt applications; Moriva still goes through XWayland.
        self.moriva = self.spawn(self.app_argv(self.args.moriva), stderr=log, stdout=log,
                                 env_extra={"QT_QPA_PLATFORM": "wayland"})

        def registered():
            items = self.prop("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                              "org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems")
            return [i for i in items if "StatusNotifierItem-" in i]
        items = self.wait_for(registered, 20, "moriva's item never registered with waybar")
        self.item = items[0].split("/")[0]
        print("item", self.item)
        icon = self.wait_for(self.icon_in_bar, 30, "waybar does not show the icon")
        print("icon in the bar at", icon)
        self.screenshot("icon")

        # What waybar passes on a left click: the point inside the icon.
        inside = (icon[2] // 2, icon[3] // 2)
        popover = self.open_popover(inside, "opened")
        px, py, pw, ph = popover
        print("MEASURED sway+waybar (%s bar): popover top-left (%d, %d) size %dx%d; icon (%d, %d) %dx%d; bar %d-%d"
              % (self.args.position, px, py, pw, ph, icon[0], icon[1], icon[2], icon[3], self.bar_top(),
                 self.bar_top() + BAR_HEIGHT))
        if (pw, ph) != (320, 520):
            raise Failure("the popover is %dx%d, not 320x520" % (pw, ph))
        # The corner of the screen at the bar's end: under a top bar, above a bottom one.
        gap = py - BAR_HEIGHT if self.args.position == "top" else self.bar_top() - (py + ph)
        if not 0 <= gap <= REACH:
            raise Failure("the popover is %d px away from the bar" % gap)
        if SCREEN[0] - (px + pw) > REACH:
            raise Failure("the popover is not in the corner at the bar's end (right edge %d)" % (px + pw))

        self.run("wtype", "-k", "Escape")
        self.wait_closed("Esc did not close the popover")
        self.screenshot("closed-by-esc")

        # Another window takes the focus, as a click on it does.
        self.open_popover(inside, "reopened")
        other = self.spawn([self.args.probe, "desktop"], env_extra={"QT_QPA_PLATFORM": "wayland"})
        self.wait_closed("the focus moving to another window did not close the popover")
        self.screenshot("closed-by-other-window")
        other.terminate()
        other.wait(timeout=5)

        self.open_popover(inside, "opened-again")
        self.activate(inside)
        self.wait_closed("a second activation did not close the popover")
        self.screenshot("closed-by-icon")

        menu_path = self.prop(self.item, "/StatusNotifierItem", ITEM, "Menu")
        entries = self.menu_entries(self.item, menu_path)
        labels = [label for _, label in entries]
        if labels[-1:] != ["Quit Moriva"]:
            raise Failure("the item's menu is %r" % (labels,))
        self.click_entry(self.item, menu_path, entries[-1][0])
        self.expect_clean_exit("\"Quit Moriva\" from the item's menu")
        self.screenshot("quit")

    def spawn(self, argv, **kw):
        env = dict(self.env, **kw.pop("env_extra", {}))
        proc = subprocess.Popen(argv, env=env, stdout=kw.get("stdout", subprocess.DEVNULL),
                                stderr=kw.get("stderr", subprocess.DEVNULL))
        self.procs.append(proc)
        return proc


def unprivileged_user():
    for name in ("nobody",):
        try:
            return pwd.getpwnam(name)
        except KeyError:
            pass
    return None


def run_as_user(args):
    """As root: the same script as an unprivileged user, on copies it can read."""
    user = unprivileged_user()
    if user is None or not shutil.which("runuser"):
        print("SKIP: sway refuses to run as root and no unprivileged user (nobody) or runuser is here")
        return 0
    # XWayland's socket folder belongs to root, as X servers expect; the user may not create it.
    if not os.path.isdir("/tmp/.X11-unix"):
        os.mkdir("/tmp/.X11-unix")
        os.chmod("/tmp/.X11-unix", 0o1777)
    stage = tempfile.mkdtemp(prefix="moriva-sway-")
    try:
        os.chmod(stage, 0o755)
        for name in ("moriva", "probe"):
            shutil.copy2(getattr(args, name), os.path.join(stage, name))
        for name in ("sway_session.py", "sni_session.py", "tray_session.py"):
            shutil.copy2(os.path.join(HERE, name), os.path.join(stage, name))
        out = os.path.join(stage, "artifacts")
        os.makedirs(out)
        os.chown(out, user.pw_uid, user.pw_gid)
        env = ["PATH=/usr/local/bin:/usr/bin:/bin", "LANG=C.UTF-8", "LC_ALL=C.UTF-8"]
        child = subprocess.Popen(["runuser", "-u", user.pw_name, "--", "env", "-i"] + env +
                                 ["/usr/bin/python3", os.path.join(stage, "sway_session.py"),
                                  "--moriva", os.path.join(stage, "moriva"), "--probe", os.path.join(stage, "probe"),
                                  "--artifacts", out, "--position", args.position])
        signal.signal(signal.SIGTERM, lambda *_: child.terminate())
        status = child.wait()
        os.makedirs(args.artifacts, exist_ok=True)
        for old in os.listdir(args.artifacts):
            if old.endswith(".png"):
                os.remove(os.path.join(args.artifacts, old))
        for name in os.listdir(out):
            shutil.copy2(os.path.join(out, name), os.path.join(args.artifacts, name))
        return status
    finally:
        shutil.rmtree(stage, ignore_errors=True)


def main():
    # sway refuses to run as root: as root, the same script runs again as an unprivileged user.
    return tray_session.run(SwaySession, ("sway", "waybar", "Xwayland", "grim", "wtype", "convert", "dbus-daemon", "faketime"),
                            errors=(Failure, GLib.Error),
                            add_arguments=lambda parser: parser.add_argument("--position", default="top",
                                                                             choices=("top", "bottom")),
                            before=lambda args: run_as_user(args) if os.geteuid() == 0 else None)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main())
