#!/usr/bin/env python3
"""The app's own figures, beside the listing comparison of compare.py.

Memory per event and resident memory of the app at 10,000 and 50,000 events,
growth of resident memory over 50 month steps, the time of one month step at
50,000 events, and the time to the tray icon with an empty calendar and with
50,000 events. Prints figures; never fails on them.

  bench/app_figures.py --build build [--runs 5] [--store-runs 3] [--keep /tmp]

bench_store (one item per file in five collections) gives the store's
figures; bench_shell, on a private X display with a tray, gives the app's
(one calendar file of that many events).
"""
import argparse
import os
import re
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def figures(text, patterns):
    out = {}
    for key, pattern in patterns.items():
        m = re.search(pattern, text, re.M)
        if m:
            out[key] = [float(g) for g in m.groups()]
    return out


STORE = {
    "rss_per_item": r"resident memory per item, loaded:\s+([\d.]+) KB\s+\(([\d.]+) MB",
    "heap_per_item": r"heap in use per item, loaded:\s+([\d.]+) KB",
    "growth": r"resident growth, 12 then 50 steps:\s+([-\d.]+) / ([-\d.]+) MB",
    "step": r"month step \(query \+ index\), mean/max:\s+([\d.]+) / ([\d.]+) ms",
    "step_cpu": r"month step, CPU time of the thread:\s+([\d.]+) ms",
    "resident": r"^resident memory:\s+([\d.]+) MB\s+\(([\d.]+) MB before",
}
SHELL = {
    "icon": r"process start to tray icon:\s+([\d.]+) ms",
    "rss": r"resident memory after start:\s+([\d.]+) MB",
}


def run_store(build, items, runs, keep):
    got = []
    for _ in range(runs):
        folder = os.path.join(keep, "moriva-bench-store-%d" % items)
        out = subprocess.run([os.path.join(build, "bench", "bench_store"), "--store-only", "--items", str(items),
                              "--keep", folder], capture_output=True, text=True, timeout=1800)
        if out.returncode != 0:
            sys.exit("bench_store failed: " + out.stderr[-2000:])
        got.append(figures(out.stdout, STORE))
    return got


def run_shell(build, events, runs):
    out = subprocess.run([os.path.join(HERE, "ui", "bench_shell.sh"), build, str(runs), str(events)],
                         capture_output=True, text=True, timeout=600 + 120 * runs)
    icons = [float(x) for x in re.findall(SHELL["icon"], out.stdout)]
    rss = [float(x) for x in re.findall(SHELL["rss"], out.stdout)]
    if not icons:
        print("bench_shell gave no figures for %d events:\n%s%s" % (events, out.stdout[-1500:], out.stderr[-1500:]))
    return icons, rss


def median(values):
    return statistics.median(values) if values else float("nan")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build")
    parser.add_argument("--runs", type=int, default=5, help="start-ups per calendar size (median)")
    parser.add_argument("--store-runs", type=int, default=3, help="store runs per size (median)")
    parser.add_argument("--keep", default="/tmp", help="where the generated store folders are kept and reused")
    parser.add_argument("--no-shell", action="store_true", help="skip the start-up figures (no X server needed)")
    args = parser.parse_args()
    build = os.path.abspath(args.build)

    store = {n: run_store(build, n, args.store_runs, args.keep) for n in (10000, 50000)}

    def med(n, key, i=0):
        return median([r[key][i] for r in store[n] if key in r])

    print("\nThe app's figures (medians; bench_store: one item per file, five collections)")
    print("%-48s %12s %12s" % ("", "10,000", "50,000"))
    print("%-48s %12.2f %12.2f" % ("resident memory per event, loaded (KB)", med(10000, "rss_per_item"),
                                   med(50000, "rss_per_item")))
    print("%-48s %12.2f %12.2f" % ("heap in use per event, loaded (KB)", med(10000, "heap_per_item"),
                                   med(50000, "heap_per_item")))
    marginal = (med(50000, "rss_per_item", 1) - med(10000, "rss_per_item", 1)) * 1024 / 40000
    print("%-48s %25.2f" % ("resident memory per event, 10,000 to 50,000 (KB)", marginal))
    print("%-48s %12.1f %12.1f" % ("store process resident after 50 steps (MB)", med(10000, "resident"),
                                   med(50000, "resident")))
    print("%-48s %12.1f %12.1f" % ("resident growth over 12 month steps (MB)", med(10000, "growth"),
                                   med(50000, "growth")))
    print("%-48s %12.1f %12.1f" % ("resident growth over 50 month steps (MB)", med(10000, "growth", 1),
                                   med(50000, "growth", 1)))
    print("%-48s %12.2f %12.2f" % ("month step, query + day index, wall (ms)", med(10000, "step"),
                                   med(50000, "step")))
    print("%-48s %12.2f %12.2f" % ("month step, CPU time of the thread (ms)", med(10000, "step_cpu"),
                                   med(50000, "step_cpu")))

    if args.no_shell:
        return
    shell = {n: run_shell(build, n, args.runs) for n in (0, 10000, 50000)}
    print("\nThe app starting on a private X display with a tray (bench_shell; medians of %d)" % args.runs)
    print("%-48s %10s %10s %10s" % ("", "empty", "10,000", "50,000"))
    print("%-48s %10.1f %10.1f %10.1f" % ("process start to tray icon (ms)", *[median(shell[n][0]) for n in shell]))
    print("%-48s %10.1f %10.1f %10.1f" % ("resident memory after start (MB)", *[median(shell[n][1]) for n in shell]))
    empty = median(shell[0][1])
    for n in (10000, 50000):
        print("%-48s %10.2f" % ("resident memory per event over empty, %d (KB)" % n,
                                 (median(shell[n][1]) - empty) * 1024 / n))


if __name__ == "__main__":
    main()
