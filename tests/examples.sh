#!/usr/bin/env bash
# Runs every command of examples/README.md as a reader would: each line of
# its ```sh blocks, in order, in a copy of examples/ with the program on PATH
# as "varnel" and no user configuration. A line that ends in "# status N"
# must exit with N, any other line with 0. Every page under examples/pages
# must be used by some command, so that none goes untried.
#
# usage: tests/examples.sh VARNEL [SOURCE_DIR]
set -u
varnel=$(readlink -f "$1")
source_dir=$(readlink -f "${2:-$(dirname "$0")/..}")
readme="$source_dir/examples/README.md"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/varnel-examples.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cp -r "$source_dir/examples" "$scratch/examples"
mkdir "$scratch/bin"
ln -s "$varnel" "$scratch/bin/varnel"
: > "$scratch/empty-config"

# The commands, one per line, from the ```sh blocks.
mapfile -t commands < <(awk '
  /^```sh[[:space:]]*$/ { inside = 1; next }
  /^```/ { inside = 0; next }
  inside && NF > 0 && $1 !~ /^#/ { print }
' "$readme")

if [ "${#commands[@]}" -lt 20 ]; then
  echo "examples/README.md: expected at least 20 commands in sh blocks, found ${#commands[@]}"
  exit 1
fi

fail=0
for page in "$source_dir"/examples/pages/*; do
  name=pages/$(basename "$page")
  used=0
  for command in "${commands[@]}"; do
    case $command in *"$name"*) used=1 ;; esac
  done
  if [ $used -eq 0 ]; then
    echo "examples/README.md: no command uses $name"
    fail=1
  fi
done

passed=0
for command in "${commands[@]}"; do
  expected=0
  if [[ $command =~ \#[[:space:]]*status[[:space:]]+([0-9]+)[[:space:]]*$ ]]; then
    expected=${BASH_REMATCH[1]}
  fi
  (cd "$scratch/examples" &&
     env PATH="$scratch/bin:$PATH" HTML_VARNEL="$scratch/empty-config" HOME="$scratch" \
       bash -c "$command" < /dev/null > "$scratch/out" 2> "$scratch/err")
  status=$?
  if [ "$status" -ne "$expected" ]; then
    echo "--- FAIL (status $status, expected $expected): $command"
    echo "stdout:"; tail -n 15 "$scratch/out"
    echo "stderr:"; tail -n 15 "$scratch/err"
    fail=1
  else
    passed=$((passed + 1))
  fi
done

echo "examples: $passed of ${#commands[@]} commands as documented"
exit $fail
