import re
import unittest
import urllib.parse

from relay_harness import Relay, wait_for

MS_DATE = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$")
S_DATE = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")


class AdminApiTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.relay = Relay()

    @classmethod
    def tearDownClass(cls):
        cls.relay.close()

    def test_status_document_shape_and_formats(self):
        relay = self.relay
        token = relay.pair("codex")
        relay.report("claude", {"session_id": "s1", "cwd": "/home/dev/api", "hook_event_name": "UserPromptSubmit",
                                "prompt": "Make the\n  build green"})
        relay.sessions(token, "codex")
        doc = relay.status()
        self.assertEqual(set(doc), {"version", "sessions", "remoteApprovals", "pushConfigured", "pairingLink",
                                    "pairingCode", "tlsFingerprint", "tokens"})
        self.assertIsInstance(doc["version"], str)
        self.assertIs(doc["pushConfigured"], False)
        self.assertIsNone(doc["tlsFingerprint"])
        session = [s for s in doc["sessions"] if s["id"] == "s1"][0]
        self.assertEqual((session["title"], session["status"], session["workingDirectory"]),
                         ("Make the build green", "working", "/home/dev/api"))
        for key in ("startedAt", "updatedAt", "turnStartedAt"):
            self.assertRegex(session[key], MS_DATE)
        for absent in ("summary", "permission", "activity", "taskDone", "taskTotal"):
            self.assertNotIn(absent, session)
        row = doc["tokens"][-1]
        self.assertEqual(row["provider"], "codex")
        self.assertRegex(row["createdAt"], S_DATE)
        self.assertRegex(row["lastSeenAt"], S_DATE)

        link = urllib.parse.urlsplit(doc["pairingLink"])
        query = urllib.parse.parse_qs(link.query)
        self.assertEqual((link.scheme, link.netloc), ("idlewyn", "pair"))
        self.assertEqual(query["url"], ["http://127.0.0.1:%d" % relay.port])
        self.assertEqual(query["code"], [doc["pairingCode"]])
        self.assertNotIn("pin", query)

    def test_settings(self):
        self.assertEqual(self.relay.admin("POST", "v1/admin/settings", {"remoteApprovals": True}),
                         (200, {"remoteApprovals": True}))
        self.assertTrue(self.relay.status()["remoteApprovals"])
        self.assertEqual(self.relay.admin("POST", "v1/admin/settings", {"remoteApprovals": 1})[0], 400)
        self.relay.set_away(False)

    def test_revoke_counts_and_cuts_off_the_token(self):
        token = self.relay.pair("claude")
        tid = self.relay.status()["tokens"][-1]["id"]
        self.assertEqual(self.relay.admin("POST", "v1/admin/tokens/revoke", {"id": tid}), (200, {"revoked": 1}))
        self.assertEqual(self.relay.request("GET", "v1/settings", token=token)[0], 401)
        self.assertNotIn(tid, [t["id"] for t in self.relay.status()["tokens"]])
        self.assertEqual(self.relay.admin("POST", "v1/admin/tokens/revoke", {"id": tid}), (200, {"revoked": 0}))


class PairingCodeRotationTest(unittest.TestCase):
    def test_old_code_stops_working_after_rotation(self):
        relay = Relay(pairingCodeLifetime=0.5)
        try:
            old = relay.status()["pairingCode"]
            new = wait_for(lambda: relay.status()["pairingCode"] != old and relay.status()["pairingCode"],
                           "a new pairing code")
            self.assertIn("code=" + new, relay.status()["pairingLink"])
            self.assertEqual(relay.request("POST", "v1/pair", {"provider": "claude", "code": old})[0], 401)
        finally:
            relay.close()


if __name__ == "__main__":
    unittest.main()
