"""Who may call each route, on each listener, tried against the real relay.

What each kind of caller may reach is written here from what each one is
for, not read from the relay's route table: a route handed to the wrong
caller there fails this test. The table is only walked so that a new route
cannot go untried.
"""

import http.client
import unittest

from relay_harness import Relay, load_relay

relay_module = load_relay("relay_access")

REFUSED = {
    "not served": (404, b'{"error":"not served here"}'),
    "no bearer": (401, b'{"error":"missing bearer token"}'),
    "bad bearer": (401, b'{"error":"unknown or revoked token"}'),
    "bad secret": (401, b'{"error":"wrong or missing X-Idlewyn-Secret"}'),
    "not local": (403, b'{"error":"only this machine may use this endpoint"}'),
}


def owner(path):
    """Whose route a path is: the app's, the hooks', anyone's (pairing), or a phone's."""
    if path.startswith("v1/admin/"):
        return "admin"
    if path.startswith("v1/hooks/"):
        return "hook"
    return "anyone" if path == "v1/pair" else "phone"


def expected(path, caller, listener, remote):
    """The refusal a caller gets, or None where the route's own handler answers."""
    who = owner(path)
    if listener == "loopback" and who in ("anyone", "phone"):
        return "not served"
    if who == "phone":
        return {"phone": None, "stranger": "bad bearer"}.get(caller, "no bearer")
    if who in ("admin", "hook"):
        if remote:
            return "not local"
        return None if caller == who else "bad secret"
    return None


class RouteAccessTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # Listening on every address lets a request come from one that is not
        # loopback: this machine's own network address.
        cls.lan = relay_module.lan_address()
        cls.relay = Relay(host="0.0.0.0")
        cls.local_port = int(cls.relay.read("local-port"))

    @classmethod
    def tearDownClass(cls):
        cls.relay.close()

    def headers(self, caller):
        # A fresh phone each time: the unpair route ends the token it is sent with.
        if caller == "phone":
            return {"Authorization": "Bearer " + self.relay.pair("claude")}
        return {
            "nobody": {},
            "stranger": {"Authorization": "Bearer not-a-token"},
            "admin": {"X-Idlewyn-Secret": self.relay.secret},
            "hook": {"X-Idlewyn-Secret": self.relay.read("hook-token")},
        }[caller]

    def send(self, method, path, headers, port, source):
        conn = http.client.HTTPConnection(source, port, timeout=10, source_address=(source, 0))
        try:
            conn.request(method, "/" + path, b"{}", dict(headers, **{"Content-Type": "application/json"}))
            response = conn.getresponse()
            return response.status, response.read()
        finally:
            conn.close()

    def test_each_caller_reaches_only_its_own_routes(self):
        if self.lan.startswith("127."):
            self.skipTest("this machine has no network address to come from")
        places = [("device", self.relay.port, "127.0.0.1"), ("loopback", self.local_port, "127.0.0.1"),
                  ("device", self.relay.port, self.lan)]
        tried = 0
        for entry in relay_module.ROUTES:
            path, methods = entry[0].replace("*", "x"), entry[-1]
            for method in methods:
                for listener, port, source in places:
                    for caller in ("nobody", "phone", "stranger", "admin", "hook"):
                        with self.subTest(method=method, path=path, listener=listener, source=source,
                                          caller=caller):
                            status, body = self.send(method, path, self.headers(caller), port, source)
                            want = expected(path, caller, listener, source != "127.0.0.1")
                            if want is None:
                                self.assertLess(status, 500, body)
                                self.assertNotIn((status, body), REFUSED.values())
                            else:
                                self.assertEqual((status, body), REFUSED[want])
                            tried += 1
        self.assertGreater(tried, 200)


if __name__ == "__main__":
    unittest.main()
