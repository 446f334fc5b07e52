#!/bin/bash
# Claude Code PermissionRequest hook. With away mode on, the relay holds the
# request until a paired phone answers and this prints Claude's decision.
# Away mode off, relay down, timeout or any failure: it prints nothing and
# exits 0, so Claude's own terminal prompt decides. It never denies by itself.
#
# Most requests are not held, so asking costs only bash and one plain-http
# request to the relay's loopback listener; only a held prompt starts Python
# to wait for the phone. The request names this script's parent so the relay
# can tell the agent process apart and see the person answer at the terminal.

relay_home="$HOME/.idlewyn-relay"
payload=$(cat 2>/dev/null)
{ read -r port <"$relay_home/local-port" && read -r secret <"$relay_home/hook-token"; } 2>/dev/null || exit 0
case $port in '' | *[!0-9]*) exit 0 ;; esac
exec 3<>"/dev/tcp/127.0.0.1/$port" 2>/dev/null || exit 0
LC_ALL=C
printf 'POST /v1/hooks/claude/permission?parent=%d HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Idlewyn-Secret: %s\r\nContent-Type: application/json\r\nContent-Length: %d\r\nConnection: close\r\n\r\n%s' \
    "$PPID" "$secret" "${#payload}" "$payload" >&3 2>/dev/null
IFS= read -r -d '' -t 10 answer <&3
exec 3<&-
case $answer in
    'HTTP/1.1 200 '*'"hold":true'*) ;;
    *) exit 0 ;;
esac
prompt=${answer#*\"promptId\":\"}
prompt=${prompt%%\"*}
wait=${answer#*\"waitSeconds\":}
wait=${wait%%[!0-9.]*}
case $prompt in '' | *[!A-Za-z0-9]*) exit 0 ;; esac

here=$(CDPATH= cd -- "$(dirname -- "$0")" 2>/dev/null && pwd)
relay=
for candidate in "$here/../relay.py" "$here/relay.py" "$relay_home/bin/relay.py"; do
    if [ -f "$candidate" ]; then relay=$candidate; break; fi
done
python=/usr/bin/python3
[ -x "$python" ] || python=$(command -v python3 2>/dev/null)
[ -n "$relay" ] && [ -n "$python" ] || exit 0
# Only a clean run's output may reach Claude; anything else means "no decision".
if decision=$("$python" "$relay" hook claude-permission-wait "$prompt" "${wait:-0}" <<<"$payload" 2>/dev/null) \
        && [ -n "$decision" ]; then
    printf '%s\n' "$decision"
fi
exit 0
