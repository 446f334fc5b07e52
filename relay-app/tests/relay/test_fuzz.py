"""The real relay under a few thousand mutated requests.

Methods, paths, versions, headers, lengths and bodies are mutated from valid
requests to every route; some requests arrive a few bytes at a time, some
stop half-way and hold the connection. The relay must never answer a server
error, and afterwards still serve its phones with their tokens, sessions and
held prompt.

Seeded and reproducible: the seed is printed; RELAY_FUZZ_SEED=<n> replays it.
"""

import json
import os
import random
import re
import socket
import sys
import threading
import time
import unittest
import urllib.parse
from concurrent.futures import ThreadPoolExecutor

from relay_harness import Relay, wait_for

REQUESTS = 5000
SLOW = 40
HALF_OPEN = 40
STATUS = re.compile(rb"(?:^|\r\n)HTTP/(\d)\.(\d) (\d{3}) ")
KNOWN_VERSIONS = ("HTTP/1.1", "HTTP/1.0")

HELD = {"session_id": "fuzz-held", "cwd": "/w/api", "hook_event_name": "PermissionRequest",
        "tool_name": "Bash", "tool_input": {"command": "make deploy"}}


def fuzz_seed():
    text = os.environ.get("RELAY_FUZZ_SEED")
    return int(text) if text else random.SystemRandom().randrange(1 << 32)


