#!/usr/bin/env bash
# How this machine runs 32-bit x86 programs, which the release (and wine's 32-bit loader) is.
#   scripts/i386.sh kind      prints "native" when the machine runs them itself, "emulated"
#                             when only the emulator entry registered here runs them, and
#                             "none" when neither (a line on stderr says why)
#   scripts/i386.sh register  registers that entry (root; needs qemu-user-static)
#   scripts/i386.sh native COMMAND...
#                             runs COMMAND with every enabled i386 entry switched off, and
#                             switches them on again after it: on a machine that runs 32-bit
#                             code, a registered entry would otherwise take every 32-bit
#                             program (the release's whole suite, the bench) into the emulator
# TARNWICK_NO32=1 takes any machine for one without 32-bit code, so that path can be tried
# on either kind. A registered i386 entry answers a 32-bit program started to find out as if
# the machine ran it, and it outlives the run that registered it: the test starts its
# program with every enabled i386 entry switched off for that moment.
set -uo pipefail
binfmt=/proc/sys/fs/binfmt_misc
wrapper=/usr/local/libexec/tarnwick-qemu-i386
entry=$binfmt/tarnwick-i386
probe=/lib/ld-linux.so.2   # the 32-bit loader of libc6:i386, which wine32 brings

i386_entries() {
  local e magic
  for e in "$binfmt"/*; do
    case ${e##*/} in register|status) continue ;; esac
    [ -f "$e" ] && grep -qx enabled "$e" 2>/dev/null || continue
    magic=$(sed -n 's/^magic //p' "$e")
    # An ELF header for 32-bit little-endian (7f 45 4c 46 01 01) machine 3 (i386).
    case $magic in 7f454c460101*0300) echo "$e" ;; esac
  done
}

# Runs "$@" with every enabled i386 entry switched off, and switches them on again after it,
# also when it is interrupted. Answers its exit code, or 1 when the entries cannot be
# switched (not root).
with_entries_off() {
  local off=() e rc
  mapfile -t off < <(i386_entries)
  if [ ${#off[@]} -gt 0 ] && [ ! -w "${off[0]}" ]; then
    echo "i386: cannot switch off the emulator entries (not root)" >&2; return 1
  fi
  trap 'for e in "${off[@]}"; do echo 1 > "$e"; done' EXIT INT TERM
  for e in "${off[@]}"; do echo 0 > "$e"; done
  "$@"; rc=$?
  for e in "${off[@]}"; do echo 1 > "$e"; done
  trap - EXIT INT TERM
  return $rc
}

runs_natively() {
  local rc
  [ -x "$probe" ] || { echo "i386: $probe is missing, nothing 32-bit to start" >&2; return 1; }
  with_entries_off "$probe" --version >/dev/null 2>&1; rc=$?
  [ $rc = 0 ] || echo "i386: $probe --version fails here (exit $rc): no 32-bit user mode" >&2
  return $rc
}

case "${1:-}" in
  native)
    shift
    with_entries_off "$@" ;;
  kind)
    if [ "${TARNWICK_NO32:-}" = 1 ]; then
      echo "i386: TARNWICK_NO32=1 takes this machine for one without 32-bit code" >&2
    elif runs_natively; then
      echo native; exit 0
    fi
    if [ -f "$entry" ] && grep -qx enabled "$entry" && "$probe" --version >/dev/null 2>&1; then
      echo emulated
    else
      echo none
    fi ;;
  register)
    [ -x /usr/bin/qemu-i386-static ] || { echo "i386: qemu-user-static is not installed" >&2; exit 1; }
    [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" ||
      { echo "i386: cannot mount binfmt_misc" >&2; exit 1; }
    mkdir -p "${wrapper%/*}"
    # Without a bound on the guest's address space, qemu scans all of it at each of the
    # tens of thousands of reservations wine makes: about a minute of CPU per program start.
    # An entry without the F flag finds this script at each start, so the variable reaches
    # every 32-bit program, the ones wine starts too.
    cat > "$wrapper.new" <<'WRAP'
#!/bin/sh
QEMU_RESERVED_VA=0x81000000 exec /usr/bin/qemu-i386-static "$@"
WRAP
    chmod 755 "$wrapper.new" && mv "$wrapper.new" "$wrapper"
    # Registered anew each time: the newest entry is asked first, so ours runs before any
    # other i386 entry registered since.
    [ -f "$entry" ] && echo -1 > "$entry"
    echo ":tarnwick-i386:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$wrapper:" \
      > "$binfmt/register" || { echo "i386: cannot register the emulator entry" >&2; exit 1; } ;;
  *) echo "usage: scripts/i386.sh kind|register|native COMMAND..." >&2; exit 2 ;;
esac
