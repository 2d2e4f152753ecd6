#!/usr/bin/python3
"""The agenda links QtCore and no widget, GUI or calendar-service library, and
loads none at run time where the service does not answer on the session bus.

  agenda_linkage.py MORIVA_AGENDA
"""
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from private_bus import PrivateBus  # noqa: E402

agenda = sys.argv[1]
# QtCore itself brings libglib-2.0 (its event dispatcher); the calendar
# service's stack is the object libraries above it.
FORBIDDEN = re.compile(r"libQt6(Gui|Widgets|DBus|Concurrent)|libecal|libedataserver|libgio-2|libgobject-2|"
                       r"libical-glib|libsoup|libsecret|moriva-eds")
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


linked = subprocess.run(["ldd", agenda], capture_output=True, text=True, check=True).stdout
bad = [line.split()[0] for line in linked.splitlines() if line.strip() and FORBIDDEN.search(line.split()[0])]
check(not bad, "links %s" % bad)


def loaded(env, *args):
    """Every library the dynamic loader opened for one run, dlopen included."""
    p = subprocess.run([agenda, *args], env={**env, "LD_DEBUG": "files"}, capture_output=True, text=True,
                       timeout=60)
    return p, set(re.findall(r"file=(\S+)\s+\[0\];\s+(?:needed|dynamically loaded)", p.stderr))


with tempfile.TemporaryDirectory() as home, PrivateBus() as bus:
    runtime = os.path.join(home, "run")
    os.makedirs(runtime, mode=0o700)
    base = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": home, "XDG_RUNTIME_DIR": runtime,
            "XDG_CONFIG_HOME": os.path.join(home, "config"), "XDG_DATA_HOME": os.path.join(home, "data"),
            "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8", "TZ": "UTC"}
    runs = {
        "no bus": ({**base}, ()),
        "bus without the service": ({**base, "DBUS_SESSION_BUS_ADDRESS": bus.address}, ()),
        "--next, bus without the service": ({**base, "DBUS_SESSION_BUS_ADDRESS": bus.address}, ("--next",)),
        "--source": ({**base, "DBUS_SESSION_BUS_ADDRESS": bus.address}, ("--source", home)),
    }
    for name, (env, args) in runs.items():
        p, libraries = loaded(env, *args)
        check(p.returncode == 0, "%s: status %d %r" % (name, p.returncode, p.stderr[-500:]))
        check(any("libQt6Core" in lib for lib in libraries), "%s: the loader's log was not read" % name)
        bad = sorted(lib for lib in libraries if FORBIDDEN.search(lib))
        check(not bad, "%s: loaded %s" % (name, bad))

if failures:
    sys.exit(1)
print("OK: QtCore only, no calendar-service library loaded")
