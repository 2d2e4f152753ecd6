#!/usr/bin/python3
"""The listing benchmark: the same 42-day window of the same generated vdir
folders, read by moriva-agenda, the careful C reader (bench/careful_reader.c),
khal with a warm cache and python3-recurring-ical-events. Prints CPU time
(user + system, the median of paired runs), wall time and peak resident
memory of each; then the wall time of `moriva-agenda --next`. Prints figures,
never judges them.

  bench/compare.py --build build                     # 5,300 and 53,000 files
  bench/compare.py --build build --sizes 5300 --runs 3 --tools moriva,c
  bench/compare.py --build build --check 60          # the yardstick agrees?
  bench/compare.py --build build --before /tmp/main/build --tools before,moriva,c   # before and after

The folders are written by bench/make-calendars.py into BUILD/bench/calendars
(reused while the generator is unchanged). Every tool runs with TZ=Europe/Berlin
and an empty HOME, so nothing of the user's leaks in.
"""
import argparse
import datetime as dt
import hashlib
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
GENERATOR = os.path.join(HERE, "make-calendars.py")
FROM = "2025-02-23"
DAYS = 42
ZONE = "Europe/Berlin"
TOOLS = {"before": "moriva-agenda before", "moriva": "moriva-agenda", "c": "careful C reader",
         "khal": "khal list (warm)", "ric": "recurring-ical-events"}
SLOW = ("khal", "ric")  # half a minute a run at 53,000 files


def generator_stamp(seed):
    with open(GENERATOR, "rb") as f:
        return "%s seed %d" % (hashlib.sha256(f.read()).hexdigest()[:16], seed)


def calendars(root, files, seed):
    """The generated folder for this size, written again only when the
    generator or the seed changed."""
    path = os.path.join(root, "calendars-%d" % files)
    stamp_file = os.path.join(path, ".generated")
    stamp = generator_stamp(seed)
    if os.path.exists(stamp_file) and open(stamp_file).read() == stamp:
        return path
    subprocess.run([sys.executable, GENERATOR, "--files", str(files), "--seed", str(seed), "--force", path],
                   check=True, stdout=subprocess.DEVNULL)
    with open(stamp_file, "w") as f:
        f.write(stamp)
    return path


def environment(home, zone=ZONE):
    env = {k: v for k, v in os.environ.items() if k in ("PATH", "LANG", "LC_ALL", "LD_LIBRARY_PATH")}
    env.update({"TZ": zone, "HOME": home, "XDG_CONFIG_HOME": home + "/config", "XDG_DATA_HOME": home + "/data",
                "XDG_CACHE_HOME": home + "/cache", "XDG_RUNTIME_DIR": home + "/run", "LANG": "C.UTF-8",
                "LC_ALL": "C.UTF-8", "QT_LOGGING_RULES": "*.debug=false"})
    for d in ("config", "data", "cache", "run"):
        os.makedirs(os.path.join(home, d), mode=0o700, exist_ok=True)
    return env


def khal_config(home, folder):
    os.makedirs(home + "/config/khal", exist_ok=True)
    lines = ["[calendars]"]
    for c in sorted(os.listdir(folder)):
        if os.path.isdir(os.path.join(folder, c)):
            lines += ["[[%s]]" % c, "path = %s/%s" % (folder, c), "type = calendar"]
    lines += ["[locale]", "local_timezone = %s" % ZONE, "default_timezone = %s" % ZONE,
              "dateformat = %Y-%m-%d", "longdateformat = %Y-%m-%d", "timeformat = %H:%M",
              "datetimeformat = %Y-%m-%d %H:%M", "longdatetimeformat = %Y-%m-%d %H:%M",
              "[sqlite]", "path = %s/khal.db" % home]
    with open(home + "/config/khal/config", "w") as f:
        f.write("\n".join(lines) + "\n")


class Run:
    def __init__(self, cpu, wall, rss_kb, lines, code):
        self.cpu, self.wall, self.rss_kb, self.lines, self.code = cpu, wall, rss_kb, lines, code


TIME = "/usr/bin/time"
before_build = None  # set from --before


