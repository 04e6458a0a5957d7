#!/usr/bin/env bash
# The Windows programs under Wine: the unit suites, then vandel-cli.exe against the Linux
# kirp-emulator on a pseudo-terminal that Wine maps to COM3, against kirp-emulator.exe --listen
# (RFC 2217) under Wine, and on a COM port another Windows program holds. Every step is bounded
# in time; the Wine prefix is a fresh one in a temporary folder, removed at the end.
# Usage: tests/windows/wine-run.sh WINDOWS_BUILD_DIR LINUX_BIN_DIR [ctest arguments]
set -euo pipefail
win="$1"
lin="$2"
shift 2

work="$(mktemp -d)"
export WINEPREFIX="$work/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine="$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)"
wineserver="$(command -v wineserver || echo /usr/lib/wine/wineserver64)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  "$wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

start=$SECONDS
# One server for the whole run, started first and quiet: each program then starts in a fraction of
# a second, and no program's output becomes the server's.
mkdir -p "$WINEPREFIX"
"$wineserver" -p 300 >/dev/null 2>&1 || true
timeout 240 "$wine" wineboot -i >/dev/null 2>&1 || true
# The first program after the server starts can stall: one small run first, bounded.
timeout 60 "$wine" "$win/tests/byte_order_test.exe" --gtest_list_tests >/dev/null 2>&1 || true
echo "Wine prefix ready in $((SECONDS - start)) s"

status=0
start=$SECONDS
timeout 900 ctest --test-dir "$win" --output-on-failure -j2 --timeout 60 --repeat after-timeout:2 "$@" || status=1
echo "Windows unit suites under Wine took $((SECONDS - start)) s"

start=$SECONDS
check() {
  local what="$1"
  shift
  if "$@"; then
    echo "ok     $what"
  else
    echo "FAILED $what"
    status=1
  fi
}

# Waits (at most 20 s) for a program's first line matching a pattern in its output file.
wait_for() {
  local file="$1" pattern="$2"
  for _ in $(seq 200); do
    grep -q -- "$pattern" "$file" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "no '$pattern' in $file:" >&2
  cat "$file" >&2
  return 1
}

# A Linux receiver on a pty (extra arguments to kirp-emulator), mapped to COM3: sets PTY.
emulator_on_com3() {
  local name="$1"
  shift
  "$lin/kirp-emulator" --pty --log "$work/$name.log" "$@" >"$work/$name.out" 2>&1 &
  pids+=($!)
  wait_for "$work/$name.out" "receiver 1 on" || return 1
  PTY="$(awk '/receiver 1 on/ {print $4}' "$work/$name.out")"
  ln -sfn "$PTY" "$WINEPREFIX/dosdevices/com3"
}

# A receiver kirp-emulator.exe serves under Wine: sets URL.
emulator_exe() {
  local name="$1"
  shift
  "$wine" "$win/bin/kirp-emulator.exe" --listen 127.0.0.1:0 --log "$work/$name.log" "$@" >"$work/$name.out" 2>&1 &
  pids+=($!)
  wait_for "$work/$name.out" "listening on" || return 1
  URL="$(grep -o 'rfc2217://[^)]*' "$work/$name.out")"
}

quietly() { "$@" >/dev/null; }
cli_exe() { timeout 120 "$wine" "$win/bin/vandel-cli.exe" "$@"; }
cli_linux() { timeout 120 "$lin/vandel-cli" "$@"; }
# The packets a receiver got, each once, in the order they first came (the log cuts the byte stream
# wherever a read ended, and how often a wait repeats a packet depends on the machine's load).
received() {
  awk '$3 == "rx" { for (i = 4; i <= NF; ++i) print $i }' "$1" | awk '
    !inside { if ($0 == "10") { inside = 1; packet = "" } next }
    escape { escape = 0; if ($0 == "03") { print packet; inside = 0; next } packet = packet " " $0; next }
    $0 == "10" { escape = 1; next }
    { packet = packet " " $0 }' | awk '!seen[$0]++'
}
is_169() { [ "$(stat -c %s "$1")" = 169 ]; }

# load: the same 169 bytes as the Linux tool from the same receiver.
emulator_on_com3 load
cli_linux load "$PTY" -o "$work/linux.dat" --quiet
check "load COM3" cli_exe load COM3 -o "$work/windows.dat" --quiet
check "  ... 169 bytes" is_169 "$work/windows.dat"
check "  ... the Linux tool's bytes" cmp "$work/linux.dat" "$work/windows.dat"

# configure: a file with other settings; the receiver gets the same packets from both tools.
cp "$work/linux.dat" "$work/rack.dat"
printf '\x3e\x86\x0a\x8a' | dd of="$work/rack.dat" bs=1 seek=20 conv=notrunc status=none
emulator_on_com3 configure-linux
cli_linux configure "$work/rack.dat" "$PTY" --yes --quiet >/dev/null
emulator_on_com3 configure-windows
check "configure COM3 succeeds" quietly cli_exe configure "$work/rack.dat" COM3 --yes --quiet
check "  ... the receiver got the packets the Linux tool sends" \
  diff <(received "$work/configure-linux.log") <(received "$work/configure-windows.log")
