import ast
import json
import os
import unittest

from relay_harness import RESOURCES, Relay, load_relay, wait_for

LOG_LINES_PER_ADDRESS = load_relay("relay_log_limits").LOG_LINES_PER_ADDRESS


class BadInputTest(unittest.TestCase):
    """Bad requests get a clear 4xx and cost the relay nothing it holds."""

    @classmethod
    def setUpClass(cls):
        cls.relay = Relay()
        cls.token = cls.relay.pair("claude")
        cls.relay.report("claude", {"session_id": "keep", "hook_event_name": "UserPromptSubmit", "prompt": "hi"})

    @classmethod
    def tearDownClass(cls):
        cls.relay.close()

    def tearDown(self):
        # Whatever came before, the relay still serves and still holds its data.
        self.assertIn("keep", self.relay.sessions(self.token))

    def test_malformed_and_mistyped_bodies(self):
        cases = [(b"{not json", "v1/pair"), (b"\xff\xfe", "v1/pair"), (b"[1, 2]", "v1/pair"),
                 (b'{"provider": 5, "code": "x"}', "v1/pair"), (b'{"provider": "claude"}', "v1/pair"),
                 (b"[" * 100000 + b"]" * 100000, "v1/pair"), (b'{"decision": null}', "v1/permissions/x"),
                 (b"", "v1/settings"), (b'{"remoteApprovals": "true"}', "v1/settings"),
                 # Just under the size limit: read, and judged on its merits.
                 (b" " * (1 << 20), "v1/pair")]
        for body, path in cases:
            with self.subTest(body=body[:30], path=path):
                status, answer = self.relay.request("POST", path, raw=body, token=self.token)
                self.assertEqual(status, 400)
                self.assertIsInstance(answer["error"], str)

    def test_half_a_surrogate_pair_in_a_report_breaks_no_list(self):
        # What JSON.stringify writes for a string cut in the middle of an emoji.
        event = (b'{"session_id": "cut\\ud83d", "cwd": "/w/\\udcff", "hook_event_name": "UserPromptSubmit",'
                 b' "prompt": "fix \\ud83d\\ude00 and \\ud83d"}')
        self.assertEqual(self.relay.request("POST", "v1/hooks/claude", raw=event, secret=self.relay.hook_token)[0], 200)
        cut = self.relay.sessions(self.token)["cut\ufffd"]
        self.assertEqual((cut["workingDirectory"], cut["title"]), ("/w/\ufffd", "fix \U0001F600 and \ufffd"))
        # And it is saved like any other session.
        self.relay.report("claude", {"session_id": "cut\ufffd", "hook_event_name": "Stop"})
        def saved():
            try:
                with open(self.relay.path("state.json"), encoding="utf-8") as f:
                    return "cut\ufffd" in f.read()
            except FileNotFoundError:
                return False  # not written yet
        wait_for(saved, "state.json to hold the session")

    def test_unknown_paths_and_methods(self):
        self.assertEqual(self.relay.request("GET", "v2/sessions", token=self.token)[0], 404)
        self.assertEqual(self.relay.request("GET", "v1/permissions/a/b", token=self.token)[0], 404)
        for method, path in (("GET", "v1/pair"), ("DELETE", "v1/sessions"), ("PUT", "v1/admin/status"),
                             ("post", "v1/pair"), ("TRACE", "v1/sessions")):
            self.assertEqual(self.relay.request(method, path)[0], 405, (method, path))
        self.assertEqual(self.relay.last_headers.get("Allow"), "GET")
        # A method nobody defined is no server error either.
        self.assertEqual(self.relay.request("BREW", "v2/pot")[0], 404)

    def test_every_refused_request_gets_a_status_line_and_a_json_error(self):
        long_header = b"X-Long: " + b"a" * 65530  # no line end: the relay reads it all, then refuses
        many_headers = b"".join(b"X-%d: 1\r\n" % n for n in range(101))  # no blank line, likewise
        # Too long a body is refused from the announced length alone; sending it
        # as well would race the relay's close (a reset on the sender).
        too_long = b"POST /v1/pair HTTP/1.1\r\nContent-Length: %d\r\n\r\n"
        for request, status in ((b"garbage\r\n\r\n", b"400"), (too_long % ((1 << 20) + 1), b"413"),
                                (too_long % 99999999999, b"413"),
                                (b"POST /v1/pair HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", b"411"),
                                (b"POST /v1/pair HTTP/1.1\r\nContent-Length: -4\r\n\r\n", b"400"),
                                (b"POST /v1/pair HTTP/1.1\r\nContent-Length: 0x10\r\n\r\n", b"400"),
                                # A client that hangs up mid-body.
                                (b"POST /v1/pair HTTP/1.1\r\nContent-Length: 40\r\n\r\n{}", b"400"),
                                (b"GET /v1/settings HTTP/2.0\r\n\r\n", b"505"),
                                (b"GET /v1/settings HTTP/1.1\r\n" + long_header, b"431"),
                                (b"GET /v1/settings HTTP/1.1\r\n" + many_headers, b"431"),
                                # No bare-body 0.9 answer: a status line, then the relay hangs up.
                                (b"GET /v1/settings HTTP/0.9\r\n\r\n", b"505"),
                                (b"POST /v1/pair HTTP/0.9\r\nContent-Length: 2\r\n\r\n{}", b"505"),
                                (b"GET /v1/settings HTTP/0.9\r\n" + long_header, b"431"),
                                (b"GET /v1/settings HTTP/0.9\r\n" + many_headers, b"431")):
            with self.subTest(request=request[:40], status=status):
                head, _, body = self.relay.raw(request).partition(b"\r\n\r\n")
                self.assertTrue(head.startswith(b"HTTP/1.1 " + status), head[:60])
                self.assertIn(b"\r\nConnection: close", head)
                self.assertIsInstance(json.loads(body)["error"], str)

    def test_keep_alive_connection_survives_a_rejected_request(self):
        conn = self.relay.connection()
        try:
            conn.request("POST", "/v1/settings", b'{"bad": json}', {"Authorization": "Bearer " + self.token})
            response = conn.getresponse()
            self.assertEqual((response.status, json.loads(response.read())["error"]), (400, "malformed JSON"))
            conn.request("GET", "/v1/settings", headers={"Authorization": "Bearer " + self.token})
            self.assertEqual(json.loads(conn.getresponse().read()), {"remoteApprovals": False})
        finally:
            conn.close()


