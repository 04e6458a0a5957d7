#!/usr/bin/env bash
# Builds the Debian package and checks it as a lab would meet it: lintian finds no error, the desktop
# entry validates, it installs with apt (which pulls what the programs need), the installed programs
# answer --version, the manual page and the Ansible collection are found, and it removes cleanly.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/ensure-deps.sh
vc_ensure_packages dpkg-dev lintian desktop-file-utils man-db

deb="$(./package.sh | tail -1)"
echo "package: $deb"
# lintian exits non-zero on errors; as root it only warns that it runs as root.
lintian --fail-on error "$deb"
desktop-file-validate packaging/vandel-configurator.desktop

DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "./$deb" >/dev/null
status=0
for program in vandel-configurator vandel-cli kirp-emulator; do
  /usr/bin/$program --version || status=1
done
man -w vandel-cli || status=1
# Ansible finds the collection where the package put it, without being told where.
ansible-doc vandel.receivers.receiver >/dev/null || status=1
DEBIAN_FRONTEND=noninteractive apt-get remove -y vandel-configurator >/dev/null
if [ -e /usr/bin/vandel-cli ]; then
  echo "the package left /usr/bin/vandel-cli behind" >&2
  status=1
fi
[ "$status" -eq 0 ] && echo "package: built, checked, installed, run and removed"
exit "$status"
