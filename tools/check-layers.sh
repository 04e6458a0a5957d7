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

# An include directive however it is spaced: "#include", "#  include", "# include", quotes or angle
# brackets. Prints FILE:LINE:TARGET, TARGET being the opening quote or bracket and what follows it.
includes() {
  grep -rn --include='*.h' --include='*.cpp' -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' "$1" |
    sed -E 's/^([^:]+:[0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]*([<"][^">]*)[">].*/\1:\2/' || true
}

status=0
for folder in "${!allowed[@]}"; do
  [ -d "$folder" ] || continue
  while IFS=: read -r file line include; do
    delimiter="${include:0:1}"
    include="${include:1}"
    target="${include%%/*}"
    # A system header (<vector>, <sys/stat.h>, <nlohmann/json.hpp>) names none of our folders.
    if [ "$delimiter" = "<" ] && { [[ "$include" != */* ]] || [ -z "${allowed[$target]+x}" ]; }; then
      continue
    fi
    ok=0
    for permitted in ${allowed[$folder]}; do [ "$target" = "$permitted" ] && ok=1; done
    # Local includes of generated forms (ui_*.h) name no folder.
    [[ "$include" == ui_* ]] && ok=1
    if [ "$ok" -eq 0 ]; then
      echo "$file:$line: $folder may not include $target: $include"
      status=1
    fi
  done < <(includes "$folder")
done
for folder in "${qt_free[@]}"; do
  [ -d "$folder" ] || continue
  while IFS=: read -r file line include; do
    case "$file" in settings/view/*) continue ;; esac
    [[ "$include" == [\<\"]Q* ]] || continue
    echo "$file:$line: $folder uses the window toolkit: ${include:1}"
    status=1
  done < <(includes "$folder")
done
[ "$status" -eq 0 ] && echo "layers: every include points down"
exit "$status"
