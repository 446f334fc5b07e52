"""The hook scripts, fed with the agents' own payloads, against a running relay."""

import json
import signal
import socket
import urllib.parse
import unittest

from relay_harness import Relay, load_relay, wait_for

ABANDONED_AFTER = load_relay("relay_hook_limits").ABANDONED_AFTER

SID = "8a7c1e52-claude"


def claude(event, sid=SID, **fields):
    payload = {"session_id": sid, "transcript_path": "/home/dev/.claude/projects/api/%s.jsonl" % sid,
               "cwd": "/home/dev/api", "hook_event_name": event, "permission_mode": "default"}
    payload.update(fields)
    return payload


def permission_request(sid=SID):
    return claude("PermissionRequest", sid, tool_name="Bash",
                  tool_input={"command": "rm -rf node_modules", "description": "Remove node_modules directory"})


class HookScriptTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.relay = Relay()
        cls.token = cls.relay.pair("claude")
        cls.codex_token = cls.relay.pair("codex")

    @classmethod
    def tearDownClass(cls):
        cls.relay.close()

    def session(self, sid=SID, provider="claude"):
        token = self.token if provider == "claude" else self.codex_token
        return self.relay.sessions(token, provider).get(sid)

    def test_payloads_of_any_length_arrive_whole_from_a_pipe_or_a_socket(self):
        # The scripts read the first 2 KB themselves and the rest with cat;
        # the length they send is in bytes. Multibyte text across that
        # boundary, or a stdin that is a socket (as Node gives its hooks),
        # must not cost the event.
        def payload(sid, size):
            body = claude("UserPromptSubmit", sid, prompt="")
            room = size - len(json.dumps(body).encode())
            body["prompt"] = "Deploy " + "\u00e9" * ((room - 7) // 2) + "x" * ((room - 7) % 2)
            self.assertEqual(len(json.dumps(body, ensure_ascii=False).encode()), size)
            return body

        for size in (600, 2047, 2048, 2049, 2050, 9000):
            for stdin in ("pipe", "socket"):
                sid = "len-%d-%s" % (size, stdin)
                body = json.dumps(payload(sid, size), ensure_ascii=False).encode()
                self.assertEqual(self.relay.hook("claude-hook.sh", raw=body, socket_stdin=stdin == "socket"),
                                 (0, ""))
                s = self.session(sid)
                self.assertIsNotNone(s, sid)
                self.assertEqual(s["status"], "working")
                self.assertTrue(s["title"].startswith("Deploy \u00e9\u00e9"), s["title"])
        sid = "codex-len"
        body = json.dumps({"session_id": sid, "cwd": "/home/dev/api", "hook_event_name": "UserPromptSubmit",
                           "turn_id": "t", "prompt": "Tidy " + "\u00e9" * 3000}, ensure_ascii=False).encode()
        self.assertEqual(self.relay.hook("codex-notify.sh", args=["--hook"], raw=body, socket_stdin=True), (0, ""))
        self.assertEqual(self.session(sid, "codex")["status"], "working")

    def test_a_waiting_hook_that_hangs_up_is_a_refusal_at_the_terminal(self):
        # What the relay sees when Claude kills the hook at Esc or "No": the
        # long poll closed while it waits. All of it was sent, so the relay
        # reads the whole request whenever it gets to it.
        self.relay.set_away(True)
        try:
            held = self.relay.request("POST", "v1/hooks/claude/permission", permission_request("hung-up"),
                                      secret=self.relay.hook_token)[1]
            with socket.create_connection(("127.0.0.1", int(self.relay.read("local-port")))) as s:
                s.sendall(b"POST /v1/hooks/permissions/%s/wait HTTP/1.1\r\nX-Idlewyn-Secret: %s\r\n"
                          b"Content-Length: 0\r\n\r\n" % (held["promptId"].encode(), self.relay.hook_token.encode()))
            # At once: well before a prompt that nobody polls is given up on.
            wait_for(lambda: self.session("hung-up")["status"] == "idle", "the refusal", limit=ABANDONED_AFTER / 2)
            path = "v1/permissions/" + urllib.parse.quote(held["promptId"], safe="")
            self.assertEqual(self.relay.request("POST", path, {"decision": "allow"}, token=self.token)[0], 404)
        finally:
            self.relay.set_away(False)


class RelayDownTest(unittest.TestCase):
    def test_hooks_stay_silent_and_succeed_when_the_relay_is_gone(self):
        relay = Relay()
        self.addCleanup(relay.close)
        relay.set_away(True)
        # Killed: its port file is left behind, naming a port nobody listens on.
        relay.stop(signal.SIGKILL)
        for script, payload, args in (("claude-permission-hook.sh", permission_request(), ()),
                                      ("claude-hook.sh", claude("SessionStart"), ()),
                                      ("codex-notify.sh", None, ['{"type":"agent-turn-complete"}'])):
            self.assertEqual(relay.hook(script, payload, args), (0, ""), script)


if __name__ == "__main__":
    unittest.main()