def run(argv, env, out_path):
    """One run of a command: CPU, wall and peak RSS of that process alone.
    Through /usr/bin/time: a child started straight from this process would
    report this interpreter's resident size as its own peak (the kernel keeps
    the larger of the two across exec)."""
    figures = out_path + ".time"
    with open(out_path, "wb") as out:
        t0 = time.perf_counter()
        if os.access(TIME, os.X_OK):
            p = subprocess.run([TIME, "-f", "%U %S %M", "-o", figures] + argv, env=env, stdout=out,
                               stderr=subprocess.DEVNULL)
            wall = time.perf_counter() - t0
            user, system, rss = open(figures).read().split()[-3:]
            cpu, rss_kb, code = float(user) + float(system), int(rss), p.returncode
        else:
            p = subprocess.Popen(argv, env=env, stdout=out, stderr=subprocess.DEVNULL)
            _, status, usage = os.wait4(p.pid, 0)
            wall = time.perf_counter() - t0
            cpu, rss_kb = usage.ru_utime + usage.ru_stime, usage.ru_maxrss
            code = os.waitstatus_to_exitcode(status)
    with open(out_path, "rb") as f:
        lines = sum(1 for _ in f)
    return Run(cpu, wall, rss_kb, lines, code)


def commands(build, folder, home, before=None):
    agenda = os.path.join(build, "src/agenda/moriva-agenda")
    reader = os.path.join(build, "bench/careful_reader")
    earlier = os.path.join(before or build, "src/agenda/moriva-agenda")
    return {
        "before": [earlier, "--source", folder, "--from", FROM, "--days", str(DAYS), "--no-system"],
        "moriva": [agenda, "--source", folder, "--from", FROM, "--days", str(DAYS), "--no-system"],
        "c": [reader, "--from", FROM, "--days", str(DAYS), folder],
        "khal": ["khal", "list", FROM, "%dd" % DAYS],
        "ric": [sys.executable, os.path.join(HERE, "ric-list.py"), FROM, str(DAYS), folder],
    }


def available(tool, argv):
    if tool == "before" and not before_build:
        return False
    if tool == "khal":
        return shutil.which("khal") is not None
    if tool == "ric":
        try:
            subprocess.run([sys.executable, "-c", "import recurring_ical_events"], check=True,
                           stderr=subprocess.DEVNULL)
            return True
        except subprocess.CalledProcessError:
            return False
    return os.access(argv[0], os.X_OK)


def loadavg():
    try:
        return open("/proc/loadavg").read().split()[0]
    except OSError:
        return "?"


def fmt_mb(kb):
    return "%.0f MB" % (kb / 1024) if kb >= 10240 else "%.1f MB" % (kb / 1024)


def measure(args, files, tools, scratch):
    folder = calendars(args.data, files, args.seed)
    # khal's cache outlives the run (minutes to build); it goes with the folder.
    home = os.path.join(args.data, "home-%d" % files)
    env = environment(home)
    argvs = commands(args.build, folder, home, args.before)
    tools = [t for t in tools if available(t, argvs[t])]
    notes = {}
    if "khal" in tools:
        stamp_file = home + "/khal.db.generated"
        stamp = open(folder + "/.generated").read()
        if not (os.path.exists(stamp_file) and open(stamp_file).read() == stamp):
            khal_config(home, folder)
            if os.path.exists(home + "/khal.db"):
                os.remove(home + "/khal.db")
            first = run(argvs["khal"], env, scratch)  # builds khal's cache; the runs below are warm
            notes["khal"] = "cache build %.1f s CPU, %.1f s wall" % (first.cpu, first.wall)
            with open(stamp_file, "w") as f:
                f.write(stamp)
    big = files > 20000
    for t in tools:  # one untimed run each: page cache warm for everybody
        if t != "khal" and not (big and t in SLOW):
            run(argvs[t], env, scratch)
    runs = {t: [] for t in tools}
    load = [loadavg()]
    n = args.runs if not big else max(1, min(args.runs, args.big_runs))
    for i in range(n):
        # Paired: every tool once per round, in turn, so that load from the
        # other users of the machine falls on all of them alike.
        order = tools if i % 2 == 0 else list(reversed(tools))
        for t in order:
            if big and t in SLOW and len(runs[t]) >= args.slow_runs:
                continue
            r = run(argvs[t], env, scratch)
            if r.code != 0:
                print("  %s exited %d" % (t, r.code), file=sys.stderr)
            runs[t].append(r)
        load.append(loadavg())
    result = {}
    for t in tools:
        rs = runs[t]
        result[t] = {"cpu": statistics.median(r.cpu for r in rs), "wall": statistics.median(r.wall for r in rs),
                     "rss_kb": statistics.median(r.rss_kb for r in rs), "lines": rs[-1].lines,
                     "cpu_min": min(r.cpu for r in rs), "cpu_max": max(r.cpu for r in rs), "runs": len(rs)}
    return folder, result, notes, load


