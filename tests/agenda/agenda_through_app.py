#!/usr/bin/python3
"""moriva-agenda --next answers the same through a running Moriva as from
the files: same lines, same exit status, in both forms, with and without
--no-system. The app runs on a private session bus without the desktop's
calendar service, so it must not map that service's libraries either.

  agenda_through_app.py MORIVA MORIVA_AGENDA
"""
import datetime
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from private_bus import PrivateBus, stop  # noqa: E402

moriva, agenda = sys.argv[1], sys.argv[2]
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def ics(uid, summary, start, end, extra=""):
    fmt = "%Y%m%dT%H%M%SZ"
    return ("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\nBEGIN:VEVENT\r\nUID:%s\r\nDTSTAMP:20250101T000000Z\r\n"
            "DTSTART:%s\r\nDTEND:%s\r\nSUMMARY:%s\r\n%sEND:VEVENT\r\nEND:VCALENDAR\r\n"
            % (uid, start.strftime(fmt), end.strftime(fmt), summary, extra))


def ask(env, *args, debug=False):
    extra = {"QT_LOGGING_RULES": "moriva.agenda.bus.debug=true"} if debug else {}
    return subprocess.run([agenda, "--next", *args], env={**env, **extra}, capture_output=True, text=True,
                          timeout=60)


with tempfile.TemporaryDirectory() as home, PrivateBus() as bus:
    now = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
    folder = os.path.join(home, "calendars", "work")
    os.makedirs(folder)
    with open(os.path.join(folder, "color"), "w") as f:
        f.write("#3a86ff\n")
    with open(os.path.join(folder, "displayname"), "w") as f:
        f.write("Work\n")
    hour = datetime.timedelta(hours=1)
    with open(os.path.join(folder, "past.ics"), "w") as f:
        f.write(ics("past", "Over", now - 3 * hour, now - 2 * hour))
    with open(os.path.join(folder, "next.ics"), "w") as f:
        f.write(ics("next", "Review, with \\nline break", now + 5 * hour, now + 6 * hour,
                    "LOCATION:Room 4\r\nURL:https://meet.example.org/review\r\n"))
    with open(os.path.join(folder, "later.ics"), "w") as f:
        f.write(ics("later", "Later", now + 30 * hour, now + 31 * hour))
    config = os.path.join(home, "config")
    os.makedirs(os.path.join(config, "Moriva"))
    with open(os.path.join(config, "Moriva", "Moriva.conf"), "w") as f:
        f.write("[General]\ncalendarSources=%s\n" % os.path.dirname(folder))
    runtime = os.path.join(home, "run")
    os.makedirs(runtime, mode=0o700)
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": home, "XDG_CONFIG_HOME": config,
           "XDG_DATA_HOME": os.path.join(home, "data"), "XDG_CACHE_HOME": os.path.join(home, "cache"),
           "XDG_RUNTIME_DIR": runtime, "DBUS_SESSION_BUS_ADDRESS": bus.address, "TZ": "Europe/Berlin",
           "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8", "QT_QPA_PLATFORM": "offscreen"}

    forms = [(), ("--json",), ("--no-system",), ("--json", "--no-system")]
    from_files = {form: ask(env, *form) for form in forms}
    for form, p in from_files.items():
        check(p.returncode == 0 and "Review" in p.stdout, "files answer %s: %r %r" % (form, p.stdout, p.stderr))

    app = subprocess.Popen([moriva], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    try:
        # Until it has loaded, the app leaves the answer to the files; wait for its own.
        deadline = time.monotonic() + 30
        answered = False
        while time.monotonic() < deadline and app.poll() is None:
            p = ask(env, debug=True)
            if "answered by the running Moriva" in p.stderr:
                answered = True
                break
            time.sleep(0.1)
        check(answered, "the running Moriva never answered")
        for form in forms:
            p = ask(env, *form, debug=True)
            check("answered by the running Moriva" in p.stderr, "%s not answered by the app: %r" % (form, p.stderr))
            want = from_files[form]
            check((p.returncode, p.stdout) == (want.returncode, want.stdout),
                  "%s differs:\n files: %r\n app:   %r" % (form, want.stdout, p.stdout))

        # Another zone prints other times: the app must leave that to the files.
        p = ask({**env, "TZ": "America/New_York"}, debug=True)
        check("answered by the running Moriva" not in p.stderr and "Review" in p.stdout,
              "another zone went to the app: %r" % p.stderr)
        # Named sources are read as named, never asked of the app.
        p = ask(env, "--source", folder, debug=True)
        check("answered by the running Moriva" not in p.stderr, "--source went to the app")

        with open("/proc/%d/maps" % app.pid) as f:
            maps = f.read()
        for lib in ("libecal", "libedataserver", "moriva-eds", "libgio-2.0"):
            check(lib not in maps, "the app maps %s in a session without the calendar service" % lib)
    finally:
        stop(app)

if failures:
    sys.exit(1)
print("OK: the app's answers match the files'")
