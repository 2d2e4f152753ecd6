#!/usr/bin/python3
"""Writes vdir calendar folders for the listing benchmarks, the same bytes for
the same seed and size.

One event per .ics file, spread over five collections, the way CalDAV sync
tools leave them. Mostly one-off events around the benchmark window; about
one file in eighteen is a series (daily, weekly or monthly) with EXDATEs and
moved or retitled occurrences. Most weekly series start on a day that is not
one of their BYDAY days, as series do once their days were edited. Times come
in several IANA zones with their VTIMEZONE, a few Windows zone names, UTC,
floating wall times and all-day dates.

usage: make-calendars.py --files N [--seed S] [--series-share F] OUTDIR
The listing window the data is centred on starts at WINDOW_START (42 days,
crossing both the American and the European change to summer time).
"""
import argparse
import datetime as dt
import os
import random
import shutil
import sys

WINDOW_START = dt.date(2025, 2, 23)
COLLECTIONS = ["personal", "work", "family", "sport", "holidays"]
SERIES_PER_FILE = 300 / 5300  # the share of series in a busy user's calendars

# TZID as written, and the VTIMEZONE a calendar server sends with it.
VTIMEZONES = {
    "Europe/Berlin": ("+0100", "+0200", "CET", "CEST", "-1SU", "3", "-1SU", "10", "020000", "030000"),
    "America/New_York": ("-0500", "-0400", "EST", "EDT", "2SU", "3", "1SU", "11", "020000", "020000"),
    "Europe/London": ("+0000", "+0100", "GMT", "BST", "-1SU", "3", "-1SU", "10", "010000", "020000"),
    "Asia/Tokyo": ("+0900", None, "JST", None, None, None, None, None, None, None),
    # Exchange's names for the same rules.
    "W. Europe Standard Time": ("+0100", "+0200", "W. Europe Standard Time", "W. Europe Daylight Time",
                                "-1SU", "3", "-1SU", "10", "020000", "030000"),
    "Eastern Standard Time": ("-0500", "-0400", "Eastern Standard Time", "Eastern Daylight Time",
                              "2SU", "3", "1SU", "11", "020000", "020000"),
    "Tokyo Standard Time": ("+0900", None, "Tokyo Standard Time", None, None, None, None, None, None, None),
}
# Weighted: most timed events are in the user's own zone or a colleague's.
ZONE_WEIGHTS = [
    ("Europe/Berlin", 40), ("America/New_York", 12), ("Europe/London", 6), ("Asia/Tokyo", 4),
    ("W. Europe Standard Time", 4), ("Eastern Standard Time", 2), ("Tokyo Standard Time", 1),
    ("UTC", 15), (None, 16),  # None: floating
]
WEEKDAYS = ["MO", "TU", "WE", "TH", "FR", "SA", "SU"]


def vtimezone(tzid):
    std, dst, stdname, dstname, dstday, dstmonth, stdday, stdmonth, dstat, stdat = VTIMEZONES[tzid]
    if dst is None:
        return ["BEGIN:VTIMEZONE", "TZID:" + tzid, "BEGIN:STANDARD", "DTSTART:19700101T000000",
                "TZOFFSETFROM:" + std, "TZOFFSETTO:" + std, "TZNAME:" + stdname, "END:STANDARD",
                "END:VTIMEZONE"]
    return ["BEGIN:VTIMEZONE", "TZID:" + tzid,
            "BEGIN:DAYLIGHT", "DTSTART:1970%02d08T%s" % (int(dstmonth), dstat), "TZOFFSETFROM:" + std,
            "TZOFFSETTO:" + dst, "TZNAME:" + dstname,
            "RRULE:FREQ=YEARLY;BYMONTH=%s;BYDAY=%s" % (dstmonth, dstday), "END:DAYLIGHT",
            "BEGIN:STANDARD", "DTSTART:1970%02d01T%s" % (int(stdmonth), stdat), "TZOFFSETFROM:" + dst,
            "TZOFFSETTO:" + std, "TZNAME:" + stdname,
            "RRULE:FREQ=YEARLY;BYMONTH=%s;BYDAY=%s" % (stdmonth, stdday), "END:STANDARD",
            "END:VTIMEZONE"]


