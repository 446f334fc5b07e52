#!/usr/bin/env bash
# The phone client beside its floor (a bare Qt Quick Controls app of the same
# window size and list length), in one run on one machine:
#  - cold start to the first painted list (median of 5 alternating starts);
#  - RSS after 60 s, and CPU over that idle minute, both running side by side
#    with the client polling a TLS relay that holds 10 sessions;
#  - over a longer run of the client (600 s unless told): TLS handshakes after
#    the first poll, and requests per poll.
# Runs under Xvfb with a throw-away HOME and a private Secret Service.
#
#   bench/phone_footprint.sh [path/to/phone_footprint] [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."

bench=${1:-build/release/bench/phone_footprint}
seconds=${2:-600}
[ -x "$bench" ] || { echo "no benchmark at $bench: cmake --preset release && cmake --build --preset release --target phone_footprint" >&2; exit 1; }
bench=$(realpath "$bench")

# A private D-Bus with an unlocked keyring for the stored connections.
if [ -z "${PHONE_FOOTPRINT_INSIDE:-}" ]; then
    PHONE_FOOTPRINT_INSIDE=1 exec sh kit/tests/support/with-secret-service.sh "$0" "$bench" "$seconds"
fi

work=$(mktemp -d)
home=$work/home
display=:$((90 + RANDOM % 9))
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

relay_dir=$home/.idlewyn-relay
mkdir -p "$relay_dir/bin/hooks"
cp relay-app/resources/relay.py relay-app/resources/apns.py "$relay_dir/bin/"
cp relay-app/resources/claude-hook.sh "$relay_dir/bin/hooks/"
printf '{"port": 0, "tls": true, "host": "127.0.0.1", "advertiseHost": "127.0.0.1"}\n' > "$relay_dir/config.json"
HOME=$home /usr/bin/python3 "$relay_dir/bin/relay.py" >"$work/relay.log" 2>&1 &
pids+=($!)
for _ in $(seq 200); do [ -s "$relay_dir/relay-url" ] && [ -s "$relay_dir/local-port" ] && break; sleep 0.1; done

# Ten sessions, as Claude Code's hooks report them: seven working, three done.
for i in $(seq 1 10); do
    for event in SessionStart UserPromptSubmit $([ "$i" -gt 7 ] && echo Stop); do
        printf '{"session_id": "bench-%02d", "cwd": "/home/dev/project-%d", "hook_event_name": "%s", "prompt": "step %d", "transcript_path": "/nonexistent"}' \
            "$i" "$i" "$event" "$i" | HOME=$home "$relay_dir/bin/hooks/claude-hook.sh"
    done
done

Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display QT_QPA_PLATFORM=xcb
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

run() { env HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" "$@"; }

status=$(RELAY_DIR=$relay_dir /usr/bin/python3 -c '
import os, ssl, urllib.request
d = os.environ["RELAY_DIR"]
read = lambda name: open(os.path.join(d, name)).read().strip()
context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
context.check_hostname, context.verify_mode = False, ssl.CERT_NONE
request = urllib.request.Request(read("relay-url") + "/v1/admin/status", headers={"X-Idlewyn-Secret": read("hook-secret")})
print(urllib.request.urlopen(request, context=context).read().decode())')
link=$(printf '%s' "$status" | /usr/bin/python3 -c 'import json, sys; print(json.load(sys.stdin)["pairingLink"])')
sessions=$(printf '%s' "$status" | /usr/bin/python3 -c 'import json, sys; print(len(json.load(sys.stdin)["sessions"]))')
run "$bench" pair "$link" >/dev/null

# Starts `phone_footprint MODE…` with its clock, leaves its pid in $started
# (env execs the benchmark, so the pid is the benchmark's own).
start() {
    local out=$1; shift
    env VESPERLINE_BENCH_T0="$(date +%s%N)" HOME="$home" XDG_CONFIG_HOME="$home/.config" \
        XDG_CACHE_HOME="$home/.cache" "$bench" "$@" >"$out" 2>"$out.err" &
    started=$!
    pids+=($started)
}
first_list() {
    for _ in $(seq 600); do
        grep -q first-list-ms "$1" 2>/dev/null && { awk '/first-list-ms/ {print $2}' "$1"; return; }
        sleep 0.05
    done
    echo "no first list in $1: $(cat "$1.err")" >&2; exit 1
}
median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }

floor_starts=() client_starts=()
for round in 1 2 3 4 5; do
    for mode in floor client; do
        start "$work/$mode-$round.out" "$mode"
        ms=$(first_list "$work/$mode-$round.out")
        kill "$started"; wait "$started" 2>/dev/null || true
        if [ "$mode" = floor ]; then floor_starts+=("$ms"); else client_starts+=("$ms"); fi
    done
done
floor_ms=$(printf '%s\n' "${floor_starts[@]}" | median)
client_ms=$(printf '%s\n' "${client_starts[@]}" | median)

ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }

start "$work/floor.out" floor
floor_pid=$started
start "$work/client.out" client "$seconds"
client_pid=$started
first_list "$work/floor.out" >/dev/null
first_list "$work/client.out" >/dev/null
sleep 10
floor_cpu0=$(cpu "$floor_pid") client_cpu0=$(cpu "$client_pid")
sleep 60
floor_cpu=$(( $(cpu "$floor_pid") - floor_cpu0 )) client_cpu=$(( $(cpu "$client_pid") - client_cpu0 ))
floor_rss=$(rss "$floor_pid") client_rss=$(rss "$client_pid")
kill "$floor_pid"

printf 'relay sessions: %s (TLS, pinned)\n' "$sessions"
printf 'cold start to first painted list (median of 5): floor %s ms, client %s ms (%.2fx; goal <= 1.5x)\n' \
    "$floor_ms" "$client_ms" "$(echo "$client_ms / $floor_ms" | bc -l)"
printf '  floor starts: %s\n  client starts: %s\n' "${floor_starts[*]}" "${client_starts[*]}"
printf 'RSS after 70 s: floor %.1f MB, client %.1f MB (%.2fx; goal <= 1.3x)\n' \
    "$(echo "$floor_rss / 1024" | bc -l)" "$(echo "$client_rss / 1024" | bc -l)" "$(echo "$client_rss / $floor_rss" | bc -l)"
printf 'CPU over an idle minute (window shown, never focused: no window manager, so the 10-s cadence): floor %.2f %%, client %.2f %% (%d / %d ticks)\n' \
    "$(echo "100 * $floor_cpu / $ticks / 60" | bc -l)" "$(echo "100 * $client_cpu / $ticks / 60" | bc -l)" \
    "$floor_cpu" "$client_cpu"

while kill -0 "$client_pid" 2>/dev/null && ! grep -q '^handshakes' "$work/client.out"; do sleep 1; done
read -r _ handshakes _ later _ requests _ polls < <(grep '^handshakes' "$work/client.out")
printf 'over %s s of the client: %s polls, %s requests (%.2f per poll), %s TLS handshakes, %s of them after the first poll (goal none)\n' \
    "$seconds" "$polls" "$requests" "$(echo "$requests / $polls" | bc -l)" "$handshakes" "$later"
