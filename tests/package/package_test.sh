#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a scratch root and runs the
# installed programs from there: they must find their assets beside
# themselves (../share/tvq52), lay out a new data folder from them, and talk
# to the installed simulator. Then the desktop entry and the AppStream
# description are validated, and the scratch root removed.
set -euo pipefail

build=${1:?usage: package_test.sh BUILD_DIR}
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --build "$build" --target package >/dev/null
deb=$(ls -t "$build"/tvq52_*.deb | head -n1)
[ -f "$deb" ] || fail "no package in $build"

root=$(mktemp -d "${TMPDIR:-/tmp}/tvq52-package.XXXXXX")
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$root"
}
trap cleanup EXIT

[[ $(dpkg-deb -f "$deb" Recommends) == *qt6-translations-l10n* ]] || fail "Qt's translations are not recommended"
# The package names the libraries it links and the SQLite driver Qt loads.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6core6 libqt6widgets6 libqt6serialport6 libsqlite3-0 libqt6sql6-sqlite libqt6sql6-psql; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done

dpkg-deb -x "$deb" "$root/fs"
usr=$root/fs/usr
for f in bin/tvq52 bin/tvq52-cli bin/tvq52-sim share/tvq52/Language.db share/tvq52/help/ENG/index.html share/tvq52/help/ESP/pictures/main-window.png \
         share/tvq52/reports/tvq52_1.xml share/icons/hicolor/scalable/apps/tvq52.svg \
         share/icons/hicolor/48x48/apps/tvq52.png share/icons/hicolor/scalable/mimetypes/application-x-tvq52-exchange.svg \
         share/man/man1/tvq52-cli.1.gz share/man/man1/tvq52-sim.1.gz share/doc/tvq52/copyright \
         share/bash-completion/completions/tvq52-cli; do
  [ -e "$usr/$f" ] || fail "package lacks /usr/$f"
done
# The nightly collect round: user units that run the installed command.
for u in tvq52-collect.service tvq52-collect.timer; do
  [ -f "$usr/lib/systemd/user/$u" ] || fail "package lacks /usr/lib/systemd/user/$u"
done
# Not a path of the build machine's: systemd finds the installed program.
grep -qx 'ExecStart=tvq52-cli collect --scheduled' "$usr/lib/systemd/user/tvq52-collect.service" ||
  fail "the collect service does not run tvq52-cli collect --scheduled"
if command -v systemd-analyze > /dev/null; then
  # Only the unit files' own faults count: the programs are not installed here.
  systemd-analyze verify --man=no "$usr/lib/systemd/user/tvq52-collect.timer" \
    "$usr/lib/systemd/user/tvq52-collect.service" 2>&1 | grep -v "tvq52-cli" | grep . &&
    fail "systemd-analyze finds faults in the collect units"
fi

# The installed programs are on their own: nothing points at the build.
unset TVQ52_ASSETS TVQ52_HOME
export HOME=$root/home XDG_DATA_HOME=
mkdir -p "$HOME"
for p in tvq52 tvq52-cli tvq52-sim; do
  v=$(QT_QPA_PLATFORM=offscreen "$usr/bin/$p" --version)
  [ "$v" = "$p $TVQ52_EXPECTED_VERSION" ] || fail "$p --version printed '$v'"
done

# The usage needs no display, and an unknown option is refused, not taken
# for a serial number.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$usr/bin/tvq52" --help | grep -q -- "--home DIR" ||
  fail "tvq52 --help without a display"
rc=0; env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$usr/bin/tvq52" --bogus 2>/dev/null || rc=$?
[ "$rc" = 2 ] || fail "tvq52 --bogus exited $rc"

home=$root/data
[ "$("$usr/bin/tvq52-cli" --home "$home" init)" = "$home" ] || fail "init did not print its folder"
# The data folder holds the user's data; the shipped assets stay installed.
[ "$(ls "$home")" = "$(printf 'tvq52.db\ntvq52.ini')" ] || fail "the new data folder holds: $(ls "$home")"
# A former per-user folder is moved up once, and the command line says so.
mkdir -p "$HOME/.local/share/tvq52"
cp -r "$home" "$HOME/.local/share/tvq52/tvq52"
moved=$("$usr/bin/tvq52-cli" init 2>&1)
[[ $moved == *"$HOME/.local/share/tvq52/tvq52"* ]] || fail "the move of the former folder was not told: $moved"
[ -f "$HOME/.local/share/tvq52/tvq52.db" ] && [ ! -e "$HOME/.local/share/tvq52/tvq52" ] ||
  fail "the former folder was not moved"
# Without --home, the window and the command line share the per-user folder.
[ "$("$usr/bin/tvq52-cli" init 2>/dev/null)" = "$HOME/.local/share/tvq52" ] || fail "the per-user folder is not the window's"

out=$root/sim.out
"$usr/bin/tvq52-sim" --serial 4711 --link "$root/unit" >"$out" 2>"$root/sim.err" &
sim_pid=$!
for _ in $(seq 100); do [ -s "$out" ] && break; sleep 0.1; done
[ -L "$root/unit" ] || fail "the simulator did not start: $(cat "$root/sim.err")"
ident=$("$usr/bin/tvq52-cli" --home "$home" --device "$root/unit" identify --json 2>"$root/cli.err") ||
  fail "identify failed: $(cat "$root/cli.err")"
# The JSON, whose words do not follow the language setting.
[[ $ident =~ \"serial\":\ *\"?4711[\",}[:space:]] ]] || fail "identify printed: $ident"

desktop=$usr/share/applications/org.tvq52.Manager.desktop
desktop-file-validate "$desktop" || fail "desktop entry"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[ -x "$usr/bin/${exec_line%% *}" ] || fail "the desktop entry starts '$exec_line', which is not installed"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "the desktop entry's icon $icon is not installed"
# Exchange files get the type the desktop entry opens.
mime=$(sed -n 's/^MimeType=\([^;]*\);.*/\1/p' "$desktop")
update-mime-database "$usr/share/mime"
grep -qx "50:$mime:\*.tq52" "$usr/share/mime/globs2" || fail "exchange files are not of type '$mime'"
# Globs match in any case unless marked otherwise: NNNN.TQ52 is of that type too.
grep -q "$mime:\*.tq52:cs" "$usr/share/mime/globs2" && fail "the exchange type only matches lower case"
appstreamcli validate --no-net "$usr/share/metainfo/org.tvq52.Manager.metainfo.xml" >/dev/null ||
  fail "metainfo: $(appstreamcli validate --no-net "$usr/share/metainfo/org.tvq52.Manager.metainfo.xml")"

lintian --fail-on error "$deb" || fail "lintian found errors"
echo "package test passed: $deb"
