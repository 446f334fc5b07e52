#!/usr/bin/env bash
# Idle footprint of the tray application: resident memory and CPU over 60 s
# of polling a running relay, with the panel closed (the 10-second cadence).
# Runs under Xvfb with a throw-away HOME; prints one summary line.
#
#   bench/app_footprint.sh [path/to/vesperline-relay] [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."

app=${1:-build/release/relay-app/menu/vesperline-relay}
seconds=${2:-60}
[ -x "$app" ] || { echo "no application at $app: cmake --preset release && cmake --build --preset release" >&2; exit 1; }

work=$(mktemp -d)
home=$work/home
display=:$((80 + RANDOM % 9))
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$home/.idlewyn-relay/bin/hooks"
cp relay-app/resources/relay.py relay-app/resources/apns.py "$home/.idlewyn-relay/bin/"
printf '{"port": 0, "tls": false, "host": "127.0.0.1", "advertiseHost": "127.0.0.1"}\n' > "$home/.idlewyn-relay/config.json"
HOME=$home /usr/bin/python3 "$home/.idlewyn-relay/bin/relay.py" >"$work/relay.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$home/.idlewyn-relay/relay-url" ] && break; sleep 0.1; done

Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

env HOME="$home" XDG_CONFIG_HOME="$home/.config" "$app" >"$work/app.log" 2>&1 &
app_pid=$!
pids+=($app_pid)
sleep 3
# No tray under Xvfb: the panel opened as a window. Hide it, as closing the
# tray panel does, so the monitor falls back to its idle cadence.
id=$(xdotool search --onlyvisible --name '^Vesperline Relay$' | head -n1)
xdotool windowunmap --sync "$id"
sleep 2

ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$app_pid/stat"; }
rss() { awk '/^VmRSS/ {print $2}' "/proc/$app_pid/status"; }
start_cpu=$(cpu)
start=$(date +%s.%N)
max_rss=0
samples=0
total_rss=0
end=$(( $(date +%s) + seconds ))
while [ "$(date +%s)" -lt "$end" ]; do
    r=$(rss); samples=$((samples + 1)); total_rss=$((total_rss + r))
    [ "$r" -gt "$max_rss" ] && max_rss=$r
    sleep 1
done
elapsed=$(echo "$(date +%s.%N) - $start" | bc)
used=$(( $(cpu) - start_cpu ))
printf 'idle footprint over %.0f s: RSS max %.1f MB, mean %.1f MB; CPU %.2f %% (%d ticks)\n' \
    "$elapsed" "$(echo "$max_rss / 1024" | bc -l)" "$(echo "$total_rss / $samples / 1024" | bc -l)" \
    "$(echo "100 * $used / $ticks / $elapsed" | bc -l)" "$used"
