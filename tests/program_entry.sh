#!/usr/bin/env bash
# The static x86-64 program enters at varnel_start (src/cli/main.cpp), which
# maps the program's code and constants ahead and then hands on to the C
# library's own entry: the link must have made it the entry point.
#   tests/program_entry.sh PROGRAM
set -u
prog=$1
entry=$(readelf -h "$prog" | awk '/Entry point address:/ { print $4 }')
symbol=$(nm "$prog" | awk '$3 == "varnel_start" { print "0x" $1 }')
if [ -z "$entry" ] || [ -z "$symbol" ] || [ $((entry)) -ne $((symbol)) ]; then
  echo "entry point ${entry:-?}, varnel_start at ${symbol:-?}" >&2
  exit 1
fi
