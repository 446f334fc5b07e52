"""The real relay under thousands of mutated requests to every route: never a server error nor a logged
traceback, and afterwards it still serves its phones. (Dripping connections are test_capacity's.)
Seeded: the seed is printed, RELAY_FUZZ_SEED=<n> replays it."""

import json
import os
import random
import re
import sys
import unittest
from concurrent.futures import ThreadPoolExecutor

from relay_harness import Relay, wait_for

REQUESTS = 4000
STATUS = re.compile(rb"(?:^|\r\n)HTTP/\d\.\d (\d{3}) ")
HELD = {"session_id": "fuzz-held", "hook_event_name": "PermissionRequest", "tool_name": "Bash", "tool_input": {}}


def templates(claude, codex, prompt, secret, hook):
    """A valid request to each route; working credentials only where it changes nothing checked afterwards."""
    return [
        ("POST", "/v1/pair", {"provider": "claude", "code": "ABCD-EFGH"}, None),
        ("GET", "/v1/sessions?provider=codex", None, "Bearer " + codex),
        ("POST", "/v1/permissions/p0000000000000000", {"decision": "allow"}, "Bearer " + claude),
        ("POST", "/v1/permissions/" + prompt, {"decision": "allow"}, "Bearer " + codex),
        ("GET", "/v1/settings", None, "Bearer " + codex),
        ("POST", "/v1/settings", {"remoteApprovals": True}, "Bearer " + claude),
        ("POST", "/v1/push/tokens", {"deviceID": "d", "kind": "activity", "token": "0aff",
                                     "environment": "sandbox"}, "Bearer " + codex),
        ("POST", "/v1/unpair", None, "Bearer not-a-token"),
        ("GET", "/v1/admin/status", None, secret),
        ("POST", "/v1/admin/settings", {"remoteApprovals": True}, secret),
        ("POST", "/v1/admin/tokens/revoke", {"id": "nobody"}, secret),
        ("POST", "/v1/hooks/claude", {"session_id": "fuzz-other", "hook_event_name": "PreToolUse",
                                      "tool_name": "Bash", "tool_input": {"command": "ls"}}, hook),
        ("POST", "/v1/hooks/codex", {"session_id": "fuzz-other-x", "hook_event_name": "Stop"}, hook),
        ("POST", "/v1/hooks/codex-notify", {"type": "agent-turn-complete", "thread-id": "t"}, hook),
        ("POST", "/v1/hooks/claude/permission", dict(HELD, session_id="fuzz-other"), "wrong"),
        ("POST", "/v1/hooks/permissions/p0000000000000000/wait", {}, hook),
    ]


def mutated(rng, routes):
    """One raw request: a valid one with its parts mutated, or plain garbage."""
    pick = rng.choice
    if rng.randrange(15) == 0:
        return pick([bytes(rng.randrange(256) for _ in range(rng.randrange(1, 400))), b"\r\n\r\n", b"GET /\r\n",
                     b"\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03" + b"\0" * 60,  # a TLS hello on the plain port
                     b"GET / HTTP/1.1\n\n", b"\r\n" * 300 + b"GET /v1/settings HTTP/1.1\r\n\r\n"])
    method, path, body, credential = pick(routes)
    method = pick([method] * 20 + ["PUT", "HEAD", "OPTIONS", "BREW", method.lower(), method * 50, "G\0T", ""])
    path = pick([path] * 20 + [path + "/" + "a" * pick([1, 300, 70000]), path.replace("/", "//"),
                              path + "/../../etc/passwd", path + pick(["%", "%zz", "%00", "%ff%fe", "\u00e9", "#f"]),
                              "http://example.invalid" + path, pick(["*", "", "?", "/" * 200]),
                              path + pick(["?provider=", "?provider=a&provider=b", "?" + "&" * 5000]),
                              path[:rng.randrange(len(path) + 1)]])
    version = pick(["HTTP/1.1"] * 30 + ["HTTP/1.0", "HTTP/0.9", "HTTP/2.0", "HTTP/1", "HTTP/x.y", "http/1.1",
                                       "HTTP/1." + "1" * 20, "", "HTTP/1.1 extra"])
    data = b"" if body is None else json.dumps(body).encode()
    if body and rng.randrange(4) == 0:
        value = pick([None, -1, 1.5, [], {}, "", "x" * 5000, "cut \ud83d", [1] * 1000, 10 ** 400])
        data = json.dumps(dict(body, **{pick(sorted(body)): value})).encode()
    data = pick([data] * 12 + [data[:rng.randrange(len(data) + 1)], data.replace(b'"', b"'"),
                              b"[" * 5000 + b"]" * 5000, pick([b"null", b"1e999", b"NaN", b"[]", b'"x"']),
                              data + b"\r\n\r\nGET /v1/settings HTTP/1.1\r\n\r\n", data + b" " * 3000])
    head = [" ".join(p for p in (method, path, version) if p).encode("utf-8", "surrogatepass")]
    if credential is not None and rng.randrange(6):
        credential = pick([credential] * 12 + ["", credential[:-1], "x" * 9000, "\u00e9" * 9])
        name = "Authorization: " if credential.startswith("Bearer") != (rng.randrange(8) == 0) else "X-Idlewyn-Secret: "
        head.append((name + credential).encode("utf-8", "surrogatepass"))
    length = len(data)
    head.append(pick([b"Content-Length: %d" % length] * 16 + [
        b"Content-Length: %d" % (length + 7), b"Content-Length: %d" % max(0, length - 3), b"Content-Length: -1",
        b"Content-Length: 99999999999999999999", b"Content-Length: 5, 5", b"Transfer-Encoding: chunked", b""]))
    head += pick([[]] * 16 + [[b"X-H%d: v" % i for i in range(pick([50, 101]))], [b"X-Long: " + b"v" * 70000],
                             [pick([b"no colon", b": empty", b" folded", b"X-Nul: a\0b", b"\xff\xfe: x"])],
                             [pick([b"Connection: keep-alive", b"Expect: 100-continue", b"Upgrade: h2c"])]])
    eol = pick([b"\r\n"] * 19 + [b"\n"])
    return eol.join(h for h in head if h) + eol + eol + data