def stamp(t):
    return t.strftime("%Y%m%dT%H%M%S")


def time_prop(name, t, zone):
    if zone is None:
        return "%s:%s" % (name, stamp(t))
    if zone == "UTC":
        return "%s:%sZ" % (name, stamp(t))
    return "%s;TZID=%s:%s" % (name, zone, stamp(t))


def date_prop(name, d):
    return "%s;VALUE=DATE:%s" % (name, d.strftime("%Y%m%d"))


def fold(line):
    """Folds at 75 octets without splitting a UTF-8 sequence."""
    data = line.encode()
    if len(data) <= 75:
        return line
    out, start, limit = [], 0, 75
    while start < len(data):
        end = min(start + limit, len(data))
        while end < len(data) and (data[end] & 0xC0) == 0x80:
            end -= 1
        out.append(data[start:end].decode())
        start, limit = end, 74
    return "\r\n ".join(out)


def wrap(components, zones):
    lines = ["BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//Moriva bench//make-calendars//EN",
             "CALSCALE:GREGORIAN"]
    for z in sorted(zones):
        if z in VTIMEZONES:
            lines += vtimezone(z)
    for c in components:
        lines += c
    lines.append("END:VCALENDAR")
    return "".join(fold(l) + "\r\n" for l in lines)


class Writer:
    TITLES = ["Stand-up", "Planning", "Review", "1:1 with Ana", "Lunch with Jörg", "Dentist", "Gym",
              "Football practice", "Piano lesson", "Team sync", "Budget meeting", "Call with supplier",
              "Parents' evening", "Flight LH 401", "Book club", "Yoga", "Design critique", "Retro",
              "Interview: backend", "Coffee with Mei", "Customer demo", "Quarterly report", "Haircut"]
    PLACES = ["Room 2.14", "Café Lindner, Hauptstraße 5", "Online", "Main office", "Gym, Ostpark",
              "Conference room \"Elbe\"", "Library, 2nd floor"]

    def __init__(self, rng, out):
        self.rng, self.out = rng, out
        self.counts = {"single": 0, "daily": 0, "weekly": 0, "weekly-off-byday": 0, "monthly": 0,
                       "exdates": 0, "overrides": 0, "all-day": 0, "floating": 0, "windows-zone": 0}

    def uid(self):
        r = self.rng.getrandbits(128)
        h = "%032x" % r
        return "%s-%s-%s-%s-%s" % (h[:8], h[8:12], h[12:16], h[16:20], h[20:])

    def zone(self):
        names = [z for z, _ in ZONE_WEIGHTS]
        weights = [w for _, w in ZONE_WEIGHTS]
        return self.rng.choices(names, weights)[0]

    def common(self, uid, title):
        c = ["BEGIN:VEVENT", "UID:" + uid, "DTSTAMP:20250110T083000Z", "CREATED:20241201T120000Z",
             "SUMMARY:" + title]
        if self.rng.random() < 0.3:
            c.append("LOCATION:" + self.rng.choice(self.PLACES).replace(",", "\\,"))
        if self.rng.random() < 0.2:
            c.append("DESCRIPTION:Agenda in the shared notes.\\nJoin: https://meet.google.com/%s-%s-%s"
                     % tuple("".join(self.rng.choice("abcdefghijkmnpqrstuvwxyz") for _ in range(n))
                             for n in (3, 4, 3)))
        return c

    def write(self, collection, uid, components, zones):
        path = os.path.join(self.out, collection, uid + ".ics")
        with open(path, "w", encoding="utf-8", newline="") as f:
            f.write(wrap(components, zones))

    def single(self, i):
        rng = self.rng
        uid = self.uid()
        title = "%s #%d" % (rng.choice(self.TITLES), i)
        c = self.common(uid, title)
        day = WINDOW_START + dt.timedelta(days=rng.randint(-400, 400))
        zones = set()
        if rng.random() < 0.1:
            self.counts["all-day"] += 1
            c.append(date_prop("DTSTART", day))
            if rng.random() < 0.8:
                c.append(date_prop("DTEND", day + dt.timedelta(days=rng.choice([1, 1, 1, 2, 3, 7]))))
        else:
            zone = self.zone()
            self.note_zone(zone)
            zones.add(zone)
            start = dt.datetime.combine(day, dt.time(rng.randint(7, 20), rng.choice([0, 15, 30, 45])))
            length = dt.timedelta(minutes=rng.choice([15, 30, 30, 45, 60, 60, 60, 90, 120]))
            if rng.random() < 0.03:
                length = dt.timedelta(days=rng.randint(1, 3), hours=rng.randint(0, 5))
            c.append(time_prop("DTSTART", start, zone))
            if rng.random() < 0.1:
                c.append("DURATION:PT%dM" % (length.total_seconds() // 60))
            else:
                c.append(time_prop("DTEND", start + length, zone))
        c.append("END:VEVENT")
        self.counts["single"] += 1
        self.write(COLLECTIONS[i % len(COLLECTIONS)], uid, [c], zones)

    def note_zone(self, zone):
        if zone is None:
            self.counts["floating"] += 1
        elif "Standard Time" in zone:
            self.counts["windows-zone"] += 1

    def occurrences(self, kind, start, rule, limit):
        """The first occurrences of the rule shapes written here (wall times, in
        the series' own zone), DTSTART first."""
        out = [start]
        interval = rule.get("INTERVAL", 1)
        d = start
        if kind == "daily":
            while len(out) < limit:
                d += dt.timedelta(days=interval)
                out.append(d)
        elif kind == "weekly":
            days = sorted(WEEKDAYS.index(x) for x in rule["BYDAY"])
            monday = start - dt.timedelta(days=start.weekday())
            week = 0
            while len(out) < limit:
                for wd in days:
                    t = monday + dt.timedelta(days=7 * week + wd)
                    if t > start and len(out) < limit:
                        out.append(t)
                week += interval
        else:  # monthly on a day of the month (1 to 28)
            y, m = start.year, start.month
            while len(out) < limit:
                m += interval
                y, m = y + (m - 1) // 12, (m - 1) % 12 + 1
                out.append(start.replace(year=y, month=m))
        return out

    def series(self, i):
        rng = self.rng
        uid = self.uid()
        kind = rng.choices(["daily", "weekly", "monthly"], [15, 70, 15])[0]
        title = "%s #%d" % (rng.choice(self.TITLES), i)
        all_day = rng.random() < 0.08
        zone = None if all_day else self.zone()
        if zone == "UTC":
            zone = "Europe/Berlin"  # series in UTC are rare in the wild
        self.note_zone(zone)
        first = WINDOW_START + dt.timedelta(days=rng.randint(-800, 30))
        start = dt.datetime.combine(first, dt.time(rng.randint(7, 19), rng.choice([0, 30])))
        rule = {}
        parts = ["FREQ=" + kind.upper()]
        if kind == "daily":
            rule["INTERVAL"] = rng.choice([1, 1, 1, 2, 3])
        elif kind == "weekly":
            rule["INTERVAL"] = rng.choice([1, 1, 1, 2])
            n = rng.choice([1, 1, 2, 2, 3, 5])
            byday = sorted(rng.sample(range(5 if n == 5 else 7), n))
            rule["BYDAY"] = [WEEKDAYS[d] for d in byday]
            if start.weekday() not in byday:
                self.counts["weekly-off-byday"] += 1
        else:
            rule["INTERVAL"] = rng.choice([1, 1, 1, 3])
            start = start.replace(day=min(start.day, 28))
        if rule["INTERVAL"] > 1:
            parts.append("INTERVAL=%d" % rule["INTERVAL"])
        if "BYDAY" in rule:
            parts.append("BYDAY=" + ",".join(rule["BYDAY"]))
        occ = self.occurrences(kind, start, rule, 400)
        ending = rng.random()
        if ending < 0.15:
            count = rng.randint(5, 300)
            parts.append("COUNT=%d" % count)
            occ = occ[:count]
        elif ending < 0.3:
            last = occ[rng.randint(3, len(occ) - 1)]
            if all_day:
                parts.append("UNTIL=" + last.strftime("%Y%m%d"))
            elif zone is None:
                parts.append("UNTIL=" + stamp(last))
            else:  # UNTIL is UTC for zoned series; a day's slack covers any offset
                parts.append("UNTIL=" + stamp(last + dt.timedelta(hours=14)) + "Z")
            occ = [o for o in occ if o <= last]
        if "BYDAY" in rule and start.weekday() not in [WEEKDAYS.index(x) for x in rule["BYDAY"]]:
            pass  # DTSTART still counts once; the rule's own days follow
        length = dt.timedelta(days=1) if all_day else dt.timedelta(minutes=rng.choice([30, 60, 60, 90]))
        # Edits cluster around now: pick occurrences near the window half the time.
        near = [o for o in occ[1:] if abs((o.date() - WINDOW_START).days - 20) < 40]
        # and never beyond two years ahead, where edits are rare.
        pool = [o for o in occ[1:] if (o.date() - WINDOW_START).days < 730] or occ[1:2]

        def pick():
            src = near if near and rng.random() < 0.5 else pool
            return rng.choice(src)

        picked = set()
        exdates, overrides = [], []
        for _ in range(rng.choice([0, 1, 1, 2, 3])):
            o = pick()
            if o not in picked:
                picked.add(o)
                exdates.append(o)
        for _ in range(rng.choice([0, 0, 1, 1, 2])):
            o = pick()
            if o not in picked:
                picked.add(o)
                overrides.append(o)
        self.counts[kind] += 1
        self.counts["exdates"] += len(exdates)
        self.counts["overrides"] += len(overrides)
        if all_day:
            self.counts["all-day"] += 1

        def when(name, t):
            return date_prop(name, t.date()) if all_day else time_prop(name, t, zone)

        master = self.common(uid, title)
        master += [when("DTSTART", start), when("DTEND", start + length), "RRULE:" + ";".join(parts)]
        for x in sorted(exdates):
            master.append(when("EXDATE", x))
        master.append("END:VEVENT")
        components = [master]
        for o in sorted(overrides):
            shift = rng.choice([dt.timedelta(hours=1), dt.timedelta(hours=-2), dt.timedelta(days=1),
                                dt.timedelta(days=-3), dt.timedelta(0)])
            if all_day:
                shift = dt.timedelta(days=shift.days)
            moved = o + shift
            ov = self.common(uid, title + (" (moved)" if shift else " (agenda changed)"))
            ov += [when("RECURRENCE-ID", o), when("DTSTART", moved), when("DTEND", moved + length),
                   "SEQUENCE:1", "END:VEVENT"]
            components.append(ov)
        self.write(COLLECTIONS[i % len(COLLECTIONS)], uid, components, {zone} if zone else set())


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--files", type=int, required=True)
    ap.add_argument("--seed", type=int, default=14)
    ap.add_argument("--series-share", type=float, default=SERIES_PER_FILE,
                    help="the share of files that hold a series (default %.3f)" % SERIES_PER_FILE)
    ap.add_argument("--force", action="store_true", help="replace OUTDIR if it exists")
    ap.add_argument("outdir")
    a = ap.parse_args()
    if os.path.exists(a.outdir):
        if not a.force:
            sys.exit("make-calendars: %s exists (use --force)" % a.outdir)
        shutil.rmtree(a.outdir)
    rng = random.Random(a.seed)
    for c in COLLECTIONS:
        os.makedirs(os.path.join(a.outdir, c))
        with open(os.path.join(a.outdir, c, "displayname"), "w") as f:
            f.write(c.capitalize())
        with open(os.path.join(a.outdir, c, "color"), "w") as f:
            f.write("#%06X" % rng.getrandbits(24))
    w = Writer(rng, a.outdir)
    n_series = round(a.files * min(1.0, max(0.0, a.series_share)))
    # Interleave so that every collection gets its share of series.
    kinds = [True] * n_series + [False] * (a.files - n_series)
    rng.shuffle(kinds)
    for i, is_series in enumerate(kinds):
        (w.series if is_series else w.single)(i)
    print("%s: %d files, %s" % (a.outdir, a.files, ", ".join("%s %d" % kv for kv in w.counts.items())))


if __name__ == "__main__":
    main()
