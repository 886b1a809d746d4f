#!/usr/bin/env bash
# Idle memory and CPU of the app next to a bare Qt tray program, each alone under its own Xvfb for
# the same time: first in an X11 tray (trayer), then with the app's status item exported to a
# status notifier watcher on a session bus of its own, where the D-Bus messages sent while
# nothing changes are counted too. Private memory is read at the start and at the end of the
# idle time, so growth shows. Usage: bench/idle/measure-idle.sh [seconds] [xembed|item]
# (default 60 s, both trays).
# Run scripts/run once before, so the build and the sandbox exist.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
seconds="${1:-60}"
ninja -C "$root/build" bare_tray OrvaneStorageGatewayApp >/dev/null || ninja -C "$root/build" bare_tray OrvaneStorageGatewayApp
export ORVANE_SYSTEM_ROOT="$root/build/sandbox" XDG_CONFIG_HOME="$root/build/sandbox/home/.config"
export XDG_RUNTIME_DIR="$root/build/sandbox/xdg-runtime"
tick="$(getconf CLK_TCK)"
# Dirty only: a clean page of a library is counted private once no other process maps it.
private() { awk '/^Private_Dirty/ {s += $2} END {print s}' "/proc/$1/smaps_rollup"; }

measure() { # <label> <program> <xembed|item>
  export DISPLAY=:79
  local helpers=()
  Xvfb "$DISPLAY" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 & helpers+=($!)
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  local traffic=""
  if [ "$3" = item ]; then
    local address; address="$(mktemp)"; traffic="$(mktemp)"
    dbus-daemon --session --nofork --print-address=3 3>"$address" & helpers+=($!)
    until [ -s "$address" ]; do sleep 0.05; done
    export DBUS_SESSION_BUS_ADDRESS="$(head -n 1 "$address")"
    /usr/bin/python3 -m dbusmock --template "$root/platform/testing/dbus/mock_status_tray.py" \
      >/dev/null 2>&1 & helpers+=($!)
    sleep 1
  else
    unset DBUS_SESSION_BUS_ADDRESS
    trayer --edge top --align right --widthtype request --height 28 >/dev/null 2>&1 & helpers+=($!)
    sleep 0.5
  fi
  "$2" >/dev/null 2>&1 & local p=$!
  sleep 3   # start-up is not idling
  if [ -n "$traffic" ]; then
    dbus-monitor --session >"$traffic" 2>/dev/null & helpers+=($!)
    sleep 0.5
  fi
  local before; before=$(awk '{print $14 + $15}' "/proc/$p/stat")
  local first; first=$(private "$p")
  local peak=0 sum=0 n=0 rss
  for _ in $(seq "$seconds"); do
    rss=$(awk '/^VmRSS/ {print $2}' "/proc/$p/status")
    sum=$((sum + rss)); n=$((n + 1)); [ "$rss" -gt "$peak" ] && peak=$rss
    sleep 1
  done
  local after; after=$(awk '{print $14 + $15}' "/proc/$p/stat")
  local last; last=$(private "$p")
  local messages="-"
  # Every message but the bus's own greeting to the monitor.
  [ -z "$traffic" ] || messages=$(grep -E '^(signal|method call|method return|error)' "$traffic" |
    grep -vc 'sender=org.freedesktop.DBus' || true)
  awk -v l="$1 ($3)" -v m=$((sum / n)) -v p="$peak" -v c=$((after - before)) -v t="$tick" \
    -v s="$seconds" -v a="$first" -v b="$last" -v d="$messages" \
    'BEGIN { printf "%-22s RSS mean %6d KiB  peak %6d KiB  private dirty %6d -> %6d KiB  CPU %.2f s over %d s (%.3f%%)  D-Bus messages %s\n", l, m, p, a, b, c / t, s, 100 * c / t / s, d }'
  kill "$p" "${helpers[@]}" 2>/dev/null; wait "$p" "${helpers[@]}" 2>/dev/null || true
  [ -z "$traffic" ] || rm -f "$traffic" "$address"
}

app="$root/build/OrvaneStorageGatewayApp.app/Contents/MacOS/orvane Storage Gateway"
for tray in ${2:-xembed item}; do
  measure "bare tray" "$root/build/bench/idle/bare_tray" "$tray"
  measure "app" "$app" "$tray"
done
