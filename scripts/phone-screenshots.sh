#!/usr/bin/env bash
# Runs the phone client under Xvfb at phone size (390×844) against the real
# relay on loopback, in a throw-away HOME with its own Secret Service, and
# screenshots it: pairing (through the pairing link, as the system opens it),
# the list with a session of every status raised through the agents' hook
# scripts, a session holding a permission prompt that offers "Always", and
# the settings with the paired relay; in light, dark and night.
#
#   scripts/phone-screenshots.sh [path/to/vesperline] [output folder]
#
# No window manager runs, so the window sits at the screen's corner and the
# places clicked below are the window's own: the toolbar's back button, its
# "Settings" button and the list's first row.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" != --inside ]; then
    # Connections live in the Secret Service: a private one, thrown away after.
    exec sh kit/tests/support/with-secret-service.sh "$0" --inside "$@"
fi
shift

app=${1:-build/release/phone-app/app/vesperline}
out=${2:-build/phone-screenshots}
[ -x "$app" ] || { echo "no client at $app: build it first (cmake --preset release && cmake --build --preset release --target vesperline)" >&2; exit 1; }
app=$(cd "$(dirname "$app")" && pwd)/$(basename "$app")
mkdir -p "$out"
out=$(cd "$out" && pwd)

work=$(mktemp -d)
home=$work/home
relay=$home/.idlewyn-relay
display=:$((80 + RANDOM % 9))
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# The relay laid out as its installer lays it out, on loopback with TLS.
mkdir -p "$relay/bin/hooks"
cp relay-app/resources/relay.py relay-app/resources/apns.py "$relay/bin/"
cp relay-app/resources/claude-hook.sh relay-app/resources/claude-permission-hook.sh \
   relay-app/resources/codex-notify.sh relay-app/resources/claude-settings.example.json "$relay/bin/hooks/"
