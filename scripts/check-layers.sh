#!/usr/bin/env bash
# Checks the camera library's layering. Arguments: its folders bottom-up. A file in one of them may
# include its own folder and the folders before it, never one after it; crop/internal/ is included
# from crop/ and its tests only; the library's includes are written from its root. Prints every
# include that breaks this and fails if there is one.
set -euo pipefail
cd "$(dirname "$0")/.."
declare -A rank
position=0
for folder in "$@"; do
  rank[$folder]=$((position++))
done
faults=0
while IFS=: read -r file included; do
  own=${file#libqirmel/}
  own=${own%%/*}
  folder=${included%%/*}
  if [[ -n ${rank[$folder]:-} && -n ${rank[$own]:-} && ${rank[$folder]} -gt ${rank[$own]} ]]; then
    echo "$file includes $included from $folder/, which builds on $own/"
    faults=$((faults + 1))
  fi
  if [[ $included == crop/internal/* && $file != libqirmel/crop/* && $file != tests/crop/* ]]; then
    echo "$file includes $included, internal to crop/"
    faults=$((faults + 1))
  fi
done < <(grep -rE '^#include "[^"]+/' --include='*.h' --include='*.cpp' libqirmel tests bench fuzz src |
           sed -E 's/^([^:]+):#include "([^"]+)".*/\1:\2/')
# The library includes its own headers from its root, as "folder/file.h"; only the C header is bare.
while IFS= read -r include; do
  echo "$include: not written from libqirmel/ as \"folder/file.h\""
  faults=$((faults + 1))
done < <(grep -rE '^#include "[^"/]+"' --include='*.h' --include='*.cpp' libqirmel | grep -v '"qirmellib.h"' || true)
echo "$faults includes against the layers"
[[ $faults -eq 0 ]]
