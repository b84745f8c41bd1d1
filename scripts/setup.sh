#!/usr/bin/env bash
# Installs the build and test tools when they are missing; quiet and quick when all is there.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
need=()
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686)
command -v i686-w64-mingw32-windres >/dev/null || need+=(binutils-mingw-w64-i686)
# The 64-bit test build, which runs on every machine, and its 64-bit wine; the 32-bit wine
# runs the release natively or through the emulator.
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64)
command -v wine >/dev/null || need+=(wine)
[ -x /usr/lib/wine/wine64 ] || need+=(wine64 libwine)
[ -e /usr/lib/wine/wine ] || dpkg -s wine32:i386 >/dev/null 2>&1 || need+=(wine32:i386)
command -v xvfb-run >/dev/null || need+=(xvfb)
command -v xauth >/dev/null || need+=(xauth)
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
[ -d /usr/src/googletest/googletest ] || need+=(googletest)
command -v convert >/dev/null || need+=(imagemagick)
command -v xwd >/dev/null || need+=(x11-apps)
command -v makensis >/dev/null || need+=(nsis)
command -v zip >/dev/null || need+=(zip)
# The Japanese locale's sources: e2e_test_cp932 makes the locale its wine runs in from them.
[ -e /usr/share/i18n/locales/ja_JP ] || need+=(locales)
# The native sanitizer build (clang and its sanitizer runtimes) and the independent reader
# and writer of database files the tests check ours against.
command -v clang++ >/dev/null || need+=(clang)
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.asan-x86_64.a >/dev/null 2>&1 || need+=(libclang-rt-dev)
perl -MPalm::PDB -e 1 2>/dev/null || need+=(libpalm-perl)
# When one architecture's index did not arrive, the other's newer versions leave the
# 32-bit packages no match ("held broken packages"): the release's own versions agree.
release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
install() { DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$@" "${need[@]}" >/dev/null; }
if [ ${#need[@]} -gt 0 ]; then
  echo "setup: installing ${need[*]}"
  dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
  # A mirror caught mid-sync fails one index now and then ("File has unexpected size"):
  # try again, and in the end install from what did arrive; the install itself tells.
  for attempt in 1 2 3 4; do
    $SUDO apt-get update -qq && break
    echo "setup: apt-get update failed (attempt $attempt), trying again"
    sleep $((attempt * 15))
  done
  install || { [ -n "$release" ] && echo "setup: installing from $release's own versions" && install -t "$release"; } || {
    sleep 30; $SUDO apt-get update -qq || true; install || { [ -n "$release" ] && install -t "$release"; }
  }
fi

# Which kind of machine this is, found by starting one 32-bit program. A machine that runs
# no 32-bit code (or TARNWICK_NO32=1) runs the release through the emulator: its package
# and its binfmt entry, registered once per boot.
if [ "$("$here/i386.sh" kind 2>/dev/null)" != native ]; then
  if [ ! -x /usr/bin/qemu-i386-static ]; then
    echo "setup: no 32-bit code runs here; installing qemu-user-static"
    need=(qemu-user-static)
    install || { $SUDO apt-get update -qq || true; install; } ||
      { [ -n "$release" ] && install -t "$release"; }
  fi
  grep -qsx enabled /proc/sys/fs/binfmt_misc/tarnwick-i386 || $SUDO "$here/i386.sh" register
fi
