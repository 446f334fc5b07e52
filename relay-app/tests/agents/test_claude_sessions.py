"""Claude Code sessions that go on: compacted, cleared, resumed."""

import datetime

from agents_harness import CLAUDE, AgentTest, bash_step

SCRIPTS = [{"match": "quick step", "steps": [bash_step("touch quick.txt", "Quick touch")], "final": "Quick step over."},
           {"match": "second step", "steps": [], "final": "Second step over."}]


class CompactThenClear(AgentTest):
    SCRIPTS = SCRIPTS

    def test_one_session_carries_on_and_a_clear_replaces_it(self):
        term = self.world.terminal([CLAUDE, "--permission-mode", "default", "--allowedTools", "Bash"])
        term.wait_screen("? for shortcuts")
        term.type("quick step")
        first = self.world.wait_session("claude", lambda s: s["status"] == "finished", "the finished turn")

        # Claude compacts in the same session: same record, title and start.
        term.type("/compact")
        term.wait_screen("Compacted")
        self.assertEqual([(s["id"], s["title"], s["startedAt"], s["status"]) for s in self.world.sessions()],
                         [(first["id"], "quick step", first["startedAt"], "finished")])

        # /clear ends the session and starts another: the new one takes its place.
        term.type("/clear")
        fresh = self.world.wait_session("claude", lambda s: s["id"] != first["id"], "the cleared session")
        self.assertEqual([s["id"] for s in self.world.sessions()], [fresh["id"]])
        self.assertEqual((fresh["status"], fresh["title"]), ("idle", "project"))
        term.type("second step")
        self.world.wait_session("claude", lambda s: s["title"] == "second step" and s["status"] == "finished",
                                "the new session's turn")


class ResumedLater(AgentTest):
    SCRIPTS = SCRIPTS
    # The relay lets an ended session go at once: a conversation resumed
    # long after it ended.
    RELAY = {"keepEndedFor": 0}

    def test_the_resumed_conversation_keeps_its_title_and_start(self):
        first = self.world.claude_print("quick step", "--allowedTools", "Bash")
        self.world.wait(lambda: not self.world.sessions(), "the ended session to go")
        resumed_at = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%S.%f")[:-3] + "Z"
        self.world.terminal([CLAUDE, "--resume", first["session_id"], "--permission-mode", "default"])
        s = self.world.wait_session("claude", lambda s: True, "the resumed session")
        self.assertEqual((s["id"], s["title"]), (first["session_id"], "quick step"))
        self.assertLess(s["startedAt"], resumed_at)
