#!/bin/sh
# Checks Tarnwick.dll as HotSync loads it: PE32 for i386, exactly the six conduit exports
# under undecorated names, and imports from the four HotSync libraries (ordinal-only calls
# by ordinal) and system DLLs only - no C/C++ runtime or thread library DLLs. The 64-bit
# test build passes its own format (pei-x86-64) as the third argument; the release is i386.
dll="$1"
objdump="${2:-i686-w64-mingw32-objdump}"
format="${3:-pei-i386}"
fail() { echo "FAIL: $*"; exit 1; }

headers=$("$objdump" -f "$dll") || fail "cannot read $dll"
echo "$headers" | grep -q "file format $format\$" || fail "not $format: $headers"

dump=$("$objdump" -p "$dll") || fail "objdump -p"

exports=$(echo "$dump" | awk '/^\[Ordinal\/Name Pointer\] Table/ {t=1; next} t && /^[[:space:]]*\[/ {print $NF; next} t {t=0}' | sort | tr '\n' ' ')
expected="CfgConduit ConfigureConduit GetConduitInfo GetConduitName GetConduitVersion OpenConduit "
[ "$exports" = "$expected" ] || fail "exports are '$exports', expected '$expected'"

dlls=$(echo "$dump" | sed -n 's/^\s*DLL Name: //p' | sort -u)
for d in $dlls; do
  case "$(echo "$d" | tr 'A-Z' 'a-z')" in
    sync20.dll|hslog20.dll|condmgr.dll|userdata.dll) ;;
    kernel32.dll|user32.dll|gdi32.dll|comctl32.dll|shell32.dll|advapi32.dll|msvcrt.dll|ole32.dll|version.dll) ;;
    api-ms-win-*) ;;
    *) fail "unexpected import library $d" ;;
  esac
done
# The common controls load with the conduit, before any thread of ours runs: loaded first
# by the progress window's thread, they could hang the HotSync (see conduit/CommonControls.h).
echo "$dlls" | grep -qix "comctl32.dll" || fail "does not import COMCTL32.DLL"
for d in SYNC20.dll HSLOG20.dll CONDMGR.dll UserData.dll; do
  echo "$dlls" | grep -qx "$d" || fail "does not import $d"
done

# The ordinal-only calls must be imported by ordinal, not by a name of ours.
section() { echo "$dump" | awk -v dll="$1" '$0 ~ "DLL Name: " dll {t=1; next} t && /DLL Name:/ {t=0} t'; }
# objdump lists an ordinal import as "<8000xxxx> <ordinal> <none>"; for PE32+ it gives the
# ordinal in hexadecimal, nine digits.
byordinal() { section "$1" | awk -v o="$2" '$1 ~ /^8000/ && ($2 == o || $2 == sprintf("%09x", o)) && $3 == "<none>" {f=1} END {exit !f}'; }
byordinal HSLOG20.dll 52 || fail "HSLOG20.dll: log call not imported by ordinal 52"
byordinal SYNC20.dll 22 || fail "SYNC20.dll: registration not imported by ordinal 22"
byordinal SYNC20.dll 23 || fail "SYNC20.dll: unregistration not imported by ordinal 23"
for name in HsLogAddLine SmRegisterConduit SmUnregisterConduit SmDeleteDb CmConduitCount UdUserByFolder; do
  if echo "$dump" | grep -q "$name"; then fail "$name imported by name"; fi
done
echo "Tarnwick.dll layout OK: $exports"
