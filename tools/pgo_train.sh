#!/usr/bin/env bash
# The training runs of the profile-guided build (cmake/pgo.cmake): runs the
# instrumented program over every golden case (with the case's arguments,
# through the case runner; whether a case passes does not matter here) and
# over 2 MB of generated tag soup and of prose (seeded apart from the
# benchmark's), with and without -clean.
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
# A profile with no counts would build the program as if nothing ran.
if ! ls "$profile"/*.gcda >/dev/null 2>&1; then
  echo "pgo_train.sh: the training runs wrote no profile into $profile" >&2
  exit 1
fi
exit 0
