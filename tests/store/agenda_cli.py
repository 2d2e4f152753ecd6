#!/usr/bin/python3
"""The moriva-agenda command as scripts and status bars use it.

Usage: agenda_cli.py AGENDA DATA_DIR
"""

import datetime
import json
import os
import subprocess
import sys
import tempfile

agenda, data = sys.argv[1], sys.argv[2]
failures = []


def run(*args, env_extra=None):
    env = dict(os.environ, TZ="Europe/Berlin", LANG="C.UTF-8")
    env.update(env_extra or {})
    return subprocess.run([agenda, *args], capture_output=True, text=True, env=env, timeout=60)


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL", message)


# Bad arguments: a message on standard error, nothing on standard output, status 2.
for args in (["--days"], ["--days", "0"], ["--days", "x"], ["--days", "4000"], ["--from", "2025-13-01"],
             ["--from", "1.3.2025"], ["--frobnicate"], ["--json=yes"], ["--next", "--days", "3"],
             ["--from", "2025-03-01", "--from", "2025-03-02"], ["stray"]):
    p = run(*args)
    check(p.returncode == 2, f"{args}: status {p.returncode}, wanted 2")
    check(p.stdout == "", f"{args}: wrote to standard output")
    check(p.stderr.startswith("moriva-agenda: "), f"{args}: no clear message: {p.stderr!r}")

# JSON: one object per line with every field; all-day days as dates with an exclusive end.
p = run("--source", os.path.join(data, "cases", "trap-allday.ics"), "--source", os.path.join(data, "vdir-work"),
        "--from", "2025-03-03", "--days", "11", "--json")
check(p.returncode == 0, f"json run failed: {p.stderr}")
rows = [json.loads(line) for line in p.stdout.splitlines()]
fields = ["day", "start", "end", "allDay", "title", "calendar", "color", "location", "meeting", "service"]
check(all(list(r.keys()) == fields for r in rows), "JSON fields missing or out of order")
conference = [r for r in rows if r["title"] == "Conference (three days)"]
check([r["day"] for r in conference] == ["2025-03-03", "2025-03-04", "2025-03-05"],
      f"a three-day event is listed on each of its days: {[r['day'] for r in conference]}")
check(all(r["start"] == "2025-03-03" and r["end"] == "2025-03-06" and r["allDay"] for r in conference),
      "all-day start and exclusive end are dates")
work = [r for r in rows if r["calendar"] == "Work"]
check(len(work) == 3 and work[0]["start"] == "2025-03-11T09:30:00+01:00" and work[0]["color"] == "#3a86ff"
      and work[0]["meeting"] == "https://zoom.us/j/12345" and work[0]["service"] == "Zoom"
      and work[0]["location"] == "HQ",
      f"timed rows carry the local offset, colour and meeting: {work[:1]}")
check([r["day"] for r in rows] == sorted(r["day"] for r in rows), "days in order")

# The same window without --json is text, and an empty window prints nothing.
p = run("--source", os.path.join(data, "vdir-work"), "--from", "2025-03-11", "--days", "1")
check(p.returncode == 0 and "Work item 1" in p.stdout and "09:30" in p.stdout, f"text output: {p.stdout!r}")
# An invitation's line breaks and control characters cannot forge a day header or another event line.
with tempfile.TemporaryDirectory() as folder:
    forged = os.path.join(folder, "forged.ics")
    with open(forged, "w") as f:
        f.write("BEGIN:VCALENDAR\nBEGIN:VEVENT\nUID:forged\nDTSTART:20250311T090000Z\nDURATION:PT1H\n"
                "SUMMARY:Sync\\nWed 2025-03-12\\n  09:00 – 10:00  Fake\u2028line\n"
                "LOCATION:Room\\r\\n  @ there\nURL:https://example.org/page\nEND:VEVENT\nEND:VCALENDAR\n")
    p = run("--source", forged, "--from", "2025-03-11", "--days", "1")
    lines = p.stdout.splitlines()
    check(p.returncode == 0 and len(lines) == 2 and "Fake line" in lines[1] and "Room" in lines[1],
          f"one header and one event line, whatever the texts hold: {p.stdout!r}")
    p = run("--source", forged, "--from", "2025-03-11", "--days", "1", "--json")
    row = json.loads(p.stdout)
    check(row["meeting"] == "https://example.org/page" and row["service"] is None,
          f"a page that is no meeting has no service: {row}")
