"""The phone client end to end, with the real Claude Code.

The tray application starts the relay (its installer and this machine's
service manager) and draws the pairing QR; the client reads that picture with
its own decoder and pairs both providers; everything after that goes through
the client: its QML (clicked by objectName), its core, and its notifications,
which a recording notification server on the private session bus receives and
answers as a person would. The agents, the model endpoint and the terminal
come from the agents harness of the tray application's tests.
"""

import json
import os
import queue
import subprocess
import sys
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "relay-app", "tests", "agents"))

import dbus  # noqa: E402

from agents_harness import CLAUDE, AgentWorld, Background, bash_step, wait_for  # noqa: E402

DRIVER = os.environ.get("VESPERLINE_PHONE_DRIVER", "")
TRAY = os.environ.get("VESPERLINE_TRAY_PAIRING", "")
NOTIFICATION_SERVER = os.path.join(ROOT, "phone-app", "platform", "tests", "notification_server.py")
NOTIFICATIONS = "org.freedesktop.Notifications"
PROMPT_EXPIRED = "That permission prompt was already answered or has expired."

SCRIPTS = [{"match": "make the marker", "steps": [bash_step("touch marker.txt", "Create the marker")],
            "final": "Marker step over."},
           {"match": "quick step", "steps": [bash_step("touch quick.txt", "Quick touch")],
            "final": "Quick step over."}]


