#!/usr/bin/env bash
# Checks that src/input/html_dtds.cpp is what tools/html_dtds.py writes from
# the HTML DTDs of the Debian package w3c-sgml-lib. Prints SKIP (and passes)
# when python3 or the DTD files are not installed.
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
dtd=/usr/share/xml/w3c-sgml-lib/schema/dtd
if ! command -v python3 >/dev/null || [ ! -f "$dtd/REC-html401-19991224/strict.dtd" ]; then
  echo "SKIP: python3 or the W3C DTD files (apt-get install w3c-sgml-lib) are missing"
  exit 0
fi
out=$(mktemp "${TMPDIR:-/tmp}/html_dtds.XXXXXX")
trap 'rm -f "$out"' EXIT
python3 "$top/tools/html_dtds.py" "$dtd" > "$out" || exit 1
if ! cmp -s "$out" "$top/src/input/html_dtds.cpp"; then
  echo "src/input/html_dtds.cpp differs from what tools/html_dtds.py writes:"
  diff -u "$top/src/input/html_dtds.cpp" "$out" | head -40
  exit 1
fi
