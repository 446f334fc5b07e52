"""Claude Code run headless (`claude -p`), as scripts and CI run it."""

import os
import time

from agents_harness import AgentTest, Background, bash_step, wait_for


class HeadlessLifecycle(AgentTest):
    SCRIPTS = [{"match": "tidy the project",
                "steps": [bash_step("touch notes.txt", "Create notes"),
                          bash_step("sleep 2 && touch later.txt", "Wait a little")],
                "final": "The project is tidy now."}]

    def test_a_turn_reads_working_then_finished_and_stays_after_the_run(self):
        run = Background(self.world.claude_print, "tidy the project", "--allowedTools", "Bash")
        working = self.world.wait_session("claude", lambda s: s["status"] == "working"
                                          and (s.get("activity") or "").startswith("Bash: sleep 2"),
                                          "the session working on its slow step")
        self.assertEqual(working["title"], "tidy the project")
        self.assertEqual(working["workingDirectory"], self.world.project)
        self.assertIn("turnStartedAt", working)
        result = run.join()
        self.assertEqual(result["result"], "The project is tidy now.")
        self.assertTrue(os.path.exists(os.path.join(self.world.project, "later.txt")))

        # Claude ends a headless run with SessionEnd right after Stop: the
        # finished session must still be there for the phone to see.
        time.sleep(1.0)
        done = self.world.session("claude")
        self.assertEqual(done["status"], "finished")
        self.assertEqual(done["summary"], "The project is tidy now.")
        self.assertEqual(done["id"], result["session_id"])
        self.assertNotIn("activity", done)
        self.assertNotIn("permission", done)
        phone = self.world.phone()
        self.assertEqual([s["status"] for s in phone.sessions()], ["finished"])


class PhoneAnswersHeldPrompts(AgentTest):
    SCRIPTS = [{"match": "make the marker", "steps": [bash_step("touch marker.txt", "Create the marker")],
                "final": "Marker step over."},
               {"match": "print one", "steps": [bash_step("python3 -c 'print(1)'", "Print one")],
                "final": "Printed."}]

    def setUp(self):
        super().setUp()
        self.world.relay.set_away(True)
        self.phone = self.world.phone()

    def answer(self, prompt, decision):
        run = Background(self.world.claude_print, prompt, "--permission-mode", "default")
        held = self.phone.wait_prompt()
        ok, error = self.phone.decide(held["permission"]["id"], decision)
        self.assertTrue(ok, error)
        return held, run.join()

    def test_allow_and_deny_reach_claude(self):
        held, result = self.answer("make the marker", "allow")
        self.assertEqual(held["status"], "waitingForInput")
        self.assertEqual(held["permission"]["toolName"], "Bash")
        self.assertEqual(held["permission"]["detail"], "touch marker.txt")
        self.assertTrue(os.path.exists(os.path.join(self.world.project, "marker.txt")))
        self.assertEqual(result["permission_denials"], [])

        os.unlink(os.path.join(self.world.project, "marker.txt"))
        held, result = self.answer("make the marker", "deny")
        self.assertFalse(os.path.exists(os.path.join(self.world.project, "marker.txt")))
        self.assertEqual([d["tool_name"] for d in result["permission_denials"]], ["Bash"])

    def test_always_writes_claudes_rule_and_stops_the_asking(self):
        held, result = self.answer("print one", "always")
        self.assertEqual(held["permission"]["alwaysRule"], "Bash(python3 -c 'print(1)')")
        self.assertEqual(result["permission_denials"], [])
        with open(os.path.join(self.world.project, ".claude", "settings.local.json")) as f:
            self.assertIn("python3 -c", f.read())
        # The rule holds: the same command runs without asking anyone.
        result = self.world.claude_print("print one", "--permission-mode", "default")
        self.assertEqual(result["permission_denials"], [])
        self.assertEqual([s for s in self.phone.sessions() if s.get("permission")], [])