def start_with_the_tray_app(world):
    """The tray application's first launch: it installs the relay and starts it."""
    runtime = tempfile.mkdtemp(prefix="runtime-", dir=world.home)
    os.chmod(runtime, 0o700)
    env = dict(os.environ, HOME=world.home, XDG_CONFIG_HOME=os.path.join(world.home, ".config"),
               XDG_RUNTIME_DIR=runtime)  # no user service manager answers there: a detached relay
    world.pairing_png = os.path.join(world.home, "pairing-window.png")
    proc = world.processes.start([TRAY, world.pairing_png], env=env, stdin=subprocess.DEVNULL,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    out, err = proc.communicate(timeout=120)
    assert proc.returncode == 0, err
    world.tray_link = out.strip()


class PhoneApp(object):
    """The client (phone_driver): commands in, answers and refresh events out."""

    def __init__(self, world, *args):
        self.refreshes = []
        self.replies = queue.Queue()
        self.arrived = threading.Condition()
        env = dict(os.environ, HOME=world.home, XDG_CONFIG_HOME=os.path.join(world.home, ".config"),
                   XDG_CACHE_HOME=os.path.join(world.home, ".cache"))
        self.log = open(os.path.join(world.home, "phone.log"), "w")
        self.proc = world.processes.start([DRIVER] + list(args), env=env, stdin=subprocess.PIPE,
                                          stdout=subprocess.PIPE, stderr=self.log, text=True, bufsize=1)
        self.reader = threading.Thread(target=self.read, daemon=True)
        self.reader.start()
        ready = self.replies.get(timeout=60)
        assert ready.get("event") == "ready", ready

    def read(self):
        for line in self.proc.stdout:
            message = json.loads(line)
            if message.get("event") == "refreshed":
                with self.arrived:
                    self.refreshes.append(message)
                    self.arrived.notify_all()
            else:
                self.replies.put(message)

    def do(self, *words, limit=60):
        self.proc.stdin.write(" ".join(words) + "\n")
        self.proc.stdin.flush()
        answer = self.replies.get(timeout=limit)
        if not answer.get("ok"):
            raise AssertionError("%s: %s" % (" ".join(words), answer))
        return answer

    def next_refresh(self, predicate, what, limit=30, since=None):
        """The first refresh from now (or from the since-th) that satisfies predicate."""
        seen = len(self.refreshes) if since is None else since
        end = time.monotonic() + limit
        with self.arrived:
            while True:
                for event in self.refreshes[seen:]:
                    if predicate(event):
                        return event
                seen = len(self.refreshes)
                if not self.arrived.wait(max(0.0, end - time.monotonic())) and time.monotonic() > end:
                    raise AssertionError("the client never showed " + what)

    def prompt(self, limit=30):
        def held(event):
            return [s for s in event["sessions"] if s.get("promptId")]
        return held(self.next_refresh(held, "a held prompt", limit))[0]

    def close(self):
        if self.proc.poll() is None:
            try:
                self.proc.stdin.write("quit\n")
                self.proc.stdin.flush()
                self.proc.wait(timeout=10)
            except (OSError, subprocess.TimeoutExpired):
                self.proc.kill()
                self.proc.wait()
        self.reader.join(5)  # it ends with the output
        for pipe in (self.proc.stdin, self.proc.stdout):
            try:
                pipe.close()
            except OSError:
                pass
        self.log.close()


class NotificationServer(object):
    def __init__(self, world):
        self.record = os.path.join(world.home, "notifications.jsonl")
        world.processes.start(["/usr/bin/python3", NOTIFICATION_SERVER, self.record], stdin=subprocess.DEVNULL)
        self.bus = dbus.SessionBus()
        wait_for(lambda: self.bus.name_has_owner(NOTIFICATIONS), "the notification server on the bus")

    def calls(self):
        if not os.path.exists(self.record):
            return []
        with open(self.record) as f:
            return [json.loads(line) for line in f if line.strip()]

    def wait_prompt_notification(self, after, limit=30):
        """The first notification with Allow among the calls after the first `after`."""
        def find():
            rows = [c for c in self.calls()[after:] if c["method"] == "Notify" and "allow" in c["actions"]]
            return rows[0] if rows else None
        return wait_for(find, "a notification with Allow", limit)

    def press(self, notification_id, action):
        server = self.bus.get_object(NOTIFICATIONS, "/org/freedesktop/Notifications")
        server.InvokeAction(dbus.UInt32(notification_id), action,
                            dbus_interface="io.vesperline.test.NotificationControl")


class PhoneClientEndToEnd(unittest.TestCase):
    DRIVER_ARGS = []

    def setUp(self):
        if not (os.access(DRIVER, os.X_OK) and os.access(TRAY, os.X_OK)):
            raise AssertionError("VESPERLINE_PHONE_DRIVER and VESPERLINE_TRAY_PAIRING must name the built tools")
        self.world = AgentWorld(SCRIPTS, relay_starter=start_with_the_tray_app)
        self.addCleanup(self.world.close)
        self.notifications = NotificationServer(self.world)
        self.phone = PhoneApp(self.world, *self.DRIVER_ARGS)
        self.addCleanup(self.phone.close)

        paired = self.phone.do("pair-image", self.world.pairing_png)
        fingerprint = self.world.relay.status()["tlsFingerprint"]
        self.assertEqual(sorted((c["provider"], c["pin"]) for c in paired["connections"]),
                         [("claude", fingerprint), ("codex", fingerprint)])
        # Away mode, switched on in the client's settings.
        self.phone.do("show")
        self.phone.do("click", "settingsButton")
        self.phone.do("click", "awayModeSwitch")
        wait_for(lambda: self.world.relay.status().get("remoteApprovals") is True, "away mode at the relay")
        self.phone.do("click", "backButton")

    def run_claude(self, prompt):
        return Background(self.world.claude_print, prompt, "--permission-mode", "default")

    def assert_ran(self, run, marker):
        result = run.join()
        self.assertEqual(result["permission_denials"], [])
        self.assertTrue(os.path.exists(os.path.join(self.world.project, marker)))


class AnsweredInTheClient(PhoneClientEndToEnd):
    def test_allow_in_the_app(self):
        run = self.run_claude("make the marker")
        held = self.phone.prompt()
        self.assertEqual((held["toolName"], held["detail"]), ("Bash", "touch marker.txt"))
        self.phone.do("open-session", "claude:" + held["id"])
        self.assertEqual(self.phone.do("text", "promptDetail")["text"], "touch marker.txt")
        self.phone.do("click", "allowButton")
        self.assert_ran(run, "marker.txt")


class AnsweredAtTheTerminalFirst(PhoneClientEndToEnd):
    # The terminal answers between two polls of the open window; slower polls
    # leave room to press Allow on the prompt the client still shows.
    DRIVER_ARGS = ["--active-interval", "20000"]

    def test_the_clients_allow_reports_the_prompt_as_answered_elsewhere(self):
        term = self.world.terminal([CLAUDE, "--permission-mode", "default"])
        term.wait_screen("? for shortcuts")
        term.type("quick step")
        term.wait_screen("Esc to cancel")
        time.sleep(0.5)  # Claude takes keys only once its dialog has settled
        held = self.phone.prompt(limit=40)
        self.phone.do("open-session", "claude:" + held["id"])
        term.key("Enter")
        self.world.wait_session("claude", lambda s: "permission" not in s, "the terminal's answer at the relay")
        self.phone.do("click", "allowButton")
        wait_for(lambda: self.phone.do("text", "notice")["text"] == PROMPT_EXPIRED, "the prompt-expired notice")
        term.wait_screen("Quick step over.")
        self.assertTrue(os.path.exists(os.path.join(self.world.project, "quick.txt")))


class NewSessionBetweenBackgroundPolls(PhoneClientEndToEnd):
    def test_is_answered_from_its_notification(self):
        self.phone.do("hide")
        self.phone.next_refresh(lambda e: not e["windowActive"], "a background poll")
        seen, shown = len(self.phone.refreshes), len(self.notifications.calls())
        run = self.run_claude("make the marker")
        notification = self.notifications.wait_prompt_notification(shown, limit=40)

        # The client first saw the session in a background poll, already
        # waiting: no transition could have raised this alert.
        first = self.phone.next_refresh(lambda e: any(s["provider"] == "claude" for s in e["sessions"]),
                                        "the new session", since=seen)
        self.assertFalse(first["windowActive"])
        self.assertEqual([s["status"] for s in first["sessions"] if s["provider"] == "claude"], ["waitingForInput"])
        self.assertEqual((notification["summary"], notification["body"]),
                         ("Claude Code · project", "Allow Bash: touch marker.txt?"))

        self.notifications.press(notification["id"], "allow")
        self.assert_ran(run, "marker.txt")


if __name__ == "__main__":
    unittest.main()
