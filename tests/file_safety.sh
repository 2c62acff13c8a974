#!/usr/bin/env bash
# File handling that a golden case cannot set up in a plain scratch
# directory: devices, pipes, permissions (also when run as root, through an
# unprivileged user, a read-only mount or an immutable file), hard links,
# extended attributes, signals and exhausted memory during a write-back, and
# configuration files that never end.
#
# Usage: file_safety.sh PROGRAM [SANITIZED]
# SANITIZED is ON for a build with the address sanitizer, which cannot run
# under a memory limit; that part is then skipped.
#
# Every expectation below follows from the program's documented behaviour;
# a part that this machine cannot set up prints a SKIP line saying why.
set -u
prog=$1
sanitized=${2:-OFF}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/varnel-files.XXXXXX")
cleanup() {
  chattr -i "$scratch"/immutable/page.html 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
chmod 755 "$scratch"
# A copy of the program that an unprivileged user may run.
cp "$prog" "$scratch/varnel"
chmod 755 "$scratch/varnel"
prog=$scratch/varnel
: > "$scratch/empty-config"
export HTML_VARNEL=$scratch/empty-config

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
skip() { echo "SKIP: $*"; }

page='<title>t</title>
<p>x
'
# The repaired page, as every write-back below must leave it.
result='<!DOCTYPE html PUBLIC "-//IETF//DTD HTML 2.0//EN">
<html>
<head>
<meta name="generator" content="HTML Varnel, see www.varnel.org">
<title>t</title>
</head>
<body>
<p>x</p>
</body>
</html>
'
printf '%s\n' "$result" > "$scratch/result.html"
make_page() { printf '%s' "$page" > "$1"; }
is_result() { cmp -s "$1" "$scratch/result.html"; }
is_page() { [ "$(cat "$1")" = "$(printf '%s' "$page")" ]; }
no_temporary() { ! compgen -G "$1/.*.varnel-*" > /dev/null; }

# Runs the program in the directory $1 with the remaining arguments; sets
# status, out and err.
run_in() {
  local dir=$1
  shift
  (cd "$dir" && exec -a varnel "$prog" "$@" > "$scratch/out" 2> "$scratch/err")
  status=$?
  out=$(cat "$scratch/out")
  err=$(cat "$scratch/err")
}

# ---- output that cannot be written -------------------------------------
d=$scratch/full && mkdir "$d" && make_page "$d/page.html"
(cd "$d" && exec -a varnel "$prog" -q page.html > /dev/full 2> "$scratch/err")
status=$?
if [ $status -eq 2 ] && [ "$(cat "$scratch/err")" = \
  "varnel: can't write to standard output - No space left on device" ]; then
  pass "standard output on a full device is an error"
else
  fail "standard output on /dev/full: status $status, stderr: $(cat "$scratch/err")"
fi
(cd "$d" && exec -a varnel "$prog" -help > /dev/full 2> "$scratch/err")
status=$?
[ $status -eq 2 ] && grep -q "can't write to standard output" "$scratch/err" \
  && pass "help text on a full device is an error" \
  || fail "help on /dev/full: status $status"

# A slide that cannot be written: the other slides keep their numbers.
d=$scratch/slides && mkdir "$d"
printf '<title>t</title>\n<p>one\n<h2>two</h2>\n<p>three\n<h2>four</h2>\n<p>five\n' > "$d/talk.html"
ln -s /dev/full "$d/slide2.html"
run_in "$d" -q -slides talk.html
if [ $status -eq 2 ] \
  && [ "$err" = $'3 Slides found\nvarnel: can\'t write "slide2.html" - No space left on device' ] \
  && grep -q '<h2>four</h2>' "$d/slide3.html" && ! grep -q '<h2>two</h2>' "$d/slide3.html" \
  && grep -q '<p>one</p>' "$d/slide1.html"; then
  pass "a slide on a full device is an error and slide 3 keeps its own content"
else
  fail "slide on /dev/full: status $status, stderr: $err"
fi

# ---- write-back refuses what is not a regular file ----------------------
d=$scratch/pipes && mkdir "$d"
mkfifo "$d/pipe.html"
ln -s pipe.html "$d/link.html"
for name in pipe.html link.html; do
  (printf '%s' "$page" > "$d/pipe.html" &)
  run_in "$d" -q -m "$name"
  if [ $status -eq 2 ] && [ "$out" = "$(printf '%s' "$result")" ] && [ -p "$d/pipe.html" ] \
    && [ "$err" = "varnel: can't write back into \"$name\" - not a regular file; the result goes to standard output" ]; then
    pass "write-back into a pipe ($name) is refused and the result printed"
  else
    fail "write-back into $name: status $status, stderr: $err"
  fi
done
# The device is a node of our own where we may make one: a program that
# wrongly renamed a file over it must not damage the machine's /dev/null.
if mknod -m 666 "$d/null-device" c 1 3 2> /dev/null && : < "$d/null-device" 2> /dev/null; then
  ln -s null-device "$d/null.html"
else
  ln -s /dev/null "$d/null.html"
fi
run_in "$d" -q -m null.html
[ $status -eq 2 ] && [ -c "$d/null.html" ] && grep -q 'null.html" - not a regular file' "$scratch/err" \
  && pass "write-back into a device is refused" \
  || fail "write-back into a device: status $status, stderr: $err"

# ---- hard links, symbolic links, owner and attributes ----------------------
d=$scratch/links && mkdir "$d" && make_page "$d/page.html"
ln "$d/page.html" "$d/other.html"
inode=$(stat -c %i "$d/page.html")
run_in "$d" -q -m page.html
if [ $status -eq 0 ] && is_result "$d/page.html" && is_result "$d/other.html" \
  && [ "$(stat -c %i:%h "$d/page.html")" = "$inode:2" ] && no_temporary "$d"; then
  pass "write-back keeps a hard-linked file one file"
else
  fail "hard link: status $status, $(stat -c %i:%h "$d/page.html") (was $inode:2)"
fi
make_page "$d/real.html"
ln -s real.html "$d/sym.html"
run_in "$d" -q -m sym.html
[ $status -eq 0 ] && [ -L "$d/sym.html" ] && is_result "$d/real.html" \
  && pass "write-back through a symbolic link replaces the target" \
  || fail "symbolic link: status $status"

if [ "$(id -u)" -eq 0 ]; then
  make_page "$d/owned.html"
  chown 65534:65534 "$d/owned.html" && chmod 640 "$d/owned.html"
  run_in "$d" -q -m owned.html
  [ $status -eq 0 ] && is_result "$d/owned.html" \
    && [ "$(stat -c %u:%g:%a "$d/owned.html")" = "65534:65534:640" ] \
    && pass "write-back keeps owner, group and mode" \
    || fail "owner: status $status, $(stat -c %u:%g:%a "$d/owned.html")"
else
  skip "owner and group: giving a file away needs root"
fi

if command -v setfattr > /dev/null && command -v getfattr > /dev/null; then
  make_page "$d/attrs.html"
  if setfattr -n user.origin -v handmade "$d/attrs.html" 2> /dev/null; then
    acl=no
    if command -v setfacl > /dev/null && setfacl -m u:65534:r "$d/attrs.html" 2> /dev/null; then
      acl=yes
    fi
    before=$(cd "$d" && getfattr -d -m - attrs.html 2> /dev/null)
    run_in "$d" -q -m attrs.html
    after=$(cd "$d" && getfattr -d -m - attrs.html 2> /dev/null)
    if [ $status -eq 0 ] && is_result "$d/attrs.html" && [ "$before" = "$after" ] \
      && grep -q 'user.origin="handmade"' <<< "$after"; then
      pass "write-back keeps extended attributes (ACL too: $acl)"
    else
      fail "extended attributes: status $status, before: $before, after: $after"
    fi
    [ $acl = no ] && skip "ACL: setfacl is missing or the file system keeps no ACLs"
  else
    skip "extended attributes: this file system takes no user attributes"
  fi
else
  skip "extended attributes: setfattr/getfattr (package attr) are not installed"
fi

# A name so long that ".NAME.varnel-XXXXXX" would not fit in a directory.
d=$scratch/long && mkdir "$d"
long=$(printf 'p%.0s' $(seq 1 245)).html
make_page "$d/$long"
run_in "$d" -q -m "$long"
[ $status -eq 0 ] && is_result "$d/$long" && no_temporary "$d" \
  && pass "write-back of a 250-byte name" \
  || fail "long name: status $status, stderr: $err"

# ---- permissions ---------------------------------------------------------
# As root, files are writable whatever their mode: the checks run as an
# unprivileged user.
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  if command -v setpriv > /dev/null && setpriv --reuid=65534 --regid=65534 --clear-groups true 2> /dev/null; then
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  fi
fi
run_as_user() {
  local dir=$1
  shift
  (cd "$dir" && exec "${as_user[@]}" "$prog" "$@" > "$scratch/out" 2> "$scratch/err")
  status=$?
  err=$(cat "$scratch/err")
}
if [ "$(id -u)" -ne 0 ] || [ ${#as_user[@]} -gt 0 ]; then
  d=$scratch/perm && mkdir "$d" && chmod 777 "$d"
  make_page "$d/locked.html" && chmod 444 "$d/locked.html"
  run_as_user "$d" -q -m locked.html
  [ $status -eq 2 ] && is_page "$d/locked.html" && no_temporary "$d" \
    && grep -q 'locked.html" - not writable: Permission denied; the result goes to standard output' <<< "$err" \
    && pass "a file the user may not write is not rewritten, though its directory is writable" \
    || fail "read-only file: status $status, stderr: $err"

  mkdir "$d/closed" && make_page "$d/closed/page.html" && chmod 666 "$d/closed/page.html"
  chmod 555 "$d/closed"
  run_as_user "$d" -q -m closed/page.html
  [ $status -eq 2 ] && is_page "$d/closed/page.html" \
    && grep -q "can't create a temporary file beside it: Permission denied" <<< "$err" \
    && pass "a directory without write permission is reported" \
    || fail "read-only directory: status $status, stderr: $err"
  chmod 755 "$d/closed"

  if [ ${#as_user[@]} -gt 0 ]; then
    mkdir "$d/sticky" && chmod 1777 "$d/sticky"
    make_page "$d/sticky/page.html" && chmod 666 "$d/sticky/page.html"
    inode=$(stat -c %i "$d/sticky/page.html")
    run_as_user "$d" -q -m sticky/page.html
    [ $status -eq 0 ] && is_result "$d/sticky/page.html" && no_temporary "$d/sticky" \
      && [ "$(stat -c %i:%u "$d/sticky/page.html")" = "$inode:0" ] \
      && pass "a root-owned file in a sticky directory is written in place, owner kept" \
      || fail "sticky directory: status $status, $(stat -c %i:%u "$d/sticky/page.html"), stderr: $err"
  else
    skip "sticky directory: needs a file owned by another user"
  fi
else
  skip "permissions: running as root without setpriv to become an unprivileged user"
fi

d=$scratch/rofs && mkdir "$d" && make_page "$d/page.html"
if unshare -m true 2> /dev/null; then
  unshare -m bash -c '
    mount --bind "$1" "$1" && mount -o remount,ro,bind "$1" || exit 99
    cd "$1" && exec -a varnel "$2" -q -m page.html > /dev/null 2> "$3"' _ "$d" "$prog" "$scratch/err"
  status=$?
  err=$(cat "$scratch/err")
  if [ $status -eq 99 ]; then
    skip "read-only file system: cannot mount here"
  else
    [ $status -eq 2 ] && is_page "$d/page.html" \
      && grep -q 'page.html" - not writable: Read-only file system' <<< "$err" \
      && pass "a read-only file system is reported" \
      || fail "read-only mount: status $status, stderr: $err"
  fi
else
  skip "read-only file system: unshare -m is not permitted"
fi

d=$scratch/immutable && mkdir "$d" && make_page "$d/page.html"
if chattr +i "$d/page.html" 2> /dev/null; then
  run_in "$d" -q -m page.html
  chattr -i "$d/page.html"
  [ $status -eq 2 ] && is_page "$d/page.html" && no_temporary "$d" \
    && grep -q 'page.html" - not writable: Operation not permitted' <<< "$err" \
    && pass "an immutable file is not rewritten" \
    || fail "immutable file: status $status, stderr: $err"
else
  skip "immutable file: chattr +i is not supported here"
fi

# ---- the error file and standard input ----------------------------------
d=$scratch/stdin && mkdir "$d" && make_page "$d/page.html"
(cd "$d" && exec -a varnel "$prog" -q -f page.html < page.html > "$scratch/out" 2> "$scratch/err")
status=$?
[ $status -eq 2 ] && is_page "$d/page.html" && is_result "$scratch/out" \
  && [ "$(cat "$scratch/err")" = "varnel: can't write errors into \"page.html\" - it is one of the documents" ] \
  && pass "an error file that is standard input is refused" \
  || fail "error file as standard input: status $status, stderr: $(cat "$scratch/err")"

# ---- signals and the fatal exit during a write-back ------------------------
if [ "$sanitized" = ON ]; then count=60000; else count=300000; fi
d=$scratch/signals && mkdir "$d"
{
  echo '<title>t</title>'
  seq 1 $count | sed 's|.*|<p>paragraph & with a few words and <b>bold</b> text|'
} > "$d/original.html"
for sig in TERM HUP INT; do
  cp "$d/original.html" "$d/big.html"
  set -m # a background job keeps SIGINT only with job control
  (cd "$d" && exec "$prog" -q -m big.html 2> /dev/null) &
  pid=$!
  set +m
  seen=no
  while kill -0 $pid 2> /dev/null; do
    if compgen -G "$d/.big.html.varnel-*" > /dev/null; then
      seen=yes
      kill -$sig $pid
      break
    fi
  done
  wait $pid
  status=$?
  if [ $seen = no ]; then
    skip "SIG$sig: the write-back ended before its temporary file was seen"
  elif [ $status -eq $((128 + $(kill -l $sig))) ] && no_temporary "$d" \
    && cmp -s "$d/big.html" "$d/original.html"; then
    pass "SIG$sig during a write-back leaves no temporary file and the original"
  else
    fail "SIG$sig: status $status, temporary left: $(ls -A "$d")"
  fi
done

cp "$d/original.html" "$d/big.html"
(cd "$d" && ulimit -f 1000 && exec "$prog" -q -m big.html 2> /dev/null)
status=$?
[ $status -eq $((128 + $(kill -l XFSZ))) ] && no_temporary "$d" && cmp -s "$d/big.html" "$d/original.html" \
  && pass "SIGXFSZ (file size limit) leaves no temporary file and the original" \
  || fail "SIGXFSZ: status $status, files: $(ls -A "$d")"

# A run blocked on a pipe that never ends, after a write-back.
make_page "$d/first.html"
mkfifo "$d/endless.html"
exec 7<> "$d/endless.html" # a writer that never closes
(cd "$d" && exec "$prog" -q -m first.html endless.html > /dev/null 2>&1) &
pid=$!
sleep 1
kill -TERM $pid
wait $pid
status=$?
exec 7>&-
[ $status -eq 143 ] && no_temporary "$d" && is_result "$d/first.html" \
  && pass "SIGTERM while reading an endless pipe leaves no temporary file" \
  || fail "endless pipe: status $status, files: $(ls -A "$d")"

if [ "$sanitized" = ON ]; then
  skip "out of memory: the sanitizer build cannot run under a memory limit"
else
  # One enormous preformatted line: parsing fits the limit, the pending line
  # of the printer (4 bytes a character) does not.
  d=$scratch/memory && mkdir "$d"
  { printf '<title>t</title>\n<pre>'; head -c 40000000 /dev/zero | tr '\0' x; printf '</pre>\n'; } > "$d/long.html"
  cp "$d/long.html" "$d/copy.html"
  (cd "$d" && ulimit -v 150000 && exec "$prog" -q -m long.html > /dev/null 2> "$scratch/err")
  status=$?
  [ $status -eq 2 ] && [ "$(cat "$scratch/err")" = "Fatal error: Out of memory!" ] \
    && no_temporary "$d" && cmp -s "$d/long.html" "$d/copy.html" \
    && pass "running out of memory during a write-back leaves no temporary file" \
    || fail "out of memory: status $status, stderr: $(cat "$scratch/err"), files: $(ls -A "$d")"
fi

if [ "$sanitized" = ON ]; then
  skip "out of memory in the tree: the sanitizer build cannot run under a memory limit"
else
  # Memory running out while the tree is built, at limits that fall among
  # its parts (attribute values on the heap, records in their own address
  # space): each run ends, with its output or through the out-of-memory
  # exit, and never hangs or crashes on its way out (the exit gives the
  # record blocks back, which must not need memory).
  d=$scratch/memory-tree && mkdir "$d"
  awk 'BEGIN { for (i = 0; i < 60000; i++) { printf "<p>"; for (w = 0; w < 20; w++) printf "word%d ", w
               printf "<a href=\"#a-rather-long-anchor-name-%d\" title=\"the title of link number %d\">next</a></p>\n", i, i } }' > "$d/links.html"
  for limit in 20000 25000 30000 35000 40000 50000; do
    (cd "$d" && ulimit -v $limit && exec timeout 30 "$prog" -q links.html > /dev/null 2> "$scratch/err")
    status=$?
    { [ $status -eq 1 ] || { [ $status -eq 2 ] && [ "$(tail -n 1 "$scratch/err")" = "Fatal error: Out of memory!" ]; }; } \
      && pass "a tree that runs out of memory at ${limit} KiB of address space ends (status $status)" \
      || fail "tree out of memory at $limit KiB: status $status, stderr: $(tail -c 200 "$scratch/err")"
  done
fi

# ---- configuration files that never end ----------------------------------
for source in /dev/zero /dev/urandom; do
  HTML_VARNEL=$source timeout 60 "$prog" -v > /dev/null 2> "$scratch/err"
  status=$?
  [ $status -eq 0 ] \
    && grep -qx "Warning - configuration file cut after 1048576 bytes: $source" "$scratch/err" \
    && pass "configuration file $source is read up to its limit" \
    || fail "configuration $source: status $status, stderr: $(head -c 300 "$scratch/err")"
done
d=$scratch/config && mkdir "$d" && mkfifo "$d/endless.cfg"
exec 7<> "$d/endless.cfg"
HTML_VARNEL=$d/endless.cfg timeout 60 "$prog" -v > /dev/null 2> "$scratch/err"
status=$?
exec 7>&-
[ $status -eq 0 ] \
  && grep -qx "Can't open \"$d/endless.cfg\" - not a regular file or device" "$scratch/err" \
  && pass "a pipe as configuration file is refused" \
  || fail "configuration pipe: status $status, stderr: $(cat "$scratch/err")"

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