class LogBoundTest(unittest.TestCase):
    def test_each_address_adds_a_few_lines_and_the_log_moves_aside_at_its_limit(self):
        relay = Relay(logLimit=4096)
        try:
            # Each address more than its share; the file moves aside at its
            # limit while the relay goes on writing to a new one.
            malformed = b"POST /v1/pair HTTP/1.1\r\nContent-Length: 9\r\n\r\n{not json"
            for n in range(2, 40):
                for _ in range(LOG_LINES_PER_ADDRESS + 3):
                    reply = relay.raw(malformed, "127.0.0.%d" % n)
                    self.assertTrue(reply.startswith(b"HTTP/1.1 400"), reply[:40])
            log = relay.read("relay.log.1") + relay.read("relay.log")
            self.assertEqual(log.count("from 127.0.0.39:"), LOG_LINES_PER_ADDRESS)
            self.assertNotIn("Traceback", log)
            for name in ("relay.log", "relay.log.1"):
                self.assertLess(os.path.getsize(relay.path(name)), 4096 + 200, name)
        finally:
            relay.close()


class SourceTest(unittest.TestCase):
    def test_python_files_parse_as_python_3_9(self):
        for name in ("relay.py", "apns.py"):
            with open(os.path.join(RESOURCES, name)) as f:
                ast.parse(f.read(), filename=name, feature_version=(3, 9))


if __name__ == "__main__":
    unittest.main()
