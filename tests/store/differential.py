#!/usr/bin/python3
"""Compares moriva-agenda with two independent calendar readers.

python3-recurring-ical-events and khal each list the occurrences of a
42-day window over the same calendars. Wherever the two agree with each
other, moriva-agenda must agree with them: every occurrence both list must
be there, and it must list nothing that neither lists. Cases where the two
references disagree are reported but decided elsewhere (the unit tests).

Usage: differential.py AGENDA DATA_DIR [WORK_DIR]
Exits 77 (skip) when a reference reader is not installed.
"""

import datetime as dt
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile

SKIP = 77
ZONE = "Europe/Berlin"
FIRST = dt.date(2025, 2, 23)
DAYS = 42

try:
    import icalendar
    import recurring_ical_events
    from dateutil import tz as dateutil_tz
except ImportError as error:
    print(f"skipping: {error}")
    sys.exit(SKIP)
if shutil.which("khal") is None:
    print("skipping: khal is not installed")
    sys.exit(SKIP)

# Where both references are wrong the same way, the case stays and is listed
# here with the reason; its differences are printed but do not fail the run.
KNOWN_REFERENCE_FAULTS = {
    ("cases/trap-prefixed-zones.ics", "New York daily across its March change"):
        "neither strips the /mozilla.org/... prefix; both read the time as local",
    ("cases/trap-windows-zones.ics", "London after the change, numbered zone name, no VTIMEZONE"):
        "neither maps the numbered Windows name \"GMT Standard Time 1\"; both read the time as local",
    ("cases/trap-encoding-fold.ics", "*"):
        "both decode each physical line before unfolding, so a fold inside a UTF-8 character garbles the title",
    ("cases/trap-rdate-period.ics", "*"):
        "neither reads PERIOD values: one fails on the file, the other drops the whole event",
    ("cases/trap-encoding-bom.ics", "*"):
        "both reject a file that starts with a byte order mark",
}

LOCAL = dateutil_tz.gettz(ZONE)
WINDOW_START = dt.datetime.combine(FIRST, dt.time(0), LOCAL)
WINDOW_END = dt.datetime.combine(FIRST + dt.timedelta(days=DAYS), dt.time(0), LOCAL)


def key(start, end, title):
    """An occurrence as comparable text: dates stay dates, times become UTC."""
    def norm(value):
        if isinstance(value, dt.datetime):
            if value.tzinfo is None:
                value = value.replace(tzinfo=LOCAL)
            return value.astimezone(dt.timezone.utc).strftime("%Y-%m-%dT%H:%MZ")
        return value.isoformat()
    return (norm(start), norm(end), title)


def overlaps(start, end):
    def instant(value):
        if isinstance(value, dt.datetime):
            return value if value.tzinfo else value.replace(tzinfo=LOCAL)
        return dt.datetime.combine(value, dt.time(0), LOCAL)
    s, e = instant(start), instant(end)
    return s < WINDOW_END and (e > WINDOW_START or (e <= s and s >= WINDOW_START))


def ics_files(source):
    if os.path.isdir(source):
        return sorted(os.path.join(source, n) for n in os.listdir(source) if n.endswith(".ics"))
    return [source]


def run_moriva(agenda, source):
    env = dict(os.environ, TZ=ZONE, LANG="C.UTF-8")
    out = subprocess.run([agenda, "--source", source, "--from", FIRST.isoformat(), "--days", str(DAYS), "--json"],
                         check=True, capture_output=True, text=True, env=env, timeout=60).stdout
    result = set()
    for line in out.splitlines():
        row = json.loads(line)
        if row["allDay"]:
            start, end = dt.date.fromisoformat(row["start"]), dt.date.fromisoformat(row["end"])
        else:
            start, end = dt.datetime.fromisoformat(row["start"]), dt.datetime.fromisoformat(row["end"])
        result.add(key(start, end, row["title"]))
    return result


def run_recurring_ical_events(source):
    result = set()
    for path in ics_files(source):
        try:
            calendar = icalendar.Calendar.from_ical(open(path, "rb").read())
            events = recurring_ical_events.of(calendar).between(WINDOW_START - dt.timedelta(days=2),
                                                                WINDOW_END + dt.timedelta(days=2))
        except Exception as error:  # a reference that chokes on a file simply has no opinion on it
            print(f"  recurring-ical-events: {os.path.basename(path)}: {type(error).__name__}")
            continue
        for event in events:
            if str(event.get("STATUS", "")).upper() == "CANCELLED":
                continue
            start = event["DTSTART"].dt
            if "DTEND" in event:
                end = event["DTEND"].dt
            elif "DURATION" in event:
                end = start + event["DURATION"].dt
            else:
                end = start + dt.timedelta(days=1) if not isinstance(start, dt.datetime) else start
            if overlaps(start, end):
                result.add(key(start, end, str(event.get("SUMMARY", "Untitled Event"))))
    return result


