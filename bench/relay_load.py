#!/usr/bin/env python3
"""Load and latency figures for the relay, run against a real relay on loopback.

1. Load: CLIENTS concurrent phones (threads, one keep-alive connection each,
   each phone from an address of its own in 127.0.1.0/24 as real phones are:
   the relay holds one address to a few connections) send REQUESTS requests
   in total (sessions lists, with a settings read every fifth request), over
   plain http and over pinned https. Reports throughput, p50/p99 latency and
   errors (anything but 200 counts; there must be none).
2. Admin keep-alive: 1, 10 and 100 concurrent clients (threads, each with one
   keep-alive connection, all started together behind a barrier) ask the
   loopback listener (local-port, where the app sends its admin requests) for
   the status document for a few seconds; requests per second in all.
3. Permission round trip: the real permission hook raises a prompt, a phone
   sees it and answers, the hook prints the decision. p50/p99 over RUNS runs,
   next to the cost of a hook run that is not held (away mode off).

The relay runs with its own temporary HOME and is stopped at the end.
Usage: relay_load.py [--clients N] [--requests N] [--runs N] [--no-tls]
"""

import argparse
import json
import os
import statistics
import sys
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "relay-app", "tests", "relay"))
from relay_harness import Relay  # noqa: E402


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100.0 * (len(ordered) - 1))))]