def measure_next(args, folder, home, scratch, build=None):
    env = environment(home)
    agenda = os.path.join(build or args.build, "src/agenda/moriva-agenda")
    argv = [agenda, "--source", folder, "--next", "--no-system"]
    run(argv, env, scratch)
    rs = [run(argv, env, scratch) for _ in range(max(5, args.runs))]
    return {"wall": statistics.median(r.wall for r in rs), "cpu": statistics.median(r.cpu for r in rs),
            "rss_kb": statistics.median(r.rss_kb for r in rs), "wall_min": min(r.wall for r in rs)}


def table(sizes, results, tools):
    head = "| per run | " + " | ".join(TOOLS[t] for t in tools) + " |"
    print(head)
    print("|---|" + "---|" * len(tools))
    for files in sizes:
        res = results[files]
        cells = []
        for t in tools:
            r = res.get(t)
            cells.append("%.2f s CPU, %s" % (r["cpu"], fmt_mb(r["rss_kb"])) if r else "n/a")
        print("| %s files | %s |" % (format(files, ","), " | ".join(cells)))


def wall_table(sizes, results, tools):
    print("| per run | " + " | ".join(TOOLS[t] for t in tools) + " |")
    print("|---|" + "---|" * len(tools))
    for files in sizes:
        res = results[files]
        print("| %s files | %s |" % (format(files, ","), " | ".join(
            "%.2f s" % res[t]["wall"] if t in res else "n/a" for t in tools)))


