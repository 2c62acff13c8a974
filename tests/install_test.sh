#!/usr/bin/env bash
# Installs the build tree into a scratch prefix with "cmake --install", then
# builds the C++ example against the installed library as a user would,
# through pkg-config, and runs it and the Python example on the installed
# shared library; both must print the expected output.
#   tests/install_test.sh BUILD_DIR SOURCE_DIR
set -u
build=$1
top=$2
prefix=$(mktemp -d "${TMPDIR:-/tmp}/varnel-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
fail=0

cmake --install "$build" --prefix "$prefix" > "$prefix/install.log" 2>&1 \
  || { echo "cmake --install failed:"; cat "$prefix/install.log"; exit 1; }
for f in bin/varnel include/varnel/varnel.h include/varnel/varnel_c.h include/varnel/diagnostic.h; do
  [ -e "$prefix/$f" ] || { echo "not installed: $f"; fail=1; }
done
libdir=$(dirname "$(find "$prefix" -name varnel.pc | head -1)")
libdir=${libdir%/pkgconfig}
for f in libvarnel.a libvarnel.so; do
  [ -e "$libdir/$f" ] || { echo "not installed: $f"; fail=1; }
done

export PKG_CONFIG_PATH="$libdir/pkgconfig"
flags=$(pkg-config --cflags --libs varnel) || { echo "pkg-config does not know varnel"; exit 1; }
case "$flags" in
  *"-I$prefix/"*) ;;
  *) echo "pkg-config flags do not point into the prefix: $flags"; fail=1 ;;
esac
# shellcheck disable=SC2086
c++ -std=c++20 -o "$prefix/repair_page" "$top/examples/cpp/repair_page.cpp" $flags \
  || { echo "the example does not build against the installed library"; exit 1; }
LD_LIBRARY_PATH="$libdir" bash "$top/tests/run_example.sh" "$top/examples/repair_page.expected" \
  "$prefix/repair_page" || fail=1
# The example links the installed shared library, not the build tree's.
LD_LIBRARY_PATH="$libdir" ldd "$prefix/repair_page" | grep -q "$libdir/libvarnel.so" \
  || { echo "the example does not load the installed library"; fail=1; }
bash "$top/tests/run_example.sh" "$top/examples/repair_page.expected" \
  /usr/bin/python3 "$top/examples/python/repair_page.py" "$libdir/libvarnel.so" || fail=1
[ $fail -eq 0 ] && echo "install: the installed library builds and runs the examples"
exit $fail
