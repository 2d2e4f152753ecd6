#!/usr/bin/python3
"""What the agenda and the app cost to start and to keep, and what
`moriva-agenda --next` costs a status bar when Moriva runs. Prints figures,
never judges them.

  bench/agenda-bus.py --build build [--before /path/to/other/build] [--files 5300] [--runs 21]

- agenda start-up: `moriva-agenda --source EMPTYDIR`, wall and CPU (median);
- --next over a generated folder (bench/make-calendars.py): from the files,
  and answered by a running Moriva over a private session bus;
- the app: libraries mapped and threads, on a bus where the desktop's
  calendar service cannot start and on one where it starts on demand.

Every run has its own HOME and private session bus; nothing of the user's is
read. With --before, the same figures for another build (e.g. main) beside.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "agenda"))
from private_bus import PrivateBus, stop  # noqa: E402

def environment(home, bus=None, folder=None):
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": home, "TZ": "Europe/Berlin",
           "XDG_CONFIG_HOME": home + "/config", "XDG_DATA_HOME": home + "/data", "XDG_CACHE_HOME": home + "/cache",
           "XDG_RUNTIME_DIR": home + "/run", "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8",
           "QT_QPA_PLATFORM": "offscreen", "GSETTINGS_BACKEND": "memory", "QT_LOGGING_RULES": "*.debug=false"}
    for d in ("config/Moriva", "data", "cache", "run"):
        os.makedirs(os.path.join(home, d), mode=0o700, exist_ok=True)
    if bus:
        env["DBUS_SESSION_BUS_ADDRESS"] = bus.address
    if folder:
        with open(home + "/config/Moriva/Moriva.conf", "w") as f:
            f.write("[General]\ncalendarSources=%s\n" % folder)
    return env


def cpu_of(argv, env):
    """Wall and CPU (user + system) of one run, read through wait4 so that the
    CPU is the child's alone."""
    t0 = time.perf_counter()
    child = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, _, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - t0
    child.returncode = 0
    return wall, usage.ru_utime + usage.ru_stime


def paired(commands, runs):
    """Median wall and CPU (ms) of each command, the commands taking turns so
    that the machine's load falls on each alike."""
    for argv, env in commands:
        cpu_of(argv, env)
    samples = [[] for _ in commands]
    for _ in range(runs):
        for i, (argv, env) in enumerate(commands):
            samples[i].append(cpu_of(argv, env))
    return [(statistics.median(w for w, _ in s) * 1000, statistics.median(c for _, c in s) * 1000) for s in samples]


def answered_by_app(agenda, env):
    p = subprocess.run([agenda, "--next"], env={**env, "QT_LOGGING_RULES": "moriva.agenda.bus.debug=true"},
                       capture_output=True, text=True)
    return "answered by the running Moriva" in p.stderr


def start_app(build, env):
    return subprocess.Popen([os.path.join(build, "src/app/moriva")], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


def owns_name(env):
    p = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                        "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", "string:org.moriva.Moriva"],
                       env=env, capture_output=True, text=True)
    return "boolean true" in p.stdout


def footprint(app):
    with open("/proc/%d/maps" % app.pid) as f:
        libraries = {line.split()[-1] for line in f if ".so" in line.split()[-1]}
    threads = len(os.listdir("/proc/%d/task" % app.pid))
    return len(libraries), threads, sum(1 for lib in libraries if "libecal" in lib or "libedataserver" in lib)


def app_figures(build, with_service, settle):
    with tempfile.TemporaryDirectory() as home, PrivateBus(with_services=with_service) as bus:
        env = environment(home, bus)
        app = start_app(build, env)
        try:
            deadline = time.monotonic() + 30
            while time.monotonic() < deadline and app.poll() is None and not owns_name(env):
                time.sleep(0.05)
            time.sleep(settle)  # the service's calendars, threads and clients settle
            return footprint(app) if app.poll() is None else None
        finally:
            stop(app)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True)
    parser.add_argument("--before", help="another build to measure beside (e.g. main's)")
    parser.add_argument("--files", type=int, default=5300)
    parser.add_argument("--seed", type=int, default=14)
    parser.add_argument("--runs", type=int, default=21)
    parser.add_argument("--settle", type=float, default=5.0, help="seconds the app runs before it is counted")
    args = parser.parse_args()

    folder = "/tmp/bench-%d" % args.files
    if not os.path.isdir(folder):
        subprocess.run([sys.executable, os.path.join(HERE, "make-calendars.py"), "--files", str(args.files),
                        "--seed", str(args.seed), folder], check=True, stdout=subprocess.DEVNULL)
    builds = [("after", args.build)] + ([("before", args.before)] if args.before else [])
    agendas = [os.path.join(build, "src/agenda/moriva-agenda") for _, build in builds]
    print("load average: %s" % open("/proc/loadavg").read().split()[0])

    print("\nmoriva-agenda --source EMPTYDIR (median of %d paired runs)" % args.runs)
    print("| build | wall ms | CPU ms |")
    print("|---|---|---|")
    with tempfile.TemporaryDirectory() as empty:
        env = environment(empty + "/home")
        figures = paired([([agenda, "--source", empty], env) for agenda in agendas], args.runs)
        for (name, _), (wall, cpu) in zip(builds, figures):
            print("| %s | %.1f | %.1f |" % (name, wall, cpu))

    print("\nmoriva-agenda --next, %d files, Moriva's own sources (median of %d paired runs)" % (args.files, args.runs))
    print("| build | from the files: wall ms, CPU ms | answered by a running Moriva: wall ms, CPU ms |")
    print("|---|---|---|")
    with tempfile.TemporaryDirectory() as home, PrivateBus() as bus:
        env = environment(home, bus, folder)
        from_files = paired([([agenda, "--next"], env) for agenda in agendas], args.runs)
        from_app = []
        for (name, build), agenda in zip(builds, agendas):
            app = start_app(build, env)
            try:
                deadline = time.monotonic() + 120
                while time.monotonic() < deadline and app.poll() is None and not answered_by_app(agenda, env):
                    time.sleep(0.2)
                from_app.append(paired([([agenda, "--next"], env)], args.runs)[0]
                                if answered_by_app(agenda, env) else None)
            finally:
                stop(app)
        for (name, _), files, app in zip(builds, from_files, from_app):
            print("| %s | %.1f, %.1f | %s |" % (name, files[0], files[1], "%.1f, %.1f" % app if app else "no answer"))

    print("\nthe app after %.0f s: libraries mapped, threads (calendar-service libraries among them)" % args.settle)
    print("| build | service cannot start | service starts on demand |")
    print("|---|---|---|")
    for name, build in builds:
        cells = []
        for with_service in (False, True):
            f = app_figures(build, with_service, args.settle)
            cells.append("%d libraries, %d threads (%d)" % f if f else "did not run")
        print("| %s | %s | %s |" % (name, cells[0], cells[1]))


if __name__ == "__main__":
    main()
