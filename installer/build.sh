#!/usr/bin/env bash
# Builds the setup program and the zip for manual installation from the built DLLs:
#   installer/build.sh <folder with Tarnwick.dll, Detach.dll, Kickoff.dll> <output folder>
# makensis reads the version from Tarnwick.dll's version resource and names the setup
# Tarnwick-<version>-setup.exe; the zip takes the version from that name, so the version
# is read in one place. The DLLs are shipped stripped of their debugging symbols. Earlier
# packages in the output folder are removed first. TARNWICK_ARCH=x86_64 packages the 64-bit
# test build (a 64-bit setup the tests run against the 64-bit stand-ins); what ships is i686.
set -euo pipefail
arch=${TARNWICK_ARCH:-i686}
nsis_target=()
[ "$arch" = x86_64 ] && nsis_target=(-DTARGET=amd64-unicode)
bin=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
files=(Tarnwick.dll Detach.dll Kickoff.dll)
stage=$out/.stage
rm -rf "$stage" "$out"/Tarnwick-*-setup.exe "$out"/Tarnwick-*.zip
mkdir -p "$stage"
for f in "${files[@]}"; do
  [ -f "$bin/$f" ] || { echo "installer: $bin/$f is missing" >&2; exit 1; }
  "${STRIP:-$arch-w64-mingw32-strip}" -o "$stage/$f" "$bin/$f"
done
makensis -V2 -NOCD "${nsis_target[@]}" -DBIN="$stage" -DOUT="$out" "$here/Tarnwick.nsi" >/dev/null
setup=$(ls "$out"/Tarnwick-*-setup.exe)
version=${setup##*/Tarnwick-}
version=${version%-setup.exe}
(cd "$stage" && zip -q -X -j "$out/Tarnwick-$version.zip" "${files[@]}")
rm -rf "$stage"
echo "installer: $setup"
echo "installer: $out/Tarnwick-$version.zip"
