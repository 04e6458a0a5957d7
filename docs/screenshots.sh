#!/usr/bin/env bash
# Takes the screenshots shown in the README on a virtual X display (Xvfb) with a window manager
# (openbox, where installed: the windows get their frames and places as an operator's do): each tab
# page of the main window, cropped to it, and the operations (docs/operation_screenshots.cpp).
# Needs the Debian packages xvfb, x11-utils, imagemagick and libxtst6 (and openbox for the frames).
# Usage: docs/screenshots.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
program="$build/bin/vandel-configurator"
[ -x "$program" ] || { echo "build the program first: $program is missing" >&2; exit 1; }

display=":$(( 90 + RANDOM % 400 ))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
wm=
trap 'kill $program_pid $wm $xvfb 2>/dev/null || true' EXIT
export DISPLAY="$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
if command -v openbox >/dev/null; then
  openbox >/dev/null 2>&1 &
  wm=$!
  sleep 1
fi

QT_QPA_PLATFORM=xcb "$program" &
program_pid=$!

# Clicks the screen at x, y through the XTEST extension.
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

# The window's position and size on the root window (its client area: the last of the windows by that
# name, inside the frame a window manager puts around it).
geometry() {
  local id info
  id="$(xwininfo -root -tree | grep '"Vandel Configurator"' | tail -1 | awk '{print $1}')"
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

# The operations against emulated receivers: a load that meets Error 12 and its progress beside its
# dialog, a configure run 3 s in, each "Invalid Configuration" box, the summary and an Error 101 reason.
scratch="$(mktemp -d)"
QT_QPA_PLATFORM=xcb "$build/bin/operation_screenshots" "$scratch" >/dev/null
pictures=(error12.png load-progress.png configure-progress.png invalid-configuration-timing.png
          invalid-configuration-position.png summary.png summary-error101-reason.png)
for picture in "${pictures[@]}"; do cp "$scratch/$picture" docs/; done
rm -rf "$scratch"
echo "${pictures[@]/#/docs/}"