chmod +x "$relay"/bin/hooks/*.sh
printf '{"port": 0, "tls": true, "host": "127.0.0.1", "advertiseHost": "127.0.0.1"}\n' > "$relay/config.json"
HOME=$home /usr/bin/python3 "$relay/bin/relay.py" >"$work/relay.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$relay/relay-url" ] && [ -s "$relay/relay-cert.pem" ] && break; sleep 0.1; done
[ -s "$relay/relay-url" ] || { echo "the relay did not come up" >&2; cat "$work/relay.log" >&2; exit 1; }

admin() { # method path [json body]: the loopback admin API, answer on stdout
    python3 - "$relay" "$@" <<'PY'
import pathlib, ssl, sys, urllib.request
relay, method, path = pathlib.Path(sys.argv[1]), sys.argv[2], sys.argv[3]
body = sys.argv[4].encode() if len(sys.argv) > 4 else None
request = urllib.request.Request((relay / "relay-url").read_text().strip().rstrip("/") + "/" + path, body, method=method,
                                 headers={"X-Idlewyn-Secret": (relay / "hook-secret").read_text().strip(),
                                          "Content-Type": "application/json"})
context = ssl.create_default_context(cafile=str(relay / "relay-cert.pem"))
context.check_hostname = False
print(urllib.request.urlopen(request, context=context).read().decode())
PY
}
pairing_link() {
    admin GET v1/admin/status | python3 -c 'import json, sys; print(json.load(sys.stdin)["pairingLink"])'
}
hook() { # script [arguments] < payload
    HOME=$home "$relay/bin/hooks/$1" "${@:2}" >/dev/null
}
claude() { # session directory event [extra JSON fields]
    printf '{"session_id":"%s","cwd":"%s","hook_event_name":"%s"%s}' "$1" "$2" "$3" "${4:+,$4}" | hook claude-hook.sh
}

# A session of every status, and one of Codex's.
claude s-work /home/dev/vesperline UserPromptSubmit '"prompt":"Make the relay client retry"'
claude s-work /home/dev/vesperline PostToolUse '"tool_name":"TodoWrite","tool_input":{"todos":[{"content":"a","status":"completed"},{"content":"b","status":"completed"},{"content":"c","status":"in_progress"},{"content":"d","status":"pending"},{"content":"e","status":"pending"}]},"tool_response":{}'
claude s-work /home/dev/vesperline PreToolUse '"tool_name":"Bash","tool_input":{"command":"ctest --preset dev -R relay_client --output-on-failure"}'
claude s-done /home/dev/api UserPromptSubmit '"prompt":"Refactor auth middleware"'
claude s-done /home/dev/api Stop '"last_assistant_message":"Refactored the auth middleware and added tests."'
claude s-fail /srv/infra UserPromptSubmit '"prompt":"Fix the flaky CI job"'
claude s-fail /srv/infra StopFailure '"error":"API error: rate limited"'
claude s-idle /home/dev/notes UserPromptSubmit '"prompt":"Summarise the meeting notes"'
claude s-idle /home/dev/notes SessionStart '"source":"startup"'
printf '{"session_id":"thread-1","cwd":"/home/dev/web","hook_event_name":"UserPromptSubmit","prompt":"Add a dark mode to the settings page"}' \
    | hook codex-notify.sh --hook

# Away mode: the permission hook holds its prompt once a phone is paired.
hold_prompt() {
    admin POST v1/admin/settings '{"remoteApprovals": true}' >/dev/null
    claude s-wait /home/dev/checkout-service UserPromptSubmit '"prompt":"Clean the build"'
    printf '%s' '{"session_id":"s-wait","cwd":"/home/dev/checkout-service","hook_event_name":"PermissionRequest","tool_name":"Bash","tool_input":{"command":"rm -rf node_modules && npm ci --prefer-offline","description":"Reinstall the dependencies from the lock file"},"permission_suggestions":[{"type":"addRules","behavior":"allow","destination":"localSettings","rules":[{"toolName":"Bash","ruleContent":"npm ci:*"}]}]}' \
        | HOME=$home "$relay/bin/hooks/claude-permission-hook.sh" >/dev/null &
    pids+=($!)
}

window() {
    local id=
    for _ in $(seq 200); do
        id=$(xdotool search --onlyvisible --name '^Vesperline$' 2>/dev/null | head -n1) && [ -n "$id" ] && break
        sleep 0.1
    done
    [ -n "$id" ] || { echo "the client's window did not show" >&2; cat "$work/app.log" >&2; exit 1; }
    echo "$id"
}
snap() { # name
    sleep 2.5
    import -window "$(window)" "$out/$1.png"
    echo "wrote $out/$1.png"
}
click() { # x y, in the window
    xdotool mousemove --window "$(window)" "$1" "$2" click 1
    xdotool mousemove 0 1000   # no hover left behind
}

run_round() { # suffix, extra environment...
    local suffix=$1; shift
    # The link as the system hands it over: the client pairs at once.
    env HOME="$home" XDG_CONFIG_HOME="$home/.config" "$@" "$app" "$(pairing_link)" >"$work/app.log" 2>&1 &
    local app_pid=$!
    pids+=($app_pid)
    window >/dev/null
    sleep 3
    snap "phone-pairing-$suffix"
    if [ "$suffix" = light ]; then
        hold_prompt
    fi
    click 24 24        # back to the list
    snap "phone-list-$suffix"
    click 195 150      # the first row: the session that waits for an answer
    snap "phone-prompt-$suffix"
    click 24 24
    sleep 1
    click 345 24       # Settings
    snap "phone-settings-$suffix"
    kill "$app_pid"
    wait "$app_pid" 2>/dev/null || true
}

run_round light QT_QUICK_CONTROLS_MATERIAL_THEME=Light
run_round dark QT_QUICK_CONTROLS_MATERIAL_THEME=Dark
mkdir -p "$home/.config/Vesperline"
printf '[General]\nnightMode=true\n' > "$home/.config/Vesperline/Vesperline.conf"
run_round night QT_QUICK_CONTROLS_MATERIAL_THEME=Light
