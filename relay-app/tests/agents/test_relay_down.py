"""A stopped relay never blocks or breaks an agent."""

import os

from agents_harness import AgentTest, bash_step


class RelayStopped(AgentTest):
    SCRIPTS = [{"match": "make two files", "steps": [bash_step("touch a.txt", "Create a"), bash_step("touch b.txt")],
                "final": "Made both files."}]

    def test_both_agents_run_unharmed(self):
        self.world.relay.set_away(True)
        self.world.phone()
        self.assertEqual(self.world.relay.stop(), 0)

        result = self.world.claude_print("make two files", "--allowedTools", "Bash")
        self.assertEqual(result["result"], "Made both files.")
        self.assertFalse(result["is_error"])
        # The permission hook gives no decision, so headless Claude refuses
        # the tool by itself rather than waiting on a relay that is not there.
        os.unlink(os.path.join(self.world.project, "a.txt"))
        result = self.world.claude_print("make two files", "--permission-mode", "default")
        self.assertEqual(len(result["permission_denials"]), 2)

        out = self.world.codex_exec("make two files", "--dangerously-bypass-hook-trust")
        self.assertEqual(out.returncode, 0, out.stderr[-2000:])
        self.assertIn("Made both files.", out.stdout)
        self.assertTrue(os.path.exists(os.path.join(self.world.project, "a.txt")))
