#!/usr/bin/env bash
# The progress indicator of a batch: on a terminal (a pseudo-terminal made
# by script(1)) a run over several files shows "k/N files done, E errors so
# far" after each file but the last, each time taken off its line again
# ("\r" and erase-line) before anything else is written; it is absent with
# -q, for a single file, and when standard error is not a terminal.
set -u
prog=$1
command -v script >/dev/null || { echo "script(1) missing: skipped"; exit 77; }
dir=$(mktemp -d "${TMPDIR:-/tmp}/varnel-progress.XXXXXX")
trap 'rm -rf "$dir"' EXIT
cd "$dir"
export HTML_VARNEL=/dev/null
printf '<title>t</title><p>x' > a.html
printf '<title>t</title><p>x<foo>' > b.html
printf '<title>t</title><p>y' > c.html
fail=0
on_tty() { script -qec "$1" /dev/null > tty.out; }
expect() { # file, fixed text, wanted (yes/no), label
  if grep -qF -- "$2" "$1"; then found=yes; else found=no; fi
  if [ "$found" != "$3" ]; then echo "FAIL: $4 (\"$2\" found: $found)"; fail=1; fi
}
cr=$'\r'
erase=$'\r\033[K'

on_tty "'$prog' -e a.html b.html c.html"
expect tty.out "${cr}1/3 files done, 0 errors so far${erase}" yes "terminal, after the first file"
# b.html has one error ("<foo> is not recognized").
expect tty.out "${cr}2/3 files done, 1 errors so far${erase}" yes "terminal, after the second file"
expect tty.out "3/3 files done" no "terminal, nothing after the last file"

on_tty "'$prog' -e -j 2 a.html b.html c.html"
expect tty.out "${cr}2/3 files done, 1 errors so far${erase}" yes "terminal with -j 2"

on_tty "'$prog' -e -q a.html b.html c.html"
expect tty.out "files done" no "-q"

on_tty "'$prog' -e a.html"
expect tty.out "files done" no "a single file"

on_tty "'$prog' -e a.html b.html c.html 2> errors.txt"
expect tty.out "files done" no "standard error to a file (terminal side)"
expect errors.txt "files done" no "standard error to a file"

# The documents' output on the same terminal: no indicator among it.
on_tty "'$prog' a.html b.html c.html"
expect tty.out "files done" no "output on the terminal"

[ $fail -eq 0 ] && echo "progress: all checks passed"
exit $fail
