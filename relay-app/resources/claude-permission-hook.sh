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

exec 2>/dev/null
# Bytes, not characters: read -N and ${#payload} count in this locale.
LC_ALL=C
relay_home="$HOME/.idlewyn-relay"
# Most events are under 2 KB: bash reads those itself (a byte at a time, as
# stdin is a pipe or socket, still cheaper than starting cat); longer ones
# need cat for the rest.
IFS= read -r -d '' -N 2048 payload
[ "${#payload}" -lt 2048 ] || payload+=$(cat)
{ read -r port <"$relay_home/local-port" && read -r secret <"$relay_home/hook-token"; } || exit 0
case $port in '' | *[!0-9]*) exit 0 ;; esac
exec 3<>"/dev/tcp/127.0.0.1/$port" || exit 0
printf 'POST /v1/hooks/claude/permission?parent=%d HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Idlewyn-Secret: %s\r\nContent-Type: application/json\r\nContent-Length: %d\r\nConnection: close\r\n\r\n%s' \
    "$PPID" "$secret" "${#payload}" "$payload" >&3
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

here=$(CDPATH= cd -- "$(dirname -- "$0")" && pwd)
relay=
for candidate in "$here/../relay.py" "$here/relay.py" "$relay_home/bin/relay.py"; do
    if [ -f "$candidate" ]; then relay=$candidate; break; fi
done
python=/usr/bin/python3
[ -x "$python" ] || python=$(command -v python3)
[ -n "$relay" ] && [ -n "$python" ] || exit 0
# The waiter writes Claude's decision only after a clean answer and nothing
# else to stdout, so it can have the hook's stdout itself: the decision
# reaches Claude the moment the phone's answer does.
exec "$python" "$relay" hook claude-permission-wait "$prompt" "${wait:-0}" <<<"$payload"
