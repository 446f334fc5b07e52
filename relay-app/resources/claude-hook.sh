#!/bin/bash
# Claude Code hook: reports one event (read from stdin) to the local relay.
# It prints nothing (for some events Claude would add stdout to the
# conversation) and always exits 0, so a missing or stopped relay never gets
# in the agent's way.
#
# Claude waits for every hook, so this one costs it only what bash needs: no
# interpreter to start, plain http to the relay's loopback listener
# (local-port), the secret read from its 0600 file. It waits for the relay's
# answer before exiting, which keeps the events in Claude's order.

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
printf 'POST /v1/hooks/claude HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Idlewyn-Secret: %s\r\nContent-Type: application/json\r\nContent-Length: %d\r\nConnection: close\r\n\r\n%s' \
    "$secret" "${#payload}" "$payload" >&3
read -r -t 5 status <&3
exit 0