def split_for_khal(source, vdir):
    """khal wants one UID per file, as vdirsyncer writes them."""
    os.makedirs(vdir, exist_ok=True)
    n = 0
    for path in ics_files(source):
        try:
            calendar = icalendar.Calendar.from_ical(open(path, "rb").read())
        except Exception:
            continue
        zones = [c for c in calendar.subcomponents if c.name == "VTIMEZONE"]
        groups = {}
        for component in calendar.subcomponents:
            if component.name == "VEVENT":
                uid = str(component.get("UID", "")) or f"no-uid-{n}-{len(groups)}"
                groups.setdefault(uid, []).append(component)
        for components in groups.values():
            item = icalendar.Calendar()
            item.add("VERSION", "2.0")
            item.add("PRODID", "-//differential//EN")
            for zone in zones:
                item.add_component(zone)
            for component in components:
                item.add_component(component)
            n += 1
            with open(os.path.join(vdir, f"item-{n}.ics"), "wb") as f:
                f.write(item.to_ical())


def run_khal(source, work):
    root = tempfile.mkdtemp(dir=work)
    vdir = os.path.join(root, "vdir")
    split_for_khal(source, vdir)
    config_dir = os.path.join(root, "config", "khal")
    os.makedirs(config_dir)
    with open(os.path.join(config_dir, "config"), "w") as f:
        f.write(f"""[calendars]
[[fixture]]
path = {vdir}
type = calendar
[locale]
local_timezone = {ZONE}
default_timezone = {ZONE}
timeformat = %H:%M
dateformat = %Y-%m-%d
longdateformat = %Y-%m-%d
datetimeformat = %Y-%m-%dT%H:%M
longdatetimeformat = %Y-%m-%dT%H:%M
""")
    env = dict(os.environ, HOME=root, XDG_CONFIG_HOME=os.path.join(root, "config"),
               XDG_DATA_HOME=os.path.join(root, "data"), XDG_CACHE_HOME=os.path.join(root, "cache"), TZ=ZONE,
               LANG="C.UTF-8")
    first = (FIRST - dt.timedelta(days=2)).isoformat()
    last = (FIRST + dt.timedelta(days=DAYS + 2)).isoformat()
    proc = subprocess.run(["khal", "list", "--day-format", "", "--format",
                           "{start-long}|{end-long}|{all-day}|{title}", first, last],
                          capture_output=True, text=True, env=env, timeout=120)
    result = set()
    for line in proc.stdout.splitlines():
        parts = line.split("|", 3)
        if len(parts) != 4:
            continue
        start_text, end_text, all_day, title = parts
        if all_day == "True":
            start = dt.date.fromisoformat(start_text)
            end = dt.date.fromisoformat(end_text) + dt.timedelta(days=1)  # khal shows the last day
        else:
            start = dt.datetime.strptime(start_text, "%Y-%m-%dT%H:%M").replace(tzinfo=LOCAL)
            end = dt.datetime.strptime(end_text, "%Y-%m-%dT%H:%M").replace(tzinfo=LOCAL)
        if overlaps(start, end):
            result.add(key(start, end, title))
    return result


