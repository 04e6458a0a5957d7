#!/usr/bin/env bash
# A measurement, not a test: configure runs back to back against 20 emulated receivers with a random
# mix of faults for SECONDS (default 600), checking each port's result against its fault; prints
# runs, wrong results, descriptors and threads before and after, and peak memory.
# Usage: bench/soak.sh [SECONDS] [SEED] (build folder: VC_BENCH_BUILD, default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${VC_BENCH_BUILD:-build}"
cmake --build "$build" --target configure_soak -j2
"$build/bench/configure_soak" "${1:-600}" "${2:-2026}"
