#!/usr/bin/env bash
# Idle resident memory and CPU of the app next to a bare Qt tray program, each alone under its own
# Xvfb and tray host for the same time. Usage: bench/idle/measure-idle.sh [seconds] (default 60).
# Run scripts/run once before, so the build and the sandbox exist.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
seconds="${1:-60}"
ninja -C "$root/build" bare_tray OrvaneStorageGatewayApp >/dev/null || ninja -C "$root/build" bare_tray OrvaneStorageGatewayApp
export ORVANE_SYSTEM_ROOT="$root/build/sandbox" XDG_CONFIG_HOME="$root/build/sandbox/home/.config"
export XDG_RUNTIME_DIR="$root/build/sandbox/xdg-runtime"
tick="$(getconf CLK_TCK)"

measure() { # <label> <program>
  export DISPLAY=:79
  Xvfb "$DISPLAY" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 & local x=$!
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  trayer --edge top --align right --widthtype request --height 28 >/dev/null 2>&1 & local t=$!
  sleep 0.5
  "$2" >/dev/null 2>&1 & local p=$!
  sleep 3   # start-up is not idling
  local before; before=$(awk '{print $14 + $15}' "/proc/$p/stat")
  local peak=0 sum=0 n=0 rss
  for _ in $(seq "$seconds"); do
    rss=$(awk '/^VmRSS/ {print $2}' "/proc/$p/status")
    sum=$((sum + rss)); n=$((n + 1)); [ "$rss" -gt "$peak" ] && peak=$rss
    sleep 1
  done
  local after; after=$(awk '{print $14 + $15}' "/proc/$p/stat")
  awk -v l="$1" -v m=$((sum / n)) -v p="$peak" -v c=$((after - before)) -v t="$tick" -v s="$seconds" \
    'BEGIN { printf "%-10s RSS mean %6d KiB  peak %6d KiB  CPU %.2f s over %d s (%.3f%%)\n", l, m, p, c / t, s, 100 * c / t / s }'
  kill "$p" "$t" "$x" 2>/dev/null; wait "$p" "$t" "$x" 2>/dev/null || true
}

measure "bare tray" "$root/build/bench/idle/bare_tray"
measure "app" "$root/build/OrvaneStorageGatewayApp.app/Contents/MacOS/orvane Storage Gateway"
