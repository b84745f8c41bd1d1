#!/usr/bin/env bash
# One HotSync of the bundled demo handheld. The first run copies demo/ into a device folder
# under the build tree and mirrors it into a PC folder; later runs reuse both, so a second
# `make demo` shows a HotSync with nothing to do. The release is 32-bit: it runs natively
# where the machine runs 32-bit code, otherwise through the emulator scripts/setup.sh set up.
set -euo pipefail
build=$1 device=$2 pc=$3
src=$(cd "$(dirname "$0")/.." && pwd)
kind=$("$src/scripts/i386.sh" kind 2>/dev/null) || true
case $kind in
  native)   mode=win32; how="natively" ;;
  emulated) mode=emu32; how="through the i386 emulator (this machine runs no 32-bit code)" ;;
  *) echo "demo: this machine runs no 32-bit code and has no emulator entry; run scripts/setup.sh as root" >&2
     exit 1 ;;
esac
. "$src/scripts/wine-env.sh" $mode
"${tw_native[@]}" "$src/scripts/wine-up.sh" $mode
if [ ! -d "$device" ]; then
  mkdir -p "$(dirname "$device")"
  cp -a "$src/demo" "$device"
  echo "demo: new device folder $device (copied from demo/)"
fi
mkdir -p "$(dirname "$pc")"
bin="$src/$build/bin"
echo "demo: the 32-bit release ($build), run $how"
echo "demo: HotSync of user Demo into $pc"
echo "----"
cd "$bin"
"${tw_native[@]}" "$WINE" ./hotsync.exe sync --device "$(tw_winpath "$device")" --user Demo \
  --pc "$(tw_winpath "$pc")" --log "$(tw_winpath "$src/$build/demo-hotsync.log")" 2>/dev/null | tr -d '\r'
echo "----"
echo "demo: PC folder     $pc"
echo "demo: archive       $(dirname "$pc")/Archive/$(basename "$pc")"
echo "demo: settings file $bin/Tarnwick.ini"
