#!/usr/bin/env bash
# Runs the real tray application under Xvfb against the real relay, in a
# throw-away HOME, and screenshots its panel: relay down, running without
# sessions, and running with sessions raised through the agents' hook
# scripts; in the desktop's light palette and in a dark GTK theme.
#
#   scripts/screenshots.sh [path/to/vesperline-relay] [output folder]
#
# Xvfb has no system tray, so the application shows its panel as a window —
# the same RelayMenu the tray icon opens. "Start Relay" is pressed through the
# keyboard, so the relay really comes up through the application's own
# service manager.
set -euo pipefail
cd "$(dirname "$0")/.."

app=${1:-build/release/relay-app/menu/vesperline-relay}
out=${2:-build/screenshots}
[ -x "$app" ] || { echo "no application at $app: build it first (cmake --preset release && cmake --build --preset release)" >&2; exit 1; }
mkdir -p "$out"
out=$(cd "$out" && pwd)

work=$(mktemp -d)
display=:$((90 + RANDOM % 9))
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    if [ -f "$work/home/.idlewyn-relay/relay.pid" ]; then kill "$(cat "$work/home/.idlewyn-relay/relay.pid")" 2>/dev/null || true; fi
    pkill -f "$work/home/.idlewyn-relay/bin/relay.py" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

wait_for_panel() { # the application first waits a few seconds for a tray
    local id=
    for _ in $(seq 200); do
        id=$(xdotool search --onlyvisible --name '^Vesperline Relay$' 2>/dev/null | head -n1) && [ -n "$id" ] && break
        sleep 0.1
    done
    [ -n "$id" ] || { echo "the panel did not show" >&2; exit 1; }
    echo "$id"
}

