#!/usr/bin/env bash
# The real-page benchmark's quick mode (a few golden inputs instead of the
# Debian pages) runs, reports both programs' times, and keeps checksums of
# what varnel printed that a later run can be compared against: a kept file
# matches an unchanged run, and a changed output or input is named.
#
# usage: tests/bench_checksums.sh path/to/varnel
set -u
varnel=$1
top=$(cd "$(dirname "$0")/.." && pwd)
bench=$top/bench/real_pages
work=$(mktemp -d "${TMPDIR:-/tmp}/varnel-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export VARNEL_BENCH_BUILD=${VARNEL_BENCH_BUILD:-$work}
fail=0
check() { # description, then a command that must succeed
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; fail=1; fi
}

/usr/bin/python3 "$bench" --quick --varnel "$varnel" --checksums-out "$work/kept.tsv" \
  > "$work/first.txt" 2>&1
status=$?
cat "$work/first.txt"
check "quick run succeeds" test "$status" -eq 0
check "varnel's time and throughput are reported" \
  grep -Eq '^  varnel -q +[0-9]+\.[0-9]+ +[0-9]+\.[0-9]+ ' "$work/first.txt"
if command -v xmllint >/dev/null; then
  check "xmllint's time and the ratio are reported" \
    grep -Eq '^  varnel needs [0-9.]+ of xmllint.s CPU time' "$work/first.txt"
fi

# Two builds compared interleaved (here the same program twice, over two
# rounds): each one's time, and the ratio of the two in every round. The
# copies the bench measures are gone when it ends.
mkdir "$work/scratch"
TMPDIR=$work/scratch /usr/bin/python3 "$bench" --quick --runs 2 --varnel "$varnel" \
  --against "$varnel" > "$work/against.txt" 2>&1
status=$?
cat "$work/against.txt"
check "a comparison of two builds succeeds" test "$status" -eq 0
check "the bench leaves no copy of the programs behind" \
  test -z "$(ls -A "$work/scratch")"
check "both builds' times are reported" \
  test "$(grep -Ec '^  varnel -q \(.*\) +[0-9]+\.[0-9]+ s' "$work/against.txt")" -eq 2
check "the ratio of the two builds is given for each of the two rounds" \
  grep -Eq '^  the first against the second: [0-9.]+ \(per round: [0-9.]+ [0-9.]+; median [0-9.]+\)$' \
  "$work/against.txt"

# One row per page named in the header line, then the total.
pages=$(sed -n 's/^pages: \([0-9]*\) pages.*/\1/p' "$work/first.txt")
rows=$(grep -vc -e '^#' -e '^total' "$work/kept.tsv")
check "the checksum file has a row for each of the $pages pages" test "$rows" = "$pages"
check "at least five pages are measured" test "${pages:-0}" -ge 5

# A row holds the checksums of the page, of what varnel prints for it and
# of its messages, and the exit status, as the shell computes them.
IFS=$'\t' read -r key input status out err < <(sed -n 2p "$work/kept.tsv")
page=$top/$key
HTML_VARNEL=/dev/null "$varnel" -q "$page" > "$work/out" 2> "$work/err"
real_status=$?
check "a row names an input page" test -f "$page"
check "input checksum of $key" test "$input" = "$(sha256sum < "$page" | cut -d' ' -f1)"
check "output checksum of $key" test "$out" = "$(sha256sum < "$work/out" | cut -d' ' -f1)"
check "messages checksum of $key" test "$err" = "$(sha256sum < "$work/err" | cut -d' ' -f1)"
check "exit status of $key" test "$status" = "$real_status"

# An unchanged run matches the kept checksums.
/usr/bin/python3 "$bench" --quick --checksums-only --varnel "$varnel" \
  --checksums-in "$work/kept.tsv" > "$work/same.txt" 2>&1
status=$?
cat "$work/same.txt"
check "an unchanged run compares equal" test "$status" -eq 0
check "every page is the same" \
  grep -q "^checksums against .*: $pages same, 0 differ" "$work/same.txt"

# A kept file whose output checksum differs for one page and whose input
# checksum differs for another: the first is named and the run fails, the
# second is not compared.
second=$(sed -n 3p "$work/kept.tsv" | cut -f1)
awk -F'\t' -v OFS='\t' '
  function flip(h) { return (substr(h, 1, 1) == "0" ? "1" : "0") substr(h, 2) }
  NR == 2 { $4 = flip($4) } NR == 3 { $2 = flip($2) } { print }' \
  "$work/kept.tsv" > "$work/changed.tsv"
/usr/bin/python3 "$bench" --quick --checksums-only --varnel "$varnel" \
  --checksums-in "$work/changed.tsv" > "$work/changed.txt" 2>&1
status=$?
cat "$work/changed.txt"
check "a changed output fails the comparison" test "$status" -eq 1
check "the changed page is named" grep -qF "  differs: $key (output)" "$work/changed.txt"
check "the page with another input is counted apart" \
  grep -q "^checksums against .*: $((pages - 2)) same, 1 differ, 1 with another input" \
  "$work/changed.txt"
check "the page with another input is named" grep -qF "  input changed: $second" \
  "$work/changed.txt"

[ $fail -eq 0 ] && echo "bench checksums: all checks passed"
exit $fail
