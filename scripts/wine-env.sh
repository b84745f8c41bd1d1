# Sourced: `. scripts/wine-env.sh MODE` points wine at the build a script runs.
#   win32   the 32-bit release on a machine that runs 32-bit code: Debian's wine, a 32-bit
#           prefix in build/wineprefix
#   win64   the 64-bit test build: the 64-bit loader and server called by their own paths
#           (the wine wrapper prefers the 32-bit loader whenever it is installed, and a link
#           named wine to wine64 hands 64-bit programs to it), a prefix in build/wineprefix64
#   emu32   the 32-bit release where 32-bit code runs only through the emulator: the 32-bit
#           loader (started through the registered i386 entry) in that same 64-bit prefix,
#           which holds the 32-bit system too, with the native 64-bit server
# Sets WINEPREFIX (TARNWICK_WINEPREFIX, when set, names another), WINE (the loader to start
# programs with), TW_WINESERVER (the server to start and stop) and TW_WINE_MODE; WINESERVER
# too where the loader must not pick its own. Defines tw_native, the words to put before a
# command of the release that must run natively (an i386 emulator entry left registered
# would take it: scripts/i386.sh native), and tw_winpath, a host path as wine names it.
tw_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
case "${1:?wine-env.sh: win32, win64 or emu32}" in
  win32) export WINEPREFIX=$tw_root/build/wineprefix WINE=wine TW_WINESERVER=wineserver
         unset WINESERVER ;;
  win64) export WINEPREFIX=$tw_root/build/wineprefix64 WINE=/usr/lib/wine/wine64 \
                TW_WINESERVER=/usr/lib/wine/wineserver64 WINESERVER=/usr/lib/wine/wineserver64 ;;
  emu32) export WINEPREFIX=$tw_root/build/wineprefix64 WINE=/usr/lib/wine/wine \
                TW_WINESERVER=/usr/lib/wine/wineserver64 WINESERVER=/usr/lib/wine/wineserver64 ;;
  *) echo "wine-env.sh: unknown mode $1" >&2; return 2 ;;
esac
export TW_WINE_MODE=$1
tw_native=()
[ "$1" = win32 ] && tw_native=("$tw_root/scripts/i386.sh" native)
tw_winpath() { local p=${1//\//\\}; echo "Z:$p"; }  # wine maps the whole tree to drive Z:
# Another prefix for one run (two runs of one build side by side, say).
[ -n "${TARNWICK_WINEPREFIX:-}" ] && export WINEPREFIX=$TARNWICK_WINEPREFIX
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
