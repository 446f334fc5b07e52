"""The relay's files in its home as a real relay process meets them."""

import json
import os
import unittest

from relay_harness import Relay


def strict_json(text):
    def refuse(name):
        raise ValueError("not JSON: " + name)
    return json.loads(text, parse_constant=refuse)


class StoredRecordsTest(unittest.TestCase):
    def test_records_that_do_not_fit_never_fail_the_status(self):
        relay = Relay()
        try:
            token = relay.pair("claude")
            relay.report("claude", {"session_id": "kept", "hook_event_name": "UserPromptSubmit", "prompt": "go"})
            relay.stop()
            with open(relay.path("tokens.json")) as f:
                tokens = json.load(f)
            good = tokens["tokens"][0]
            tokens["tokens"] += [dict(good, id="lastseen", lastSeenAt="yesterday"),
                                 dict(good, id="created", createdAt="<1e400>"), dict(good, id="provider", provider=5)]
            with open(relay.path("state.json")) as f:
                state = json.load(f)
            state["sessions"].append(dict(state["sessions"][0], id="huge", started="<1e400>"))
            for name, data in (("tokens.json", tokens), ("state.json", state)):
                with open(relay.path(name), "w") as f:
                    f.write(json.dumps(data).replace('"<1e400>"', "1e400"))

            relay.start()
            code, _ = relay.admin("GET", "v1/admin/status")
            self.assertEqual(code, 200)
            conn = relay.connection()
            conn.request("GET", "/v1/admin/status", headers={"X-Idlewyn-Secret": relay.secret})
            doc = strict_json(conn.getresponse().read().decode("utf-8"))
            conn.close()
            self.assertEqual([t["id"] for t in doc["tokens"]], [good["id"]])
            self.assertEqual([s["id"] for s in doc["sessions"]], ["kept"])
            self.assertIn("kept", relay.sessions(token))
            log = relay.read("relay.log")
            for what in ("lastSeenAt is 'yesterday'", "createdAt is inf", "provider is 5", "started is inf"):
                self.assertIn(what, log)
            kept = [n for n in os.listdir(relay.dir) if ".refused-" in n]
            self.assertEqual(sorted(n.split(".refused-")[0] for n in kept), ["state.json", "tokens.json"])
            self.assertEqual(relay.admin("POST", "v1/admin/tokens/revoke", {"id": good["id"]}), (200, {"revoked": 1}))
        finally:
            relay.close()


if __name__ == "__main__":
    unittest.main()