snap() { # name
    sleep "${2:-3}"
    local id geometry
    id=$(wait_for_panel)
    # The panel's own rectangle out of the whole screen (no window manager
    # runs, so there are no decorations to cut away).
    geometry=$(xwininfo -id "$id" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
        /^  Width/ {w=$NF} /^  Height/ {h=$NF} END {printf "%dx%d+%d+%d", w, h, x, y}')
    import -window root -crop "$geometry" +repage "$out/$1.png"
    echo "wrote $out/$1.png"
}

snap_window() { # title, name
    local id= geometry
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1) && [ -n "$id" ] && break
        sleep 0.1
    done
    [ -n "$id" ] || { echo "no window \"$1\"" >&2; return 1; }
    sleep 3
    geometry=$(xwininfo -id "$id" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
        /^  Width/ {w=$NF} /^  Height/ {h=$NF} END {printf "%dx%d+%d+%d", w, h, x, y}')
    import -window root -crop "$geometry" +repage "$out/$2.png"
    echo "wrote $out/$2.png"
}

hook() { # json payload → claude-hook.sh
    printf '%s' "$1" | HOME="$home" "$home/.idlewyn-relay/bin/hooks/claude-hook.sh"
}

run_round() { # suffix, extra env...
    local suffix=$1; shift
    home=$work/home
    rm -rf "$home"; mkdir -p "$home/.idlewyn-relay"
    # Loopback only, any free port; the pairing link names loopback too.
    printf '{"port": 0, "tls": true, "host": "127.0.0.1", "advertiseHost": "127.0.0.1"}\n' \
        > "$home/.idlewyn-relay/config.json"

    env HOME="$home" XDG_CONFIG_HOME="$home/.config" "$@" "$app" >"$work/app-$suffix.log" 2>&1 &
    local app_pid=$!
    pids+=($app_pid)
    snap "panel-down-$suffix" 4

    # Start Relay is the first control in the focus chain while the relay is
    # down, so it has the focus when the window is activated.
    local id
    id=$(xdotool search --onlyvisible --name '^Vesperline Relay$' | head -n1)
    xdotool windowfocus --sync "$id" key Return
    for _ in $(seq 100); do [ -s "$home/.idlewyn-relay/relay-url" ] && break; sleep 0.1; done
    [ -s "$home/.idlewyn-relay/relay-url" ] || { echo "the relay did not come up"; cat "$work/app-$suffix.log"; exit 1; }
    snap "panel-running-$suffix" 4

    # The three windows the panel opens, once: their rows sit at fixed places
    # in the panel of a running relay without sessions.
    if [ "$suffix" = light ]; then
        local x y title name
        read -r x y < <(xwininfo -id "$id" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} END {print x, y}')
        for row in "140 Pair a Phone window-pair" "164 Paired Phones window-tokens" "188 Set Up Hooks window-hooks"; do
            set -- $row
            local offset=$1; name=${*: -1}; title=${*:2:$#-2}
            xdotool mousemove $((x + 80)) $((y + offset)) click 1
            snap_window "$title" "$name"
            xdotool search --onlyvisible --name "^$title\$" windowclose 2>/dev/null || xdotool search --onlyvisible --name "^$title\$" windowunmap
            sleep 1
        done
        xdotool mousemove 0 0   # no hover left on the panel's rows
    fi

    hook '{"session_id":"s-work","cwd":"/home/dev/vesperline","hook_event_name":"UserPromptSubmit","prompt":"Make the relay client retry"}'
    hook '{"session_id":"s-work","cwd":"/home/dev/vesperline","hook_event_name":"PreToolUse","tool_name":"Bash","tool_input":{"command":"ctest --preset dev -R relay_client --output-on-failure"}}'
    hook '{"session_id":"s-wait","cwd":"/home/dev/checkout-service","hook_event_name":"UserPromptSubmit","prompt":"Clean the build"}'
    hook '{"session_id":"s-wait","cwd":"/home/dev/checkout-service","hook_event_name":"PermissionRequest","tool_name":"Bash","tool_input":{"command":"rm -rf node_modules"}}'
    hook '{"session_id":"s-done","cwd":"/home/dev/api","hook_event_name":"UserPromptSubmit","prompt":"Refactor auth middleware"}'
    hook '{"session_id":"s-done","cwd":"/home/dev/api","hook_event_name":"Stop","last_assistant_message":"Refactored the auth middleware and added tests."}'
    hook '{"session_id":"s-fail","cwd":"/srv/infra","hook_event_name":"UserPromptSubmit","prompt":"Fix the flaky CI job"}'
    hook '{"session_id":"s-fail","cwd":"/srv/infra","hook_event_name":"StopFailure","error":"API error: rate limited"}'
    snap "panel-sessions-$suffix" 5

    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    if [ -f "$home/.idlewyn-relay/relay.pid" ]; then kill "$(cat "$home/.idlewyn-relay/relay.pid")" 2>/dev/null || true; fi
    sleep 1
}

run_round light
run_round dark QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita:dark

# With a tray host: the icon in the bar and the panel hanging from it.
if command -v trayer >/dev/null; then
    trayer --edge top --align right --widthtype pixel --width 120 --height 28 \
        --tint 0x303030 --transparent true --alpha 0 >/dev/null 2>&1 &
    pids+=($!)
    sleep 1
    home=$work/home
    rm -rf "$home"; mkdir -p "$home/.idlewyn-relay"
    printf '{"port": 0, "tls": true, "host": "127.0.0.1", "advertiseHost": "127.0.0.1"}\n' \
        > "$home/.idlewyn-relay/config.json"
    env HOME="$home" XDG_CONFIG_HOME="$home/.config" "$app" >"$work/app-tray.log" 2>&1 &
    pids+=($!)
    sleep 3
    width=$(xdpyinfo | awk '/dimensions:/ {split($2, d, "x"); print d[1]}')
    xdotool mousemove $((width - 14)) 14 click 1   # the icon sits at the bar's right end
    sleep 2
    import -window root -crop 420x260+$((width - 420))+0 +repage "$out/tray-popup-down.png"
    echo "wrote $out/tray-popup-down.png"
fi
