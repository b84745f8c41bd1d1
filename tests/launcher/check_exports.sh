#!/usr/bin/env bash
# Checks that an installation-time DLL exports exactly the given names and imports
# nothing but system DLLs (a DLL that needed the C++ runtime or a HotSync library would
# fail to load on a machine without them).
# Usage: check_exports.sh OBJDUMP DLL NAME...
set -euo pipefail
objdump=$1 dll=$2
shift 2
dump=$("$objdump" -p "$dll")

exported=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^[[:space:]]*$/p' <<<"$dump" |
  sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort)
expected=$(printf '%s\n' "$@" | sort)
status=0
if [ "$exported" != "$expected" ]; then
  echo "$(basename "$dll") exports:"; printf '  %s\n' $exported
  echo "expected exactly:"; printf '  %s\n' $expected
  status=1
fi

# Exports by ordinal only would not show in the name table; count them as well.
count=$(awk '/^Number in:/ { getline; if (!done && $0 ~ /Export Address Table/) print $NF; done = 1 }' <<<"$dump")
if [ -n "$count" ] && [ "$((16#$count))" -ne "$#" ]; then
  echo "$(basename "$dll") has $((16#$count)) exported addresses, expected $#"
  status=1
fi

while read -r name; do
  [ -n "$name" ] || continue
  case "${name,,}" in
    kernel32.dll|user32.dll|advapi32.dll|ntdll.dll|msvcrt.dll|ucrtbase.dll|api-ms-win-*.dll) ;;
    *) echo "$(basename "$dll") imports non-system DLL $name"; status=1 ;;
  esac
done < <(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' <<<"$dump")

[ "$status" -eq 0 ] && echo "$(basename "$dll"): exports and imports as expected"
exit "$status"
