#!/usr/bin/env bash
# Prepares a wine prefix once and keeps one wineserver running, with wine's own service
# processes started here, detached from the caller's pipes: a test run then costs tens of
# milliseconds per program, and no service holds a test's output open.
#   scripts/wine-up.sh [win32|win64|emu32]   (default: win32; see wine-env.sh)
set -euo pipefail
. "$(dirname "$0")/wine-env.sh" "${1:-${TW_WINE_MODE:-win32}}"
mkdir -p "$WINEPREFIX"
# The prefix is made and prepared by a native loader: the 64-bit prefix by the 64-bit one,
# so that it holds both systems and no step of it runs through the emulator.
prep=$WINE
[ "$TW_WINE_MODE" = emu32 ] && prep=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$prep" wineboot.exe -i </dev/null >/dev/null 2>&1 || true
fi
"$TW_WINESERVER" -p </dev/null >/dev/null 2>&1 || true
if [ ! -f "$WINEPREFIX/.tarnwick-ready" ]; then
  # A crashing test must fail, not wait forever in the crash debugger (the 32-bit programs
  # of a 64-bit prefix read the key under Wow6432Node).
  for key in 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
             'HKLM\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\AeDebug'; do
    "$prep" reg delete "$key" /v Debugger /f </dev/null >/dev/null 2>&1 || true
  done
  touch "$WINEPREFIX/.tarnwick-ready"
fi
# This first program starts wine's services (winedevice, plugplay, ...), which live as long
# as the persistent server. Started here they hold none of our pipes; left to the first
# test program, they would inherit CTest's output pipe and CTest would wait for them until
# its time bound, after a suite that passed. So a loader that cannot start a program here
# (the 32-bit one on a machine without 32-bit code) stops the run.
if ! "$prep" cmd /c exit </dev/null >/dev/null 2>&1; then
  echo "wine-up: $prep cannot start a program in $WINEPREFIX" >&2
  exit 1
fi
