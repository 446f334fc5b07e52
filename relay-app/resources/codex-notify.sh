#!/bin/sh
# Codex reporter, used two ways:
#   codex-notify.sh '<json>'   as Codex's `notify` program (turn completion)
#   codex-notify.sh --hook     as a Codex hook (event JSON on stdin)
# It prints nothing and always exits 0: Codex never waits on a stopped relay.

here=$(CDPATH= cd -- "$(dirname -- "$0")" 2>/dev/null && pwd)
relay=
for candidate in "$here/../relay.py" "$here/relay.py" "$HOME/.idlewyn-relay/bin/relay.py"; do
    if [ -f "$candidate" ]; then relay=$candidate; break; fi
done
python=/usr/bin/python3
[ -x "$python" ] || python=$(command -v python3 2>/dev/null)

if [ -z "$relay" ] || [ -z "$python" ]; then
    [ "$1" = "--hook" ] && cat >/dev/null 2>&1
    exit 0
fi
if [ "$1" = "--hook" ]; then
    "$python" "$relay" hook codex >/dev/null 2>&1
elif [ -n "$1" ]; then
    "$python" "$relay" hook codex-notify "$1" >/dev/null 2>&1 </dev/null
fi
exit 0
