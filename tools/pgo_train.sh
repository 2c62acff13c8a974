#!/usr/bin/env bash
# The training runs of the profile-guided build (cmake/pgo.cmake): runs the
# instrumented program over every golden case (with the case's arguments,
# through the case runner; whether a case passes does not matter here),
# over 2 MB of generated tag soup and of prose (seeded apart from the
# benchmark's), with and without -clean, and over many small pages of both.
# The profile directory is emptied first, so that counts from an older
# build never mix in.
#
# usage: pgo_train.sh INSTRUMENTED-VARNEL PROFILE-DIR SOURCE-DIR GEN-SOUP GEN-PROSE
set -u
prog=$1 profile=$2 top=$3 gen_soup=$4 gen_prose=$5
rm -rf "$profile"
mkdir -p "$profile"
work=$(mktemp -d "${TMPDIR:-/tmp}/varnel-pgo.XXXXXX")
trap 'rm -rf "$work"' EXIT

printf '%s\0' "$top"/tests/cases/*/ |
  xargs -0 -P "${JOBS:-2}" -n 16 bash -c 'for d; do bash "$0" "'"$prog"'" "$d" >/dev/null 2>&1; done' \
    "$top/tests/run_case.sh"

# (Seeded apart from the benchmark's pages: the same kind of page, other
# bytes, so that the benchmark measures pages the training never saw.)
"$gen_soup" 2000000 17 > "$work/soup.html"
"$gen_prose" 2000000 17 > "$work/prose.html"
export HTML_VARNEL=/dev/null
for page in "$work/soup.html" "$work/prose.html" "$top"/examples/*.html; do
  "$prog" -q "$page" >/dev/null 2>&1
  "$prog" -q -clean "$page" >/dev/null 2>&1
done
# Most pages are small, and a run over one spends much of its time in
# what every document goes through once (reading the options and the
# file, choosing the encoding, the doctype, the summary). The large pages
# alone weigh those paths too little: 60 pages of 30 KB of each kind made
# the real pages of the benchmark 7% faster, as much as training on a
# tenth of those pages did (a generator of pages shaped like generated
# documentation added nothing more).
for seed in $(seq 101 160); do
  for gen in "$gen_soup" "$gen_prose"; do
    "$gen" 30000 "$seed" > "$work/small.html"
    "$prog" -q "$work/small.html" >/dev/null 2>&1
  done
done
# A profile with no counts would build the program as if nothing ran.
if ! ls "$profile"/*.gcda >/dev/null 2>&1; then
  echo "pgo_train.sh: the training runs wrote no profile into $profile" >&2
  exit 1
fi
exit 0