p = run("--source", os.path.join(data, "vdir-work"), "--from", "2030-01-01", "--days", "3", "--json")
check(p.returncode == 0 and p.stdout == "", "an empty window prints nothing")

# Unreadable sources only: status 1 and a message.
p = run("--source", "/nonexistent/calendar")
check(p.returncode == 1 and "moriva-agenda:" in p.stderr, f"missing source: {p.returncode} {p.stderr!r}")

# A FIFO is never opened (it would block) and counts as unreadable. An item
# that cannot be opened is logged with the real reason, from the first line on.
with tempfile.TemporaryDirectory() as tmp:
    fifo = os.path.join(tmp, "pipe.ics")
    os.mkfifo(fifo)
    p = run("--source", fifo)
    check(p.returncode == 1 and "moriva-agenda:" in p.stderr, f"FIFO source: {p.returncode} {p.stderr!r}")
    p = run("--source", fifo, "--source", os.path.join(data, "vdir-work"), "--from", "2025-03-11")
    check(p.returncode == 0 and "Work item 1" in p.stdout, f"FIFO beside a readable source: {p.returncode}")
    folder = os.path.join(tmp, "collection")
    os.mkdir(folder)
    os.symlink("loop.ics", os.path.join(folder, "loop.ics"))
    with open(os.path.join(folder, "item.ics"), "w") as f:
        f.write("BEGIN:VCALENDAR\nEND:VCALENDAR\n")
    p = run("--source", folder, env_extra={"QT_LOGGING_RULES": "moriva.store*=true"})
    reasons = [line for line in p.stderr.splitlines() if "cannot open" in line]
    check(reasons and "symbolic links" in reasons[0], f"first log line names the reason: {p.stderr!r}")

# Without --source: the settings key wins over discovery.
with tempfile.TemporaryDirectory() as home:
    config = os.path.join(home, "config")
    os.makedirs(os.path.join(config, "Moriva"))
    with open(os.path.join(config, "Moriva", "Moriva.conf"), "w") as f:
        f.write(f"[General]\ncalendarSources={os.path.join(data, 'vdir-work')}\n")
    drop_in = os.path.join(home, "share", "moriva", "calendars")
    os.makedirs(drop_in)
    # No session bus: these runs are about the files, not the desktop's calendar service.
    env = {"HOME": home, "XDG_CONFIG_HOME": config, "XDG_DATA_HOME": os.path.join(home, "share"),
           "XDG_RUNTIME_DIR": home, "DBUS_SESSION_BUS_ADDRESS": ""}
    p = run("--from", "2025-03-11", "--days", "3", "--json", env_extra=env)
    check(p.returncode == 0 and len(p.stdout.splitlines()) == 3, f"settings sources: {p.stdout!r} {p.stderr!r}")
    os.remove(os.path.join(config, "Moriva", "Moriva.conf"))

    # Without the key, discovery finds the drop-in folder (its rules are the
    # store's own tests). --next: one line, the nearest event that has not ended; past ones are skipped.
    now = datetime.datetime.now(datetime.timezone.utc)
    def stamp(delta):
        return (now + delta).strftime("%Y%m%dT%H%M%SZ")
    with open(os.path.join(drop_in, "soon.ics"), "w") as f:
        f.write("BEGIN:VCALENDAR\n"
                f"BEGIN:VEVENT\nUID:past\nDTSTART:{stamp(datetime.timedelta(hours=-3))}\nDURATION:PT1H\n"
                "SUMMARY:Already over\nEND:VEVENT\n"
                f"BEGIN:VEVENT\nUID:later\nDTSTART:{stamp(datetime.timedelta(days=3))}\nDURATION:PT1H\n"
                "SUMMARY:Later\nEND:VEVENT\n"
                f"BEGIN:VEVENT\nUID:soon\nDTSTART:{stamp(datetime.timedelta(days=2))}\nDURATION:PT1H\n"
                "SUMMARY:Soon\nEND:VEVENT\nEND:VCALENDAR\n")
    p = run("--next", "--json", env_extra=env)
    lines = p.stdout.splitlines()
    check(p.returncode == 0 and len(lines) == 1 and json.loads(lines[0])["title"] == "Soon",
          f"--next gives the nearest event not yet ended: {p.stdout!r}")

print("agenda_cli:", "FAIL" if failures else "ok")
sys.exit(1 if failures else 0)
