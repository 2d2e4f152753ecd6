#!/bin/sh
# Rows about unreadable files and read-only folders skip as root, whom file
# permissions do not bind, and CI machines often run the tests as root. There
# the suites holding such rows run once more as an unprivileged user, from
# copies that user can read, so that those rows run on every machine.
set -eu
if [ "$(id -u)" != 0 ]; then
    echo "SKIP: not root; the suites ran these rows themselves"
    exit 0
fi
user=nobody
if ! id "$user" >/dev/null 2>&1 || ! command -v runuser >/dev/null 2>&1; then
    echo "SKIP: no user $user or no runuser to run the suites without root"
    exit 0
fi
stage=$(mktemp -d /tmp/moriva-unprivileged-XXXXXX)
trap 'rm -rf "$stage"' EXIT
chmod 755 "$stage"
mkdir "$stage/home" "$stage/runtime"
chown "$user" "$stage/home" "$stage/runtime"
chmod 700 "$stage/runtime"
status=0
for suite in "$@"; do
    cp "$suite" "$stage/"
    name=$(basename "$suite")
    echo "== $name as $user"
    runuser -u "$user" -- env -i PATH=/usr/bin:/bin HOME="$stage/home" XDG_RUNTIME_DIR="$stage/runtime" \
        QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 LC_ALL=C.UTF-8 TZ=UTC \
        ASAN_OPTIONS="${ASAN_OPTIONS:-}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-}" "$stage/$name" || status=1
done
exit $status
