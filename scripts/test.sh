#!/usr/bin/env bash
# make test: the same meaning on every machine.
#   1. the OS-free code natively, under the sanitizers;
#   2. the 64-bit build's whole suite under 64-bit wine (every machine runs it);
#   3. the 32-bit release's whole suite where the machine runs 32-bit code (beside the
#      64-bit one, each suite one at a time on a display and prefix of its own: the two
#      cores then stay busy through the suites that must run alone); where it cannot,
#      the release's checks that need no wine (its DLLs' layout and exports) and a smoke run
#      through the emulator, with one line saying that the whole suite did not run, and why.
# Arguments go to every CTest run (e.g. -R cancel). The last line adds up all of them.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
log=$(mktemp "${TMPDIR:-/tmp}/tarnwick-test.XXXXXX")
trap 'rm -f "$log"' EXIT
rc=0
display=(xvfb-run -a -s "-screen 0 1024x768x24")
counted() {  # counted EXIT OUTPUT-FILE WHAT: adds a step's output to the count
  cat "$2" >> "$log"
  [ "$1" = 0 ] && return
  rc=1
  # A step that failed before any test ran (its wine could not start, say) counts as one.
  grep -qE 'tests passed, |^smoke32: [0-9]+ passed' "$2" ||
    echo "test: failed before its tests ran: $3" | tee -a "$log"
}
step() {  # step COMMAND...: output shown and kept for the count
  local out; out=$(mktemp "${TMPDIR:-/tmp}/tarnwick-step.XXXXXX")
  "$@" 2>&1 | tee "$out"
  counted "${PIPESTATUS[0]}" "$out" "$*"
  rm -f "$out"
}
step ctest --test-dir "$root/build/native" --output-on-failure "$@"
kind=$("$here/i386.sh" kind 2>"$log.why")
why=$(<"$log.why"); rm -f "$log.why"
if [ "$kind" = native ]; then
  log32=$(mktemp "${TMPDIR:-/tmp}/tarnwick-test32.XXXXXX")
  export TARNWICK_CTEST_PARALLEL=1
  "$here/i386.sh" native "${display[@]}" "$here/run-tests.sh" win32 \
    "$root/build/win32" "$@" > "$log32" 2>&1 &
  pid32=$!
  # xvfb-run -a takes the first display without a lock file: two started at one moment
  # could pick the same.
  sleep 5
fi
step "${display[@]}" "$here/run-tests.sh" win64 "$root/build/win64" "$@"
case $kind in
  native)
    wait $pid32; rc32=$?
    echo "test: the 32-bit release's whole suite, run beside the 64-bit one:"
    cat "$log32"
    counted $rc32 "$log32" "the 32-bit release's whole suite"
    rm -f "$log32" ;;
  emulated)
    step ctest --test-dir "$root/build/win32" --output-on-failure -L nowine "$@"
    step "${display[@]}" "$here/smoke32.sh" "$root/build/win32"
    echo "test: the 32-bit release's whole suite did not run: ${why#i386: }; its checks without wine and a smoke run through the emulator did" ;;
  *)
    echo "test: the 32-bit release cannot run here, not even through the emulator: ${why#i386: } (run scripts/setup.sh as root)"
    rc=1 ;;
esac
# CTest's summaries ("100% tests passed, 0 tests failed out of 20") and the smoke run's.
read -r passed failed < <(awk '
  /tests passed, [0-9]+ tests? failed out of [0-9]+/ { f = $4; p += $NF - f; q += f }
  /^smoke32: [0-9]+ passed, [0-9]+ failed$/ { p += $2; q += $4 }
  /^test: failed before its tests ran: / { q += 1 }
  END { print p + 0, q + 0 }' "$log")
echo "test: $passed passed, $failed failed"
exit $rc
