#!/usr/bin/env bash
# Times a load and then a configure run of 1 and of 20 emulated receivers side by side, and prints
# the wall times and their ratios. Usage: bench/configure_timing.sh [build-dir] [receivers]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
receivers="${2:-20}"
cmake --build "$build" --target configure_timing -j2
"$build/bench/configure_timing" "$receivers"
