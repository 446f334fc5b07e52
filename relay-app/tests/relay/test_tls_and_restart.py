import json
import os
import signal
import stat
import socket
import unittest
import urllib.parse

from relay_harness import Relay, wait_for
from test_hooks import permission_request


def mode(path):
    return stat.S_IMODE(os.stat(path).st_mode)


class TlsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.relay = Relay(tls=True)

    @classmethod
    def tearDownClass(cls):
        cls.relay.close()

    def test_the_pairing_link_names_the_served_url_and_certificate(self):
        # That the fingerprint is the served certificate's is the harness' pin check and the kit's client test.
        doc = self.relay.status()
        query = urllib.parse.parse_qs(urllib.parse.urlsplit(doc["pairingLink"]).query)
        self.assertEqual((query["url"], query["pin"]), ([self.relay.url], [doc["tlsFingerprint"]]))

    def test_hooks_hand_a_stranger_on_their_port_nothing_but_the_hook_token(self):
        # A crashed relay leaves local-port behind; whoever binds that port
        # next hears the hooks. They must not hear the admin secret.
        relay = self.relay
        stranger = socket.socket()
        stranger.bind(("127.0.0.1", 0))
        stranger.listen(4)
        self.addCleanup(stranger.close)
        real = relay.read("local-port")
        with open(relay.path("local-port"), "w") as f:
            f.write("%d\n" % stranger.getsockname()[1])
        hook = relay.hook("claude-hook.sh", {"session_id": "x", "hook_event_name": "SessionStart"}, wait=False)
        try:
            stranger.settimeout(10)
            conn, _ = stranger.accept()
            with conn:
                heard = b""
                while b"\r\n\r\n" not in heard:
                    heard += conn.recv(65536)
                conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{}")
            self.assertEqual(hook.wait(timeout=30), 0)
        finally:
            with open(relay.path("local-port"), "w") as f:
                f.write(real + "\n")
            hook.kill()
            hook.wait()
            hook.stdout.close()
            hook.stderr.close()
        self.assertIn(relay.read("hook-token").encode(), heard)
        self.assertNotIn(relay.secret.encode(), heard)


class RestartTest(unittest.TestCase):
    def test_tokens_the_pin_and_a_held_prompt_survive_a_restart(self):
        relay = Relay(tls=True, permissionTimeout=60)
        try:
            token = relay.pair("claude")
            pin = relay.status()["tlsFingerprint"]
            relay.set_away(True)
            hook = relay.hook("claude-permission-hook.sh", permission_request("kept"), wait=False)
            pid = wait_for(lambda: (relay.sessions(token).get("kept") or {}).get("permission"), "the prompt")["id"]

            self.assertEqual(relay.stop(signal.SIGTERM), 0)
            self.assertFalse(os.path.exists(relay.path("relay-url")))
            for name in ("hook-secret", "tokens.json", "state.json", "relay-key.pem"):
                self.assertEqual(mode(relay.path(name)), 0o600, name)
            self.assertNotIn(token, relay.read("tokens.json"))
            relay.start()

            self.assertEqual(relay.status()["tlsFingerprint"], pin)
            # The waiting hook reconnects to the new process and gets the answer (what else of the board
            # a restart keeps is the in-process tests' matter).
            self.assertEqual(relay.request("POST", "v1/permissions/" + pid, {"decision": "allow"}, token=token)[0], 200)
            out = hook.stdout.read().decode()
            self.assertEqual((hook.wait(timeout=30), json.loads(out)["hookSpecificOutput"]["decision"]),
                             (0, {"behavior": "allow"}))
            hook.stdout.close()
            hook.stderr.close()
        finally:
            relay.close()


if __name__ == "__main__":
    unittest.main()
