#!/usr/bin/env bash
# Builds and runs the serial driver's idle-cost and close-latency measurement on 20 pseudo-terminal
# ports. Usage: bench/serial_idle_close.sh [build-dir] [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
seconds="${2:-10}"
cmake --build "$build" --target serial_idle_close -j2
"$build/bench/serial_idle_close" "$seconds"
