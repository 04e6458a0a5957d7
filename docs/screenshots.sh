#!/usr/bin/env bash
# Takes the screenshots shown in the README on a virtual X display (Xvfb): each tab page of the main
# window, cropped to it, and a configure run (docs/operation_screenshots.cpp).
# Usage: docs/screenshots.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
program="$build/bin/vandel-configurator"
[ -x "$program" ] || { echo "build the program first: $program is missing" >&2; exit 1; }

display=":$(( 90 + RANDOM % 400 ))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $program_pid $xvfb 2>/dev/null || true' EXIT
export DISPLAY="$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

QT_QPA_PLATFORM=xcb "$program" &
program_pid=$!

# Clicks the screen at x, y through the XTEST extension (no window manager runs here).
click() {
  python3 - "$1" "$2" <<'PY'
import ctypes, sys, time
x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
xtst = ctypes.cdll.LoadLibrary("libXtst.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
d = ctypes.c_void_p(x11.XOpenDisplay(None))
xtst.XTestFakeMotionEvent(d, -1, int(sys.argv[1]), int(sys.argv[2]), 0)
x11.XFlush(d); time.sleep(0.2)
xtst.XTestFakeButtonEvent(d, 1, 1, 0); x11.XFlush(d); time.sleep(0.05)
xtst.XTestFakeButtonEvent(d, 1, 0, 0); x11.XFlush(d)
x11.XCloseDisplay(d)
PY
}

# The window's position and size on the root window.
geometry() {
  local id info
  id="$(xwininfo -root -tree | grep '"Vandel Configurator"' | head -1 | awk '{print $1}')"
  [ -n "$id" ] || return 1
  info="$(xwininfo -id "$id")"
  echo "$(awk '/Absolute upper-left X/{print $4}' <<<"$info") $(awk '/Absolute upper-left Y/{print $4}' <<<"$info") \
$(awk '/Width:/{print $2}' <<<"$info") $(awk '/Height:/{print $2}' <<<"$info")"
}

read -r x y w h < <(for _ in $(seq 100); do geometry && break; sleep 0.1; done)
sleep 1
mkdir -p docs
import -window root -crop "${w}x${h}+${x}+${y}" +repage docs/main-page1.png
# The "Page 2" tab: the second tab, just right of the first, below the menu bar.
click $(( x + ${TAB2_X:-80} )) $(( y + ${TAB2_Y:-36} ))
sleep 1
import -window root -crop "${w}x${h}+${x}+${y}" +repage docs/main-page2.png
echo "docs/main-page1.png docs/main-page2.png (${w}x${h})"
kill $program_pid 2>/dev/null || true

# A configure run against an emulated receiver: 3 s into it, and each "Invalid Configuration" box.
scratch="$(mktemp -d)"
QT_QPA_PLATFORM=xcb "$build/bin/operation_screenshots" "$scratch" >/dev/null
cp "$scratch/configure-progress.png" "$scratch/invalid-configuration-timing.png" \
   "$scratch/invalid-configuration-position.png" "$scratch/summary.png" docs/
rm -rf "$scratch"
echo "docs/configure-progress.png docs/invalid-configuration-timing.png docs/invalid-configuration-position.png docs/summary.png"
