#!/usr/bin/env bash
# The static x86-64 program enters at varnel_start (src/cli/main.cpp), which
# hides the vDSO and maps the program's code and constants ahead and then
# hands on to the C library's own entry: the link must have made it the
# entry point. Built with GCC, the temporary-file registry (a megabyte of
# zeroed data that only write-backs touch, src/cli/signals.cpp) must lie
# after every other object of zeroed data, so that the pages a run writes
# there lie together.
#   tests/program_entry.sh PROGRAM COMPILER-ID
set -u
prog=$1
compiler=${2:-}
entry=$(readelf -h "$prog" | awk '/Entry point address:/ { print $4 }')
symbol=$(nm "$prog" | awk '$3 == "varnel_start" { print "0x" $1 }')
if [ -z "$entry" ] || [ -z "$symbol" ] || [ $((entry)) -ne $((symbol)) ]; then
  echo "entry point ${entry:-?}, varnel_start at ${symbol:-?}" >&2
  exit 1
fi
[ "$compiler" = GNU ] || exit 0
# The zeroed objects (nm's b and B, less the linker's mark of their end) by
# address: the registry's instance must come last.
last=$(nm -n "$prog" | awk '($2 == "b" || $2 == "B") && $3 != "_end" { name = $3 } END { print name }')
registry=$(nm "$prog" | awk '$3 ~ /^_ZZN.*registryEvE8instance$/ { print $3 }')
if [ -z "$registry" ] || [ "$last" != "$registry" ]; then
  echo "last zeroed object ${last:-?}, registry ${registry:-?}" >&2
  exit 1
fi
