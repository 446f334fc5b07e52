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
The same hooks as empty bash scripts give the floor: what Claude itself
spends on starting any command hook.

Then, with away mode on and a paired phone, it measures the time from the
phone's "allow" leaving the phone to the allowed tool starting in Claude: the
tool's command stamps the clock first thing.

  bench/hook_cost.py [--rounds 8] [--allows 10] [--before DIR_WITH_OLD_RESOURCES]
"""

import argparse
import datetime
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import threading
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


HOOK_DONE = re.compile(r"^(\S+) \[DEBUG\] Hooks: PermissionRequest:\w+ \[[^\]]*\] finished", re.M)


def allow_to_tool(world, settings, runs):
    """Per answer, milliseconds from the phone's answer leaving it to
    (Claude having our hook's decision, the tool's first instruction)."""
    with open(os.path.join(world.home, ".claude", "settings.json"), "w") as f:
        json.dump(settings, f)
    token = world.relay.pair("claude")
    world.relay.set_away(True)
    stamp = os.path.join(world.project, "started")
    debug = os.path.join(world.home, "allow-debug.log")
    gaps = []
    try:
        for i in range(runs):
            for path in (stamp, debug):
                if os.path.exists(path):
                    os.unlink(path)
            done = {}
            run = threading.Thread(target=lambda: done.update(result=world.claude_print(
                "stamp it", "--permission-mode", "default", "--debug-file", debug)))
            run.start()
            prompt = None
            while prompt is None and run.is_alive():
                held = [s for s in world.relay.sessions(token).values() if s.get("permission")]
                prompt = held[0]["permission"]["id"] if held else None
                time.sleep(0.02)
            assert prompt, "Claude never asked"
            # A person takes longer than this to read the prompt; the waiting
            # hook is in place by then, as it would be for them. The phone
            # keeps its connection to the relay open, so the answer is timed
            # from its request, not from a TLS handshake.
            time.sleep(0.5)
            conn = world.relay.connection()
            conn.connect()
            body = json.dumps({"decision": "allow"}).encode()
            sent = time.time_ns()
            conn.request("POST", "/v1/permissions/" + prompt, body,
                         {"Authorization": "Bearer " + token, "Content-Type": "application/json"})
            status = conn.getresponse().status
            conn.close()
            run.join(60)
            assert status == 200 and done.get("result", {}).get("result") == "Stamped.", (status, done)
            with open(stamp) as f:
                started = int(f.read())
            with open(debug, errors="replace") as f:
                m = HOOK_DONE.search(f.read())
            decided = datetime.datetime.fromisoformat(m.group(1).replace("Z", "+00:00")).timestamp() * 1e9
            gaps.append(((decided - sent) / 1e6, (started - sent) / 1e6))
    finally:
        world.relay.set_away(False)
    return gaps


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--rounds", type=int, default=8)
    ap.add_argument("--allows", type=int, default=10, help="phone answers to time (0: none)")
    ap.add_argument("--before", help="a resources folder of an older relay, measured as 'before'")
    args = ap.parse_args()

    steps = [h.bash_step("true %d" % i, "Step %d" % i) for i in range(TOOL_CALLS)]
    world = h.AgentWorld([{"match": "ten calls", "steps": steps, "final": "All ten done."},
                          {"match": "stamp it", "steps": [h.bash_step("date +%s%N > started", "Stamp")],
                           "final": "Stamped."}])
    try:
        with open(os.path.join(world.home, ".claude", "settings.json")) as f:
            ours = json.load(f)
        variants = [("no hooks", {}, None), ("hooks (this tree)", ours, None)]
        # The floor: the same hooks, each an empty bash script, show what
        # Claude itself spends starting a command hook.
        noop_bin = os.path.join(world.home, "noop", ".idlewyn-relay", "bin", "hooks")
        os.makedirs(noop_bin)
        for name in ("claude-hook.sh", "claude-permission-hook.sh"):
            with open(os.path.join(noop_bin, name), "w") as f:
                f.write("#!/bin/bash\nexit 0\n")
            os.chmod(os.path.join(noop_bin, name), 0o755)
        variants.append(("no-op bash hooks", json.loads(json.dumps(ours).replace(
            world.relay.path("bin/hooks"), noop_bin)), None))
        if args.before:
            old_bin = os.path.join(world.home, "before", ".idlewyn-relay", "bin")
            os.makedirs(os.path.join(old_bin, "hooks"))
            shutil.copy(os.path.join(args.before, "relay.py"), old_bin)
            for name in ("claude-hook.sh", "claude-permission-hook.sh"):
                shutil.copy(os.path.join(args.before, name), os.path.join(old_bin, "hooks", name))
                os.chmod(os.path.join(old_bin, "hooks", name), 0o755)
            # The old scripts find relay.py beside them and read the live
            # relay's local-port and hook-token from $HOME/.idlewyn-relay; the
            # relay takes nothing else on its hook routes, so hooks from
            # before the hook token cannot be measured against it.
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
        if args.allows:
            print("\nphone's allow -> the tool running in Claude, %d answers each" % args.allows)
            for name, settings, _ in variants:
                if name in ("no hooks", "no-op bash hooks"):
                    continue
                gaps = allow_to_tool(world, settings, args.allows)
                hook = [g[0] for g in gaps]
                tool = [g[1] for g in gaps]
                print("%-20s tool running: median %5.1f ms (min %5.1f, max %5.1f); Claude has the decision "
                      "after %4.1f ms, its own part %4.1f ms" % (
                          name, statistics.median(tool), min(tool), max(tool), statistics.median(hook),
                          statistics.median([g[1] - g[0] for g in gaps])))
    finally:
        world.close()


if __name__ == "__main__":
    main()
