#!/usr/bin/env bash
# Prepares the wine prefix once and keeps one wineserver running, with wine's own service
# processes started here, detached from the caller's pipes: a test run then costs tens of
# milliseconds per program, and no service holds a test's output open.
set -euo pipefail
: "${WINEPREFIX:?}"
mkdir -p "$WINEPREFIX"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i </dev/null >/dev/null 2>&1 || true
fi
wineserver -p </dev/null >/dev/null 2>&1 || true
if [ ! -f "$WINEPREFIX/.tarnwick-ready" ]; then
  # A crashing test must fail, not wait forever in the crash debugger.
  wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f \
    </dev/null >/dev/null 2>&1 || true
  touch "$WINEPREFIX/.tarnwick-ready"
fi
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
