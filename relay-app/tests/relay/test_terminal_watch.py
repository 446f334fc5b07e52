"""What the relay reads from Claude's transcripts, and sessions that go on
(resumed, cleared, ended), in process with a hand-moved clock."""

import json
import os
import shutil
import tempfile
import threading
import unittest

import relay_harness

relay = relay_harness.load_relay("relay_terminal_watch")

T0 = 1_700_000_000.0


class Board(unittest.TestCase):
    def setUp(self):
        self.now = T0
        self.dir = tempfile.mkdtemp(prefix="relay-watch-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        original = relay.log
        relay.log = lambda message: None
        self.addCleanup(setattr, relay, "log", original)
        self.board = relay.SessionBoard(relay.JsonStore(os.path.join(self.dir, "state.json")),
                                        dict(relay.DEFAULTS), lambda: self.now)
        self.board.load()
        self.transcript = os.path.join(self.dir, "transcript.jsonl")

    def event(self, event, sid="s1", provider="claude", **fields):
        payload = dict(session_id=sid, cwd="/home/dev/api", hook_event_name=event, **fields)
        self.assertEqual(self.board.hook_event(provider, payload, self.now), {"ok": True})

    def sessions(self, provider="claude"):
        return dict((s["id"], s) for s in self.board.session_list(provider, self.now))

    def write(self, *entries):
        with open(self.transcript, "a") as f:
            for entry in entries:
                f.write(json.dumps(entry) + "\n")


def user(content, **fields):
    return dict(type="user", message={"role": "user", "content": content}, **fields)


def refusal(tool_use_id):
    return {"type": "tool_result", "tool_use_id": tool_use_id, "is_error": True,
            "content": "The user doesn't want to proceed with this tool use."}


class RefusalThenNextPrompt(Board):
    def test_a_replay_of_the_earlier_refusal_leaves_the_next_prompt_held(self):
        # Esc at the first dialog, then at once a new prompt with away mode on.
        self.write(user("long step"), user([refusal("toolu_old")]),
                   user([{"type": "text", "text": "[Request interrupted by user for tool use]"}]))
        self.board.set_remote_approvals(True)
        self.event("UserPromptSubmit", prompt="quick step")
        tool_input = {"command": "touch quick.txt"}
        self.event("PreToolUse", tool_name="Bash", tool_input=tool_input, tool_use_id="toolu_new")
        held = self.board.raise_permission(dict(session_id="s1", hook_event_name="PermissionRequest",
                                                tool_name="Bash", tool_input=tool_input,
                                                transcript_path=self.transcript), self.now, phone_paired=True)
        self.assertTrue(held["hold"])

        # What Claude writes for the request that follows: the whole previous
        # turn replayed, refusal and interruption note included.
        self.write({"type": "api-request-blob", "message": {"role": "user", "content": [
            refusal("toolu_old"), {"type": "text", "text": "[Request interrupted by user for tool use]\n"},
            {"type": "text", "text": "quick step"}]}})
        self.board.watch_terminals()
        s = self.sessions()["s1"]
        self.assertEqual((s["status"], s.get("permission", {}).get("id")), ("waitingForInput", held["promptId"]))

        # The call's own refusal still ends the wait at once.
        self.write(user([refusal("toolu_new")]))
        self.board.watch_terminals()
        self.assertEqual(self.sessions()["s1"]["status"], "idle")
        self.assertFalse(self.board.decide(held["promptId"], "allow", self.now, "claude"))


class SessionsThatGoOn(Board):
    def test_a_cleared_session_gives_its_place_to_the_new_one(self):
        self.event("UserPromptSubmit", prompt="first task")
        self.event("Stop", last_assistant_message="Done.")
        self.event("SessionEnd", reason="clear")
        self.event("SessionStart", sid="s2", source="clear")
        self.assertEqual([(s["id"], s["status"], s["title"]) for s in self.sessions().values()],
                         [("s2", "idle", "api")])

    def test_an_ended_session_is_kept_a_while_for_either_agent(self):
        for provider in ("claude", "codex"):
            self.event("UserPromptSubmit", provider=provider, prompt="go")
            self.event("SessionEnd", provider=provider, reason="other")
            self.assertEqual(self.sessions(provider)["s1"]["status"], "idle")
            self.event("SessionEnd", sid="never-seen", provider=provider)
            self.assertEqual(list(self.sessions(provider)), ["s1"])
        self.now += relay.DEFAULTS["keepEndedFor"]
        self.assertEqual(self.board.session_list(None, self.now), [])

    def test_a_resumed_conversation_the_relay_let_go_keeps_its_title_and_start(self):
        began = T0 - 7200
        self.write({"type": "permission-mode", "permissionMode": "default"},
                   user("<command-name>/model</command-name>", timestamp="2023-11-14T20:00:00.000Z"),
                   user("Fix the login test\nplease", timestamp=relay.iso_ms(began)),
                   user("and the signup test", timestamp=relay.iso_ms(T0 - 60)))
        self.event("SessionStart", source="resume", transcript_path=self.transcript)
        self.event("UserPromptSubmit", prompt="carry on")
        s = self.sessions()["s1"]
        self.assertEqual((s["title"], s["startedAt"], s["status"]),
                         ("Fix the login test please", relay.iso_ms(began), "working"))

    def test_a_resumed_session_the_relay_still_knows_is_left_as_it_was(self):
        self.event("UserPromptSubmit", prompt="the real title")
        self.event("SessionEnd", reason="prompt_input_exit")
        self.now += 60
        self.write(user("something else", timestamp=relay.iso_ms(T0 - 7200)))
        self.event("SessionStart", source="resume", transcript_path=self.transcript)
        s = self.sessions()["s1"]
        self.assertEqual((s["title"], s["startedAt"]), ("the real title", relay.iso_ms(T0)))
        self.now += relay.DEFAULTS["keepEndedFor"]
        self.assertIn("s1", self.sessions())

    def test_a_transcript_path_that_is_no_file_neither_hangs_nor_titles(self):
        fifo = os.path.join(self.dir, "fifo")
        os.mkfifo(fifo)
        for path in (fifo, "/dev/zero", self.dir, "relative.jsonl", 42):
            worker = threading.Thread(target=self.event, args=("SessionStart",),
                                      kwargs=dict(source="resume", transcript_path=path), daemon=True)
            worker.start()
            worker.join(10)
            self.assertFalse(worker.is_alive(), path)
        self.assertEqual(self.sessions()["s1"]["title"], "api")


if __name__ == "__main__":
    unittest.main()
