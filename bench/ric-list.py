#!/usr/bin/python3
"""Lists a window of the .ics files under the given folders with
python3-recurring-ical-events, one line per occurrence, for the listing
benchmark. usage: ric-list.py FROM DAYS PATH..."""
import datetime as dt
import os
import sys

import icalendar
import recurring_ical_events


def files(path):
    if os.path.isfile(path):
        yield path
        return
    for root, dirs, names in os.walk(path):
        dirs.sort()
        for n in sorted(names):
            if n.lower().endswith(".ics"):
                yield os.path.join(root, n)


def main():
    first = dt.date.fromisoformat(sys.argv[1])
    last = first + dt.timedelta(days=int(sys.argv[2]))
    out = []
    for path in sys.argv[3:]:
        for f in files(path):
            try:
                with open(f, "rb") as fh:
                    cal = icalendar.Calendar.from_ical(fh.read())
                for e in recurring_ical_events.of(cal).between(first, last):
                    out.append("%s\t%s\t%s" % (e.decoded("DTSTART"), e.decoded("DTEND", ""), e.get("SUMMARY", "")))
            except Exception as x:  # a broken file is skipped, as the other readers do
                print("ric-list: %s: %s" % (f, x), file=sys.stderr)
    sys.stdout.write("\n".join(sorted(out)) + "\n")


if __name__ == "__main__":
    main()
