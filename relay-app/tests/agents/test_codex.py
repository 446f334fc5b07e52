"""Codex CLI: exec with and without trusted hooks, the TUI's own title turn, the end of a session."""

import os

from agents_harness import CODEX, AgentTest, Background, bash_step


class CodexRuns(AgentTest):
    SCRIPTS = [{"match": "tidy the project",
                "steps": [bash_step("touch notes.txt"), bash_step("sleep 2 && touch later.txt")],
                "final": "The project is tidy now."},
               {"match": "Generate a concise", "steps": [], "final": "Tidy the project"}]

    def test_exec_with_untrusted_hooks_still_shows_the_finished_turn(self):
        # Codex skips hooks nobody trusted yet, silently; only notify reports.
        self.assertIn("/hooks", self.world.install_report)
        out = self.world.codex_exec("tidy the project")
        self.assertEqual(out.returncode, 0, out.stderr[-2000:])
        self.assertTrue(os.path.exists(os.path.join(self.world.project, "later.txt")))
        done = self.world.wait_session("codex", lambda s: s["status"] == "finished", "the notified turn")
        self.assertEqual(done["title"], "tidy the project")
        self.assertEqual(done["summary"], "The project is tidy now.")
        self.assertEqual(len(self.world.sessions("codex")), 1)

    def test_the_tuis_title_turn_is_not_a_session(self):
        term = self.world.terminal([CODEX])
        # Codex's own screen asks about hooks it has not seen; the install
        # report tells the user to pick this very answer.
        term.wait_screen("Hooks need review")
        term.wait_screen("Trust all and continue")
        term.key("Down")
        term.wait_screen("› 2. Trust all and continue")
        term.key("Enter")
        term.wait_screen("? for shortcuts")
        term.type("tidy the project")
        term.wait_screen("The project is tidy now.")
        self.world.wait_session("codex", lambda s: s["status"] == "finished", "the finished turn")
        rows = self.world.sessions("codex")
        self.assertEqual([s["title"] for s in rows], ["tidy the project"], rows)


class CodexSessionsEnd(AgentTest):
    SCRIPTS = CodexRuns.SCRIPTS
    # The relay lets an ended session go at once, so that its end shows.
    RELAY = {"keepEndedFor": 0}

    def test_exec_with_trusted_hooks_reports_the_turn_and_its_end(self):
        # Codex's terminal UI sends no SessionEnd at /quit for hooks trusted
        # in its /hooks screen (only with --dangerously-bypass-hook-trust):
        # a TUI session reads finished until it goes stale.
        run = Background(self.world.codex_exec, "tidy the project", "--dangerously-bypass-hook-trust")
        working = self.world.wait_session("codex", lambda s: s["status"] == "working"
                                          and (s.get("activity") or "").startswith("Bash: sleep 2"),
                                          "the Codex session working on its slow step")
        self.assertEqual(working["title"], "tidy the project")
        self.assertEqual(working["workingDirectory"], self.world.project)
        out = run.join()
        self.assertEqual(out.returncode, 0, out.stderr[-2000:])
        self.world.wait(lambda: not self.world.sessions("codex"), "the ended Codex session to go")
