import json
import threading
import unittest
import urllib.parse
from http.server import BaseHTTPRequestHandler, HTTPServer

from relay_harness import Relay, wait_for

PROMPT = {"session_id": "s-claude", "cwd": "/home/dev/api", "hook_event_name": "PermissionRequest",
          "tool_name": "Bash", "tool_input": {"command": "rm -rf node_modules"}}


class DeviceApiTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.relay = Relay()
        cls.token = cls.relay.pair("claude")

    @classmethod
    def tearDownClass(cls):
        cls.relay.close()

    def test_pairing_answers_both_providers_with_one_code(self):
        code = self.relay.status()["pairingCode"]
        self.assertEqual(self.relay.request("POST", "v1/pair", {"provider": "claude", "code": "WRONG-CODE"})[0], 401)
        tokens = set()
        # Typed by hand: lower case, no dash.
        for provider, typed in (("codex", code), ("claude", code.lower().replace("-", ""))):
            status, body = self.relay.request("POST", "v1/pair", {"provider": provider, "code": typed})
            self.assertEqual(status, 200)
            self.assertEqual(set(body), {"token", "account"})
            tokens.add(body["token"])
        self.assertEqual(len(tokens), 2)
        self.assertEqual(self.relay.request("POST", "v1/pair", {"provider": "gemini", "code": code})[0], 400)

    def test_sessions_are_listed_per_provider(self):
        self.relay.report("claude", {"session_id": "c1", "cwd": "/w/a", "hook_event_name": "SessionStart"})
        self.relay.report("codex", {"session_id": "x1", "cwd": "/w/b", "hook_event_name": "SessionStart"})
        self.assertIn("c1", self.relay.sessions(self.token, "claude"))
        self.assertNotIn("x1", self.relay.sessions(self.token, "claude"))
        self.assertEqual(set(self.relay.sessions(self.relay.pair("codex"), "codex")), {"x1"})
        self.assertEqual(self.relay.request("GET", "v1/sessions?provider=other", token=self.token)[0], 400)

    def test_decide_answers_a_held_prompt_once(self):
        self.relay.set_away(True)
        try:
            status, held = self.relay.request("POST", "v1/hooks/claude/permission", PROMPT, secret=self.relay.hook_token)
            self.assertEqual(status, 200)
            self.assertTrue(held["hold"])
            pid = held["promptId"]
            self.assertEqual(self.relay.sessions(self.token)["s-claude"]["permission"]["id"], pid)
            path = "v1/permissions/" + urllib.parse.quote(pid, safe="")
            self.assertEqual(self.relay.request("POST", path, {"decision": "maybe"}, token=self.token)[0], 400)
            self.assertEqual(self.relay.request("POST", path, {"decision": "deny"}, token=self.token),
                             (200, {"ok": True}))
            self.assertEqual(self.relay.request("POST", path, {"decision": "allow"}, token=self.token)[0], 404)
            self.assertEqual(self.relay.request("POST", "v1/permissions/p%2Fnone", {"decision": "allow"},
                                                token=self.token)[0], 404)
            # The waiting hook collects the answer exactly once.
            wait = "v1/hooks/permissions/%s/wait" % pid
            self.assertEqual(self.relay.request("POST", wait, secret=self.relay.hook_token)[1],
                             {"state": "decided", "decision": "deny"})
            self.assertEqual(self.relay.request("POST", wait, secret=self.relay.hook_token)[1], {"state": "gone"})
            self.assertNotIn("permission", self.relay.sessions(self.token)["s-claude"])
        finally:
            self.relay.set_away(False)

    def test_settings_round_trip(self):
        self.assertEqual(self.relay.request("GET", "v1/settings", token=self.token), (200, {"remoteApprovals": False}))
        self.assertEqual(self.relay.request("POST", "v1/settings", {"remoteApprovals": True}, token=self.token),
                         (200, {"remoteApprovals": True}))
        self.assertTrue(self.relay.status()["remoteApprovals"])
        self.assertEqual(self.relay.request("POST", "v1/settings", {"remoteApprovals": "yes"}, token=self.token)[0], 400)
        self.assertEqual(self.relay.request("POST", "v1/settings", {"remoteApprovals": False}, token=self.token),
                         (200, {"remoteApprovals": False}))

    def test_push_token_registration_is_validated(self):
        reg = {"deviceID": "phone-1", "kind": "activity", "token": "0aff", "environment": "sandbox"}
        self.assertEqual(self.relay.request("POST", "v1/push/tokens", reg, token=self.token), (200, {"ok": True}))
        self.assertEqual(self.relay.request("POST", "v1/push/tokens", dict(reg, kind="pushToStart", pushKey="k"),
                                            token=self.token), (200, {"ok": True}))
        for bad in (dict(reg, kind="banner"), dict(reg, token=""), {"deviceID": "phone-1"}, dict(reg, pushKey=7)):
            self.assertEqual(self.relay.request("POST", "v1/push/tokens", bad, token=self.token)[0], 400, bad)

    def test_unpair_and_revoke_end_only_that_token(self):
        doomed, other = self.relay.pair("codex"), self.relay.pair("codex")
        ids = set(t["id"] for t in self.relay.status()["tokens"])
        revoked = self.relay.pair("codex")
        (tid,) = set(t["id"] for t in self.relay.status()["tokens"]) - ids
        # The phone sends Content-Type but no body at all.
        self.assertEqual(self.relay.request("POST", "v1/unpair", token=doomed), (200, {"ok": True}))
        self.assertEqual(self.relay.admin("POST", "v1/admin/tokens/revoke", {"id": tid}), (200, {"revoked": 1}))
        self.assertEqual(self.relay.admin("POST", "v1/admin/tokens/revoke", {"id": tid}), (200, {"revoked": 0}))
        for token, status in ((doomed, 401), (revoked, 401), (other, 200)):
            self.assertEqual(self.relay.request("GET", "v1/settings", token=token)[0], status)


