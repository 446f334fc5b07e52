"""The relay's files in its home as a real relay process meets them: after a
kill -9, with records it cannot use, with tokens nobody ever used."""

import json
import os
import signal
import subprocess
import threading
import unittest

from relay_harness import PYTHON, Relay, clean_env, wait_for

# A write of the real atomic_write, ended by the process dying between
# writing the temporary file and putting it in place.
CUT_SHORT = """
import importlib.util, os, sys
found = importlib.util.spec_from_file_location("relay", sys.argv[1])
relay = importlib.util.module_from_spec(found)
found.loader.exec_module(relay)
os.fsync = lambda fd: os._exit(9)
relay.atomic_write(sys.argv[2], b'{"tokens": []}')
"""


def strict_json(text):
    def refuse(name):
        raise ValueError("not JSON: " + name)
    return json.loads(text, parse_constant=refuse)


class LeftoversTest(unittest.TestCase):
    def test_writes_cut_short_by_kill_9_leave_nothing_after_the_next_start(self):
        relay = Relay()
        try:
            # Hook events saved one after another while the relay is killed.
            stop = threading.Event()

            def flood():
                n = 0
                while not stop.is_set():
                    try:
                        relay.report("claude", {"session_id": "s%d" % (n % 50), "hook_event_name": "UserPromptSubmit",
                                                "prompt": "prompt %d" % n})
                    except Exception:  # the relay is gone, whatever stage the request was at
                        return
                    n += 1
            writers = [threading.Thread(target=flood) for _ in range(3)]
            for w in writers:
                w.start()
            wait_for(lambda: os.path.exists(relay.path("state.json")), "a first save")
            relay.proc.send_signal(signal.SIGKILL)
            relay.proc.wait()
            relay.proc = None
            relay.log.close()
            stop.set()
            for w in writers:
                w.join()

            for name in ("state.json", "tokens.json"):
                cut = subprocess.run([PYTHON, "-c", CUT_SHORT, relay.path("bin/relay.py"), relay.path(name)],
                                     env=clean_env(relay.home))
                self.assertEqual(cut.returncode, 9)
            left = [n for n in os.listdir(relay.dir) if ".tmp-" in n]
            self.assertEqual(len([n for n in left if n.startswith("tokens.json.tmp-")]), 1, left)
            # What is not ours stays, whatever it looks like.
            foreign = ["notes.tmp-1-0123abcd", "state.json.tmp-mine", "state.json.broken-17", "tokens.json.refused-1"]
            for name in foreign:
                with open(relay.path(name), "w") as f:
                    f.write("keep me")
            os.mkdir(relay.path("state.json.tmp-2-0123abcd"))
            with open(relay.path("relay-key.pem.new"), "w") as f:
                f.write("half a key")

            relay.start()
            self.assertEqual(relay.status()["tokens"], [])
            names = os.listdir(relay.dir)
            self.assertEqual(sorted(n for n in names if ".tmp-" in n or n.endswith(".new")),
                             sorted(["notes.tmp-1-0123abcd", "state.json.tmp-mine", "state.json.tmp-2-0123abcd"]))
            for name in foreign:
                self.assertIn(name, names)
            self.assertIn("left by a write that was cut short", relay.read("relay.log"))
        finally:
            relay.close()

    def test_a_second_relay_leaves_the_running_ones_files_alone(self):
        relay = Relay()
        try:
            planted = relay.path("state.json.tmp-%d-0123abcd" % relay.proc.pid)
            with open(planted, "w") as f:
                f.write("{}")
            second = subprocess.run([PYTHON, relay.path("bin/relay.py")], env=clean_env(relay.home),
                                    capture_output=True, timeout=60)
            self.assertEqual(second.returncode, 1)
            self.assertIn(b"another relay is already running", second.stderr)
            self.assertTrue(os.path.exists(planted))
        finally:
            relay.close()


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


class UnusedTokenTest(unittest.TestCase):
    def test_a_token_never_used_goes_after_its_time_a_used_one_stays(self):
        relay = Relay()
        try:
            used = relay.pair("claude")
            relay.pair("codex")  # its reply "never reached the phone"
            relay.sessions(used)
            ids = dict((t["provider"], t["id"]) for t in relay.status()["tokens"])
            # Only now the short lifetime: the used token was confirmed before it could matter.
            relay.stop()
            relay.write_config(dict(relay.config, unusedTokenLifetime=0.5))
            relay.start()
            wait_for(lambda: [t["id"] for t in relay.status()["tokens"]] == [ids["claude"]],
                     "the unused token to go")
            self.assertIn("token %s was never used since pairing" % ids["codex"], relay.read("relay.log"))
            relay.sessions(used)  # still accepted
        finally:
            relay.close()


if __name__ == "__main__":
    unittest.main()
