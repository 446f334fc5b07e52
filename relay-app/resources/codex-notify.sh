#!/bin/bash
# Codex reporter, used two ways:
#   codex-notify.sh '<json>'   as Codex's `notify` program (turn completion)
#   codex-notify.sh --hook     as a Codex hook (event JSON on stdin)
# It prints nothing and always exits 0: Codex never waits on a stopped relay.
# Like the Claude hook it speaks plain http to the relay's loopback listener
# straight from bash and waits for the answer, so events keep their order.

exec 2>/dev/null
# Bytes, not characters: read -N and ${#payload} count in this locale.
LC_ALL=C
relay_home="$HOME/.idlewyn-relay"
if [ "$1" = "--hook" ]; then
    path=/v1/hooks/codex
    # Most events are under 2 KB: bash reads those itself (a byte at a time, as
    # stdin is a pipe or socket, still cheaper than starting cat); longer ones
    # need cat for the rest.
    IFS= read -r -d '' -N 2048 payload
    [ "${#payload}" -lt 2048 ] || payload+=$(cat)
elif [ -n "$1" ]; then
    path=/v1/hooks/codex-notify
    payload=$1
else
    exit 0
fi
{ read -r port <"$relay_home/local-port" && read -r secret <"$relay_home/hook-token"; } || exit 0
case $port in '' | *[!0-9]*) exit 0 ;; esac
exec 3<>"/dev/tcp/127.0.0.1/$port" || exit 0
printf 'POST %s HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Idlewyn-Secret: %s\r\nContent-Type: application/json\r\nContent-Length: %d\r\nConnection: close\r\n\r\n%s' \
    "$path" "$secret" "${#payload}" "$payload" >&3
read -r -t 5 status <&3
exit 0
