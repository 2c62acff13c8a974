#!/usr/bin/env bash
# Checks that the code under src/ keeps no mutable global state: a run's
# state lives in objects the run owns. Every object file of the library and
# the program is searched for storage that can be written after start-up
# (the .data, .bss, .tdata and .tbss sections; constants lie in .rodata and
# .data.rel.ro). What is found must be one of the few entries below, each
# with its reason; anything else fails the check.
#   tools/check_globals.sh BUILD_DIR
set -u
build=$1

# Allowed storage, as the end of the demangled name (a shell pattern), and
# why.
allowed=(
  # Immutable dictionaries: built on first use (thread-safe), never changed.
  'svg_element_name(*)::names'               # SVG element names by lower case
  'svg_attribute_name(*)::names'             # SVG attribute names by lower case
  'lookup_option(*)::table'                  # option names
  'mac_roman_byte(unsigned int)::by_code'     # MacRoman bytes by character
  'options_of(varnel_options const*)::defaults'  # the C interface's default options
  # The record pools: per thread, a cache of the allocator that no
  # document's result depends on.
  'node_pool()::pool'
  'text_pool()::pool'
  'stretch_source()::source'
  'attribute_pool()::pool'
  'block_attribute_pool()::pool'
  'named_pool()::pool'
  # The address space those pools take their blocks from, reserved once
  # per process: where it starts and its size (set before any record
  # exists), and the blocks handed out or given back (under a lock). Like
  # the pools, an allocator's state (src/model/record_region.cpp).
  'record_region_detail::start'
  'record_region_detail::size'
  '::region()::instance'
  # Set once any run declares an element under a built-in name: from then
  # on tag entries are compared by identity as well as by address. It only
  # makes comparisons slower, never changes their answer (model/tags.h).
  'varnel::builtin_names_declared'
  # The program's registry of temporary files for its signal handlers,
  # which can reach nothing else (src/cli/signals.cpp).
  'registry()::instance'
)

# (The instrumented build of the profile-guided optimization, under pgo/,
# holds the counters its training runs write; it is not the program.)
objects=$(find "$build" -path "$build/pgo" -prune -o \( -path '*varnel_objects.dir/*.o' -o -path '*varnel_cli.dir/*.o' \) -print | sort)
[ -n "$objects" ] || { echo "no object files under $build"; exit 2; }

fail=0
count=0
for o in $objects; do
  while IFS= read -r name; do
    name=${name#guard variable for }
    # (What a sanitizer adds beside each global is not the program's.)
    case "$name" in __odr_asan* | __asan* | __tsan* | __ubsan* | __sancov*) continue ;; esac
    count=$((count + 1))
    ok=0
    for pattern in "${allowed[@]}"; do
      # shellcheck disable=SC2053
      if [[ "$name" == *$pattern ]]; then ok=1; break; fi
    done
    if [ $ok -eq 0 ]; then
      echo "${o##*/}: mutable global storage: $name"
      fail=1
    fi
  done < <(objdump -t -C "$o" |
             grep -P '\s\.(bss|data|tbss|tdata)(\.\S+)?\t' |
             grep -vP '\s\.data\.rel\.ro|DW\.ref\.' |
             grep -vP '\s(\.\S+)\t0+ \1$' |
             sed -E 's/^.*\t[0-9a-f]+ +(\.hidden +)?//')
done
[ $fail -eq 0 ] && echo "globals: no mutable global state ($count allowed entries found)"
exit $fail
