#!/usr/bin/env bash
# One fixture pair: NAME.ics read through the files store (and, when a
# private-service runner is given, through Evolution Data Server) must print
# exactly the listing in NAME.expected, in every zone its header names.
# Usage: fixture-case.sh MORIVA_AGENDA NAME.ics NAME.expected [WITH_PRIVATE_EDS]
set -uo pipefail
agenda=$1
ics=$2
expected=$3
with_eds=${4:-}

header() { sed -n "s/^# $1: *\(.*\)\$/\1/p" "$expected" | head -n1 | tr -d '\r'; }
read -r -a args <<<"$(header args)"
zones=$(header tz)
zones=${zones:-UTC}
# "# stores: files" keeps a case from the service: one that only a file can
# hold (the service gives a second item with a used UID a new UID, and keeps
# a calendar's colour in a setting of its own, not as the file wrote it).
stores=$(header stores)
[ "$stores" = files ] && with_eds=
want=$(grep -v '^# ' "$expected")

home=$(mktemp -d "${TMPDIR:-/tmp}/moriva-case.XXXXXX") || exit 1
trap 'rm -rf "$home"' EXIT

property() { sed -n "s/^$1:\(.*\)\$/\1/p" "$ics" | head -n1 | tr -d '\r'; }
name=$(property X-WR-CALNAME)
name=${name:-$(basename "$ics" .ics)}

status=0
compare() { # what, zone, output
    if [ "$3" != "$want" ]; then
        echo "== $1 in $2 differs from $(basename "$expected") (expected <, got >):"
        diff <(printf '%s\n' "$want") <(printf '%s\n' "$3")
        status=1
    fi
}

for tz in $zones; do
    got=$(TZ=$tz HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" \
        "$agenda" --no-system --source "$ics" "${args[@]}") || { echo "agenda failed in $tz"; status=1; }
    compare "the files store" "$tz" "$got"
done

if [ -n "$with_eds" ]; then
    # One private service for every zone: the calendar becomes a local
    # source named as the file names itself, and no file is configured, so
    # everything printed comes through the service.
    through=$("$with_eds" bash -c '
        set -e
        mkdir -p "$XDG_DATA_HOME/evolution/calendar/fixture"
        cp "$1" "$XDG_DATA_HOME/evolution/calendar/fixture/calendar.ics"
        printf "[Data Source]\nDisplayName=%s\nEnabled=true\nParent=local-stub\n\n[Calendar]\nBackendName=local\nColor=%s\n" \
            "$2" "$3" > "$XDG_CONFIG_HOME/evolution/sources/fixture.source"
        agenda=$0; zones=$4; shift 4
        for tz in $zones; do
            echo "@@ $tz"
            TZ=$tz "$agenda" "$@"
        done' "$agenda" "$ics" "$name" "$(property X-APPLE-CALENDAR-COLOR)" "$zones" "${args[@]}") \
        || { echo "agenda through the service failed"; exit 1; }
    for tz in $zones; do
        got=$(printf '%s\n' "$through" | awk -v tz="$tz" '/^@@ /{on = ($2 == tz); next} on')
        compare "the system store" "$tz" "$got"
    done
fi
exit $status
