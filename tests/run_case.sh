#!/usr/bin/env bash
# Runs one golden case: tests/cases/<name>/ holds the input files, "args" (one
# argument per line, may be absent), optionally "stdin" (fed to standard
# input), optionally "generate" (a bash script run in the scratch directory
# to make large inputs), and the expected "stdout", "stderr" and "status".
# The program runs in a scratch directory with HTML_VARNEL pointing at an
# empty file so that no user configuration leaks in; outputs are compared
# byte for byte. "files-after/" holds files the run must leave behind with
# their exact content, "files-absent" names files it must have removed.
#
# Property check: when the expected status is below 2 and stdout is not
# empty, the output is fed back in with the same arguments (the input file
# replaced by the output) and must come out unchanged. A case whose rules
# make a second pass differ holds a file "second-pass-differs" saying why.
#
# A case whose expected output was changed after it was written holds a file
# "changed" saying, in plain words, what changed and which rule requires it.
# Like the other files named here it is not copied into the scratch
# directory.
set -u
prog=$1
case_dir=$2
name=$(basename "$case_dir")
scratch=$(mktemp -d "${TMPDIR:-/tmp}/varnel-case.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

meta="args stdin stdout stderr status generate second-pass-differs changed files-after files-absent"
for f in "$case_dir"/* "$case_dir"/.[!.]*; do
  [ -e "$f" ] || continue
  b=$(basename "$f")
  case " $meta " in *" $b "*) continue ;; esac
  cp -r "$f" "$scratch/"
done
: > "$scratch/.empty-config"

args=()
if [ -f "$case_dir/args" ]; then
  mapfile -t args < "$case_dir/args"
fi
if [ -f "$case_dir/generate" ]; then
  (cd "$scratch" && bash "$case_dir/generate") || { echo "$name: generate failed"; exit 1; }
fi
stdin_file=/dev/null
[ -f "$case_dir/stdin" ] && stdin_file="$case_dir/stdin"

# The program is started under the name "varnel" so that messages quoting
# its name do not depend on where the build tree lives.
run() {
  (cd "$scratch" && export HTML_VARNEL="$scratch/.empty-config" HOME="$scratch" &&
     exec -a varnel "$prog" "$@" < "$stdin_file" > "$scratch/.out" 2> "$scratch/.err")
  echo $? > "$scratch/.status"
}
run "${args[@]+"${args[@]}"}"

fail=0
compare() {  # expected-file actual-file label
  if ! cmp -s "$1" "$2"; then
    echo "--- $name: $3 differs (expected vs actual)"
    diff -u "$1" "$2" | head -60
    fail=1
  fi
}
expected_status=0
[ -f "$case_dir/status" ] && expected_status=$(cat "$case_dir/status")
echo "$expected_status" > "$scratch/.want-status"
compare "$scratch/.want-status" "$scratch/.status" "exit status"
if [ -f "$case_dir/stdout" ]; then compare "$case_dir/stdout" "$scratch/.out" stdout
elif [ -s "$scratch/.out" ]; then echo "--- $name: unexpected stdout"; head -20 "$scratch/.out"; fail=1; fi
if [ -f "$case_dir/stderr" ]; then compare "$case_dir/stderr" "$scratch/.err" stderr
elif [ -s "$scratch/.err" ]; then echo "--- $name: unexpected stderr"; head -20 "$scratch/.err"; fail=1; fi

# Files the run must leave behind (slides, write-back): files-after/<name>.
if [ -d "$case_dir/files-after" ]; then
  for f in "$case_dir"/files-after/*; do
    compare "$f" "$scratch/$(basename "$f")" "file $(basename "$f")"
  done
fi
# Files the run must have removed (stale slides): one name a line.
if [ -f "$case_dir/files-absent" ]; then
  while read -r f; do
    [ -e "$scratch/$f" ] && { echo "--- $name: $f should have been removed"; fail=1; }
  done < "$case_dir/files-absent"
fi

if [ $fail -eq 0 ] && [ "$expected_status" -lt 2 ] && [ -s "$scratch/.out" ] \
   && [ ! -f "$case_dir/second-pass-differs" ] && [ ! -f "$case_dir/stdin" ]; then
  # Replace every argument naming an input document of the case by the
  # output.
  cp "$scratch/.out" "$scratch/.first"
  # (Configuration files named by -config stay as they are.)
  second=()
  prev=
  for a in "${args[@]+"${args[@]}"}"; do
    if [ -f "$case_dir/$a" ] && [ "$a" != args ] && [ "$prev" != -config ]; then
      second+=(".first")
    else
      second+=("$a")
    fi
    prev=$a
  done
  if [ ${#second[@]} -gt 0 ]; then
    run "${second[@]}"
    if ! cmp -s "$scratch/.first" "$scratch/.out"; then
      echo "--- $name: a second pass over the output changes it"
      diff -u "$scratch/.first" "$scratch/.out" | head -40
      fail=1
    fi
  fi
fi
exit $fail
