#!/usr/bin/env bash
# Re-opened inline elements cannot multiply a page: sixty unclosed font
# elements of two hundred attributes each, followed by three thousand
# paragraphs, once printed more than 500 MB from 180 KB. The output must stay
# within a small multiple of the input, every paragraph's word must still be
# there, and the run must say that re-opening stopped.
set -u
prog=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/varnel-reopen.XXXXXX")
trap 'rm -rf "$work"' EXIT

attrs=$(for i in $(seq 0 199); do printf 'data%d="v%d" ' "$i" "$i"; done)
{
  printf '<title>t</title>\n'
  for _ in $(seq 60); do printf '<font %s>' "$attrs"; done
  for i in $(seq 3000); do printf '<p>word%d\n' "$i"; done
} > "$work/in.html"
: > "$work/empty"

HTML_VARNEL="$work/empty" "$prog" -q "$work/in.html" > "$work/out.html" 2> "$work/err"
status=$?
fail=0
in_size=$(stat -c %s "$work/in.html")
out_size=$(stat -c %s "$work/out.html")
if [ "$status" -ne 1 ]; then echo "exit status $status, expected 1 (warnings)"; fail=1; fi
if [ "$out_size" -gt $((in_size * 12)) ]; then
  echo "output of $out_size bytes from $in_size bytes of input"; fail=1
fi
if ! grep -q 'Warning: too much markup to re-open' "$work/err"; then
  echo "no warning that re-opening stopped"; fail=1
fi
words=$(grep -o 'word[0-9]*' "$work/out.html" | tr '\n' ' ')
want=$(seq 3000 | sed 's/^/word/' | tr '\n' ' ')
if [ "$words" != "$want" ]; then echo "paragraph words lost or out of order"; fail=1; fi
exit $fail