class ProviderScopeTest(unittest.TestCase):
    """A token opens its own agent's sessions and prompts, never the other agent's."""

    def test_each_token_reads_and_answers_only_its_own_provider(self):
        relay = Relay()
        try:
            hook = None
            claude_phone, codex_phone = relay.pair("claude"), relay.pair("codex")
            relay.report("codex", {"session_id": "x1", "cwd": "/w/b", "hook_event_name": "SessionStart"})
            relay.set_away(True)
            hook = relay.hook("claude-permission-hook.sh", PROMPT, wait=False)
            pid = wait_for(lambda: relay.sessions(claude_phone).get("s-claude", {}).get("permission"),
                           "the held prompt")["id"]
            path = "v1/permissions/" + urllib.parse.quote(pid, safe="")

            # Codex's token on Claude's side: the list is refused, and the
            # held prompt answers exactly as one that does not exist.
            self.assertEqual(relay.request("GET", "v1/sessions?provider=claude", token=codex_phone)[0], 403)
            unknown = relay.request("POST", "v1/permissions/p0123456789abcdef", {"decision": "allow"},
                                    token=codex_phone)
            self.assertEqual(unknown[0], 404)
            for decision in ("allow", "deny", "always"):
                self.assertEqual(relay.request("POST", path, {"decision": decision}, token=codex_phone), unknown)
            self.assertEqual(set(relay.sessions(codex_phone, "codex")), {"x1"})

            # Claude's token on Codex's side, the other way round.
            self.assertEqual(relay.request("GET", "v1/sessions?provider=codex", token=claude_phone)[0], 403)
            self.assertNotIn("x1", relay.sessions(claude_phone))

            # The prompt is untouched: the Claude phone answers it and the
            # waiting hook gets that answer.
            self.assertEqual(relay.sessions(claude_phone)["s-claude"]["permission"]["id"], pid)
            self.assertEqual(relay.request("POST", path, {"decision": "deny"}, token=claude_phone),
                             (200, {"ok": True}))
            out = json.loads(hook.stdout.read().decode())
            self.assertEqual(out["hookSpecificOutput"]["decision"]["behavior"], "deny")
            self.assertEqual(hook.wait(timeout=30), 0)
        finally:
            if hook is not None:
                hook.kill()
                hook.wait()
                hook.stdout.close()
                hook.stderr.close()
            relay.close()

class PushGatewayTest(unittest.TestCase):
    def test_finished_session_is_pushed_to_the_registered_phone(self):
        received = []

        class Gateway(BaseHTTPRequestHandler):
            def do_POST(self):
                received.append((self.path, json.loads(self.rfile.read(int(self.headers["Content-Length"])))))
                self.send_response(200)
                self.send_header("Content-Length", "0")
                self.end_headers()

            def log_message(self, *args):
                pass

        gateway = HTTPServer(("127.0.0.1", 0), Gateway)
        threading.Thread(target=gateway.serve_forever, daemon=True).start()
        relay = Relay(pushGateway="http://127.0.0.1:%d/gw" % gateway.server_address[1])
        try:
            self.assertTrue(relay.status()["pushConfigured"])
            token = relay.pair("claude")
            relay.request("POST", "v1/push/tokens", {"deviceID": "d", "kind": "activity", "token": "beef",
                                                     "environment": "production", "pushKey": "pk"}, token=token)
            relay.report("claude", {"session_id": "s", "cwd": "/w/api", "hook_event_name": "UserPromptSubmit",
                                    "prompt": "go"})
            relay.report("claude", {"session_id": "s", "hook_event_name": "Stop", "last_assistant_message": "Done."})
            wait_for(lambda: received, "the push")
            path, message = received[0]
            self.assertEqual(path, "/gw/v1/push")
            self.assertEqual((message["token"], message["pushKey"], message["kind"]), ("beef", "pk", "activity"))
            self.assertEqual(message["session"]["status"], "finished")
            self.assertIn("finished", message["alert"]["title"])
        finally:
            relay.close()
            gateway.shutdown()
            gateway.server_close()


if __name__ == "__main__":
    unittest.main()