def generate_folder(path, seed=20250223):
    """A deterministic mix of what calendars hold: zones, rules, exceptions, overrides, all-day."""
    rng = random.Random(seed)
    os.makedirs(path, exist_ok=True)
    zones = ["Europe/Berlin", "America/New_York", "Asia/Tokyo", "Europe/London", None, "UTC"]
    for i in range(80):
        zone = rng.choice(zones)
        day = FIRST + dt.timedelta(days=rng.randrange(-20, DAYS + 5))
        hour, minute = rng.randrange(0, 24), rng.choice([0, 15, 30, 45])
        length = rng.choice([15, 30, 60, 90, 180, 24 * 60 + 60])
        uid = f"generated-{i}"
        lines = ["BEGIN:VEVENT", f"UID:{uid}", "DTSTAMP:20250101T000000Z", f"SUMMARY:Generated {i}"]
        all_day = rng.random() < 0.15
        start = dt.datetime.combine(day, dt.time(hour, minute))
        end = start + dt.timedelta(minutes=length)
        if all_day:
            lines += [f"DTSTART;VALUE=DATE:{day:%Y%m%d}",
                      f"DTEND;VALUE=DATE:{day + dt.timedelta(days=rng.choice([1, 2, 3])):%Y%m%d}"]
        elif zone == "UTC":
            lines += [f"DTSTART:{start:%Y%m%dT%H%M%S}Z", f"DTEND:{end:%Y%m%dT%H%M%S}Z"]
        elif zone is None:
            lines += [f"DTSTART:{start:%Y%m%dT%H%M%S}", f"DTEND:{end:%Y%m%dT%H%M%S}"]
        else:
            lines += [f"DTSTART;TZID={zone}:{start:%Y%m%dT%H%M%S}", f"DTEND;TZID={zone}:{end:%Y%m%dT%H%M%S}"]
        overrides = []
        if rng.random() < 0.5:
            freq = rng.choice(["DAILY", "WEEKLY", "WEEKLY;BYDAY=MO,WE,FR", "MONTHLY"])
            bound = rng.choice(["", ";COUNT=8", f";UNTIL={day + dt.timedelta(days=30):%Y%m%d}T235959Z"])
            lines.append(f"RRULE:FREQ={freq}{bound}")
            if not all_day and rng.random() < 0.6:
                instance = start + dt.timedelta(days=7 if "WEEKLY" in freq else 1)
                if "MONTHLY" not in freq and "BYDAY" not in freq:
                    stamp = f"{instance:%Y%m%dT%H%M%S}"
                    prop = f";TZID={zone}" if zone not in (None, "UTC") else ""
                    suffix = "Z" if zone == "UTC" else ""
                    lines.append(f"EXDATE{prop}:{stamp}{suffix}")
                    target = start + dt.timedelta(days=14 if "WEEKLY" in freq else 2)
                    moved = target + dt.timedelta(hours=3)
                    oend = moved + dt.timedelta(minutes=length)
                    overrides = ["BEGIN:VEVENT", f"UID:{uid}", "DTSTAMP:20250101T000000Z",
                                 f"RECURRENCE-ID{prop}:{target:%Y%m%dT%H%M%S}{suffix}",
                                 f"DTSTART{prop}:{moved:%Y%m%dT%H%M%S}{suffix}",
                                 f"DTEND{prop}:{oend:%Y%m%dT%H%M%S}{suffix}",
                                 f"SUMMARY:Generated {i} moved", "END:VEVENT"]
        lines.append("END:VEVENT")
        body = ["BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//generator//EN"] + lines + overrides + ["END:VCALENDAR"]
        with open(os.path.join(path, f"{uid}.ics"), "w", newline="") as f:
            f.write("\r\n".join(body) + "\r\n")


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    agenda, data = sys.argv[1], sys.argv[2]
    work = tempfile.mkdtemp(prefix="moriva-differential-", dir=sys.argv[3] if len(sys.argv) > 3 else None)
    try:
        generated = os.path.join(work, "generated")
        generate_folder(generated)
        # The trap calendars live among the fixture pairs, named trap-*.ics.
        cases = os.path.join(data, "cases")
        sources = [os.path.join(cases, n) for n in sorted(os.listdir(cases))
                   if n.startswith("trap-") and n.endswith(".ics")]
        sources += [os.path.join(data, "vdir-work"), os.path.join(data, "vdir-broken"), generated]

        failures = 0
        for source in sources:
            name = os.path.relpath(source, data) if source.startswith(data) else "generated folder"
            moriva = run_moriva(agenda, source)
            rie = run_recurring_ical_events(source)
            khal = run_khal(source, work)
            agreed = rie & khal
            contested = rie ^ khal
            def excused(item):
                return (name, "*") in KNOWN_REFERENCE_FAULTS or any(
                    (name, t) in KNOWN_REFERENCE_FAULTS and item[2].startswith(t) for t in [item[2]])
            missing = {i for i in agreed - moriva if not excused(i)}
            extra = {i for i in moriva - (rie | khal) if not excused(i)}
            for item in sorted((agreed - moriva) | (moriva - (rie | khal))):
                if excused(item):
                    reason = KNOWN_REFERENCE_FAULTS.get((name, item[2])) or KNOWN_REFERENCE_FAULTS[(name, "*")]
                    print(f"     known reference fault: {item}: {reason}")
            status = "ok" if not missing and not extra else "FAIL"
            print(f"{status:4} {name}: moriva {len(moriva)}, both references {len(agreed)}, "
                  f"references disagree on {len(contested)}")
            for item in sorted(missing):
                print(f"     missing (both references list it): {item}")
            for item in sorted(extra):
                print(f"     extra (neither reference lists it): {item}")
            for item in sorted(contested):
                side = "recurring-ical-events" if item in rie else "khal"
                verdict = "moriva agrees" if item in moriva else "moriva differs"
                print(f"     contested, only {side}: {item} ({verdict})")
            failures += bool(missing or extra)
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