class FuzzTest(unittest.TestCase):
    def test_mutated_requests_never_break_the_relay(self):
        seed = int(os.environ.get("RELAY_FUZZ_SEED") or random.SystemRandom().randrange(1 << 32))
        sys.stderr.write("\nrelay fuzz seed %d (replay: RELAY_FUZZ_SEED=%d)\n" % (seed, seed))
        rng = random.Random(seed)
        relay = Relay()
        self.addCleanup(relay.close)
        claude, codex = relay.pair("claude"), relay.pair("codex")
        relay.report("codex", {"session_id": "fuzz-keep-x", "cwd": "/w/cli", "hook_event_name": "SessionStart"})
        relay.set_away(True)
        held_hook = relay.hook("claude-permission-hook.sh", HELD, wait=False)
        self.addCleanup(lambda: (held_hook.kill(), held_hook.wait(), held_hook.stdout.close(),
                                 held_hook.stderr.close()))
        prompt = wait_for(lambda: relay.sessions(claude).get("fuzz-held", {}).get("permission"), "the prompt")
        before = relay.status()
        routes = templates(claude, codex, prompt["id"], relay.secret, relay.hook_token)
        cases = [mutated(rng, routes) for _ in range(REQUESTS)]

        def errors(i):
            # Many source addresses, so the log keeps each one's first lines and a traceback shows.
            reply = relay.raw(cases[i], "127.0.%d.%d" % (1 + i // 250 % 4, 1 + i % 250))
            # 505 is the right answer to an HTTP version it does not speak.
            found = map(int, STATUS.findall(reply))
            return [(s, cases[i][:200], reply[:300]) for s in found if s >= 500 and s != 505]

        with ThreadPoolExecutor(max_workers=8) as pool:
            bad = [e for found in pool.map(errors, range(REQUESTS)) for e in found]
        self.assertEqual(bad[:3], [], "%d server errors; seed %d" % (len(bad), seed))
        self.assertIsNone(relay.proc.poll(), "the relay is still running")
        with open(relay.path("relay.log"), "rb") as f:
            self.assertNotIn(b"Traceback", f.read(), "seed %d" % seed)

        after = relay.status()
        self.assertEqual([t["id"] for t in after["tokens"]], [t["id"] for t in before["tokens"]])
        self.assertTrue(after["remoteApprovals"])
        self.assertIn("fuzz-keep-x", relay.sessions(codex, "codex"))
        self.assertEqual(relay.request("POST", "v1/permissions/" + prompt["id"], {"decision": "deny"}, token=claude),
                         (200, {"ok": True}))
        out = json.loads(held_hook.stdout.read().decode())
        self.assertEqual(out["hookSpecificOutput"]["decision"]["behavior"], "deny")


if __name__ == "__main__":
    unittest.main()
