#!/usr/bin/env bash
# The 32-bit release where it runs only through the emulator, under the display xvfb-run
# gave us: on each card route, a first HotSync of the demo handheld (every card file
# mirrored), a second after an edit on each side (both carried over), and a third with
# nothing to do, each checked against the PC folder, the card and the log.
#   scripts/smoke32.sh BUILD-DIR
set -uo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh" emu32
"$TW_WINESERVER" -k >/dev/null 2>&1 || true
"$here/wine-up.sh" emu32 || exit 1
work=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-smoke32.XXXXXX")
passed=0 failed=0
check() {  # check WHAT COMMAND...: one line per check
  if "${@:2}"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "smoke32: FAILED: $1"; fi
}
hotsync() {  # hotsync ROUTE N: one HotSync, its log in $work/ROUTE.N.log
  (cd "$work/$1/bin" && timeout 300 "$WINE" ./hotsync.exe sync --device "$(tw_winpath "$work/$1/device")" \
     --user Demo --pc "$(tw_winpath "$work/$1/pc")" --log "$(tw_winpath "$work/$1.$2.raw")" >/dev/null 2>&1)
  local rc=$?
  # The stand-in log's lines start with the activity code and a tab.
  tr -d '\r' < "$work/$1.$2.raw" 2>/dev/null | cut -f2- > "$work/$1.$2.log"
  return $rc
}
has() { grep -qxF -- "$2" "$work/$1"; }
lacks() { ! grep -q -- "$2" "$work/$1"; }
same() { diff -r "$1" "$2" >/dev/null; }
for route in vfs companion; do
  # Each route a copy of the programs and DLLs of its own: the settings file beside the
  # conduit keeps the user's folders, and the demo's must neither leak in nor change.
  mkdir -p "$work/$route/bin"
  cp "$build/bin/"*.dll "$build/bin/hotsync.exe" "$work/$route/bin/"
  rm -f "$work/$route/bin/Tarnwick.ini"
  cp -a "$here/../demo" "$work/$route/device"
  ini=$work/$route/device/device.ini
  # The companion answering card mode 2, no desktop VFS: the cards go through the companion.
  [ $route = companion ] && sed -i 's/^Companion=0.*/Companion=2/; s/^Vfs=1.*/Vfs=0/' "$ini"
  dev=$work/$route/device pc=$work/$route/pc
  # The VFS route labels the unlabelled card "Card"; the companion route cannot label a
  # card and names its folder after the slot.
  other=Card; [ $route = companion ] && other=Card2
  check "$route: first HotSync ends well" hotsync $route 1
  check "$route: first HotSync mirrors DemoCard" has $route.1.log "  /Documents/Letters/letter1.txt: Copied from Palm to PC"
  check "$route: first HotSync ends with the summary" has $route.1.log "Tarnwick"
  check "$route: PC folder of DemoCard is the card" same "$dev/card1" "$pc/DemoCard"
  check "$route: PC folder of the unlabelled card is the card" same "$dev/card2" "$pc/$other"
  echo "edited on the PC" > "$pc/DemoCard/Documents/notes.txt"
  echo "edited on the handheld" > "$dev/card2/todo.txt"
  touch -d '+1 minute' "$pc/DemoCard/Documents/notes.txt" "$dev/card2/todo.txt"
  check "$route: second HotSync ends well" hotsync $route 2
  check "$route: second HotSync sends the PC edit" has $route.2.log "  /Documents/notes.txt: Copied from PC to Palm"
  check "$route: second HotSync fetches the card edit" has $route.2.log "  /todo.txt: Copied from Palm to PC"
  check "$route: both sides agree after the second HotSync" same "$dev/card1" "$pc/DemoCard"
  check "$route: the unlabelled card agrees too" same "$dev/card2" "$pc/$other"
  check "$route: third HotSync ends well" hotsync $route 3
  check "$route: third HotSync has nothing to do" lacks $route.3.log "Copied"
  check "$route: third HotSync ends with the summary" has $route.3.log "Tarnwick"
done
"$TW_WINESERVER" -k >/dev/null 2>&1 || true
[ $failed = 0 ] && rm -rf "$work" || echo "smoke32: logs and folders kept in $work"
echo "smoke32: $passed passed, $failed failed"
[ $failed = 0 ]
