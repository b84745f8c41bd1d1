#!/usr/bin/env bash
# Renders the settings dialog into docs/config-dialog.png from a built tree, and the progress
# window (drawn by the conduit's own test) into docs/progress-window.png when that test is built.
#   conduit/config/render_snapshot.sh [BIN]    (BIN: the build's bin folder, default
#   build/win32/bin where the machine runs 32-bit code, build/win64/bin where it does not)
# Runs the snapshot test of config_test.exe under Xvfb. With no window manager there, wine is
# told to draw the frame itself, for a copy of the program under a name of its own, so the
# setting touches nothing else in the wine prefix. The whole script runs under one display,
# and the wineserver is restarted under it (as run-tests.sh does): a server left running
# from before, or started without a display, draws no window, and the picture fails.
set -euo pipefail
[ -n "${TW_SNAPSHOT_DISPLAY:-}" ] ||
  exec env TW_SNAPSHOT_DISPLAY=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
root=$(cd "$(dirname "$0")/../.." && pwd)
mode=win64
[ "$("$root/scripts/i386.sh" kind 2>/dev/null)" = native ] && mode=win32
bin=$(cd "${1:-$root/build/$mode/bin}" && pwd)
# The build's own wine: a PE32+ program is the 64-bit build's, whatever the folder's name.
x86_64-w64-mingw32-objdump -f "$bin/config_test.exe" 2>/dev/null | grep -q 'pei-x86-64$' && mode=win64
. "$root/scripts/wine-env.sh" $mode
"$TW_WINESERVER" -k >/dev/null 2>&1 || true
trap '"$TW_WINESERVER" -k >/dev/null 2>&1 || true' EXIT
"${tw_native[@]}" "$root/scripts/wine-up.sh" $mode
cd "$bin"
cp config_test.exe tw_config_snapshot.exe
"${tw_native[@]}" "$WINE" reg add 'HKCU\Software\Wine\AppDefaults\tw_config_snapshot.exe\X11 Driver' \
  /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
"${tw_native[@]}" "$WINE" ./tw_config_snapshot.exe --gtest_filter='SnapshotTest.*' >/dev/null
python3 "$root/conduit/config/bmp_to_png.py" config-dialog.bmp "$root/docs/config-dialog.png"
rm -f tw_config_snapshot.exe
echo "wrote $root/docs/config-dialog.png"
if [ -f conduit_test.exe ]; then
  "${tw_native[@]}" "$WINE" ./conduit_test.exe --gtest_filter='*DrawsItselfForThePicture*' >/dev/null
  python3 "$root/conduit/config/bmp_to_png.py" progress-window.bmp "$root/docs/progress-window.png"
  echo "wrote $root/docs/progress-window.png"
fi
