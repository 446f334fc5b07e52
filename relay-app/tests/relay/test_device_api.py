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
        # Typed by hand: lower case, spaces for the dash.
        for provider, typed in (("codex", code), ("claude", " " + code.lower().replace("-", " ") + " ")):
            status, body = self.relay.request("POST", "v1/pair", {"provider": provider, "code": typed})
            self.assertEqual(status, 200)
            self.assertEqual(set(body), {"token", "account"})
            tokens.add(body["token"])
        self.assertEqual(len(tokens), 2)
        self.assertEqual(self.relay.request("POST", "v1/pair", {"provider": "gemini", "code": code})[0], 400)

    def test_a_token_lists_its_own_agents_sessions_only(self):
        self.relay.report("claude", {"session_id": "c1", "cwd": "/w/a", "hook_event_name": "SessionStart"})
        self.relay.report("codex", {"session_id": "x1", "cwd": "/w/b", "hook_event_name": "SessionStart"})
        codex = self.relay.pair("codex")
        self.assertEqual(set(self.relay.sessions(self.token, "claude")) & {"c1", "x1"}, {"c1"})
        self.assertEqual(set(self.relay.sessions(codex, "codex")), {"x1"})
        for token, other in ((self.token, "codex"), (codex, "claude")):
            self.assertEqual(self.relay.request("GET", "v1/sessions?provider=" + other, token=token)[0], 403)
        self.assertEqual(self.relay.request("GET", "v1/sessions?provider=other", token=self.token)[0], 400)

    def test_decide_answers_a_held_prompt_once_and_for_its_own_agents_phone_only(self):
        self.relay.set_away(True)
        try:
            status, held = self.relay.request("POST", "v1/hooks/claude/permission", PROMPT, secret=self.relay.hook_token)
            self.assertEqual(status, 200)
            path = "v1/permissions/" + urllib.parse.quote(held["promptId"], safe="")
            unknown = self.relay.request("POST", "v1/permissions/p%2Fnone", {"decision": "allow"}, token=self.token)
            self.assertEqual(unknown[0], 404)
            # Codex's token meets Claude's prompt exactly as one that does not exist.
            codex = self.relay.pair("codex")
            for decision in ("allow", "deny", "always"):
                self.assertEqual(self.relay.request("POST", path, {"decision": decision}, token=codex), unknown)
            self.assertEqual(self.relay.request("POST", path, {"decision": "maybe"}, token=self.token)[0], 400)
            self.assertEqual(self.relay.request("POST", path, {"decision": "deny"}, token=self.token),
                             (200, {"ok": True}))
            self.assertEqual(self.relay.request("POST", path, {"decision": "allow"}, token=self.token)[0], 404)
            wait = "v1/hooks/permissions/%s/wait" % held["promptId"]
            self.assertEqual(self.relay.request("POST", wait, secret=self.relay.hook_token)[1],
                             {"state": "decided", "decision": "deny"})
        finally:
            self.relay.set_away(False)

    def test_push_token_registration_is_validated(self):
        reg = {"deviceID": "phone-1", "kind": "pushToStart", "token": "0aff", "environment": "sandbox", "pushKey": "k"}
        self.assertEqual(self.relay.request("POST", "v1/push/tokens", reg, token=self.token), (200, {"ok": True}))
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
