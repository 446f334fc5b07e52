import json
import os
import signal
import ssl
import stat
import subprocess
import unittest
import urllib.parse

from relay_harness import Relay, der_fingerprint, wait_for
from test_hooks import permission_request, decision


def openssl_fingerprint(pem_path):
    der = subprocess.run(["openssl", "x509", "-in", pem_path, "-outform", "der"],
                         stdout=subprocess.PIPE, check=True).stdout
    return der_fingerprint(der)


def mode(path):
    return stat.S_IMODE(os.stat(path).st_mode)


class TlsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.relay = Relay(tls=True)

    @classmethod
    def tearDownClass(cls):
        cls.relay.close()

    def test_served_certificate_is_the_advertised_pin(self):
        relay = self.relay
        self.assertEqual(relay.url, "https://127.0.0.1:%d" % relay.port)
        doc = relay.status()  # goes through the harness' pin check
        pin = openssl_fingerprint(relay.path("relay-cert.pem"))
        self.assertEqual(doc["tlsFingerprint"], pin)
        served = ssl.get_server_certificate(("127.0.0.1", relay.port))
        self.assertEqual(der_fingerprint(ssl.PEM_cert_to_DER_cert(served)), pin)
        query = urllib.parse.parse_qs(urllib.parse.urlsplit(doc["pairingLink"]).query)
        self.assertEqual(query["url"], ["https://127.0.0.1:%d" % relay.port])
        self.assertEqual(query["pin"], [pin])
        self.assertEqual(mode(relay.path("relay-key.pem")), 0o600)
        self.assertEqual(relay.request("GET", "v1/settings", token=relay.pair("claude"))[0], 200)

    def test_hooks_refuse_a_relay_whose_certificate_changed(self):
        relay = self.relay
        self.assertEqual(relay.hook("claude-hook.sh", {"session_id": "tls-1", "hook_event_name": "SessionStart"}),
                         (0, ""))
        self.assertIn("tls-1", [s["id"] for s in relay.status()["sessions"]])
        original = relay.read("relay-cert.pem")
        other = relay.path("other")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=x",
                        "-keyout", other + ".key", "-out", relay.path("relay-cert.pem")],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        try:
            # The secret must not go to a server that is not the pinned relay.
            relay.hook("claude-hook.sh", {"session_id": "tls-2", "hook_event_name": "SessionStart"})
        finally:
            with open(relay.path("relay-cert.pem"), "w") as f:
                f.write(original + "\n")
        self.assertNotIn("tls-2", [s["id"] for s in relay.status()["sessions"]])


class RestartTest(unittest.TestCase):
    def test_tokens_sessions_settings_and_a_held_prompt_survive_a_restart(self):
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

            doc = relay.status()
            self.assertEqual(doc["tlsFingerprint"], pin)
            self.assertTrue(doc["remoteApprovals"])
            self.assertEqual(relay.sessions(token)["kept"]["permission"]["id"], pid)
            # The waiting hook reconnects to the new process and gets the answer.
            self.assertEqual(relay.request("POST", "v1/permissions/" + pid, {"decision": "allow"}, token=token)[0], 200)
            out = hook.stdout.read().decode()
            self.assertEqual((hook.wait(timeout=30), json.loads(out)), (0, decision("allow")))
            hook.stdout.close()
            hook.stderr.close()
        finally:
            relay.close()

    def test_damaged_files_do_not_stop_the_relay(self):
        relay = Relay()
        try:
            relay.stop()
            with open(relay.path("state.json"), "w") as f:
                f.write("{not json")
            relay.write_config(dict(relay.config, staleAfter="soon", pairingCodeLifetime=-1))
            relay.start()
            doc = relay.status()
            self.assertEqual(doc["sessions"], [])
            self.assertTrue(any(n.startswith("state.json.broken-") for n in os.listdir(relay.dir)))
            # A lifetime taken at face value would change the code on every read.
            self.assertEqual(relay.status()["pairingCode"], doc["pairingCode"])
            self.assertIn("ignoring invalid pairingCodeLifetime", relay.read("relay.log"))
        finally:
            relay.close()


if __name__ == "__main__":
    unittest.main()
