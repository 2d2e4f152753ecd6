#!/usr/bin/env bash
# Runs bench_shell on a private X display with a window manager and a tray, a
# few times, and prints each run's figures. Usage: bench/ui/bench_shell.sh BUILD_DIR [RUNS [EVENTS]]
set -euo pipefail
build=${1:?usage: bench_shell.sh BUILD_DIR [RUNS]}
runs=${2:-5}
events=${3:-10000}
here=$(cd "$(dirname "$0")" && pwd)
exec /usr/bin/python3 - "$build" "$runs" "$here/../../tests/e2e" "$events" <<'PY'
import subprocess, sys
sys.dont_write_bytecode = True
build, runs, harness, events = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
sys.path.insert(0, harness)
import tray_session

class Args:
    moriva = build + "/src/app/moriva"
    probe = build + "/tests/e2e/moriva_e2e_probe"
    artifacts = build + "/bench/artifacts"

session = tray_session.Session(Args())
try:
    session.start_desktop()
    session.start_tray()
    for run in range(runs):
        out = subprocess.run([build + "/bench/bench_shell", events], env=session.env, capture_output=True,
                             text=True, timeout=120)
        print("run %d\n%s" % (run + 1, out.stdout), flush=True)
finally:
    session.cleanup()
PY
