#!/usr/bin/env bash
# Installs this build into a temporary prefix and packs it as a .deb, then checks both: every file a
# desktop and man look for is there, the desktop entry and the AppStream file validate, Tidewick
# starts from its desktop entry (and its autostart entry names the installed program), and the
# program unpacked from the .deb runs.
#   install-test.sh BUILD_DIR CMAKE CPACK
set -euo pipefail
build=$1 cmake=$2 cpack=$3
work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

app=org.tidewick.Tidewick
prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" > "$work/install.log"

expected=(bin/tidewick "share/applications/$app.desktop" "share/metainfo/$app.metainfo.xml"
          "share/icons/hicolor/scalable/apps/$app.svg" share/tidewick/help/index.html
          share/tidewick/help/help.css share/man/man1/tidewick.1.gz share/doc/tidewick/copyright)
for size in 16 22 24 32 48 64 128 256; do expected+=("share/icons/hicolor/${size}x$size/apps/$app.png"); done
for file in "${expected[@]}"; do [ -s "$prefix/$file" ] || fail "the installation lacks $file"; done
file -b "$prefix/share/icons/hicolor/48x48/apps/$app.png" | grep -q '48 x 48' || fail "the 48 px picture is not 48 px"

desktop-file-validate "$prefix/share/applications/$app.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/share/metainfo/$app.metainfo.xml" || fail "appstreamcli validate"
warnings=$(MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/tidewick.1.gz" 2>&1 >/dev/null || true)
[ -z "$warnings" ] || fail "the manual page: $warnings"
man -l "$prefix/share/man/man1/tidewick.1.gz" 2>/dev/null | grep -q -- '--run-queue' || fail "the manual page says nothing of --run-queue"

# Started as the desktop starts it: the entry's command line, the program found through PATH. It
# runs its start (the working folders, the autostart entry) and waits in the connection dialog.
command=$(sed -n 's/^Exec=//p' "$prefix/share/applications/$app.desktop")
[ "$command" = tidewick ] || fail "unexpected Exec line: $command"
(
  export PATH="$prefix/bin:$PATH" TIDEWICK_HOME="$work/home" XDG_CONFIG_HOME="$work/config"
  export QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
  exec $command
) > "$work/run.log" 2>&1 &
pid=$!
started() {
  [ -f "$work/config/autostart/tidewick.desktop" ] || return 1
  for folder in Download Profiles Log Ini; do [ -d "$work/home/$folder" ] || return 1; done
}
for _ in $(seq 1 300); do
  started && break
  kill -0 "$pid" 2>/dev/null || { cat "$work/run.log" >&2; fail "Tidewick ended at once"; }
  sleep 0.1
done
for folder in Download Profiles Log Ini; do [ -d "$work/home/$folder" ] || fail "no $folder folder after the start"; done
grep -qx "Exec=$prefix/bin/tidewick /STARTUP" "$work/config/autostart/tidewick.desktop" ||
  fail "the autostart entry does not name the installed program: $(grep Exec= "$work/config/autostart/tidewick.desktop")"
kill -0 "$pid" 2>/dev/null || fail "Tidewick did not keep running"
kill "$pid"; wait "$pid" 2>/dev/null || true; pid=

# The Debian package, from the same build.
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" > "$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack"; }
deb=$(ls "$work"/package/tidewick_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
libraries=(libqt6widgets6 libqt6network6 libstdc++6)
readelf -d "$build/src/tidewick" | grep -q 'NEEDED.*libssl' && libraries+=(libssl3)
for library in "${libraries[@]}"; do
  grep -q "$library" <<< "$depends" || fail "the package does not depend on $library: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = tidewick ] || fail "package name"
dpkg-deb -x "$deb" "$work/root"
for file in "${expected[@]}"; do [ -s "$work/root/usr/$file" ] || fail "the package lacks /usr/$file"; done
version=$(ASAN_OPTIONS=detect_leaks=0 "$work/root/usr/bin/tidewick" --version)
[ "$version" = "Tidewick 3.1.0" ] || fail "the packaged program says: $version"
echo "installed, started from its desktop entry, packaged: $(basename "$deb") ($depends)"
