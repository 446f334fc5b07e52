#!/usr/bin/env python3
"""What our hooks cost a real Claude Code turn.

Drives the real Claude Code (installed by scripts/setup-debian.sh, offline
against the scripted model endpoint of the real-agents suite) headless on one
turn of 10 Bash tool calls, allowed, so no prompt is held: with no hooks,
with the hooks that install-hooks writes, and optionally with the hook
scripts of another relay tree (for a before/after in the same run), the
variants interleaved round by round. Prints per variant the median turn
time, the ratio to no hooks, the added seconds per tool call and the median
time Claude was blocked in one of our hooks (from Claude's --debug-file).

  bench/hook_cost.py [--rounds 8] [--before DIR_WITH_OLD_RESOURCES]
"""

import argparse
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "relay-app", "tests", "agents"))
os.environ.setdefault("IDLEWYN_TEST_PHONE", "/bin/true")

import agents_harness as h  # noqa: E402

TOOL_CALLS = 10
BLOCKED = re.compile(r"Hooks: (\w+)(?::\w+)? \[([^\]]*)\] finished with status \d+ \((\d+)ms\)")


def turn(world, settings, debug):
    with open(os.path.join(world.home, ".claude", "settings.json"), "w") as f:
        json.dump(settings, f)
    if os.path.exists(debug):
        os.unlink(debug)
    start = time.monotonic()
    result = world.claude_print("ten calls", "--allowedTools", "Bash", "--debug-file", debug)
    took = time.monotonic() - start
    assert result.get("result") == "All ten done.", result
    blocked = []
    if os.path.exists(debug):
        with open(debug, errors="replace") as f:
            for m in BLOCKED.finditer(f.read()):
                if "/.idlewyn-relay/" in m.group(2):
                    blocked.append(int(m.group(3)))
    return took, blocked


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--rounds", type=int, default=8)
    ap.add_argument("--before", help="a resources folder of an older relay, measured as 'before'")
    args = ap.parse_args()

    steps = [h.bash_step("true %d" % i, "Step %d" % i) for i in range(TOOL_CALLS)]
    world = h.AgentWorld([{"match": "ten calls", "steps": steps, "final": "All ten done."}])
    try:
        with open(os.path.join(world.home, ".claude", "settings.json")) as f:
            ours = json.load(f)
        variants = [("no hooks", {}, None), ("hooks (this tree)", ours, None)]
        if args.before:
            old_bin = os.path.join(world.home, "before", ".idlewyn-relay", "bin")
            os.makedirs(os.path.join(old_bin, "hooks"))
            shutil.copy(os.path.join(args.before, "relay.py"), old_bin)
            for name in ("claude-hook.sh", "claude-permission-hook.sh"):
                shutil.copy(os.path.join(args.before, name), os.path.join(old_bin, "hooks", name))
                os.chmod(os.path.join(old_bin, "hooks", name), 0o755)
            # The old scripts find relay.py beside them and read the live
            # relay's relay-url and hook-secret from $HOME/.idlewyn-relay.
            text = json.dumps(ours).replace(world.relay.path("bin/hooks"), os.path.join(old_bin, "hooks"))
            variants.append(("hooks (before)", json.loads(text), None))
        times = dict((name, []) for name, _, _ in variants)
        blocked = dict((name, []) for name, _, _ in variants)
        debug = os.path.join(world.home, "debug.log")
        turn(world, {}, debug)  # warm the caches once
        for r in range(args.rounds):
            for name, settings, _ in variants:
                took, b = turn(world, settings, debug)
                times[name].append(took)
                blocked[name].extend(b)
            print("round %d/%d done" % (r + 1, args.rounds), file=sys.stderr)
        base = statistics.median(times["no hooks"])
        print("Claude Code, headless, one turn of %d allowed Bash calls, %d rounds interleaved"
              % (TOOL_CALLS, args.rounds))
        print("%-20s %10s %7s %16s %22s" % ("variant", "median s", "ratio", "added s/call",
                                            "blocked ms/hook (med)"))
        for name, _, _ in variants:
            med = statistics.median(times[name])
            b = statistics.median(blocked[name]) if blocked[name] else 0
            print("%-20s %10.3f %7.2f %16.3f %22s" % (name, med, med / base, (med - base) / TOOL_CALLS,
                                                     ("%.0f (%d hooks)" % (b, len(blocked[name]) // args.rounds))
                                                     if blocked[name] else "-"))
    finally:
        world.close()


if __name__ == "__main__":
    main()
