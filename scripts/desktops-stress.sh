#!/usr/bin/env bash
# HotSyncs beside a program of another display in the same wine prefix: on one Xvfb display a
# process loads the conduit and runs HotSyncs in a row (the soak test's long form, started
# again whenever it ends); on another, rounds of three hotsync.exe at once, each of fresh
# device folders (two labelled volumes, 400 small files) and each pressing Cancel in its
# first 50 ms. Every HotSync must end within the bound. One that does not has every thread
# of every process in the prefix written to a stack file (wine's debugger, "bt all") and is
# then killed. Not part of `make test`: it runs for as long as asked.
#   scripts/desktops-stress.sh [--mode win64|win32|emu32] [--seconds N] [--bound S] [--out DIR]
# Exit status: 0 when every HotSync ended within the bound and ended well, 1 otherwise.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=win64 seconds=600 bound=30 out=
while [ $# -gt 0 ]; do
  case $1 in
    --mode) mode=$2 ;;
    --seconds) seconds=$2 ;;
    --bound) bound=$2 ;;
    --out) out=$2 ;;
    *) echo "desktops-stress: unknown option $1" >&2; exit 2 ;;
  esac
  shift 2
done
build=$root/build/$mode
[ "$mode" = emu32 ] && build=$root/build/win32
bin=$build/bin
out=${out:-$build/desktops-stress}
[ -x "$bin/hotsync.exe" ] && [ -x "$bin/soak_test.exe" ] || { echo "desktops-stress: build $build first" >&2; exit 2; }
# A prefix of its own: the run starts and stops its server, which no other run may share.
export TARNWICK_WINEPREFIX=$root/build/wineprefix-desktops-$mode
. "$root/scripts/wine-env.sh" "$mode"
"$root/scripts/wine-up.sh" "$mode" || exit 1
rm -rf "$out"; mkdir -p "$out"

# One slot's folders: a device of two card volumes and a copy of the conduit, whose settings
# file beside it is then the slot's own.
prepare() {
  local d=$1 c i
  rm -rf "$d"; mkdir -p "$d/device/card1" "$d/device/card2" "$d/pc" "$d/conduit"
  cp "$bin/Tarnwick.dll" "$d/conduit/"
  printf '[Device]\nCompanion=0\nVfs=1\n[Volume1]\nPath=card1\nLabel=One\n[Volume2]\nPath=card2\nLabel=Two\n' >"$d/device/device.ini"
  for c in card1 card2; do
    for i in $(seq 0 199); do echo "contents of file $i" >"$d/device/$c/file$i.txt"; done
  done
}

# The program on the first display, run again whenever it ends, until the stop file appears:
# a long run (83 HotSyncs) and a short one (11) by turns, so that rounds of the second display
# also meet its start, when it first opens its windows.
neighbour() {
  cd "$bin" || return
  local runs=20
  while [ ! -e "$out/stop" ]; do
    TARNWICK_SOAK_RUNS=$runs "${tw_native[@]}" $WINE ./soak_test.exe >>"$out/neighbour.log" 2>&1
    runs=$(( runs == 20 ? 2 : 20 ))
  done
}
xvfb-run -a bash -c "$(declare -f neighbour); bin='$bin' out='$out' WINE='$WINE'; tw_native=(${tw_native[*]}); neighbour" &
neighbour_pid=$!
sleep 1  # the neighbour comes first on the desktop, as in the sightings

# Rounds of three on the second display. Each HotSync's line in times: round, slot, cancel
# moment (ms), exit status, milliseconds.
rounds() {
  cd "$bin" || return 1
  local deadline=$(( $(date +%s) + seconds )) round=0 failed=0 s ms
  while [ "$(date +%s)" -lt "$deadline" ]; do
    round=$((round + 1))
    local pids=() starts=() cancels=()
    for s in 0 1 2; do
      prepare "$out/slot$s"
      ms=$((RANDOM % 51))
      "${tw_native[@]}" $WINE ./hotsync.exe sync --device "$(tw_winpath "$out/slot$s/device")" --user Stress \
        --pc "$(tw_winpath "$out/slot$s/pc")" --conduit "$(tw_winpath "$out/slot$s/conduit/Tarnwick.dll")" \
        --log "$(tw_winpath "$out/slot$s/hotsync.log")" --cancel-after $ms >"$out/slot$s/hotsync.out" 2>&1 &
      pids+=($!) starts+=($(date +%s%N)) cancels+=($ms)
    done
    for s in 0 1 2; do
      local pid=${pids[$s]} rc
      while kill -0 "$pid" 2>/dev/null && [ $(( ($(date +%s%N) - starts[s]) / 1000000000 )) -lt "$bound" ]; do sleep 0.1; done
      if kill -0 "$pid" 2>/dev/null; then
        echo "round $round slot $s cancel ${cancels[$s]} ms: still running after $bound s; stacks in stacks-$round-$s.txt" | tee -a "$out/hung"
        $WINE winedbg --command "bt all" >"$out/stacks-$round-$s.txt" 2>&1
        cp -r "$out/slot$s" "$out/hung-$round-$s"
        kill -9 "$pid" 2>/dev/null
        failed=1
      fi
      wait "$pid"; rc=$?
      echo "$round $s ${cancels[$s]} $rc $(( ($(date +%s%N) - starts[s]) / 1000000 ))" >>"$out/times"
      [ "$rc" -eq 0 ] || [ "$rc" -eq 137 ] || { echo "round $round slot $s: hotsync.exe answered $rc" >>"$out/hung"; failed=1; }
    done
  done
  return $failed
}
xvfb-run -a bash -c "$(declare -f rounds prepare tw_winpath); bin='$bin' out='$out' WINE='$WINE' \
  seconds=$seconds bound=$bound; tw_native=(${tw_native[*]}); rounds"
status=$?
touch "$out/stop"
summary_neighbour=$(grep -c 'PASSED' "$out/neighbour.log")
"$TW_WINESERVER" -k 2>/dev/null  # ends the neighbour's run too: the prefix is this run's own
wait "$neighbour_pid"
count=$(wc -l <"$out/times")
slowest=$(sort -k5 -n "$out/times" | tail -1 | awk '{print $5}')
echo "desktops-stress: $count HotSyncs in ${seconds} s beside the neighbour ($summary_neighbour of its runs passed), slowest ${slowest} ms, $( [ -s "$out/hung" ] && wc -l <"$out/hung" || echo 0) past the bound or failed"
exit $status
