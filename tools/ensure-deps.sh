#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need, when any is missing.
# Sourced by run.sh and test.sh.
set -euo pipefail

VC_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libxcb1-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libcli11-dev libtoml11-dev
  ser2net locales
  clang libclang-rt-14-dev clang-format
  ansible-core python3-jsonschema
)

# Only for the Windows build and its run under Wine (./test.sh --windows, ./package.sh --windows).
VC_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix wine64 zip)

vc_missing_packages() {
  local missing=()
  for p in "${VC_PACKAGES[@]}" "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  echo "${missing[@]:-}"
}

vc_ensure_packages() {
  local missing
  missing="$(vc_missing_packages "$@")"
  [ -z "${missing// /}" ] && return 0
  local cmd="apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing"
  echo "Installing missing packages: $missing"
  if [ "$(id -u)" = 0 ]; then
    bash -c "$cmd"
  elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    sudo bash -c "$cmd"
  else
    echo "Cannot install packages (not root, no sudo). Please run as root:" >&2
    echo "  $cmd" >&2
    return 1
  fi
}

# Configures (once) and builds a preset incrementally.
vc_build() {
  local preset="$1" dir="$2"
  if [ ! -f "$dir/build.ninja" ]; then
    cmake --preset "$preset" >/dev/null
  fi
  cmake --build "$dir" -j"$(nproc)"
}
