#!/usr/bin/env bash
# Renders the settings dialog into docs/config-dialog.png from a built tree, and the progress
# window (drawn by the conduit's own test) into docs/progress-window.png when that test is built.
#   conduit/config/render_snapshot.sh [BIN]    (BIN: the build's bin folder, default build/win32/bin)
# Runs the snapshot test of config_test.exe under Xvfb. With no window manager there, wine is
# told to draw the frame itself, for a copy of the program under a name of its own, so the
# setting touches nothing else in the wine prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$(cd "${1:-$root/build/win32/bin}" && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix} WINEDEBUG=-all
"$root/scripts/wine-up.sh"
cd "$bin"
cp config_test.exe tw_config_snapshot.exe
wine reg add 'HKCU\Software\Wine\AppDefaults\tw_config_snapshot.exe\X11 Driver' \
  /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
xvfb-run -a wine ./tw_config_snapshot.exe --gtest_filter='SnapshotTest.*' >/dev/null
python3 "$root/conduit/config/bmp_to_png.py" config-dialog.bmp "$root/docs/config-dialog.png"
rm -f tw_config_snapshot.exe
echo "wrote $root/docs/config-dialog.png"
if [ -f conduit_test.exe ]; then
  xvfb-run -a wine ./conduit_test.exe --gtest_filter='*DrawsItselfForThePicture*' >/dev/null
  python3 "$root/conduit/config/bmp_to_png.py" progress-window.bmp "$root/docs/progress-window.png"
  echo "wrote $root/docs/progress-window.png"
fi
