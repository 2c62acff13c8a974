#!/usr/bin/env bash
# The program linked with its layout (cmake/program_layout.ld) maps, once
# started, the code a run over an ordinary page goes through and little
# else: every page of the core (varnel_lead_start .. varnel_core_end) is
# mapped, and of the code after it, which the kernel maps 64 KiB around
# each page touched, at most two such stretches. The program is stopped where it first waits
# for input, its start-up done; the pages it has mapped are read from
# /proc/PID/pagemap.
#   tests/program_layout.sh PROGRAM
set -u
prog=$1
page=4096
lead_start=$(nm "$prog" | awk '$3 == "varnel_lead_start" { print "0x" $1 }')
core_end=$(nm "$prog" | awk '$3 == "varnel_core_end" { print "0x" $1 }')
if [ -z "$lead_start" ] || [ -z "$core_end" ]; then
  echo "the program has no core part (varnel_lead_start ${lead_start:-?}, varnel_core_end ${core_end:-?})" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/varnel-layout.XXXXXX")
pid=
cleanup() {
  exec 3>&- 2>/dev/null
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkfifo "$work/in"
HTML_VARNEL=/dev/null "$prog" -q < "$work/in" > /dev/null 2>&1 &
pid=$!
exec 3> "$work/in"
# Wait for the program to wait for its input (its code mapped by then).
for _ in $(seq 1 200); do
  [ "$(awk '{ print $3 }' "/proc/$pid/stat" 2>/dev/null)" = S ] &&
    grep -q "r-xp.*$(basename "$prog")" "/proc/$pid/maps" 2>/dev/null && break
  sleep 0.02
done

# The mapping of the program's code, and the present bit of each of its pages.
range=$(awk -v p="$(readlink -f "$prog")" '$2 ~ /^r-x/ && $6 == p { print $1; exit }' "/proc/$pid/maps")
if [ -z "$range" ]; then
  echo "no code mapping of $prog in /proc/$pid/maps" >&2
  exit 1
fi
code_start=$((0x${range%-*}))
code_end=$((0x${range#*-}))
pages=$(((code_end - code_start) / page))
# (Bit 63 of each entry, "present": the high bit of its last byte.)
present=$(dd if="/proc/$pid/pagemap" bs=8 skip=$((code_start / page)) count=$pages 2>/dev/null |
  od -An -v -tx1 -w8 | awk '{ print (substr($8, 1, 1) ~ /[89a-f]/) ? 1 : 0 }')
[ "$(printf '%s\n' "$present" | wc -l)" -eq "$pages" ] || {
  echo "cannot read /proc/$pid/pagemap: skipped"
  exit 0
}

first_core=$(((lead_start - code_start) / page))
last_core=$(((core_end - 1 - code_start) / page))
read -r core_mapped core_pages other_mapped other_pages < <(printf '%s\n' "$present" |
  awk -v a="$first_core" -v b="$last_core" '
    { if (NR - 1 >= a && NR - 1 <= b) { lp++; lm += $1 } else { op++; om += $1 } }
    END { print lm + 0, lp + 0, om + 0, op + 0 }')
echo "core: $core_mapped of $core_pages pages mapped; the rest of the code: $other_mapped of $other_pages"
fails=0
# (Mapping ahead needs Linux 5.14.)
IFS=. read -r major minor _ <<< "$(uname -r)"
if [ "$major" -gt 5 ] || { [ "$major" -eq 5 ] && [ "${minor%%[!0-9]*}" -ge 14 ]; }; then
  [ "$core_mapped" -eq "$core_pages" ] || { echo "not every page of the core is mapped" >&2; fails=1; }
fi
[ "$other_mapped" -le 32 ] || { echo "more than two 64 KiB stretches of the rest are mapped" >&2; fails=1; }
[ "$other_pages" -gt 0 ] || { echo "the core is the whole of the code" >&2; fails=1; }
exit $fails