def load(relay, clients, total):
    token = relay.pair("claude")
    for i in range(20):
        relay.report("claude", {"session_id": "bench-%d" % i, "cwd": "/w/p%d" % i,
                                "hook_event_name": "UserPromptSubmit", "prompt": "task %d" % i})
    latencies, errors = [], []
    lock = threading.Lock()
    start_gate = threading.Barrier(clients + 1)
    share = [total // clients + (1 if i < total % clients else 0) for i in range(clients)]

    def client(index, n):
        mine, failed = [], 0
        source = "127.0.1.%d" % (index % 254 + 1)
        conn = relay.connection(source=source)
        headers = {"Authorization": "Bearer " + token}
        start_gate.wait()
        for i in range(n):
            path = "/v1/settings" if i % 5 == 4 else "/v1/sessions?provider=claude"
            t0 = time.perf_counter()
            try:
                conn.request("GET", path, headers=headers)
                response = conn.getresponse()
                response.read()
                if response.status != 200:
                    failed += 1
            except Exception:
                failed += 1
                conn.close()
                conn = relay.connection(source=source)
            mine.append(time.perf_counter() - t0)
        conn.close()
        with lock:
            latencies.extend(mine)
            errors.append(failed)

    threads = [threading.Thread(target=client, args=(i, n)) for i, n in enumerate(share)]
    for t in threads:
        t.start()
    start_gate.wait()
    t0 = time.perf_counter()
    for t in threads:
        t.join()
    wall = time.perf_counter() - t0
    return {"requests": len(latencies), "seconds": wall, "throughput": len(latencies) / wall,
            "p50_ms": 1000 * percentile(latencies, 50), "p99_ms": 1000 * percentile(latencies, 99),
            "errors": sum(errors)}


def admin_keepalive(relay, clients, seconds=3.0):
    import http.client
    for i in range(20):
        relay.report("claude", {"session_id": "adm-%d" % i, "cwd": "/w/p%d" % i,
                                "hook_event_name": "UserPromptSubmit", "prompt": "task %d" % i})
    counts, errors = [0] * clients, [0] * clients
    barrier = threading.Barrier(clients + 1)
    end = [0.0]
    port = int(relay.read("local-port"))

    def client(n):
        conn = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
        barrier.wait()
        while time.perf_counter() < end[0]:
            try:
                conn.request("GET", "/v1/admin/status", headers={"X-Idlewyn-Secret": relay.secret})
                response = conn.getresponse()
                response.read()
                if response.status == 200:
                    counts[n] += 1
                else:
                    errors[n] += 1
            except (OSError, http.client.HTTPException):
                errors[n] += 1
                conn.close()
                conn = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
        conn.close()
    threads = [threading.Thread(target=client, args=(n,)) for n in range(clients)]
    for t in threads:
        t.start()
    end[0] = time.perf_counter() + seconds
    barrier.wait()
    for t in threads:
        t.join()
    return {"clients": clients, "rps": sum(counts) / seconds, "errors": sum(errors)}


def permission_round_trip(relay, runs):
    token = relay.pair("claude")

    def payload(sid):
        return {"session_id": sid, "cwd": "/w/api", "hook_event_name": "PermissionRequest", "tool_name": "Bash",
                "tool_input": {"command": "npm test"},
                "permission_suggestions": [{"type": "addRules", "rules": [{"toolName": "Bash", "ruleContent": "npm test"}],
                                            "behavior": "allow", "destination": "localSettings"}]}

    relay.set_away(False)
    unheld = []
    for i in range(min(runs, 20)):
        t0 = time.perf_counter()
        relay.hook("claude-permission-hook.sh", payload("plain-%d" % i))
        unheld.append(time.perf_counter() - t0)

    relay.set_away(True)
    trips, failures = [], 0
    for i in range(runs):
        sid = "trip-%d" % i
        t0 = time.perf_counter()
        proc = relay.hook("claude-permission-hook.sh", payload(sid), wait=False)
        prompt = None
        while prompt is None:
            prompt = relay.sessions(token).get(sid, {}).get("permission")
        status = relay.request("POST", "v1/permissions/" + urllib.parse.quote(prompt["id"], safe=""),
                               {"decision": "allow"}, token=token)[0]
        out = proc.stdout.read()
        proc.wait()
        trips.append(time.perf_counter() - t0)
        proc.stdout.close()
        proc.stderr.close()
        try:
            ok = status == 200 and json.loads(out)["hookSpecificOutput"]["decision"]["behavior"] == "allow"
        except ValueError:
            ok = False
        failures += 0 if ok else 1
    relay.set_away(False)
    return {"runs": runs, "p50_ms": 1000 * statistics.median(trips), "p99_ms": 1000 * percentile(trips, 99),
            "failures": failures, "unheld_hook_p50_ms": 1000 * statistics.median(unheld)}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--clients", type=int, default=100)
    parser.add_argument("--requests", type=int, default=5000)
    parser.add_argument("--runs", type=int, default=100)
    parser.add_argument("--no-tls", action="store_true")
    args = parser.parse_args()

    results = {}
    for tls in ([False] if args.no_tls else [False, True]):
        relay = Relay(tls=tls)
        try:
            name = "https" if tls else "http"
            results["load_" + name] = load(relay, args.clients, args.requests)
            if not tls:
                for clients in (1, 10, 100):
                    results["admin_%d" % clients] = admin_keepalive(relay, clients)
                results["permission_round_trip"] = permission_round_trip(relay, args.runs)
        finally:
            relay.close()

    for name, r in results.items():
        if name.startswith("load_"):
            print("%-6s %d clients, %d requests in %.2f s: %.0f req/s, p50 %.1f ms, p99 %.1f ms, errors %d"
                  % (name[5:], args.clients, r["requests"], r["seconds"], r["throughput"], r["p50_ms"],
                     r["p99_ms"], r["errors"]))
    for clients in (1, 10, 100):
        r = results["admin_%d" % clients]
        print("admin status over keep-alive http, %3d concurrent clients: %.0f req/s, errors %d"
              % (clients, r["rps"], r["errors"]))
    trip = results["permission_round_trip"]
    print("permission round trip (hook -> phone decides -> hook prints), %d runs: p50 %.1f ms, p99 %.1f ms, "
          "failures %d; unheld hook run p50 %.1f ms"
          % (trip["runs"], trip["p50_ms"], trip["p99_ms"], trip["failures"], trip["unheld_hook_p50_ms"]))
    bad = sum(r.get("errors", 0) + r.get("failures", 0) for r in results.values())
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
