#!/usr/bin/env bash
# Fails on an include that points up or sideways between the libraries: each folder may include its
# own headers and those of the folders below it, and nothing below operations includes the window
# toolkit. The same table is what the libraries link in CMake.
# Usage: tools/check-layers.sh [SOURCE_DIR]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

# folder: the folders its sources may include from
declare -A allowed=(
  [bytes]="bytes"
  [serial]="serial"
  [link]="link serial bytes"
  [settings]="settings bytes"
  [messages]="messages link serial settings bytes"
  [emulator]="emulator link serial settings bytes"
  [operations]="operations messages link serial settings bytes"
  [app]="app operations messages link serial settings bytes"
  [cli]="cli operations messages link serial settings bytes"
)
# folders whose code must not use the window toolkit (settings/view is the widgets' half of settings)
qt_free=(bytes serial link settings messages emulator)

status=0
for folder in "${!allowed[@]}"; do
  [ -d "$folder" ] || continue
  while IFS=: read -r file line include; do
    target="${include#*\"}"
    target="${target%%/*}"
    ok=0
    for permitted in ${allowed[$folder]}; do [ "$target" = "$permitted" ] && ok=1; done
    # Local includes of generated forms (ui_*.h) name no folder.
    [[ "$target" == ui_* ]] && ok=1
    if [ "$ok" -eq 0 ]; then
      echo "$file:$line: $folder may not include $target: $include"
      status=1
    fi
  done < <(grep -rn --include='*.h' --include='*.cpp' -E '^#include "[^"]+"' "$folder" || true)
done
for folder in "${qt_free[@]}"; do
  while IFS= read -r hit; do
    case "$hit" in settings/view/*) continue ;; esac
    echo "$hit: $folder uses the window toolkit"
    status=1
  done < <(grep -rn --include='*.h' --include='*.cpp' -E '^#include <Q' "$folder" || true)
done
[ "$status" -eq 0 ] && echo "layers: every include points down"
exit "$status"
