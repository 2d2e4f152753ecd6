#!/usr/bin/env bash
# check_install.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

echo "== cmake --install into a staging folder"
DESTDIR="$work/root" cmake --install "$build" --prefix /usr >"$work/install.log" || {
  cat "$work/install.log"
  fail "cmake --install"
}
root="$work/root/usr"
for f in bin/moriva bin/moriva-agenda share/man/man1/moriva-agenda.1.gz \
  share/applications/moriva.desktop share/metainfo/org.moriva.Moriva.metainfo.xml \
  share/icons/hicolor/scalable/apps/moriva.svg share/icons/hicolor/48x48/apps/moriva.png \
  share/moriva/translations/moriva_{de,fr,es,it,pt_BR,pl}.qm; do
  [ -s "$root/$f" ] || fail "not installed: /usr/$f"
done
[ -x "$root/bin/moriva" ] && [ -x "$root/bin/moriva-agenda" ] || fail "binaries not executable"
# The desktop calendar module, where the binaries look for it: lib/moriva
# (or lib/<multiarch>/moriva) beside bin.
module=$(cd "$root" && find . -path './lib*/moriva/moriva-eds.so' | sed 's|^\./||' | head -n 1)
if [ -e "$build/modules/moriva-eds.so" ]; then
  [ -n "$module" ] && [ -s "$root/$module" ] || fail "not installed: the desktop calendar module"
fi

echo "== validators"
desktop-file-validate "$root/share/applications/moriva.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net --explain "$root/share/metainfo/org.moriva.Moriva.metainfo.xml" ||
  fail "appstreamcli validate"
# Read whole before matching: under pipefail an early-exiting grep -q can fail the pipe.
grep -q '^\.TH MORIVA-AGENDA 1' <<<"$(zcat "$root/share/man/man1/moriva-agenda.1.gz")" || fail "man page header"
man -l "$root/share/man/man1/moriva-agenda.1.gz" 2>&1 >/dev/null | grep . && fail "man page warnings"
grep -q -- '--source' <<<"$("$root/bin/moriva-agenda" --help)" || fail "installed moriva-agenda --help"

echo "== cpack -G DEB"
(cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.log" 2>&1) || {
  cat "$work/cpack.log"
  fail "cpack"
}
deb=$(ls "$work/package"/moriva_"$version"_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "no moriva_${version}_*.deb"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = moriva ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
echo "Depends: $depends"
# Read off the binaries, so each library they link is there with a version.
# libecal is read off the module, built only with the desktop calendar layer.
for lib in libqt6widgets6 libqt6dbus6 libical3 libc6 'libstdc\+\+6' libdbus-1-3 ${module:+libecal-2.0}; do
  grep -Eq "(^|, )$lib[^,]* \(>= " <<<"$depends" || fail "Depends lacks $lib: $depends"
done
grep -q 'calendar' <<<"$(field Description)" || fail "Description"
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/moriva ./usr/bin/moriva-agenda ./usr/share/man/man1/moriva-agenda.1.gz \
  ./usr/share/applications/moriva.desktop ./usr/share/metainfo/org.moriva.Moriva.metainfo.xml \
  ./usr/share/icons/hicolor/scalable/apps/moriva.svg ./usr/share/moriva/translations/moriva_de.qm; do
  grep -qxF "$f" <<<"$contents" || fail "package lacks $f"
done
if [ -n "$module" ]; then
  grep -qxF "./usr/$module" <<<"$contents" || fail "package lacks ./usr/$module"
fi
# Only what a user runs: no tests, benchmarks or build paths.
grep -E 'tst_|bench|e2e|/include/' <<<"$contents" && fail "package carries build-only files"
echo "OK: $(basename "$deb"), $(wc -l <<<"$contents") entries"
