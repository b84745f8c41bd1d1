#!/usr/bin/env bash
# One HotSync of the bundled demo handheld. The first run copies demo/ into a device folder
# under the build tree and mirrors it into a PC folder; later runs reuse both, so a second
# `make demo` shows a HotSync with nothing to do.
set -euo pipefail
build=$1 device=$2 pc=$3
src=$(cd "$(dirname "$0")/.." && pwd)
if [ ! -d "$device" ]; then
  mkdir -p "$(dirname "$device")"
  cp -a "$src/demo" "$device"
  echo "demo: new device folder $device (copied from demo/)"
fi
mkdir -p "$(dirname "$pc")"
bin="$src/$build/bin"
win() { winepath -w "$1" 2>/dev/null; }
echo "demo: HotSync of user Demo into $pc"
echo "----"
cd "$bin"
wine ./hotsync.exe sync --device "$(win "$device")" --user Demo --pc "$(win "$pc")" \
  --log "$(win "$src/$build/demo-hotsync.log")" 2>/dev/null | tr -d '\r'
echo "----"
echo "demo: PC folder     $pc"
echo "demo: archive       $(dirname "$pc")/Archive/$(basename "$pc")"
echo "demo: settings file $bin/Tarnwick.ini"
