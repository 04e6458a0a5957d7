#!/usr/bin/env bash
# vandel-cli trace on what is hard to read: a crafted trace of 200,000 ports (one packet each) and a
# sparse 1 GB file with one event after a gigabyte of zero bytes. Prints the wall time and peak
# memory of each (the CPU time too: on a busy machine it is the fairer figure). Usage: bench/trace_reading.sh BIN_DIR
set -euo pipefail
bin="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
python3 - "$work/ports.trace" <<'PY'
import sys
with open(sys.argv[1], "w") as f:
    f.write("# trace of vandel-cli 1.20, started 2026-12-08 11:00:00.123 UTC\n")
    for port in range(1, 200001):
        f.write(f"{port} comm{port} packet-tx id=1F group=0 length=1 data=1F\n")
PY
truncate -s 1G "$work/sparse.trace"
echo "5 comm1 note after a gigabyte of nothing" >>"$work/sparse.trace"
for name in ports sparse; do
  /usr/bin/time -f "trace $name: %e s wall, %U s user, %S s system, %M kB max resident" \
    "$bin/vandel-cli" trace "$work/$name.trace" >/dev/null 2>"$work/$name.time" || true
  tail -n 1 "$work/$name.time"
done
