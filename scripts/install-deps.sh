#!/usr/bin/env bash
# Installs the Debian packages Moriva needs, and only those that are missing:
# on a machine that has them all it does nothing.
#
#   scripts/install-deps.sh run    what building and running Moriva need
#   scripts/install-deps.sh test   that, plus what the tests run against
#                                  (the default)
set -euo pipefail

set_name=${1:-test}

run_packages=(
  # build
  cmake make g++ pkgconf qt6-base-dev qt6-base-dev-tools libical-dev libxcb1-dev
  libecal2.0-dev libedataserver1.2-dev libdbus-1-dev
  # translations: lrelease at build time, Qt's own texts at run time
  qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n
)

test_packages=(
  # widget tests and the desktop end-to-end suite
  xvfb xauth x11-utils xdotool imagemagick openbox trayer xcompmgr dbus-x11 fonts-dejavu-core python3-gi gir1.2-glib-2.0
  xfce4-panel sway waybar xwayland grim wtype qt6-wayland util-linux
  # the end-to-end sessions run the app on a clock fixed to one day
  faketime
  # the system calendar store, run for real in its tests
  evolution-data-server
  # independent calendar readers that the differential tests compare against
  python3-recurring-ical-events python3-icalendar khal python3-dateutil
  # sanitizer and fuzzing builds
  clang libclang-rt-14-dev
  # the installed files and the Debian package: validators, dependency lookup
  desktop-file-utils appstream dpkg-dev file
)

case "$set_name" in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  *)
    echo "usage: $0 [run|test]" >&2
    exit 2
    ;;
esac

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
