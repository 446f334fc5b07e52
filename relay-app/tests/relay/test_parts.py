"""The relay's parts in process: relay.py imported as a module, driven with
agents' payloads and a hand-moved clock. What needs a real process (sockets,
signals, the hook scripts) stays in the other modules."""

import io
import json
import os
import shlex
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import threading
import unittest

try:
    import tomllib
except ImportError:  # Python before 3.11 has no TOML reader to check results with
    tomllib = None

import relay_harness
from relay_harness import RESOURCES


relay = relay_harness.load_relay()

T0 = 1_700_000_000.0
SUGGESTION = {"type": "addRules", "rules": [{"toolName": "Bash", "ruleContent": "npm test"}],
              "behavior": "allow", "destination": "localSettings"}


class Clock(object):
    def __init__(self, t=T0):
        self.t = t

    def __call__(self):
        return self.t

    def advance(self, seconds):
        self.t += seconds


class QuietLog(unittest.TestCase):
    """Collects what the relay logs instead of writing it to stderr."""

    def setUp(self):
        self.logged = []
        original = relay.log
        relay.log = self.logged.append
        self.addCleanup(setattr, relay, "log", original)
        self.dir = tempfile.mkdtemp(prefix="relay-parts-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, name):
        return os.path.join(self.dir, name)


def claude(event, sid="s1", **fields):
    payload = {"session_id": sid, "cwd": "/home/dev/api", "hook_event_name": event}
    payload.update(fields)
    return payload


def permission(sid="s1", command="npm test", **fields):
    return claude("PermissionRequest", sid, tool_name="Bash", tool_input={"command": command},
                  permission_suggestions=[SUGGESTION], **fields)


def user(content, **fields):
    """A transcript line of Claude's in the user's place."""
    return dict(type="user", message={"role": "user", "content": content}, **fields)


REFUSAL = {"type": "tool_result", "tool_use_id": "toolu_1", "is_error": True,
           "content": "The user doesn't want to proceed with this tool use."}
INTERRUPTED = {"type": "text", "text": "[Request interrupted by user for tool use]"}
# What expect() takes for a field the session's row must not have.
ABSENT = "(absent)"


class WireTextTest(unittest.TestCase):
    def test_dates(self):
        self.assertEqual(relay.iso_ms(0), "1970-01-01T00:00:00.000Z")
        self.assertEqual(relay.iso_ms(1.5), "1970-01-01T00:00:01.500Z")
        # Rounding to the millisecond carries into the seconds.
        self.assertEqual(relay.iso_ms(59.9996), "1970-01-01T00:01:00.000Z")
        self.assertEqual(relay.iso_ms(T0 + 0.0004), "2023-11-14T22:13:20.000Z")
        self.assertEqual(relay.iso_s(T0 + 0.9), "2023-11-14T22:13:20Z")

    def test_one_line(self):
        self.assertEqual(relay.one_line("  fix\n the\ttests  ", 80), "fix the tests")
        self.assertEqual(relay.one_line("abcdefghij", 10), "abcdefghij")
        self.assertEqual(relay.one_line("abcdefgh ijk", 10), "abcdefgh\u2026")
        self.assertEqual(len(relay.one_line("x" * 500, 100)), 100)

    def test_normalize_code(self):
        self.assertEqual(relay.normalize_code("abcd-2345"), "ABCD2345")
        self.assertEqual(relay.normalize_code(" AB CD\u200b-23 45 "), "ABCD2345")
        self.assertEqual(relay.normalize_code("--"), "")


class ToolTextTest(unittest.TestCase):
    def test_describe_tool_picks_the_telling_field(self):
        describe = relay.describe_tool
        self.assertEqual(describe({"description": "Remove it", "command": " rm -rf x "}), "rm -rf x")
        self.assertEqual(describe({"file_path": "/a/b.py", "content": "..."}), "/a/b.py")
        self.assertEqual(describe({"command": ["git", "status"]}), "git status")
        self.assertEqual(describe({"command": "  ", "pattern": "TODO"}), "TODO")
        self.assertEqual(describe({"b": 1, "a": "x"}), '{"a": "x", "b": 1}')
        self.assertEqual(len(describe({"blob": "y" * 5000})), 2000)
        self.assertEqual(describe({}), "")
        self.assertEqual(describe("  ls -la "), "ls -la")
        self.assertEqual(describe(None), "")
        self.assertEqual(describe(["ls"]), "")


class PermissionAnswerTest(unittest.TestCase):
    def test_always_suggestion_takes_the_first_allowing_rule_set(self):
        deny = {"type": "addRules", "behavior": "deny", "rules": [{"toolName": "Bash"}]}
        empty = {"type": "addRules", "rules": []}
        mode = {"type": "setMode", "mode": "acceptEdits"}
        implicit = {"type": "addRules", "rules": [{"toolName": "Read"}]}
        pick = relay.always_suggestion
        self.assertIs(pick({"permission_suggestions": [mode, deny, empty, SUGGESTION, implicit]}), SUGGESTION)
        self.assertIs(pick({"permission_suggestions": [implicit]}), implicit)
        self.assertIsNone(pick({"permission_suggestions": [mode, deny, empty, "junk"]}))
        self.assertIsNone(pick({"permission_suggestions": "addRules"}))
        self.assertIsNone(pick({}))
        self.assertIsNone(pick(None))

    def test_rule_text(self):
        rules = {"rules": [{"toolName": "Bash", "ruleContent": "npm test"}, {"toolName": "Read"},
                           {"toolName": "Edit", "ruleContent": ""}, {"ruleContent": "orphan"}, "junk"]}
        self.assertEqual(relay.rule_text(rules), "Bash(npm test), Read, Edit")
        self.assertIsNone(relay.rule_text({"rules": [{"ruleContent": "orphan"}]}))
        self.assertIsNone(relay.rule_text(None))

    def test_permission_output(self):
        def decision(answer, payload):
            out = relay.permission_output(answer, payload)
            self.assertEqual(out["hookSpecificOutput"]["hookEventName"], "PermissionRequest")
            return out["hookSpecificOutput"]["decision"]
        with_rule = {"permission_suggestions": [SUGGESTION]}
        self.assertEqual(decision("allow", with_rule), {"behavior": "allow"})
        self.assertEqual(decision("deny", with_rule), {"behavior": "deny", "message": "Denied from phone"})
        self.assertEqual(decision("always", with_rule), {"behavior": "allow", "updatedPermissions": [SUGGESTION]})
        # "always" without a rule to keep is a plain allow, never an empty rule list.
        self.assertEqual(decision("always", {}), {"behavior": "allow"})


class ConfigTest(QuietLog):
    def write(self, text):
        with open(self.path("config.json"), "w") as f:
            f.write(text)

    def test_missing_or_unreadable_config_gives_the_defaults(self):
        self.assertEqual(relay.load_config(self.dir), relay.DEFAULTS)
        for text in ("[1, 2]", "{not json", ""):
            self.write(text)
            self.assertEqual(relay.load_config(self.dir), relay.DEFAULTS)
        self.assertEqual(len([m for m in self.logged if "config.json ignored" in m]), 3)

    def test_each_invalid_value_is_ignored_on_its_own(self):
        self.write(json.dumps({"port": True, "host": "  ", "tls": "yes", "staleAfter": 0,
                               "pairingCodeLifetime": -5, "expireAfter": "6h",
                               "advertiseHost": " mac.local ", "pushGateway": "https://gw",
                               "permissionTimeout": 45, "unknown": 1}))
        cfg = relay.load_config(self.dir)
        self.assertEqual(cfg["port"], 8787)
        self.assertNotIn("host", cfg)
        self.assertNotIn("tls", cfg)
        self.assertEqual((cfg["staleAfter"], cfg["pairingCodeLifetime"], cfg["expireAfter"]),
                         (900.0, 600.0, 6 * 3600.0))
        self.assertEqual((cfg["advertiseHost"], cfg["pushGateway"], cfg["permissionTimeout"]),
                         ("mac.local", "https://gw", 45))
        self.assertNotIn("unknown", cfg)
        self.assertEqual(len([m for m in self.logged if "ignoring invalid" in m]), 6)

    def test_ports_and_the_permission_timeout_cap(self):
        for port, expected in ((0, 0), (65535, 65535), (65536, 8787), (-1, 8787), (80.0, 8787)):
            self.write(json.dumps({"port": port}))
            self.assertEqual(relay.load_config(self.dir)["port"], expected, port)
        # Claude kills the permission hook at its own timeout; the relay must give up first.
        self.write(json.dumps({"permissionTimeout": 3600}))
        self.assertEqual(relay.load_config(self.dir)["permissionTimeout"], relay.MAX_PERMISSION_TIMEOUT)
        self.assertLess(relay.MAX_PERMISSION_TIMEOUT, relay.PERMISSION_HOOK_TIMEOUT)


class JsonStoreTest(QuietLog):
    def test_unreadable_file_is_set_aside_not_lost(self):
        # Nested beyond what the parser recurses into: once a crash at every start.
        for text in ("{broken", "[1, 2]", '{"a": ' + "[" * 100000):
            with open(self.path("state.json"), "w") as f:
                f.write(text)
            self.assertEqual(relay.JsonStore(self.path("state.json")).load(), {})
            self.assertFalse(os.path.exists(self.path("state.json")))
            kept = [n for n in os.listdir(self.dir) if n.startswith("state.json.broken-")]
            self.assertEqual(len(kept), 1)
            with open(self.path(kept[0])) as f:
                self.assertEqual(f.read(), text)
            os.unlink(self.path(kept[0]))
        self.assertEqual(len([m for m in self.logged if "state.json unreadable" in m]), 3)

    def test_a_failed_save_is_logged_not_raised(self):
        store = relay.JsonStore(self.path("gone/state.json"))
        store.save({"a": 1})
        self.assertTrue(any("could not save state.json" in m for m in self.logged))


class BoardTest(QuietLog):
    CONFIG = dict(relay.DEFAULTS, permissionTimeout=60.0)

    def setUp(self):
        QuietLog.setUp(self)
        self.clock = Clock()
        self.pushed = []
        self.board = self.make_board()
        self.transcript = self.path("transcript.jsonl")

    def make_board(self, config=None):
        board = relay.SessionBoard(relay.JsonStore(self.path("state.json")), config or self.CONFIG, self.clock,
                                   on_attention=lambda provider, wire: self.pushed.append((provider, wire)))
        board.load()
        return board

    def event(self, payload, provider="claude"):
        self.assertEqual(self.board.hook_event(provider, payload, self.clock()), {"ok": True})

    def session(self, sid="s1", provider="claude"):
        rows = dict((s["id"], s) for s in self.board.session_list(provider, self.clock()))
        return rows.get(sid)

    def expect(self, sid="s1", provider="claude", **fields):
        s = self.session(sid, provider)
        self.assertEqual(dict((k, s.get(k, ABSENT)) for k in fields), fields, sid)

    def hold(self, payload=None):
        answer = self.board.raise_permission(payload or permission(), self.clock(), phone_paired=True)
        self.assertTrue(answer["hold"], answer)
        return answer["promptId"]

    def append(self, *entries):
        with open(self.transcript, "a") as f:
            for entry in entries:
                f.write(json.dumps(entry) + "\n")


class SessionEventsTest(BoardTest):
    def test_claude_turn(self):
        self.event(claude("SessionStart", source="startup"))
        self.expect(status="idle", title="api", workingDirectory="/home/dev/api", startedAt=relay.iso_ms(T0))

        self.clock.advance(2)
        self.event(claude("UserPromptSubmit", prompt="Fix the login test\nplease"))
        self.clock.advance(1)
        self.event(claude("PreToolUse", tool_name="Bash", tool_input={"command": "npm test"}))
        self.expect(status="working", title="Fix the login test please", activity="Bash: npm test",
                    turnStartedAt=relay.iso_ms(T0 + 2), updatedAt=relay.iso_ms(T0 + 3))

        # The first prompt names the session for good.
        self.event(claude("UserPromptSubmit", prompt="Now the signup test"))
        self.event(claude("Stop", last_assistant_message="All   tests\npass."))
        self.expect(status="finished", title="Fix the login test please", summary="All tests pass.",
                    activity=ABSENT, turnStartedAt=ABSENT)

    def test_only_a_new_attention_status_is_pushed(self):
        self.event(claude("UserPromptSubmit", prompt="go"))
        self.event(claude("PreToolUse", tool_name="Read", tool_input={"file_path": "/a"}))
        self.assertEqual(self.pushed, [])
        self.event(claude("Notification", notification_type="permission_prompt"))
        self.event(claude("Notification", notification_type="elicitation_dialog"))
        self.event(claude("StopFailure", error="  rate limited ", last_assistant_message="partial"))
        self.event(claude("StopFailure", error="again"))
        self.assertEqual([(p, w["status"]) for p, w in self.pushed],
                         [("claude", "waitingForInput"), ("claude", "failed")])
        self.assertEqual(self.pushed[1][1]["summary"], "rate limited")

    def test_session_start_ends_a_running_turn_unless_it_is_a_compaction(self):
        self.event(claude("UserPromptSubmit", prompt="go"))
        self.event(claude("PreToolUse", tool_name="Bash", tool_input={"command": "make"}))
        self.event(claude("SessionStart", source="compact"))
        self.expect(status="working")
        self.event(claude("SessionStart", source="resume"))
        self.expect(status="idle", activity=ABSENT)

    def test_an_ended_session_stays_listed_a_while_with_how_it_ended(self):
        for provider in ("claude", "codex"):
            self.event(claude("UserPromptSubmit", "mid-turn", prompt="go"), provider)
            self.event(claude("Stop", "done", last_assistant_message="All done."), provider)
            for sid in ("mid-turn", "done", "never-seen"):
                self.event(claude("SessionEnd", sid, reason="other"), provider)
            self.expect("mid-turn", provider, status="idle")
            self.expect("done", provider, status="finished", summary="All done.")
            self.assertIsNone(self.session("never-seen", provider))
        self.clock.advance(self.CONFIG["keepEndedFor"] - 1)
        self.assertEqual(len(self.board.session_list(None, self.clock())), 4)
        self.clock.advance(1)
        self.assertEqual(self.board.session_list(None, self.clock()), [])

    def test_a_session_ended_mid_turn_has_its_prompts_gone(self):
        self.board.set_remote_approvals(True)
        pid = self.hold()
        self.event(claude("SessionEnd", reason="prompt_input_exit"))
        self.expect(status="idle", permission=ABSENT, activity=ABSENT)
        self.assertEqual(self.board.wait_prompt(pid, 0), {"state": "gone"})

    def test_a_resumed_conversation_the_relay_let_go_keeps_its_title_and_start(self):
        began = T0 - 7200
        self.append({"type": "permission-mode", "permissionMode": "default"},
                    user("<command-name>/model</command-name>", timestamp="2023-11-14T20:00:00.000Z"),
                    user("Fix the login test\nplease", timestamp=relay.iso_ms(began)),
                    user("and the signup test", timestamp=relay.iso_ms(T0 - 60)))
        self.event(claude("SessionStart", source="resume", transcript_path=self.transcript))
        self.event(claude("UserPromptSubmit", prompt="carry on"))
        self.expect(title="Fix the login test please", startedAt=relay.iso_ms(began), status="working")

    def test_a_resumed_session_the_relay_still_knows_is_left_as_it_was(self):
        self.event(claude("UserPromptSubmit", prompt="the real title"))
        self.event(claude("SessionEnd", reason="prompt_input_exit"))
        self.clock.advance(60)
        self.append(user("something else", timestamp=relay.iso_ms(T0 - 7200)))
        self.event(claude("SessionStart", source="resume", transcript_path=self.transcript))
        self.expect(title="the real title", startedAt=relay.iso_ms(T0))
        self.clock.advance(self.CONFIG["keepEndedFor"])
        self.assertIsNotNone(self.session())

    def test_a_transcript_path_that_is_no_file_neither_hangs_nor_titles(self):
        fifo = self.path("fifo")
        os.mkfifo(fifo)
        for path in (fifo, "/dev/zero", self.dir, "relative.jsonl", 42):
            worker = threading.Thread(target=self.event, daemon=True,
                                      args=(claude("SessionStart", source="resume", transcript_path=path),))
            worker.start()
            worker.join(10)
            self.assertFalse(worker.is_alive(), path)
        self.expect(title="api")

    def test_tasks(self):
        todos = [{"content": "a", "status": "completed"}, {"content": "b", "status": "in_progress"}, "junk"]
        self.event(claude("PostToolUse", tool_name="TodoWrite", tool_input={"todos": todos}))
        s = self.session()
        self.assertEqual((s["taskDone"], s["taskTotal"]), (1, 3))

        sid = "tasks"
        self.event(claude("PostToolUse", sid, tool_name="TaskCreate", tool_input={},
                          tool_response=json.dumps({"task": {"id": 7}})))
        self.event(claude("PostToolUse", sid, tool_name="TaskCreate", tool_input={}, tool_response="not json"))
        # Claude sends the response as an object, not only as JSON text.
        self.event(claude("PostToolUse", sid, tool_name="TaskCreate", tool_input={}, tool_response={"task": {"id": "8"}}))
        self.event(claude("PostToolUse", sid, tool_name="TaskUpdate", tool_input={"taskId": "7", "status": "completed"}))
        s = self.session(sid)
        self.assertEqual((s["taskDone"], s["taskTotal"]), (1, 3))
        for key, task in (("task_id", "8"), ("taskId", "7")):
            self.event(claude("PostToolUse", sid, tool_name="TaskUpdate", tool_input={key: task, "status": "deleted"}))
        self.event(claude("TaskCompleted", sid, task_id="created-1"))
        s = self.session(sid)
        self.assertEqual((s["taskDone"], s["taskTotal"]), (1, 1))

    def test_codex_turn_completion(self):
        # Codex's permission hook only reports: its terminal asks, the phone sees the wait.
        self.event({"session_id": "t1", "hook_event_name": "PermissionRequest", "tool_name": "Bash",
                    "tool_input": {"command": "npm install"}}, "codex")
        self.expect("t1", "codex", status="waitingForInput", activity="Bash: npm install", permission=ABSENT)
        done = {"type": "agent-turn-complete", "thread-id": "t1", "cwd": "/w/cli",
                "input-messages": ["Rename the flag", "and more"], "last-assistant-message": "Renamed."}
        self.assertEqual(self.board.codex_notify(done, self.clock()), {"ok": True})
        self.expect("t1", "codex", status="finished", title="Rename the flag", summary="Renamed.")
        self.assertEqual(self.pushed[-1][0], "codex")
        self.assertEqual(self.board.codex_notify({"type": "other", "thread-id": "t2"}, self.clock()), {"ok": True})
        self.assertIsNone(self.session("t2", "codex"))
        self.assertIsNone(self.session("t1", "claude"))

    def test_malformed_events_are_refused_before_anything_changes(self):
        cases = [claude("PreToolUse", sid=""), claude("PreToolUse", sid="x" * 201), claude("Stop", sid=7),
                 {"session_id": "s1", "hook_event_name": None}]
        for payload in cases:
            with self.assertRaises(relay.RequestError) as caught:
                self.board.hook_event("claude", payload, self.clock())
            self.assertEqual(caught.exception.status, 400)
        with self.assertRaises(relay.RequestError):
            self.board.codex_notify({"type": "agent-turn-complete"}, self.clock())
        self.assertEqual(self.board.session_list(None, self.clock()), [])

    def test_unknown_events_and_tool_events_without_a_tool_only_touch_the_session(self):
        self.event(claude("UserPromptSubmit", prompt="go"))
        self.clock.advance(5)
        self.event(claude("PreToolUse"))
        self.event(claude("SomethingNew", tool_name="Bash"))
        s = self.session()
        self.assertEqual((s["status"], s["updatedAt"]), ("working", relay.iso_ms(T0 + 5)))
        self.assertNotIn("activity", s)

    def test_order_filter_and_the_session_cap(self):
        self.event(claude("Stop", "done"))
        self.clock.advance(1)
        self.event(claude("UserPromptSubmit", "busy-old", prompt="a"))
        self.clock.advance(1)
        self.event(claude("UserPromptSubmit", "busy-new", prompt="b"))
        self.event(claude("Notification", "asks", notification_type="agent_needs_input"))
        self.event({"session_id": "cx", "hook_event_name": "UserPromptSubmit", "prompt": "x"}, "codex")
        # Working sessions lead, then waiting, finished, failed, idle; newest first within each.
        self.assertEqual([s["id"] for s in self.board.session_list("claude", self.clock())],
                         ["busy-new", "busy-old", "asks", "done"])
        self.assertEqual(len(self.board.session_list(None, self.clock())), 5)

        for i in range(relay.MAX_SESSIONS):
            self.clock.advance(1)
            self.event(claude("SessionStart", "bulk-%d" % i))
        ids = set(s["id"] for s in self.board.session_list(None, self.clock()))
        self.assertEqual(len(ids), relay.MAX_SESSIONS)
        # The least recently heard from go first.
        self.assertFalse(ids & {"done", "busy-old", "busy-new", "asks", "cx"})


class PromptTest(BoardTest):
    def setUp(self):
        BoardTest.setUp(self)
        self.board.set_remote_approvals(True)

    def test_held_prompt_answered_from_the_phone(self):
        self.event(claude("UserPromptSubmit", prompt="go"))
        pid = self.hold()
        self.expect(status="waitingForInput", permission={
            "id": pid, "toolName": "Bash", "detail": "npm test", "createdAt": relay.iso_ms(T0),
            "alwaysRule": "Bash(npm test)"})
        self.assertEqual(self.pushed[-1][1]["permission"]["id"], pid)

        self.assertEqual(self.board.wait_prompt(pid, 0), {"state": "pending", "waitSeconds": 60.0})
        self.assertTrue(self.board.decide(pid, "always", self.clock(), "claude"))
        self.assertFalse(self.board.decide(pid, "deny", self.clock(), "claude"))
        self.expect(status="working", permission=ABSENT)
        self.assertEqual(self.board.wait_prompt(pid, 20), {"state": "decided", "decision": "always"})
        self.assertEqual(self.board.wait_prompt(pid, 20), {"state": "gone"})

    def test_every_held_prompt_is_pushed_and_the_oldest_is_shown(self):
        first = self.hold()
        self.clock.advance(1)
        second = self.hold(permission(command="x" * 5000))
        self.assertEqual([w["permission"]["id"] for _, w in self.pushed], [first, first])
        self.assertTrue(self.board.decide(first, "allow", self.clock(), "claude"))
        s = self.session()
        self.assertEqual((s["status"], s["permission"]["id"], len(s["permission"]["detail"])),
                         ("waitingForInput", second, 1000))

    def test_no_hold_without_away_mode_or_a_phone(self):
        self.assertEqual(self.board.raise_permission(permission(), self.clock(), phone_paired=False), {"hold": False})
        self.board.set_remote_approvals(False)
        self.assertEqual(self.board.raise_permission(permission(), self.clock(), phone_paired=True), {"hold": False})
        self.expect(status="waitingForInput", activity="Bash: npm test", permission=ABSENT)
        with self.assertRaises(relay.RequestError):
            self.board.raise_permission(claude("PermissionRequest"), self.clock(), phone_paired=True)
        with self.assertRaises(relay.RequestError):
            self.board.raise_permission(claude("PreToolUse", tool_name="Bash"), self.clock(), phone_paired=True)

    def test_a_prompt_ends_at_its_deadline_or_when_its_hook_stops_polling(self):
        for lasts, polled in ((self.CONFIG["permissionTimeout"], True), (relay.ABANDONED_AFTER, False)):
            pid = self.hold()
            self.clock.advance(lasts - 1)
            if polled:
                self.assertEqual(self.board.wait_prompt(pid, 0)["state"], "pending")
            self.assertIn("permission", self.session())
            self.clock.advance(1)
            self.assertNotIn("permission", self.session())
            self.assertFalse(self.board.decide(pid, "allow", self.clock(), "claude"), lasts)
            self.assertEqual(self.board.wait_prompt(pid, 0), {"state": "gone"}, lasts)

    def test_a_cancelled_hook_is_a_refusal_at_the_terminal(self):
        self.event(claude("UserPromptSubmit", prompt="go"))
        pid = self.hold()
        self.assertEqual(self.board.wait_prompt(pid, 20, hook_gone=lambda: True), {"state": "gone"})
        self.assertFalse(self.board.decide(pid, "allow", self.clock(), "claude"))
        self.expect(status="idle", activity=ABSENT, turnStartedAt=ABSENT)
        self.assertTrue(any("refused at the terminal" in m for m in self.logged))

    def test_terminal_answers_drop_the_matching_prompt(self):
        lint = self.hold(permission(command="npm run lint"))
        test = self.hold(permission(command="npm test"))
        self.event(claude("PostToolUse", tool_name="Bash", tool_input={"command": "npm test"}))
        self.assertEqual(self.board.wait_prompt(test, 0), {"state": "gone"})
        self.assertEqual(self.session()["permission"]["id"], lint)
        # No exact match: the oldest prompt for that tool was the one answered.
        self.event(claude("PermissionDenied", tool_name="Bash", tool_input={"command": "other"}))
        self.assertEqual(self.board.wait_prompt(lint, 0), {"state": "gone"})
        self.assertEqual(self.session()["status"], "working")

    def test_new_prompt_and_stop_end_open_prompts(self):
        for event in (claude("UserPromptSubmit", prompt="new"), claude("Stop")):
            pid = self.hold()
            self.event(event)
            self.assertEqual(self.board.wait_prompt(pid, 0), {"state": "gone"}, event["hook_event_name"])

    def test_away_mode_off_releases_undecided_prompts_only(self):
        decided = self.hold()
        self.assertTrue(self.board.decide(decided, "deny", self.clock(), "claude"))
        open_ = self.hold(permission(command="ls"))
        self.assertFalse(self.board.set_remote_approvals(False))
        self.assertEqual(self.board.wait_prompt(open_, 0), {"state": "gone"})
        self.assertEqual(self.board.wait_prompt(decided, 0), {"state": "decided", "decision": "deny"})


class TerminalWatchTest(BoardTest):
    """Claude's terminal dialog answered by the person, seen from what Claude leaves behind."""

    def setUp(self):
        BoardTest.setUp(self)
        self.board.set_remote_approvals(True)
        self.append(user("go"))
        self.event(claude("UserPromptSubmit", prompt="go"))

    def start_child(self, command):
        # This test process plays the agent: the tool runs as its child. Its
        # whole group goes at the end, or the tool's sleep would hold the
        # test's output open for its full length.
        child = subprocess.Popen(["/bin/bash", "-c", command], stdin=subprocess.DEVNULL, start_new_session=True)
        self.addCleanup(child.wait)
        self.addCleanup(os.killpg, child.pid, signal.SIGKILL)
        return child

    def ask(self, command="sleep 30 && touch out.txt", agent=None):
        tool_input = {"command": command}
        self.event(claude("PreToolUse", tool_name="Bash", tool_input=tool_input, tool_use_id="toolu_1"))
        return self.hold(permission(command=command, transcript_path=self.transcript,
                                    agentPid=agent if agent is not None else os.getpid()))

    def test_a_refusal_in_the_transcript_ends_the_wait_at_once(self):
        pid = self.ask()
        self.board.watch_terminals()
        self.expect(status="waitingForInput")
        self.append(user([REFUSAL]), user([INTERRUPTED]))
        self.board.watch_terminals()
        self.expect(status="idle", permission=ABSENT, activity=ABSENT)
        self.assertFalse(self.board.decide(pid, "allow", self.clock(), "claude"))

    def test_a_transcript_written_only_after_the_dialog_is_read_from_its_start(self):
        # Claude may not have written a new session's transcript yet when
        # the dialog shows; the refusal it writes later still counts.
        os.unlink(self.transcript)
        self.ask()
        self.board.watch_terminals()
        self.expect(status="waitingForInput")
        self.append(user("go"), user([REFUSAL]))
        self.board.watch_terminals()
        self.expect(status="idle")

    def test_a_replayed_refusal_of_an_earlier_call_changes_nothing(self):
        # Esc at an earlier dialog, then a new prompt: what Claude writes for
        # its next request replays that refusal and its interruption note.
        self.ask()
        self.append({"type": "api-request-blob", "message": {"role": "user", "content": [
            dict(REFUSAL, tool_use_id="toolu_old"), dict(INTERRUPTED, text=INTERRUPTED["text"] + "\n"),
            {"type": "text", "text": "quick step"}]}})
        self.board.watch_terminals()
        self.assertIn("permission", self.session())

    def test_the_agent_starting_the_command_means_yes(self):
        command = "sleep 30 && echo \"it's done\""
        pid = self.ask(command)
        self.board.watch_terminals()
        self.expect(status="waitingForInput")
        # Claude runs the command through bash, quoted as one shell word.
        self.start_child("true && eval '%s' < /dev/null" % command.replace("'", "'\\''"))
        relay_harness.wait_for(lambda: (self.board.watch_terminals(), self.session()["status"])[1] == "working",
                               "the board to see the tool running")
        self.expect(permission=ABSENT, activity="Bash: " + command)
        self.assertFalse(self.board.decide(pid, "deny", self.clock(), "claude"))

    def test_a_vanished_agent_leaves_nothing_waiting(self):
        gone = subprocess.Popen(["true"])
        gone.wait()
        self.ask(agent=gone.pid)
        self.board.watch_terminals()
        self.expect(status="idle")
        self.assertFalse(self.board.watching())

    def test_the_phones_answer_ends_the_watch(self):
        pid = self.ask()
        self.assertTrue(self.board.watching())
        self.assertTrue(self.board.decide(pid, "allow", self.clock(), "claude"))
        self.assertFalse(self.board.watching())

    def test_the_agent_is_the_first_ancestor_that_is_no_shell(self):
        # As Claude runs a hook: sh -c, then the #! script (named after itself,
        # not after its shell), then a command substitution's subshell.
        code = ("import sys; sys.path.insert(0, %r); import relay; print(relay.agent_pid())" % RESOURCES)
        script = self.path("permission-hook.sh")
        with open(script, "w") as f:
            f.write("#!/bin/sh\nout=$(%s -B -c %s)\necho \"$out\"\n" % (sys.executable, shlex.quote(code)))
        os.chmod(script, 0o755)
        out = subprocess.run(["/bin/sh", "-c", script], capture_output=True, text=True, timeout=30)
        self.assertEqual(out.stdout.strip(), str(os.getpid()), out.stderr)


class AgingTest(BoardTest):
    CONFIG = dict(relay.DEFAULTS, permissionTimeout=600.0, staleAfter=100.0, expireAfter=1000.0)

    def test_silent_sessions_go_idle_then_away(self):
        self.event(claude("UserPromptSubmit", prompt="go"))
        self.event(claude("Stop", "done"))
        self.clock.advance(99)
        self.assertEqual(self.session()["status"], "working")
        self.clock.advance(1)
        self.expect(status="idle", updatedAt=relay.iso_ms(self.clock()))
        self.expect("done", status="finished")
        self.clock.advance(900)
        self.assertEqual(self.board.session_list(None, self.clock()), [])

    def test_a_live_prompt_keeps_its_session_waiting(self):
        self.board.set_remote_approvals(True)
        pid = self.hold()
        for _ in range(3):
            self.clock.advance(60)
            self.assertEqual(self.board.wait_prompt(pid, 0)["state"], "pending")
        self.assertEqual(self.session()["status"], "waitingForInput")

    def test_an_answer_nobody_collects_is_dropped(self):
        self.board.set_remote_approvals(True)
        pid = self.hold()
        self.assertTrue(self.board.decide(pid, "allow", self.clock(), "claude"))
        self.clock.advance(relay.ABANDONED_AFTER)
        self.board.sweep(self.clock())
        self.assertEqual(self.board.wait_prompt(pid, 0), {"state": "gone"})


class BoardPersistenceTest(BoardTest):
    def test_the_saver_thread_writes_every_change_and_close_writes_the_last(self):
        self.board.start_saver()
        self.event(claude("UserPromptSubmit", prompt="first"))

        def stored_titles():
            if not os.path.exists(self.path("state.json")):
                return []
            with open(self.path("state.json")) as f:
                return [r["title"] for r in json.load(f)["sessions"]]
        relay_harness.wait_for(lambda: stored_titles() == ["first"], "the saver to write")
        for n in range(50):
            self.event(claude("UserPromptSubmit", sid="b%d" % n, prompt="burst %d" % n))
        self.board.close()
        self.assertEqual(len(stored_titles()), 51)
        # After close every save is written at once again.
        self.event(claude("UserPromptSubmit", sid="late", prompt="late"))
        self.assertIn("late", stored_titles())

    def test_restart_keeps_sessions_prompts_and_away_mode(self):
        self.board.set_remote_approvals(True)
        self.event(claude("UserPromptSubmit", prompt="go"))
        self.event(claude("PostToolUse", tool_name="TodoWrite", tool_input={"todos": [{"status": "pending"}]}))
        pid = self.hold()
        before = self.session()
        self.board.close()

        self.clock.advance(5)
        self.board = self.make_board()
        self.assertTrue(self.board.away())
        self.assertEqual(self.session(), before)
        # The hook gets its usual grace period to reconnect after the restart.
        self.clock.advance(relay.ABANDONED_AFTER - 1)
        self.assertTrue(self.board.decide(pid, "allow", self.clock(), "claude"))


class PairingTest(QuietLog):
    CONFIG = dict(relay.DEFAULTS, pairingCodeLifetime=600.0)

    def setUp(self):
        QuietLog.setUp(self)
        self.clock = Clock()
        self.book = self.make_book()

    def make_book(self):
        book = relay.PairingBook(relay.JsonStore(self.path("tokens.json"), ensure_ascii=True), self.CONFIG, self.clock)
        book.load()
        return book

    def pair(self, provider="claude", client="10.0.0.2", code=None):
        code = code if code is not None else self.book.current_code(self.clock())
        return self.book.pair(client, provider, code, self.clock())["token"]

    def refused(self, code, client="10.0.0.2"):
        with self.assertRaises(relay.RequestError) as caught:
            self.book.pair(client, "claude", code, self.clock())
        return caught.exception.status

    def test_code_shape_and_lifetime(self):
        code = self.book.current_code(self.clock())
        self.assertRegex(code, r"^[%s]{4}-[%s]{4}$" % (relay.CODE_ALPHABET, relay.CODE_ALPHABET))
        self.clock.advance(599)
        self.assertEqual(self.book.current_code(self.clock()), code)
        self.clock.advance(1)
        self.assertNotEqual(self.book.current_code(self.clock()), code)
        self.assertEqual(self.refused(code), 401)

    def test_wrong_codes_lock_out_one_address_for_a_minute(self):
        code = self.book.current_code(self.clock())
        for _ in range(relay.PAIR_FAILURE_LIMIT):
            self.assertEqual(self.refused("AAAA-AAAA"), 401)
        self.assertEqual(self.refused(code), 429)
        self.pair(client="10.0.0.9")
        self.clock.advance(relay.PAIR_FAILURE_WINDOW)
        self.pair()

    def test_wrong_codes_from_many_addresses_replace_the_code(self):
        code = self.book.current_code(self.clock())
        for i in range(relay.PAIR_GLOBAL_FAILURE_LIMIT - 1):
            self.assertEqual(self.refused("AAAA-AAAA", client="10.1.0.%d" % i), 401)
        self.assertEqual(self.book.current_code(self.clock()), code)
        self.refused("AAAA-AAAA", client="10.2.0.1")
        self.assertNotEqual(self.book.current_code(self.clock()), code)
        self.assertEqual(self.refused(code, client="10.3.0.1"), 401)

    def test_revoking_takes_the_push_registrations_along(self):
        phone = self.pair()
        other = self.pair()
        codex = self.pair("codex")
        mine, theirs, cx = (self.book.authenticate(t, self.clock()) for t in (phone, other, codex))
        reg = {"deviceID": "d1", "token": "apns-1", "environment": "production", "kind": "activity"}
        self.book.register_push(mine, reg, self.clock())
        self.book.register_push(mine, dict(reg, token="apns-2"), self.clock())
        self.book.register_push(theirs, dict(reg, deviceID="d2"), self.clock())
        self.book.register_push(cx, dict(reg, deviceID="d3"), self.clock())
        claude_regs = self.book.registrations_for("claude")
        self.assertEqual(sorted((r["deviceID"], r["token"]) for r in claude_regs), [("d1", "apns-2"), ("d2", "apns-1")])
        self.assertEqual(self.book.remove_tokens(lambda t: t["id"] == mine["id"]), 1)
        self.assertEqual([r["deviceID"] for r in self.book.registrations_for("claude")], ["d2"])
        # A revoked phone's device token is not kept on disk either.
        with open(self.path("tokens.json")) as f:
            self.assertNotIn("apns-2", f.read())
        self.assertIsNone(self.book.authenticate(phone, self.clock()))
        self.assertEqual(self.book.remove_tokens(lambda t: False), 0)
        self.assertEqual(sorted(r["id"] for r in self.book.token_rows()), sorted([theirs["id"], cx["id"]]))

    def test_push_registrations_per_token_are_capped(self):
        token = self.book.authenticate(self.pair(), self.clock())
        for i in range(relay.MAX_PUSH_PER_TOKEN + 3):
            reg = {"deviceID": "d%d" % i, "token": "t", "environment": "e", "kind": "pushToStart"}
            self.book.register_push(token, reg, self.clock())
        devices = [r["deviceID"] for r in self.book.registrations_for("claude")]
        self.assertEqual(len(devices), relay.MAX_PUSH_PER_TOKEN)
        self.assertEqual(devices[0], "d3")

    def test_last_seen_is_written_by_the_sweep_at_most_once_a_minute(self):
        token = self.pair()
        self.book.authenticate(token, self.clock())
        self.clock.advance(5)
        self.book.authenticate(token, self.clock())
        self.assertEqual(self.book.token_rows()[0]["lastSeenAt"], relay.iso_s(T0 + 5))
        self.book.sweep(self.clock())
        self.assertEqual(self.make_book().token_rows()[0]["lastSeenAt"], relay.iso_s(T0))
        self.clock.advance(relay.LAST_SEEN_PERSIST_EVERY)
        self.book.sweep(self.clock())
        self.assertEqual(self.make_book().token_rows()[0]["lastSeenAt"], relay.iso_s(T0 + 5))

    def test_a_token_the_phone_never_used_goes_after_its_time(self):
        lifetime = self.CONFIG["unusedTokenLifetime"]
        lost = self.pair()
        used = self.pair()
        self.clock.advance(lifetime - 1)
        # The first use is on disk at once: a restart right after it must
        # not take the token for an unused one.
        self.assertIsNotNone(self.book.authenticate(used, self.clock()))
        self.book = self.make_book()
        # Listed like any paired phone meanwhile, so it can be revoked.
        self.assertEqual(len(self.book.token_rows()), 2)
        self.book.sweep(self.clock())
        self.assertEqual(len(self.book.token_rows()), 2)
        self.clock.advance(1)
        self.book.sweep(self.clock())
        self.assertIsNone(self.book.authenticate(lost, self.clock()))
        self.assertIsNotNone(self.book.authenticate(used, self.clock()))
        self.assertEqual(len(self.make_book().token_rows()), 1)
        self.assertTrue(any("never used since pairing" in m for m in self.logged))
        self.clock.advance(10 * lifetime)
        self.book.sweep(self.clock())
        self.assertEqual(len(self.book.token_rows()), 1)

    def test_tokens_stored_before_first_use_was_recorded_count_as_used(self):
        relay.JsonStore(self.path("tokens.json")).save({"tokens": [
            {"id": "old1", "provider": "claude", "hash": relay.hash_token("a"), "createdAt": T0, "lastSeenAt": None},
            {"id": "old2", "provider": "codex", "hash": relay.hash_token("b"), "createdAt": T0}]})
        book = self.make_book()
        self.clock.advance(10 * self.CONFIG["unusedTokenLifetime"])
        book.sweep(self.clock())
        self.assertEqual([r["id"] for r in book.token_rows()], ["old1", "old2"])


class FakeGateway(object):
    """Stands in for apns.PushGateway, which would post to an outside service."""

    def __init__(self, configured=True):
        self.configured = configured
        self.sent = []

    def send_session(self, registrations, session):
        self.sent.append(([r["deviceID"] for r in registrations], session))


class ComposedRelayTest(QuietLog):
    def make(self, gateway):
        self.clock = Clock()
        r = relay.Relay(self.dir, dict(relay.DEFAULTS), gateway, self.clock)
        r.pairing_base = "https://192.168.1.20:8787"
        r.tls_fingerprint = "ab" * 32
        return r

    def paired(self, r, provider, device):
        code = r.pairing.current_code(self.clock())
        token = r.pairing.pair("10.0.0.2", provider, code, self.clock())["token"]
        record = r.pairing.authenticate(token, self.clock())
        r.pairing.register_push(record, {"deviceID": device, "token": "x", "environment": "e", "kind": "activity"},
                                self.clock())

    def test_attention_reaches_the_phones_of_that_agent_only(self):
        gateway = FakeGateway()
        r = self.make(gateway)
        self.paired(r, "claude", "claude-phone")
        self.paired(r, "codex", "codex-phone")
        r.board.set_remote_approvals(True)
        held = r.raise_permission(permission(), self.clock())
        self.assertTrue(held["hold"])
        r.board.hook_event("codex", {"session_id": "c", "hook_event_name": "Stop"}, self.clock())
        self.assertEqual([(devices, s["status"]) for devices, s in gateway.sent],
                         [(["claude-phone"], "waitingForInput"), (["codex-phone"], "finished")])
        self.assertEqual(gateway.sent[0][1]["permission"]["id"], held["promptId"])

    def test_no_push_without_a_gateway(self):
        gateway = FakeGateway(configured=False)
        r = self.make(gateway)
        self.paired(r, "claude", "phone")
        r.board.hook_event("claude", claude("Stop"), self.clock())
        self.assertEqual(gateway.sent, [])
        self.assertFalse(r.status_document(self.clock())["pushConfigured"])
        self.assertFalse(self.make(None).status_document(self.clock())["pushConfigured"])

    def test_a_permission_is_held_only_once_a_claude_phone_is_paired(self):
        r = self.make(None)
        r.board.set_remote_approvals(True)
        self.assertEqual(r.raise_permission(permission(), self.clock()), {"hold": False})
        # A phone paired for Codex cannot answer Claude's prompts: holding one
        # would only keep the terminal waiting for nobody.
        self.paired(r, "codex", "phone")
        self.assertEqual(r.raise_permission(permission(), self.clock()), {"hold": False})
        self.paired(r, "claude", "phone")
        self.assertTrue(r.raise_permission(permission(), self.clock())["hold"])

    def test_status_document(self):
        r = self.make(None)
        r.board.hook_event("claude", claude("UserPromptSubmit", prompt="go"), self.clock())
        doc = r.status_document(self.clock())
        self.assertEqual(doc["pairingLink"], "idlewyn://pair?url=https%3A%2F%2F192.168.1.20%3A8787&code="
                         + doc["pairingCode"] + "&pin=" + "ab" * 32)
        self.assertEqual([s["id"] for s in doc["sessions"]], ["s1"])
        r.tls_fingerprint = None
        self.assertNotIn("pin=", r.status_document(self.clock())["pairingLink"])


def stored_text(obj, **raw):
    """JSON text of obj in which each "<name>" string stands for raw[name] as written."""
    text = json.dumps(obj)
    for name, literal in raw.items():
        text = text.replace('"<%s>"' % name, literal)
    return text


GOOD_SESSION = relay.Session("claude", "good", T0).state()
GOOD_TOKEN = {"id": "a1b2c3d4", "provider": "claude", "hash": relay.hash_token("t"), "createdAt": T0,
              "lastSeenAt": T0 + 1}
GOOD_PUSH = {"tokenId": "a1b2c3d4", "deviceID": "d1", "token": "apns", "environment": "production",
             "kind": "activity", "updatedAt": T0}


class StoredRecordsTest(QuietLog):
    """What a hand-edited, damaged or foreign file in the home can hold."""

    BAD_SESSIONS = [
        dict(GOOD_SESSION, id="s-inf", started="<1e400>"), dict(GOOD_SESSION, id="s-nan", updated="<NaN>"),
        dict(GOOD_SESSION, id="s-text", started="yesterday"), dict(GOOD_SESSION, id="s-old", last_event=-1),
        dict(GOOD_SESSION, id="s-late", turn_started=1e13), dict(GOOD_SESSION, id="s-bool", ended=True),
        dict(GOOD_SESSION, id="s-prov", provider=5), dict(GOOD_SESSION, id="s-gem", provider="gemini"),
        dict(GOOD_SESSION, id="s-stat", status="busy"), dict(GOOD_SESSION, id="s-title", title=["x"]),
        dict(GOOD_SESSION, id="s-long", summary="x" * 100000),
        dict(GOOD_SESSION, id="s-cwd", cwd={}), dict(GOOD_SESSION, id="s-tasks", tasks=[]),
        dict(GOOD_SESSION, id="s-task", tasks={"t": 1}), dict(GOOD_SESSION, id="s-flag", title_from_prompt="yes"),
        dict(GOOD_SESSION, id=""), dict(GOOD_SESSION, id=7), GOOD_SESSION, "junk",
    ]
    GOOD_PROMPT = {"id": "p1", "session": "claude:good", "tool_name": "Bash", "tool_input": {"command": "ls"},
                   "detail": "ls", "created": T0, "deadline": T0 + 60}
    BAD_PROMPTS = [dict(GOOD_PROMPT, id="p2", session="claude:gone"), dict(GOOD_PROMPT, id="p3", decision="maybe"),
                   dict(GOOD_PROMPT, id="p4", deadline="<Infinity>"), dict(GOOD_PROMPT, id="p5", tool_name=3),
                   dict(GOOD_PROMPT, id="p6", detail=None), GOOD_PROMPT]
    BAD_TOKENS = [
        dict(GOOD_TOKEN, id="last", lastSeenAt="yesterday"), dict(GOOD_TOKEN, id="made", createdAt="<1e400>"),
        dict(GOOD_TOKEN, id="prov", provider=5), dict(GOOD_TOKEN, id="gemi", provider="gemini"),
        dict(GOOD_TOKEN, id="hash", hash="abc"), dict(GOOD_TOKEN, id="line\nbreak"), dict(GOOD_TOKEN, id=1),
        dict(GOOD_TOKEN, id="conf", confirmed="no"), GOOD_TOKEN, "junk",
    ]
    BAD_PUSH = [dict(GOOD_PUSH, tokenId="last"), dict(GOOD_PUSH, deviceID=""), dict(GOOD_PUSH, kind="other"),
                dict(GOOD_PUSH, updatedAt="<NaN>"), {"tokenId": "a1b2c3d4"}]

    def write(self, name, text):
        with open(self.path(name), "w") as f:
            f.write(text)

    def kept(self, name):
        return sorted(n for n in os.listdir(self.dir) if n.startswith(name + ".refused-"))

    def open_relay(self):
        self.clock = Clock(T0 + 10)
        return relay.Relay(self.dir, dict(relay.DEFAULTS), None, self.clock)

    def test_good_records_survive_bad_ones_are_logged_and_their_file_kept(self):
        raw = {"1e400": "1e400", "NaN": "NaN", "Infinity": "Infinity"}
        state = stored_text({"version": "1.0.0", "remoteApprovals": "yes", "notes": "mine",
                             "sessions": [GOOD_SESSION] + self.BAD_SESSIONS,
                             "prompts": [self.GOOD_PROMPT] + self.BAD_PROMPTS}, **raw)
        tokens = stored_text({"tokens": [GOOD_TOKEN] + self.BAD_TOKENS, "push": [GOOD_PUSH] + self.BAD_PUSH}, **raw)
        self.write("state.json", state)
        self.write("tokens.json", tokens)
        r = self.open_relay()
        doc = r.status_document(self.clock())
        # Strict JSON in UTF-8, as any client's decoder wants it.
        json.dumps(doc, allow_nan=False, ensure_ascii=False).encode("utf-8")
        self.assertEqual([s["id"] for s in doc["sessions"]], ["good"])
        self.assertEqual(doc["sessions"][0]["permission"]["id"], "p1")
        self.assertFalse(doc["remoteApprovals"])
        self.assertEqual(doc["tokens"], [{"id": "a1b2c3d4", "provider": "claude", "createdAt": relay.iso_s(T0),
                                          "lastSeenAt": relay.iso_s(T0 + 1)}])
        self.assertEqual([r["deviceID"] for r in r.pairing.registrations_for("claude")], ["d1"])
        self.assertIsNotNone(r.pairing.authenticate("t", self.clock()))

        left_out = [m for m in self.logged if ": left out " in m]
        # One line for each bad record (a second copy of a good one counts as
        # bad), the unknown key and the away-mode value.
        expected = len(self.BAD_SESSIONS) + len(self.BAD_PROMPTS) + len(self.BAD_TOKENS) + len(self.BAD_PUSH) + 2
        self.assertEqual(len(left_out), expected, "\n".join(left_out))
        for what in ("started is inf", "updated is nan", "provider is 5", "status is 'busy'", "no deviceID",
                     "lastSeenAt is 'yesterday'", "createdAt is inf", "a second record of session 'claude:good'",
                     "its session 'claude:gone' is not there", "its token 'last' is not there", "notes"):
            self.assertTrue(any(what in m for m in left_out), what)

        # The files as they were, before the first save replaced them.
        r.close()
        for name, text in (("state.json", state), ("tokens.json", tokens)):
            self.assertEqual(len(self.kept(name)), 1, name)
            with open(self.path(self.kept(name)[0])) as f:
                self.assertEqual(f.read(), text)
            self.assertEqual(stat.S_IMODE(os.stat(self.path(self.kept(name)[0])).st_mode), 0o600)
        # What was saved reads back without a complaint.
        self.logged[:] = []
        again = self.open_relay()
        self.assertEqual([s["id"] for s in again.status_document(self.clock())["sessions"]], ["good"])
        self.assertEqual(len(again.pairing.token_rows()), 1)
        self.assertFalse([m for m in self.logged if "left out" in m])
        self.assertEqual(len(self.kept("state.json")), 1)

    def test_lists_of_the_wrong_shape_are_kept_not_silently_dropped(self):
        for state, tokens in (('{"sessions": {}, "prompts": 3}', '{"tokens": "x", "push": {}}'),
                              ('{"sessions": null}', '{"tokens": [[]]}')):
            self.write("state.json", state)
            self.write("tokens.json", tokens)
            r = self.open_relay()
            doc = r.status_document(self.clock())
            self.assertEqual((doc["sessions"], doc["tokens"]), ([], []))
            r.close()
            for name, text in (("state.json", state), ("tokens.json", tokens)):
                with open(self.path(self.kept(name)[0])) as f:
                    self.assertEqual(f.read(), text)
                os.unlink(self.path(self.kept(name)[0]))
        self.assertTrue(any("sessions ({} is no list)" in m for m in self.logged))
        self.assertTrue(any("tokens ('x' is no list)" in m for m in self.logged))

    def test_good_files_are_neither_complained_about_nor_copied(self):
        r = self.open_relay()
        token = r.pairing.pair("10.0.0.2", "codex", r.pairing.current_code(self.clock()), self.clock())["token"]
        record = r.pairing.authenticate(token, self.clock())
        # Values at the edges of what the relay takes in.
        r.pairing.register_push(record, {"deviceID": "d", "token": "x" * 512, "environment": " ", "kind": "activity",
                                         "pushKey": ""}, self.clock())
        # A Claude prompt is held only for a phone that could answer it.
        r.pairing.pair("10.0.0.3", "claude", r.pairing.current_code(self.clock()), self.clock())
        r.board.set_remote_approvals(True)
        r.board.hook_event("claude", claude("UserPromptSubmit", sid=" s" + "x" * 197, prompt="\u00e9" * 5000,
                                            cwd="/" + "d" * 5000), self.clock())
        r.raise_permission(dict(permission(), tool_name=" "), self.clock())
        r.close()
        again = self.open_relay()
        self.assertEqual(len(again.status_document(self.clock())["tokens"]), 2)
        self.assertEqual(len(again.pairing.registrations_for("codex")), 1)
        self.assertEqual(len(again.board.prompts), 1)
        # Nor is anything else left beside them: no copy, no temporary file.
        self.assertEqual(sorted(os.listdir(self.dir)), ["state.json", "tokens.json"])
        self.assertFalse([m for m in self.logged if "left out" in m])

    def test_a_bad_value_in_memory_costs_only_its_own_row(self):
        r = self.open_relay()
        r.board.hook_event("claude", claude("UserPromptSubmit", sid="ok", prompt="fine"), self.clock())
        r.board.hook_event("claude", claude("UserPromptSubmit", sid="bad", prompt="broken"), self.clock())
        r.board.sessions["claude:bad"].turn_started = float("inf")
        r.pairing.tokens.append(dict(GOOD_TOKEN, createdAt=float("nan")))
        for _ in range(3):
            doc = r.status_document(self.clock())
            self.assertEqual([s["id"] for s in doc["sessions"]], ["ok"])
            self.assertEqual(doc["tokens"], [])
        self.assertEqual(len([m for m in self.logged if "left out of the" in m]), 2)


class LogBudgetTest(QuietLog):
    def test_an_address_gets_a_few_lines_a_minute_then_one_that_counts_the_rest(self):
        clock = Clock()
        budget = relay.LogBudget(clock)
        for n in range(300):
            budget.log("192.0.2.7", "refused %d" % n)
        budget.log("2001:db8::1", "v6 a")
        budget.log("2001:db8::2", "v6 b")  # the same /64: the same address
        budget.sweep(clock.t + 59)
        allowed = relay.LOG_LINES_PER_ADDRESS
        self.assertEqual(self.logged, ["refused %d" % n for n in range(allowed)] + ["v6 a", "v6 b"])
        clock.advance(60)
        budget.sweep(clock.t)
        self.assertEqual(self.logged[-1], "%d more log lines about requests from 192.0.2.7 were not written "
                                          "(at most %d a minute)" % (300 - allowed, allowed))
        budget.log("192.0.2.7", "later")
        self.assertEqual(self.logged[-1], "later")


class HookClientTest(unittest.TestCase):
    def wait(self, replies, wait_seconds):
        """What the waiting hook prints when the relay answers its polls with replies, then no more."""
        replies = list(replies)
        self.clock = Clock(0.0)

        class ScriptedRelay(object):
            def post(self, path, obj, timeout):
                reply = replies.pop(0) if replies else OSError("connection refused")
                if isinstance(reply, Exception):
                    raise reply
                return reply
        hook = relay.HookClient("/nonexistent", connect=lambda home: ScriptedRelay(), clock=self.clock,
                                sleep=self.clock.advance)
        out = io.StringIO()
        hook.run("claude-permission-wait", ["p1", wait_seconds], io.BytesIO(json.dumps(permission()).encode()), out)
        return out.getvalue()

    def test_the_terminal_asks_at_once_whenever_the_phone_cannot_answer(self):
        for replies in ([{"state": "gone"}], [None]):
            self.assertEqual((self.wait(replies, "30"), self.clock()), ("", 0.0), replies)

    def test_the_wait_ends_with_the_relays_deadline(self):
        self.assertEqual(self.wait([], "10000"), "")
        self.assertAlmostEqual(self.clock(), relay.MAX_PERMISSION_TIMEOUT + 3, delta=0.5)


OURS = "/home/dev/.idlewyn-relay/bin/hooks/"


class MergeHooksTest(unittest.TestCase):
    def merge(self, doc, label="settings.json"):
        return relay.merge_hooks(doc, relay.CLAUDE_HOOKS, lambda s: OURS + s, label)

    def test_keeps_everyone_elses_hooks_and_replaces_only_ours(self):
        foreign = {"type": "command", "command": "/opt/guard.sh"}
        lookalike = {"type": "command", "command": "/usr/local/bin/claude-hook.sh"}
        old_ours = {"type": "command", "command": OURS + "claude-hook.sh", "timeout": 5}
        doc = {"model": "opus", "hooks": {
            "PreToolUse": [{"matcher": "Bash", "hooks": [foreign, old_ours]}, "junk"],
            "Stop": [{"hooks": [lookalike]}, {"hooks": [old_ours]}, {"hooks": [dict(old_ours, timeout=10)]}]}}
        changes = self.merge(doc)
        self.assertIn("update PreToolUse hook (claude-hook.sh)", changes)
        self.assertIn("update Stop hook (claude-hook.sh)", changes)
        pre = doc["hooks"]["PreToolUse"]
        self.assertEqual(pre[:2], [{"matcher": "Bash", "hooks": [foreign]}, "junk"])
        self.assertEqual(pre[2]["hooks"][0]["timeout"], 10)
        # Duplicates of ours collapse into one; a script of the same name elsewhere is not ours.
        self.assertEqual(doc["hooks"]["Stop"][0], {"hooks": [lookalike]})
        self.assertEqual(len(doc["hooks"]["Stop"]), 2)
        self.assertEqual(doc["model"], "opus")
        self.assertEqual(self.merge(doc), [])

    def test_shapes_it_will_not_guess_about(self):
        for doc, text in (({"hooks": []}, '"hooks" is not an object'),
                          ({"hooks": {"Stop": {"hooks": []}}}, "hooks.Stop is not a list")):
            with self.assertRaises(relay.InstallError) as caught:
                self.merge(doc)
            self.assertIn(text, str(caught.exception))


# A "[" in strings, comments and arrays opens no table.
BRACKETS = ('a = "[not a table]"\n'
            "b = '''\n[still a string]\n'''\n"
            'c = [\n  "x",  # ] in a comment\n  ["y"],\n]\n'
            "d = { e = [1] }  # [comment]\n"
            '"quoted key" = "q\\"[x"\n')


class TomlTest(unittest.TestCase):
    def test_notify_goes_once_into_the_root_table_in_the_files_own_layout(self):
        script = OURS + "codex-notify.sh"
        ours = 'notify = ["%s"]' % script
        old = 'notify = [\n  "/Users/me/.idlewyn-relay/bin/hooks/codex-notify.sh",\n]\nb = 2\n'
        add, update = "add notify (codex-notify.sh)", "update notify (codex-notify.sh)"
        cases = [("", ours + "\n", add),
                 # A file that ends without a newline still does, ours now being its last line.
                 ('model = "gpt-5"', 'model = "gpt-5"\n' + ours, add),
                 # Above the comment that belongs to the first table, its blank line kept.
                 ('m = 1\n\n# profiles\n[profiles.fast]\n', 'm = 1\n%s\n\n# profiles\n[profiles.fast]\n' % ours, add),
                 (BRACKETS + "\n[table]\nf = 1\n", BRACKETS + ours + "\n\n[table]\nf = 1\n", add),
                 # Only LF ends a line: a U+2028 inside a string does not start a table there.
                 ('a = "x\u2028[y]"\n[t]\n', 'a = "x\u2028[y]"\n%s\n\n[t]\n' % ours, add),
                 ('[tui]\nnotify = ["other"]\n', '%s\n\n[tui]\nnotify = ["other"]\n' % ours, add),
                 # CRLF files get CRLF on every line we touch.
                 ('m = 1\r\n\r\n[tui]\r\nx = 1\r\n', 'm = 1\r\n%s\r\n\r\n[tui]\r\nx = 1\r\n' % ours, add),
                 ('a = 1\r\nb = 2', 'a = 1\r\nb = 2\r\n' + ours, add),
                 ('[tui]\r\nx = 1\r\n', '%s\r\n\r\n[tui]\r\nx = 1\r\n' % ours, add),
                 (old, ours + "\nb = 2\n", update),
                 (old.replace("\n", "\r\n"), ours + "\r\nb = 2\r\n", update),
                 ("a = 1\n%s\n" % ours, None, None)]
        for text, new, note in cases:
            self.assertEqual(relay.plan_codex_notify(text, script), (new, note), text)
            if new is not None and tomllib is not None:
                self.assertEqual(tomllib.loads(new).get("notify"), [script], new)
        new, note = relay.plan_codex_notify('notify = ["terminal-notifier", "-title", "Codex"]\n[x]\n', script)
        self.assertIsNone(new)
        self.assertIn('another notify program is set (["terminal-notifier", "-title", "Codex"])', note)


if __name__ == "__main__":
    unittest.main()