class Mutator(object):
    """Builds raw requests from a seeded generator; knows nothing of the answers."""

    def __init__(self, rng, tokens, secret, hook_token):
        self.rng = rng
        self.tokens = tokens
        self.secret = secret
        self.hook_token = hook_token

    def pick(self, *choices):
        return self.rng.choice(choices)

    def junk(self, n):
        return bytes(self.rng.randrange(256) for _ in range(n))

    # -- what a valid request would carry, route by route. Credentials that
    # work are sent only where a valid request changes nothing the test
    # checks afterwards (reads, wrong prompt ids, other sessions).

    def template(self):
        t = self.tokens
        return self.pick(
            ("POST", "/v1/pair", {"provider": "claude", "code": "ABCD-EFGH"}, None),
            ("GET", "/v1/sessions?provider=claude", None, ("bearer", t["claude"])),
            ("GET", "/v1/sessions?provider=codex", None, ("bearer", t["codex"])),
            ("POST", "/v1/permissions/p0000000000000000", {"decision": "allow"}, ("bearer", t["claude"])),
            ("POST", "/v1/permissions/" + t["prompt"], {"decision": "allow"}, ("bearer", t["codex"])),
            ("GET", "/v1/settings", None, ("bearer", t["codex"])),
            ("POST", "/v1/settings", {"remoteApprovals": True}, ("bearer", t["claude"])),
            ("POST", "/v1/push/tokens", {"deviceID": "d", "kind": "activity", "token": "0aff",
                                         "environment": "sandbox"}, ("bearer", t["codex"])),
            ("POST", "/v1/unpair", None, ("bearer", "not-a-token")),
            ("GET", "/v1/admin/status", None, ("secret", self.secret)),
            ("POST", "/v1/admin/settings", {"remoteApprovals": True}, ("secret", self.secret)),
            ("POST", "/v1/admin/tokens/revoke", {"id": "nobody"}, ("secret", self.secret)),
            ("POST", "/v1/hooks/claude", {"session_id": "fuzz-other", "hook_event_name": "PreToolUse",
                                          "tool_name": "Bash", "tool_input": {"command": "ls"}},
             ("secret", self.hook_token)),
            ("POST", "/v1/hooks/codex", {"session_id": "fuzz-other-x", "hook_event_name": "Stop"},
             ("secret", self.hook_token)),
            ("POST", "/v1/hooks/codex-notify", {"type": "agent-turn-complete", "thread-id": "fuzz-t",
                                                "input-messages": ["hi"]}, ("secret", self.hook_token)),
            ("POST", "/v1/hooks/claude/permission", dict(HELD, session_id="fuzz-other"), ("secret", "wrong")),
            ("POST", "/v1/hooks/permissions/p0000000000000000/wait", {}, ("secret", self.hook_token)),
        )

    # -- mutations of each part

    def method(self, method):
        return self.pick(method, method, method, "GET", "POST", "PUT", "DELETE", "HEAD", "OPTIONS", "PATCH",
                         "TRACE", "CONNECT", "BREW", method.lower(), method * 50, "G\x00T", "")

    def path(self, path):
        r = self.rng.randrange(14)
        if r == 0:
            return path + "/" + "a" * self.rng.choice((1, 300, 70000))
        if r == 1:
            return path.replace("/", "//")
        if r == 2:
            return path + "/../../etc/passwd"
        if r == 3:
            return path + self.pick("%", "%0", "%zz", "%00", "%ff%fe", "%2F", "\u00e9", ";x", "#frag")
        if r == 4:
            return "http://example.invalid" + path
        if r == 5:
            return self.pick("*", "", "/", "?", "v1/sessions", "/%s" % ("/" * 200))
        if r == 6:
            return path + self.pick("?provider=", "?provider=claude&provider=codex", "?provider=%00",
                                    "?provider=gemini", "?" + "&" * 5000, "?provider=codex;claude")
        if r == 7:
            cut = self.rng.randrange(len(path) + 1)
            return path[:cut]
        return path

    def version(self):
        return self.pick(*(("HTTP/1.1",) * 10 + ("HTTP/1.0",) * 3 + (
            "HTTP/0.9", "HTTP/2.0", "HTTP/1.2", "HTTP/1", "HTTP/1.1.1", "HTTP/x.y", "http/1.1", "HTTP/01.01",
            "HTTP/1." + "1" * 20, "", "HTTP/1.1 extra")))

    def body(self, body):
        data = b"" if body is None else json.dumps(body).encode()
        r = self.rng.randrange(16)
        if r == 0 and data:
            i = self.rng.randrange(len(data))
            return data[:i] + self.junk(1) + data[i + 1:]
        if r == 1:
            return data[:self.rng.randrange(len(data) + 1)]
        if r == 2:
            return self.pick(b"[" * 5000 + b"]" * 5000, b'{"a":' * 3000 + b"1" + b"}" * 3000)
        if r == 3:
            return self.junk(self.rng.randrange(1, 200))
        if r == 4:
            return self.pick(b"null", b"[]", b"1e999", b"NaN", b'"x"', b"true", b"{}", b'{"decision": "allow"}')
        if r == 5 and isinstance(body, dict) and body:
            key = self.rng.choice(sorted(body))
            value = self.pick(None, 7, -1, 1.5, True, [], {}, "", "x" * 5000, "\ud800", [1] * 1000, 10 ** 400)
            try:
                return json.dumps(dict(body, **{key: value})).encode()
            except (ValueError, OverflowError):
                return data
        if r == 6:
            return data + b"\r\n\r\nGET /v1/settings HTTP/1.1\r\n\r\n"
        if r == 7 and data:
            return data.replace(b'"', b"'")
        if r == 8:
            return data + b" " * self.rng.randrange(1, 5000)
        if r == 9 and isinstance(body, dict):
            # Half a surrogate pair, as a string cut inside an emoji is escaped.
            key = self.rng.choice(sorted(body) + ["cwd", "prompt", "tool_name"])
            return json.dumps(dict(body, **{key: "cut \ud83d"})).encode()
        return data

    def headers(self, credentials, body):
        lines = []
        if self.rng.randrange(12):
            lines.append(b"Host: 127.0.0.1")
        if credentials is not None and self.rng.randrange(6):
            kind, value = credentials
            if self.rng.randrange(5) == 0:
                value = self.pick("", " ", value + "x", value[:-1], "\u00e9" * 10, "x" * 9000, value.upper())
            if kind == "bearer":
                scheme = self.pick("Bearer ", "Bearer ", "Bearer ", "bearer ", "Bearer  ", "Basic ", "Bearer", "")
                lines.append(("Authorization: " + scheme + value).encode("utf-8", "surrogatepass"))
            else:
                lines.append(("X-Idlewyn-Secret: " + value).encode("utf-8", "surrogatepass"))
        lines.append(b"Content-Type: " + self.pick(b"application/json", b"text/plain", b"", b"\xff"))
        length = len(body)
        r = self.rng.randrange(14)
        if r == 0:
            lines.append(b"Content-Length: %d" % (length + self.rng.randrange(1, 50)))
        elif r == 1:
            lines.append(b"Content-Length: " + self.pick(b"-1", b"abc", b"", b"+5", b"0x10", b" 5 ", b"1e3",
                                                         b"99999999999999999999", b"%d, %d" % (length, length)))
        elif r == 2:
            lines.append(b"Content-Length: %d" % length)
            lines.append(b"Content-Length: %d" % (length + 3))
        elif r == 3:
            lines.append(b"Transfer-Encoding: chunked")
        elif r == 4:
            pass
        elif r == 5:
            lines.append(b"Content-Length: %d" % max(0, length - self.rng.randrange(1, 10)))
        else:
            lines.append(b"Content-Length: %d" % length)
        r = self.rng.randrange(20)
        if r == 0:
            lines.extend(b"X-H%d: v" % i for i in range(self.rng.choice((50, 101, 500))))
        elif r == 1:
            lines.append(b"X-Long: " + b"v" * self.rng.choice((1000, 70000)))
        elif r == 2:
            lines.append(self.pick(b"no colon here", b": empty name", b" folded", b"X-Nul: a\x00b", b"\xff\xfe: x"))
        elif r == 3:
            lines.append(self.pick(b"Connection: keep-alive", b"Connection: close", b"Expect: 100-continue",
                                   b"Connection: upgrade", b"Upgrade: h2c"))
        self.rng.shuffle(lines)
        return lines

    def request(self):
        """(raw bytes, the version named on the request line)."""
        if self.rng.randrange(10) == 0:
            # Several on one kept-alive connection: one request's leftovers
            # must not turn into the next one's trouble.
            several = [self.single() for _ in range(self.rng.randrange(2, 5))]
            versions = set(v for _, v in several)
            return b"".join(d for d, _ in several), (versions.pop() if len(versions) == 1 else None)
        return self.single()

    def single(self):
        r = self.rng.randrange(40)
        if r == 0:
            return self.junk(self.rng.randrange(1, 400)), None
        if r == 1:
            # A TLS ClientHello's first bytes on the plain port.
            return b"\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03" + self.junk(60), None
        if r == 2:
            return self.pick(b"\r\n", b"\r\n\r\n", b"\n", b"GET\r\n\r\n", b"GET /\r\n", b"GET / HTTP/1.1\n\n",
                             b"\r\n" * 300 + b"GET /v1/settings HTTP/1.1\r\n\r\n"), None
        method, path, body, credentials = self.template()
        version = self.version()
        data = self.body(body)
        head = [" ".join(p for p in (self.method(method), self.path(path), version) if p)
                .encode("utf-8", "surrogatepass")]
        head += self.headers(credentials, data)
        eol = b"\r\n" if self.rng.randrange(20) else b"\n"
        return eol.join(head) + eol + eol + data, version


