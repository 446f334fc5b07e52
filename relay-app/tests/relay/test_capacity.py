"""One address that hogs the device port must not starve anyone else.

The attacker holds more connections than the relay serves in all, each
dripping a byte now and then; while they are held, the hooks (the real hook
scripts), the app's admin API (on the loopback listener) and a phone from
another address are each served within a second.
"""

import http.client
import json
import select
import socket
import threading
import unittest

from relay_harness import Relay, load_relay, wait_for


PER_ADDRESS = load_relay("relay_constants").MAX_CONNECTIONS_PER_ADDRESS
ATTACKERS = 520
SERVED_WITHIN = 1.0


def closed(sock):
    """Whether the peer closed (or reset) the connection; never blocks."""
    poller = select.poll()
    poller.register(sock, select.POLLIN)
    if not poller.poll(0):
        return False
    try:
        return sock.recv(1, socket.MSG_PEEK) == b""
    except OSError:
        return True


class SlowDrip(object):
    """Connections from one address that send a request (line, over and over) a byte at a time."""

    def __init__(self, port, count, source="127.0.0.1", every=2.0,
                 line=b"GET /v1/settings HTTP/1.1\r\nX-Slow: " + b"x" * 1000):
        self.port, self.source, self.line = port, source, line
        self.socks = [self.connect() for _ in range(count)]
        # The ones the relay took, once hold() says to keep that many open.
        self.held = None
        self.lock = threading.Lock()
        self.stop = threading.Event()
        self.every = every
        self.thread = threading.Thread(target=self.drip, daemon=True)
        self.thread.start()

    def connect(self):
        """A new connection, or None when the relay refused it that fast."""
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        try:
            s.bind((self.source, 0))
            s.connect(("127.0.0.1", self.port))
            return s
        except ConnectionError:
            # Turned away (reset) before connect() even returned.
            s.close()
            return None

    def hold(self):
        """From now on each held connection the relay sheds is opened anew."""
        held = self.open_ones()
        with self.lock:
            self.held = held
        return len(held)

    def drip(self):
        line, sent = self.line, 0
        while True:
            with self.lock:
                if self.held is not None:
                    for i, s in enumerate(self.held):
                        if s is None or closed(s):
                            self.held[i] = self.connect()
                            self.socks.append(self.held[i])
                socks = [s for s in self.socks if s is not None]
            for s in socks:
                try:
                    s.send(line[sent % len(line):sent % len(line) + 1])
                except OSError:
                    pass
            sent += 1
            if self.stop.wait(self.every):
                return

    def open_ones(self):
        with self.lock:
            return [s for s in self.socks if s is not None and not closed(s)]

    def close(self):
        self.stop.set()
        self.thread.join()
        for s in self.socks:
            if s is not None:
                s.close()


class CapacityTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.relay = Relay()
        cls.phone = cls.relay.pair("claude")
        cls.local_port = int(cls.relay.read("local-port"))

    @classmethod
    def tearDownClass(cls):
        cls.relay.close()

    def phone_request(self, method, path, body=None, source="127.0.0.2"):
        return self.relay.request(method, path, body, token=self.phone, timeout=SERVED_WITHIN, source=source)

    def admin_status(self):
        conn = http.client.HTTPConnection("127.0.0.1", self.local_port, timeout=SERVED_WITHIN)
        try:
            conn.request("GET", "/v1/admin/status", headers={"X-Idlewyn-Secret": self.relay.secret})
            response = conn.getresponse()
            self.assertEqual(response.status, 200)
            return json.loads(response.read())
        finally:
            conn.close()

    def finish(self, proc):
        """Wants the hook done within the bound."""
        try:
            self.assertEqual(proc.wait(timeout=SERVED_WITHIN), 0)
        finally:
            proc.kill()
            proc.wait()
            proc.stdout.close()
            proc.stderr.close()

    def test_one_address_cannot_starve_hooks_admin_or_other_phones(self):
        attack = SlowDrip(self.relay.port, ATTACKERS)
        try:
            # The relay keeps as many as one address may hold and turns the
            # rest away at once.
            wait_for(lambda: len(attack.open_ones()) == PER_ADDRESS, "the relay to turn the surplus away")
            self.assertEqual(attack.hold(), PER_ADDRESS)

            self.assertIn("pairingCode", self.admin_status())
            self.finish(self.relay.hook("claude-hook.sh", {"session_id": "hooked", "cwd": "/w/api",
                                                           "hook_event_name": "UserPromptSubmit", "prompt": "go"},
                                        wait=False))
            self.assertIn("hooked", [s["id"] for s in self.admin_status()["sessions"]])
            status, body = self.phone_request("GET", "v1/sessions?provider=claude")
            self.assertEqual(status, 200)
            self.assertIn("hooked", [s["id"] for s in body["sessions"]])
        finally:
            attack.close()
        # Once it lets go, the address is served like any other (as soon as
        # the relay has seen its connections close).
        def served_again():
            try:
                return self.relay.request("GET", "v1/settings", token=self.phone)[0] == 200
            except ConnectionError:
                return False
        wait_for(served_again, "the attacker's address to be served again")

    def test_a_request_that_drips_in_is_cut_off_and_its_slot_freed(self):
        drip = SlowDrip(self.relay.port, PER_ADDRESS, source="127.0.0.3", every=0.5)
        try:
            # Every read is answered within the socket timeout, yet the whole
            # request never arrives in time: the relay hangs up on each.
            wait_for(lambda: not drip.open_ones(), "the relay to shed the dripping connections", limit=60)
            self.assertEqual(self.phone_request("GET", "v1/settings", source="127.0.0.3")[0], 200)
        finally:
            drip.close()


class TlsHandshakeDeadlineTest(unittest.TestCase):
    def test_a_handshake_that_drips_in_is_cut_off(self):
        relay = Relay(tls=True)
        self.addCleanup(relay.close)
        hello = SlowDrip(relay.port, 1, every=0.5, line=b"\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03" + b"\x00" * 500)
        try:
            self.assertEqual(len(hello.open_ones()), 1)
            wait_for(lambda: not hello.open_ones(), "the relay to give up on the handshake", limit=60)
        finally:
            hello.close()
        self.assertEqual(relay.request("GET", "v1/settings", token="x")[0], 401)


if __name__ == "__main__":
    unittest.main()
