#!/usr/bin/env bash
# Builds and starts the Configurator. With no arguments it also starts an emulated receiver on a
# loopback network serial port and maps it to Comm 1; with arguments it passes them on and starts
# no emulator.
set -euo pipefail
cd "$(dirname "$0")"
source tools/ensure-deps.sh
vc_ensure_packages
vc_build dev build

if [ $# -gt 0 ]; then
  exec build/bin/vandel-configurator "$@"
fi

if [ ! -x build/bin/kirp-emulator ]; then
  exec build/bin/vandel-configurator
fi

portfile="$(mktemp)"
build/bin/kirp-emulator --listen 127.0.0.1:0 >"$portfile" &
emulator=$!
trap 'kill $emulator 2>/dev/null || true; rm -f "$portfile"' EXIT
port=""
for _ in $(seq 100); do
  port="$(grep -oE '127\.0\.0\.1:[0-9]+' "$portfile" | head -1 | cut -d: -f2 || true)"
  [ -n "$port" ] && break
  kill -0 $emulator 2>/dev/null || break
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "The emulated receiver did not start; starting the Configurator without it." >&2
  build/bin/vandel-configurator
else
  echo "Emulated receiver on Comm 1 (rfc2217://127.0.0.1:$port)"
  build/bin/vandel-configurator --comm "1=rfc2217://127.0.0.1:$port"
fi
