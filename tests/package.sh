#!/usr/bin/env bash
# Installs a built tree as a user would and checks what lands: `cmake
# --install` into a scratch prefix, and `cpack -G DEB` unpacked into a scratch
# root (dpkg-deb -x). In both, the installed program runs on a page, the
# manual page renders with man, and the bash completion answers. Last, the
# program alone configures without GoogleTest (-DVARNEL_TESTS=OFF).
#
# usage: tests/package.sh BUILD_DIR [SOURCE_DIR]
set -u
build=$(readlink -f "$1")
source_dir=$(readlink -f "${2:-$(dirname "$0")/..}")
scratch=$(mktemp -d "${TMPDIR:-/tmp}/varnel-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
: > "$scratch/empty-config"
export HTML_VARNEL="$scratch/empty-config" LC_ALL=C.UTF-8

fail=0
problem() {
  echo "FAIL: $*"
  fail=1
}

# Checks an installed tree under $1 (a prefix such as .../usr).
check_tree() {
  local where=$1 label=$2
  local program=$where/bin/varnel
  local manual=$where/share/man/man1/varnel.1.gz
  local completion=$where/share/bash-completion/completions/varnel
  for f in "$program" "$manual" "$completion"; do
    [ -f "$f" ] || problem "$label: $f is missing"
  done
  [ -x "$program" ] || { problem "$label: no program to run"; return; }

  # A library of our own, if the program uses one, is found in the tree.
  local libs
  libs=$(find "$where" -name 'lib*.so*' -printf '%h\n' 2>/dev/null | sort -u | paste -sd:)
  local out status
  out=$(LD_LIBRARY_PATH="$libs" "$program" -q "$source_dir/examples/pages/frameset.html" 2>&1)
  status=$?
  [ $status -eq 0 ] || problem "$label: the installed program exited with $status: $out"
  case $out in
    *'<frame name="main" src="welcome.html">'*) ;;
    *) problem "$label: the installed program did not print the page" ;;
  esac
  out=$(LD_LIBRARY_PATH="$libs" "$program" -help-config 2>&1)
  case $out in
    *'char-encoding '*) ;;
    *) problem "$label: -help-config lists no char-encoding" ;;
  esac

  local err
  out=$(MANWIDTH=80 man --warnings -l "$manual" 2> "$scratch/man.err")
  err=$(cat "$scratch/man.err")
  [ -z "$err" ] || problem "$label: man -l warns: $err"
  case $out in
    *NAME*'varnel - '*EXIT\ STATUS*) ;;
    *) problem "$label: man -l did not render the manual page" ;;
  esac

  out=$(bash --norc --noprofile -c 'source "$1"
    COMP_WORDS=(varnel --char-encoding u); COMP_CWORD=2; _varnel; echo "${COMPREPLY[*]}"
    COMP_WORDS=(varnel -help-c); COMP_CWORD=1; _varnel; echo "${COMPREPLY[*]}"
    complete -p varnel' _ "$completion" 2>&1)
  [ "$out" = $'utf8\n-help-config\ncomplete -F _varnel varnel' ] ||
    problem "$label: the completion answered: $out"
}

# 1. cmake --install into a scratch prefix.
if cmake --install "$build" --prefix "$scratch/prefix" > "$scratch/install.log" 2>&1; then
  check_tree "$scratch/prefix" "cmake --install"
else
  problem "cmake --install failed: $(tail -5 "$scratch/install.log")"
fi

# 2. The Debian package, unpacked into a scratch root.
if (cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/pkg") \
     > "$scratch/cpack.log" 2>&1; then
  debs=("$scratch"/pkg/*.deb)
  if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    problem "cpack made ${#debs[@]} packages: ${debs[*]}"
  else
    deb=${debs[0]}
    info=$(dpkg-deb -f "$deb" Package Version Architecture Depends Description)
    case $info in
      *'Package: varnel'*'Depends: '*libc6*'Description: report and repair'*) ;;
      *) problem "control fields of the package: $info" ;;
    esac
    contents=$(dpkg-deb -c "$deb")
    for path in ./usr/bin/varnel ./usr/share/man/man1/varnel.1.gz \
                ./usr/share/bash-completion/completions/varnel; do
      grep -q " $path\$" <<< "$contents" || problem "the package lacks $path"
    done
    if grep -v ' root/root ' <<< "$contents" | grep -q .; then
      problem "files in the package not owned by root: $(grep -v ' root/root ' <<< "$contents")"
    fi
    dpkg-deb -x "$deb" "$scratch/root"
    check_tree "$scratch/root/usr" "dpkg-deb -x"
  fi
else
  problem "cpack -G DEB failed: $(tail -20 "$scratch/cpack.log")"
fi

# 3. The program alone needs no GoogleTest.
if cmake -S "$source_dir" -B "$scratch/program-only" -DVARNEL_TESTS=OFF \
     -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON > "$scratch/configure.log" 2>&1; then
  targets=$(cmake --build "$scratch/program-only" --target help 2>&1)
  grep -q '\bvarnel\b' <<< "$targets" || problem "program-only build has no varnel target"
  ! grep -q 'unit_tests' <<< "$targets" || problem "program-only build still builds unit_tests"
else
  problem "configuring the program alone without GoogleTest failed: $(tail -5 "$scratch/configure.log")"
fi

[ $fail -eq 0 ] && echo "package: install, .deb, manual page and completion work"
exit $fail
