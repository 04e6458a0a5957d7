#!/usr/bin/env bash
# Builds with warnings as errors and runs every test, headless. Extra arguments go to ctest
# (./test.sh -L unit). --sanitize builds and runs the sanitizer presets instead; --windows
# cross-builds the Windows programs and runs their suites and end-to-end tests under Wine.
set -euo pipefail
cd "$(dirname "$0")"
source tools/ensure-deps.sh
vc_ensure_packages

export QT_QPA_PLATFORM=offscreen
# Tests that run the programs (kirp-emulator, vandel-cli, vandel-configurator) find them here.
export VC_SOURCE_DIR="$PWD"
jobs="$(nproc)"
# Most end-to-end tests spend their time waiting on a line's timing, not on a processor: four tests
# a core keep the processors busy (VC_TEST_JOBS sets another number).
test_jobs="${VC_TEST_JOBS:-$((jobs * 4))}"

if [ "${1:-}" = "--sanitize" ]; then
  # The whole suite under AddressSanitizer + UndefinedBehaviorSanitizer (any finding ends its test),
  # then the Qt-free suites under ThreadSanitizer. Both run even when the first fails.
  shift
  status=0
  start=$SECONDS
  vc_build asan-ubsan build/asan-ubsan
  VC_BIN_DIR="$PWD/build/asan-ubsan/bin" ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build/asan-ubsan --output-on-failure -j"$test_jobs" "$@" || status=1
  echo "AddressSanitizer + UndefinedBehaviorSanitizer: build and suite took $((SECONDS - start)) s"
  start=$SECONDS
  vc_build tsan build/tsan
  VC_BIN_DIR="$PWD/build/tsan/bin" TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    ctest --test-dir build/tsan --output-on-failure -j"$test_jobs" "$@" || status=1
  echo "ThreadSanitizer (Qt-free suites): build and suite took $((SECONDS - start)) s"
  exit "$status"
fi

if [ "${1:-}" = "--windows" ]; then
  shift
  vc_ensure_packages "${VC_WINDOWS_PACKAGES[@]}"
  start=$SECONDS
  # The Linux programs the Windows ones are compared with and tested against.
  [ -f build/build.ninja ] || cmake --preset dev >/dev/null
  cmake --build build -j"$jobs" --target kirp-emulator vandel-cli
  vc_build windows build/windows
  echo "Windows cross build took $((SECONDS - start)) s"
  tests/windows/wine-run.sh "$PWD/build/windows" "$PWD/build/bin" "$@"
  echo "Windows: build and runs under Wine took $((SECONDS - start)) s"
  exit 0
fi

# Every C++ file formatted, every include pointing down the layers (the layers check also runs in ctest).
tools/check-format.sh
vc_build dev build
VC_BIN_DIR="$PWD/build/bin" ctest --test-dir build --output-on-failure -j"$test_jobs" "$@"
