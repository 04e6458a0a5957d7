#!/usr/bin/env bash
# Builds the Debian package: build/package/vandel-configurator_VERSION_amd64.deb, with the programs
# in /usr/bin, the desktop entry, the icon, the manual pages and bash completion. Release build with
# the distribution's hardening flags; dependencies computed from the binaries.
set -euo pipefail
cd "$(dirname "$0")"
source tools/ensure-deps.sh
vc_ensure_packages dpkg-dev
build=build/package
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DVC_BUILD_TESTS=OFF -DVC_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="-D_FORTIFY_SOURCE=2 -fstack-protector-strong -fstack-clash-protection -fcf-protection" \
    -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro -Wl,-z,now" >/dev/null
fi
cmake --build "$build" -j"$(nproc)"
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/vandel-configurator_*_*.deb
