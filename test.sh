#!/usr/bin/env bash
# Builds with warnings as errors and runs every test, headless. Extra arguments go to ctest
# (./test.sh -L unit). --sanitize builds and runs the sanitizer presets instead.
set -euo pipefail
cd "$(dirname "$0")"
source tools/ensure-deps.sh
vc_ensure_packages

export QT_QPA_PLATFORM=offscreen
# Tests that run the programs (kirp-emulator, vandel-cli, vandel-configurator) find them here.
export VC_SOURCE_DIR="$PWD"
jobs="$(nproc)"

if [ "${1:-}" = "--sanitize" ]; then
  # The whole suite under AddressSanitizer + UndefinedBehaviorSanitizer (any finding ends its test),
  # then the Qt-free suites under ThreadSanitizer. Both run even when the first fails.
  shift
  status=0
  start=$SECONDS
  vc_build asan-ubsan build/asan-ubsan
  VC_BIN_DIR="$PWD/build/asan-ubsan/bin" ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build/asan-ubsan --output-on-failure -j"$jobs" "$@" || status=1
  echo "AddressSanitizer + UndefinedBehaviorSanitizer: build and suite took $((SECONDS - start)) s"
  start=$SECONDS
  vc_build tsan build/tsan
  VC_BIN_DIR="$PWD/build/tsan/bin" TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    ctest --test-dir build/tsan --output-on-failure -j"$jobs" "$@" || status=1
  echo "ThreadSanitizer (Qt-free suites): build and suite took $((SECONDS - start)) s"
  exit "$status"
fi

# Every C++ file formatted, every include pointing down the layers (the layers check also runs in ctest).
tools/check-format.sh
vc_build dev build
VC_BIN_DIR="$PWD/build/bin" ctest --test-dir build --output-on-failure -j"$jobs" "$@"
