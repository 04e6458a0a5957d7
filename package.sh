#!/usr/bin/env bash
# Builds the Debian package: build/package/vandel-configurator_VERSION_amd64.deb, with the programs
# in /usr/bin, the desktop entry, the icon, the manual pages and bash completion, made from the
# development build (optimised, the distribution's hardening flags, stripped); dependencies computed
# from the binaries.
# --windows instead makes build/package/vandel-configurator-VERSION-win64.zip: vandel-cli.exe and
# kirp-emulator.exe cross-built for Windows, the README and the licence.
set -euo pipefail
cd "$(dirname "$0")"
source tools/ensure-deps.sh
if [ "${1:-}" = "--windows" ]; then
  vc_ensure_packages "${VC_WINDOWS_PACKAGES[@]}"
  vc_build windows build/windows
  version="$(sed -n 's/^project(VandelConfigurator VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
  name="vandel-configurator-$version-win64"
  stage="build/package/$name"
  rm -rf "$stage" "build/package/$name.zip"
  mkdir -p "$stage"
  for program in vandel-cli kirp-emulator; do
    x86_64-w64-mingw32-strip -o "$stage/$program.exe" "build/windows/bin/$program.exe"
  done
  cp README.md "$stage/README.md"
  cp packaging/copyright "$stage/LICENSE.txt"
  (cd build/package && zip -qr "$name.zip" "$name")
  ls "build/package/$name.zip"
  exit 0
fi
vc_ensure_packages dpkg-dev
# The development build is the package's build: optimised, with the hardening flags and debugging
# information, which cpack strips. Configuring again applies the preset to a build folder made before.
build=build
cmake --preset dev >/dev/null
cmake --build "$build" -j"$(nproc)"
mkdir -p build/package
(cd "$build" && cpack -G DEB -B "$PWD/package" >/dev/null)
ls build/package/vandel-configurator_*_*.deb
