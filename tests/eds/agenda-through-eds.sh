#!/usr/bin/env bash
# The same calendar, read once as a file and once through a private
# Evolution Data Server, must give the same agenda, line for line.
# Usage: agenda-through-eds.sh MORIVA_AGENDA CALENDAR.ics FIRST-DAY DAYS
set -uo pipefail
agenda=$1
ics=$2
here=$(cd "$(dirname "$0")" && pwd)
window=(--from "$3" --days "$4" --json)
export TZ=Europe/Berlin

# A calendar-level property of the file, which the service keeps in the source instead.
property() { sed -n "s/^$1:\(.*\)\$/\1/p" "$ics" | head -n1 | tr -d '\r'; }

empty_home=$(mktemp -d "${TMPDIR:-/tmp}/moriva-agenda.XXXXXX") || exit 1
trap 'rm -rf "$empty_home"' EXIT

through_files=$(HOME="$empty_home" XDG_CONFIG_HOME="$empty_home/config" XDG_DATA_HOME="$empty_home/data" \
    "$agenda" --no-system --source "$ics" "${window[@]}") || { echo "agenda over the file failed"; exit 1; }

# Inside the private service: the calendar becomes a local source named as
# the file names itself, and no calendar file is configured, so everything
# the agenda prints comes through the service.
through_service=$("$here/with-private-eds.sh" bash -c '
    set -e
    mkdir -p "$XDG_DATA_HOME/evolution/calendar/fixture"
    cp "$1" "$XDG_DATA_HOME/evolution/calendar/fixture/calendar.ics"
    printf "[Data Source]\nDisplayName=%s\nEnabled=true\nParent=local-stub\n\n[Calendar]\nBackendName=local\nColor=%s\n" \
        "$2" "$3" > "$XDG_CONFIG_HOME/evolution/sources/fixture.source"
    shift 3
    exec "$0" "$@"' "$agenda" "$ics" "$(name=$(property X-WR-CALNAME); echo "${name:-$(basename "$ics" .ics)}")" "$(property X-APPLE-CALENDAR-COLOR)" "${window[@]}") || { echo "agenda through the service failed"; exit 1; }

if [ -z "$through_files" ]; then
    echo "the agenda over the file printed nothing: the comparison would prove nothing"
    exit 1
fi
if ! diff <(printf '%s\n' "$through_files") <(printf '%s\n' "$through_service"); then
    echo "the agenda differs between the file (<) and the service (>)"
    exit 1
fi
echo "$(printf '%s\n' "$through_files" | wc -l) lines agree"
