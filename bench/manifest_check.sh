#!/usr/bin/env bash
# Times the check of a 100,000-line manifest (half network ports on two addresses, half tty names
# that are not there, all with one settings file) and one last line naming the first line's device
# again, so that the check finds one problem, refuses the manifest and opens nothing.
# Usage: bench/manifest_check.sh BIN_DIR [LINES]; prints "manifest check N lines: exit S, T s wall,
# C s CPU, waited W times, preempted P times". The check never waits on anything (W stays about 1):
# wall time beyond the CPU time is time spent waiting for a CPU on a busy machine (P).
set -euo pipefail
bin="$1"
lines="${2:-100000}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
head -c 169 /dev/zero >"$work/a.dat"
python3 - "$work/m.txt" "$lines" <<'PY'
import sys
path, lines = sys.argv[1], int(sys.argv[2])
with open(path, "w") as out:
    for n in range(lines):
        if n % 2 == 0:
            k = n // 2
            out.write(f"rfc2217://127.0.0.{1 + k // 60000}:{1 + k % 60000} a.dat\n")
        else:
            out.write(f"/dev/ttyBench{n} a.dat 9600,8,N,1\n")
    out.write("rfc2217://127.0.0.1:1 a.dat\n")
PY
start=$(date +%s%N)
set +e
/usr/bin/time -f "%U %S %w %c" -o "$work/cpu.txt" "$bin/vandel-cli" verify --quiet --manifest "$work/m.txt" \
  >/dev/null 2>"$work/err.txt"
status=$?
set -e
end=$(date +%s%N)
grep -q "are the same device" "$work/err.txt" || status="$status (the duplicate was not found)"
ms=$(((end - start) / 1000000))
cpu="$(awk 'END {printf "%.2f s CPU, waited %d times, preempted %d times", $1 + $2, $3, $4}' "$work/cpu.txt")"
printf 'manifest check %s lines: exit %s, %d.%03d s wall, %s\n' "$lines" "$status" $((ms / 1000)) \
  $((ms % 1000)) "$cpu"
