#!/bin/sh
# Claude Code PermissionRequest hook. With away mode on, the relay holds the
# request until a paired phone answers and this prints Claude's decision.
# Away mode off, relay down, timeout or any failure: it prints nothing and
# exits 0, so Claude's own terminal prompt decides. It never denies by itself.

here=$(CDPATH= cd -- "$(dirname -- "$0")" 2>/dev/null && pwd)
relay=
for candidate in "$here/../relay.py" "$here/relay.py" "$HOME/.idlewyn-relay/bin/relay.py"; do
    if [ -f "$candidate" ]; then relay=$candidate; break; fi
done
python=/usr/bin/python3
[ -x "$python" ] || python=$(command -v python3 2>/dev/null)

if [ -z "$relay" ] || [ -z "$python" ]; then
    cat >/dev/null 2>&1
    exit 0
fi
# Only a clean run's output may reach Claude; anything else means "no decision".
if decision=$("$python" "$relay" hook claude-permission 2>/dev/null) && [ -n "$decision" ]; then
    printf '%s\n' "$decision"
fi
exit 0