def check(args):
    """The yardstick and moriva-agenda list the same events on a small folder,
    in two zones (each side of the Atlantic's change to summer time). Half the
    files hold series, so that few files exercise every kind of rule."""
    with tempfile.TemporaryDirectory(prefix="moriva-bench-check-") as tmp:
        folder = os.path.join(tmp, "calendars")
        subprocess.run([sys.executable, GENERATOR, "--files", str(args.check), "--seed", str(args.seed),
                        "--series-share", "0.5", folder],
                       check=True, stdout=subprocess.DEVNULL)
        failed = False
        for zone in ("Europe/Berlin", "America/New_York"):
            env = environment(os.path.join(tmp, "home"), zone)
            out = subprocess.run([os.path.join(args.build, "src/agenda/moriva-agenda"), "--source", folder,
                                  "--from", FROM, "--days", str(DAYS), "--json", "--no-system"],
                                 env=env, capture_output=True, text=True, check=True).stdout
            moriva = []
            for line in out.splitlines():
                e = json.loads(line)
                moriva.append("\t".join([e["day"], e["start"], e["end"], e["title"]]))
            reader = subprocess.run([os.path.join(args.build, "bench/careful_reader"), "--from", FROM, "--days",
                                     str(DAYS), folder], env=env, capture_output=True, text=True,
                                    check=True).stdout.splitlines()
            only_m = sorted(set(moriva) - set(reader))
            only_c = sorted(set(reader) - set(moriva))
            print("%s: moriva-agenda %d lines, careful reader %d lines" % (zone, len(moriva), len(reader)))
            if not moriva:
                print("  nothing listed: the generated window is empty")
                failed = True
            for tag, lines in (("only moriva-agenda", only_m), ("only careful reader", only_c)):
                for line in lines[:20]:
                    print("  %s: %s" % (tag, line))
                failed = failed or bool(lines)
        return 1 if failed else 0


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", required=True, help="the CMake build folder")
    ap.add_argument("--sizes", default="5300,53000", help="files per generated folder, comma-separated")
    ap.add_argument("--runs", type=int, default=5, help="paired runs per tool (median reported)")
    ap.add_argument("--big-runs", type=int, default=3, help="at most this many runs above 20,000 files")
    ap.add_argument("--slow-runs", type=int, default=1,
                    help="runs of khal and recurring-ical-events above 20,000 files")
    ap.add_argument("--tools", default="before,moriva,c,khal,ric", help="of: " + ",".join(TOOLS))
    ap.add_argument("--before", help="another build folder, measured as 'before' beside this one")
    ap.add_argument("--seed", type=int, default=14)
    ap.add_argument("--data", help="where the generated folders are kept (default BUILD/bench/calendars)")
    ap.add_argument("--no-next", action="store_true", help="skip the moriva-agenda --next figure")
    ap.add_argument("--json", help="also write the figures to this file")
    ap.add_argument("--check", type=int, metavar="FILES",
                    help="only check that the yardstick lists what moriva-agenda lists, on FILES files")
    args = ap.parse_args()
    args.build = os.path.abspath(args.build)
    global before_build
    before_build = args.before = os.path.abspath(args.before) if args.before else None
    if args.check:
        return check(args)
    args.data = os.path.abspath(args.data or os.path.join(args.build, "bench", "calendars"))
    os.makedirs(args.data, exist_ok=True)
    sizes = [int(s) for s in args.sizes.split(",") if s]
    tools = [t for t in args.tools.split(",") if t]
    for t in tools:
        if t not in TOOLS:
            ap.error("unknown tool %s" % t)

    print("Listing %d days from %s, TZ=%s, %d CPU(s), load average before: %s" % (
        DAYS, FROM, ZONE, os.cpu_count() or 0, open("/proc/loadavg").read().strip()))
    results, details = {}, {}
    next_result = None
    with tempfile.TemporaryDirectory(prefix="moriva-bench-") as tmp:
        scratch = os.path.join(tmp, "out")
        for files in sizes:
            folder, res, notes, load = measure(args, files, tools, scratch)
            results[files] = res
            details[files] = {"folder": folder, "notes": notes, "load": load}
            print("\n%s files (%s), load average during the runs: %s" % (format(files, ","), folder,
                                                                         " ".join(load)))
            for t, r in res.items():
                print("  %-24s CPU %6.2f s (%.2f to %.2f, %d runs)  wall %6.2f s  peak RSS %8s  %d lines" % (
                    TOOLS[t], r["cpu"], r["cpu_min"], r["cpu_max"], r["runs"], r["wall"], fmt_mb(r["rss_kb"]),
                    r["lines"]))
            for t, note in notes.items():
                print("  %s: %s" % (TOOLS[t], note))
            sys.stdout.flush()
        if not args.no_next and "moriva" in tools:
            small = min(sizes)
            builds = [("moriva-agenda", args.build)]
            if "before" in tools and args.before:
                builds.insert(0, ("moriva-agenda before", args.before))
            print()
            for name, build in builds:
                r = measure_next(args, details[small]["folder"], os.path.join(tmp, "home-next"), scratch, build)
                print("%s --next on %s files: wall %.1f ms median (best %.1f ms), CPU %.1f ms, peak RSS %s"
                      % (name, format(small, ","), r["wall"] * 1e3, r["wall_min"] * 1e3, r["cpu"] * 1e3,
                         fmt_mb(r["rss_kb"])))
                if build == args.build:
                    next_result = r
    print("\nCPU time (user + system, median of paired runs) and peak RSS:\n")
    table(sizes, results, [t for t in tools if any(t in results[s] for s in sizes)])
    print("\nWall time (median of paired runs):\n")
    wall_table(sizes, results, [t for t in tools if any(t in results[s] for s in sizes)])
    print("\nLoad average after: %s" % open("/proc/loadavg").read().strip())
    if args.json:
        with open(args.json, "w") as f:
            json.dump({"results": {str(k): v for k, v in results.items()}, "details": details,
                       "next": next_result}, f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
