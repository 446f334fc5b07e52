"""The relay's files in its home as a real relay process meets them after a
kill -9."""

import os
import signal
import subprocess
import unittest

from relay_harness import PYTHON, Relay, clean_env

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


class LeftoversTest(unittest.TestCase):
    def test_writes_cut_short_by_kill_9_leave_nothing_after_the_next_start(self):
        relay = Relay()
        try:
            relay.stop(signal.SIGKILL)
            for name in ("state.json", "tokens.json"):
                cut = subprocess.run([PYTHON, "-c", CUT_SHORT, relay.path("bin/relay.py"), relay.path(name)],
                                     env=clean_env(relay.home))
                self.assertEqual(cut.returncode, 9)
            self.assertEqual(sorted(n.split(".tmp-")[0] for n in os.listdir(relay.dir) if ".tmp-" in n),
                             ["state.json", "tokens.json"])
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


if __name__ == "__main__":
    unittest.main()
