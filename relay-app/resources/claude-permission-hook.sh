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
# read_event and ask_relay come from claude-hook.sh beside it.

exec 2>/dev/null
here=${BASH_SOURCE[0]%/*}
[ "$here" != "${BASH_SOURCE[0]}" ] || here=.
. "$here/claude-hook.sh" || exit 0
read_event
ask_relay "/v1/hooks/claude/permission?parent=$PPID" || exit 0
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
