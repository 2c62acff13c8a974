#!/usr/bin/env bash
# Runs an example program (the command after the expected-output file) and
# compares what it prints with the expected output, byte for byte.
set -u
expected=$1
shift
actual=$(mktemp "${TMPDIR:-/tmp}/varnel-example.XXXXXX")
trap 'rm -f "$actual"' EXIT
"$@" > "$actual"
status=$?
if [ $status -ne 0 ]; then
  echo "$*: exit status $status"
  exit 1
fi
if ! cmp -s "$expected" "$actual"; then
  echo "$*: output differs (expected vs actual)"
  diff -u "$expected" "$actual" | head -40
  exit 1
fi