check "  ... it got packets" test -n "$(received "$work/configure-windows.log")"
check "verify COM3 matches" quietly cli_exe verify "$work/rack.dat" COM3 --quiet

# A COM port another Windows program holds is refused as busy, with its reason. Wine's server
# checks the sharing of an open only for regular files and folders (a COM port is a tty underneath),
# so under Wine the second open succeeds: reported, not failed.
"$wine" "$win/tests/hold_port.exe" COM3 30 >"$work/hold.out" 2>&1 &
holder=$!
pids+=($holder)
if wait_for "$work/hold.out" held; then
  set +e
  cli_exe load COM3 -o "$work/busy.dat" --quiet 2>"$work/busy.err"
  busy_status=$?
  set -e
  if [ "$busy_status" = 1 ] && grep -q "busy: opened for exclusive use by another program" "$work/busy.err"; then
    echo "ok     a held COM3 is refused as busy, with its reason"
  else
    echo "NOT SHOWN a held COM3 is refused as busy: Wine does not check a COM port's sharing (exit $busy_status)"
  fi
else
  check "hold_port holds COM3" false
fi
kill "$holder" 2>/dev/null || true

# A fleet of two runs (two settings files): each run a process of its own (CreateProcess), every
# receiver configured; then the same fleet stopped by Ctrl-C (SIGINT, which Wine hands the
# program as the console's Ctrl-C): exit 130, every receiver listed as interrupted with its step.
"$lin/kirp-emulator" --pty --count 2 --log "$work/fleet.log" >"$work/fleet.out" 2>&1 &
pids+=($!)
wait_for "$work/fleet.out" "receiver 2 on"
ln -sfn "$(awk '/receiver 1 on/ {print $4}' "$work/fleet.out")" "$WINEPREFIX/dosdevices/com5"
ln -sfn "$(awk '/receiver 2 on/ {print $4}' "$work/fleet.out")" "$WINEPREFIX/dosdevices/com6"
printf 'COM5 %s\nCOM6 %s\n' "$work/rack.dat" "$work/linux.dat" >"$work/fleet.txt"
fleet_runs() {
  [ "$(grep '"result":"success"' "$work/fleet.jsonl" | grep -c '"portResult":5')" = 2 ] && grep -q '"run":2' "$work/fleet.jsonl"
}
check "a fleet of two runs succeeds" quietly cli_exe configure --manifest "$work/fleet.txt" --yes --quiet --audit "$work/fleet.jsonl"
check "  ... each receiver in a run of its own, configured" fleet_runs
timeout 120 "$wine" "$win/bin/vandel-cli.exe" configure --manifest "$work/fleet.txt" --yes --quiet \
  --audit "$work/stopped.jsonl" >/dev/null 2>"$work/stopped.err" &
fleet=$!
sleep 3
kill -INT "$fleet"
set +e
wait "$fleet"
stopped_status=$?
set -e
check "Ctrl-C stops the fleet: exit 130" test "$stopped_status" = 130
check "  ... both receivers listed as interrupted, with their step" \
  test "$(grep '"result":"interrupted"' "$work/stopped.jsonl" | grep -c '"step":"')" = 2

# RFC 2217: kirp-emulator.exe under Wine, the Windows tool on its network port.
emulator_exe network
check "load over RFC 2217 from kirp-emulator.exe" cli_exe load "$URL" -o "$work/network.dat" --quiet
check "  ... the same 169 bytes" cmp "$work/linux.dat" "$work/network.dat"
# A receiver whose Port B runs at other line settings: its Break Reply comes at 19200 baud and is lost
# on the 9600 baud line, and the tool falls back to the PC side's settings given, as on Linux.
emulator_on_com3 other-line --port-b 19200,8,N,1
cli_linux load "$PTY" -o "$work/other-linux.dat" --quiet --pc-settings 19200,8,N,1
check "load COM3 from a receiver at 19200 baud (Break Reply fallback)" \
  cli_exe load COM3 -o "$work/other.dat" --quiet --pc-settings 19200,8,N,1
check "  ... the Linux tool's 169 bytes" cmp "$work/other-linux.dat" "$work/other.dat"
emulator_exe other-network --port-b 19200,8,O,1
cli_linux load "$URL" -o "$work/other-network-linux.dat" --quiet --pc-settings 19200,8,O,1
check "load over RFC 2217 from a receiver at 19200,8,O,1 (Break Reply fallback)" \
  cli_exe load "$URL" -o "$work/other-network.dat" --quiet --pc-settings 19200,8,O,1
check "  ... it saw the line break" grep -q "line break" "$work/other-network.log"
check "  ... the Linux tool's 169 bytes" cmp "$work/other-network-linux.dat" "$work/other-network.dat"
check "kirp-emulator.exe --pty says it needs Linux" \
  bash -c "'$wine' '$win/bin/kirp-emulator.exe' --pty 2>&1 | grep -q 'need Linux'"

echo "Windows end-to-end tests under Wine took $((SECONDS - start)) s"
exit "$status"
