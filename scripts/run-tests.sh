#!/usr/bin/env bash
# Runs every test suite of one build under the display xvfb-run gave us:
#   scripts/run-tests.sh win32|win64 BUILD-DIR [ctest arguments]
# Wine's desktop process binds to the display of whoever started it first and lives as long
# as the wineserver, so the server is restarted here under this display and stopped again
# afterwards: a server left from an earlier run (or started without a display) would make
# every window test fail.
set -uo pipefail
mode=$1 build=$2; shift 2
. "$(dirname "$0")/wine-env.sh" "$mode"
"$TW_WINESERVER" -k >/dev/null 2>&1 || true
"$(dirname "$0")/wine-up.sh" "$mode" || exit 1
# Two suites at a time, on the two cores; those marked RUN_SERIAL run alone. (When two
# builds' suites run side by side, each on a display and prefix of its own, each runs one
# at a time: TARNWICK_CTEST_PARALLEL=1.)
ctest --test-dir "$build" --output-on-failure --parallel "${TARNWICK_CTEST_PARALLEL:-2}" "$@"
rc=$?
"$TW_WINESERVER" -k >/dev/null 2>&1 || true
exit $rc
