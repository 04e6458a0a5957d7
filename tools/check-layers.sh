#!/usr/bin/env bash
# Fails on an include that points up or sideways between the libraries: each folder may include its
# own headers and those of the folders below it, and nothing below operations includes the window
# toolkit. The same table is what the libraries link in CMake.
# Usage: tools/check-layers.sh [SOURCE_DIR]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

# folder: the folders its sources may include from. A folder below another with a library of its
# own (settings/view, operations/windows: the widgets' halves) is a layer of its own.
declare -A allowed=(
  [bytes]="bytes"
  [serial]="serial"
  [link]="link serial bytes"
  [settings]="settings bytes"
  [settings/view]="settings/view settings bytes"
  [messages]="messages link serial settings bytes"
  [emulator]="emulator link serial settings bytes"
  [operations]="operations messages link serial settings bytes"
  [operations/windows]="operations/windows operations messages link serial settings bytes"
  [app]="app operations/windows settings/view operations messages link serial settings bytes"
  [cli]="cli operations messages link serial settings bytes"
)
# folders whose code must not use the window toolkit
qt_free=(bytes serial link settings messages emulator operations cli)

# layer VARIABLE PATH: the layer a path (a file, or what an include names) belongs to, the longest
# folder of the table it lies in, or nothing.
layer() {
  local best="" folder
  for folder in "${!allowed[@]}"; do
    if [[ "$2" == "$folder"/* ]] && [ "${#folder}" -gt "${#best}" ]; then best="$folder"; fi
  done
  printf -v "$1" '%s' "$best"
}

# An include directive however it is spaced: "#include", "#  include", "# include", quotes or angle
# brackets. Prints FILE:LINE:TARGET, TARGET being the opening quote or bracket and what follows it.
includes() {
  grep -rn --include='*.h' --include='*.cpp' -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' "$1" |
    sed -E 's/^([^:]+:[0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]*([<"][^">]*)[">].*/\1:\2/' || true
}

status=0
for folder in "${!allowed[@]}"; do
  [[ "$folder" == */* ]] && continue
  [ -d "$folder" ] || continue
  while IFS=: read -r file line include; do
    delimiter="${include:0:1}"
    include="${include:1}"
    layer from "$file"
    layer target "$include"
    if [[ " ${qt_free[*]} " == *" $from "* ]] && [[ "$delimiter$include" == [\<\"]Q* ]]; then
      echo "$file:$line: $from uses the window toolkit: $include"
      status=1
    fi
    # A system header (<vector>, <sys/stat.h>, <nlohmann/json.hpp>) names none of our folders.
    if [ -z "$target" ]; then
      # Local includes of generated forms (ui_*.h) name no folder.
      [ "$delimiter" = "<" ] || [[ "$include" == ui_* ]] && continue
      echo "$file:$line: $from includes what is in no folder of ours: $include"
      status=1
      continue
    fi
    ok=0
    for permitted in ${allowed[$from]}; do [ "$target" = "$permitted" ] && ok=1; done
    if [ "$ok" -eq 0 ]; then
      echo "$file:$line: $from may not include $target: $include"
      status=1
    fi
  done < <(includes "$folder")
done
[ "$status" -eq 0 ] && echo "layers: every include points down"
exit "$status"
