#!/usr/bin/env bash
# Runs a command against a private Evolution Data Server: its own session bus
# and a throw-away home. The registry and calendar factory start on demand on
# that bus and end with it, so nothing of the user's is read or written and
# nothing outlives the run.
set -uo pipefail

root=$(mktemp -d "${TMPDIR:-/tmp}/moriva-eds.XXXXXX") || exit 1
cleanup() { rm -rf "$root"; }
trap cleanup EXIT

export HOME="$root/home"
export XDG_CONFIG_HOME="$root/config"
export XDG_DATA_HOME="$root/data"
export XDG_CACHE_HOME="$root/cache"
export XDG_RUNTIME_DIR="$root/runtime"
mkdir -p "$HOME" "$XDG_CONFIG_HOME/evolution/sources" "$XDG_DATA_HOME/evolution/calendar" "$XDG_CACHE_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# GSettings in memory: no dconf service, no writes to a real profile.
export GSETTINGS_BACKEND=memory
export MORIVA_PRIVATE_EDS="$root"
unset DBUS_SESSION_BUS_ADDRESS

# Noise here: the bus daemon's notes on its fd limit and on starting
# services, and the services complaining that the bus went away at the end.
dbus-run-session -- "$@" 2> >(grep -v -e 'Failed to set fd limit' -e 'ctivat' -e "property 'ConnectionStatus'" >&2)
status=$?
exit $status
