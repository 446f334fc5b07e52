"""What the relay reads from Claude's transcripts, in process with a hand-moved clock."""

import json
import os
import shutil
import tempfile
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


if __name__ == "__main__":
    unittest.main()