def exchange(port, data, source="127.0.0.1", pieces=1, pause=0.0):
    """Sends the bytes (in pieces), closes the sending side, reads to the end."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.settimeout(30)
        s.bind((source, 0))
        try:
            s.connect(("127.0.0.1", port))
            step = max(1, len(data) // pieces + 1)
            for i in range(0, len(data), step):
                s.sendall(data[i:i + step])
                if pause:
                    time.sleep(pause)
            s.shutdown(socket.SHUT_WR)
        except OSError:
            # The relay may hang up before it has read everything (an
            # oversized head, say); what it answered still counts.
            pass
        reply = b""
        while True:
            try:
                chunk = s.recv(65536)
            except OSError:
                return reply
            if not chunk:
                return reply
            reply += chunk


class FuzzTest(unittest.TestCase):
    def test_mutated_requests_never_break_the_relay(self):
        seed = fuzz_seed()
        sys.stderr.write("\nrelay fuzz seed %d (replay: RELAY_FUZZ_SEED=%d)\n" % (seed, seed))
        rng = random.Random(seed)
        relay = Relay()
        held_hook = None
        try:
            claude, codex = relay.pair("claude"), relay.pair("codex")
            relay.report("codex", {"session_id": "fuzz-keep-x", "cwd": "/w/cli", "hook_event_name": "SessionStart"})
            relay.set_away(True)
            held_hook = relay.hook("claude-permission-hook.sh", HELD, wait=False)
            prompt = wait_for(lambda: relay.sessions(claude).get("fuzz-held", {}).get("permission"), "the prompt")
            before = relay.status()
            mutator = Mutator(rng, {"claude": claude, "codex": codex, "prompt": prompt["id"]}, relay.secret,
                              relay.hook_token)
            cases = [mutator.request() for _ in range(REQUESTS)]
            # Slow ones from addresses of their own, so that they never count
            # against the address the rest come from.
            slow = [(mutator.request()[0], "127.0.0.%d" % (10 + i % 20), rng.randrange(2, 12))
                    for i in range(SLOW)]
            half_open = [(mutator.request()[0], "127.0.0.%d" % (40 + i % 20)) for i in range(HALF_OPEN)]

            held = []
            for data, source in half_open:
                s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
                s.bind((source, 0))
                s.connect(("127.0.0.1", relay.port))
                s.sendall(data[:rng.randrange(1, max(2, len(data)))])
                held.append(s)

            bad = []
            lock = threading.Lock()

            def judge(i, version, reply):
                for major, minor, status in STATUS.findall(reply):
                    status = int(status)
                    unsupported = status == 505 and version not in KNOWN_VERSIONS
                    if status >= 500 and not unsupported:
                        with lock:
                            bad.append((i, status, cases[i][0][:200] if i >= 0 else b"", reply[:300]))

            def one(i):
                data, version = cases[i]
                judge(i, version, exchange(relay.port, data))

            def slow_one(j):
                data, source, pieces = slow[j]
                judge(-1, None, exchange(relay.port, data, source=source, pieces=pieces, pause=0.05))

            with ThreadPoolExecutor(max_workers=8) as pool:
                slow_runs = [pool.submit(slow_one, j) for j in range(SLOW)]
                for future in [pool.submit(one, i) for i in range(REQUESTS)] + slow_runs:
                    future.result()
            for s in held:
                s.close()

            kinds = {}
            for i, status, request, reply in bad:
                kinds.setdefault(status, (len([b for b in bad if b[1] == status]), request, reply))
            self.assertEqual(kinds, {}, "server errors: status: (count, a request, its answer); seed %d" % seed)
            self.assertIsNone(relay.proc.poll(), "the relay is still running")
            with open(relay.path("relay.log"), "rb") as f:
                self.assertNotIn(b"internal error", f.read(), "seed %d" % seed)

            # Everything it held is still there and works.
            after = relay.status()
            self.assertEqual([t["id"] for t in after["tokens"]], [t["id"] for t in before["tokens"]])
            self.assertTrue(after["remoteApprovals"])
            self.assertIn("fuzz-keep-x", relay.sessions(codex, "codex"))
            self.assertEqual(relay.sessions(claude)["fuzz-held"]["permission"]["id"], prompt["id"])
            path = "v1/permissions/" + urllib.parse.quote(prompt["id"], safe="")
            self.assertEqual(relay.request("POST", path, {"decision": "deny"}, token=claude), (200, {"ok": True}))
            out = json.loads(held_hook.stdout.read().decode())
            self.assertEqual(out["hookSpecificOutput"]["decision"]["behavior"], "deny")
        finally:
            if held_hook is not None:
                held_hook.kill()
                held_hook.wait()
                held_hook.stdout.close()
                held_hook.stderr.close()
            relay.close()


if __name__ == "__main__":
    unittest.main()
