#!/usr/bin/env bash
# Checks the layering of the source tree: each folder under src/ includes
# only from itself and from the folders below it, in this order (lowest
# first):
#
#   base model input tree clean output api cli
#
# and the public headers under include/varnel/ include nothing from src/:
# they are the lowest level, and any layer may include them. Every
# include of the form "folder/file.h" is checked; an include from a folder
# above, or from a folder that is not a layer, is printed and fails the
# check.
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top" || exit 2
layers=(base model input tree clean output api cli)

rank() {
  local i
  for i in "${!layers[@]}"; do
    [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }
  done
  echo -1
}

fail=0
for dir in src/*/; do
  dir=${dir%/}
  layer=${dir#src/}
  own=$(rank "$layer")
  if [ "$own" -lt 0 ]; then
    echo "$dir: not a layer (known: ${layers[*]})"
    fail=1
    continue
  fi
  while IFS= read -r file; do
    while IFS= read -r inc; do
      folder=${inc%%/*}
      [ "$folder" = varnel ] && [ -f "include/$inc" ] && continue
      r=$(rank "$folder")
      if [ "$r" -ge 0 ] && [ "$r" -le "$own" ]; then continue; fi
      if [ "$r" -lt 0 ]; then
        echo "$file includes \"$inc\": not from a layer"
      else
        echo "$file includes \"$inc\": $folder is above $layer"
      fi
      fail=1
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\/[^"]*\)".*/\1/p' "$file")
  done < <(find "$dir" -type f \( -name '*.h' -o -name '*.cpp' \) | sort)
done

# The public headers stand on their own.
if [ -d include ]; then
  while IFS= read -r file; do
    if grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
       grep -vE '"varnel/[a-z_]+\.h"' ; then
      echo "$file: a public header includes only other public headers"
      fail=1
    fi
  done < <(find include -type f -name '*.h' | sort)
fi

[ $fail -eq 0 ] && echo "layers: every include comes from the same folder or one below"
exit $fail
