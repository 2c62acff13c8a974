#!/usr/bin/env bash
# Documents processed on several threads (-j) give exactly what they give one
# after another: the same standard output, standard error, error file,
# written-back and slide files, and exit status, in the same order. Each
# scenario runs once with -j 1 and once with -j N (and -j 0, one thread per
# core) in fresh copies of a scratch directory holding the HTML inputs of
# the golden cases, and the two are compared byte for byte.
#   tests/parallel.sh PROGRAM SOURCE_DIR [THREADS]
set -u
prog=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
top=$2
threads=${3:-4}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/varnel-parallel.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
fail=0

# The corpus: every golden case's input.html, named after its case (a few
# hundred documents of every kind: with errors, warnings, encodings, frames,
# presentational markup, Word markup ...).
mkdir "$scratch/corpus"
for d in "$top"/tests/cases/*/; do
  name=$(basename "$d")
  [ -f "$d/input.html" ] && cp "$d/input.html" "$scratch/corpus/$name.html"
done
: > "$scratch/corpus/.empty-config"
mapfile -t pages < <(cd "$scratch/corpus" && ls -- *.html | sort)
[ ${#pages[@]} -ge 100 ] || { echo "too few documents: ${#pages[@]}"; exit 1; }

# Runs `varnel ARGS...` in a fresh copy of the corpus in directory $1;
# records stdout, stderr, status and every file left in the directory.
run_in() {
  local dir=$1
  shift
  rm -rf "$dir"
  cp -r "$scratch/corpus" "$dir"
  (cd "$dir" && export HTML_VARNEL="$dir/.empty-config" HOME="$dir" &&
     exec -a varnel "$prog" "$@" < "$dir/${pages[0]}" > "$dir.out" 2> "$dir.err")
  echo $? > "$dir.status"
}

# Compares a scenario run one document after another with the same run on
# several threads.
scenario() {
  local label=$1
  shift
  run_in "$scratch/one" -j 1 "$@"
  for j in "$threads" 0; do
    run_in "$scratch/many" -j "$j" "$@"
    local bad=0
    for part in out err status; do
      if ! cmp -s "$scratch/one.$part" "$scratch/many.$part"; then
        echo "--- $label (-j $j): $part differs from -j 1"
        diff -u "$scratch/one.$part" "$scratch/many.$part" | head -20
        bad=1
      fi
    done
    if ! diff -r "$scratch/one" "$scratch/many" > "$scratch/files.diff"; then
      echo "--- $label (-j $j): files differ from -j 1"
      head -20 "$scratch/files.diff"
      bad=1
    fi
    if [ $bad -eq 0 ]; then
      echo "ok $label (-j $j)"
    else
      fail=1
    fi
  done
}

scenario "every document, reports on standard error" "${pages[@]}"
scenario "quiet, indented, XHTML" -q -i -asxhtml "${pages[@]}"
# Style classes are numbered on from document to document.
scenario "clean: class numbers run through the documents" -c "${pages[@]}"
# Switches between the documents apply to the documents after them; the
# error file changes twice; a configuration file is read half way.
half=$(( ${#pages[@]} / 2 ))
printf 'indent: auto\nwrap: 40\nnew-blocklevel-tags: box\n' > "$scratch/corpus/switches.cfg"
scenario "switches, error files and a configuration file between documents" \
  "${pages[@]:0:$half}" -f errors-1.txt -u "${pages[@]:$half:20}" -config switches.cfg \
  --gnu-emacs yes "${pages[@]:$((half + 20)):20}" -f stderr -n "${pages[@]:$((half + 40))}"
# Written back: each file holds its result afterwards; a file named twice
# is read the second time with what the first time wrote.
scenario "write-back, one file named twice" -m -q "${pages[@]}" "${pages[3]}"
# Slides write files of fixed names: a document split into slides among
# others.
scenario "slides among other documents" "${pages[@]:0:30}" -slides "${pages[30]}" \
  "${pages[@]:31:30}"
# Standard input after named documents (the list ends in a switch).
scenario "standard input last" "${pages[@]:0:40}" -q
# Help and version end the run after the documents before them.
scenario "version after documents" "${pages[@]:0:40}" -v "${pages[@]:40:5}"

[ $fail -eq 0 ] && echo "parallel: every run on several threads is the sequential run"
exit $fail
