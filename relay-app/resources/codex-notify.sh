#!/bin/bash
# Codex reporter, used two ways:
#   codex-notify.sh '<json>'   as Codex's `notify` program (turn completion)
#   codex-notify.sh --hook     as a Codex hook (event JSON on stdin)
# It prints nothing and always exits 0: Codex never waits on a stopped relay.
# Like the Claude hook it speaks plain http to the relay's loopback listener
# straight from bash and waits for the answer, so events keep their order.

exec 2>/dev/null
here=${BASH_SOURCE[0]%/*}
[ "$here" != "${BASH_SOURCE[0]}" ] || here=.
. "$here/claude-hook.sh" || exit 0
if [ "$1" = "--hook" ]; then
    path=/v1/hooks/codex
    read_event
elif [ -n "$1" ]; then
    path=/v1/hooks/codex-notify
    payload=$1
else
    exit 0
fi
ask_relay "$path" || exit 0
read -r -t 5 status <&3
exit 0
