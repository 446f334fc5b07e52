"""Interactive Claude Code under tmux: the terminal dialog and the phone race."""

import os
import time

from agents_harness import CLAUDE, AgentTest, bash_step, wait_for

DIALOG = "Do you want to proceed?"


class TerminalCase(AgentTest):
    SCRIPTS = [{"match": "quick step", "steps": [bash_step("touch quick.txt", "Quick touch")],
                "final": "Quick step over."},
               {"match": "long step", "steps": [bash_step("sleep 12 && touch long.txt", "Long step")],
                "final": "Long step over."}]
    AWAY = False

    def setUp(self):
        super().setUp()
        if self.AWAY:
            self.world.relay.set_away(True)
            self.phone = self.world.phone()
        self.term = self.world.terminal([CLAUDE, "--permission-mode", "default"])
        self.term.wait_screen("? for shortcuts")
        # A started interactive session is listed idle before its first prompt.
        self.assertEqual(self.world.wait_session("claude", lambda s: True, "the new session")["status"], "idle")

    def ask(self, prompt):
        """Types prompt and waits for its dialog; the id of the prompt the
        phone holds meanwhile when away mode is on."""
        self.term.type(prompt)
        self.term.wait_screen(DIALOG)
        self.term.wait_screen("Esc to cancel")
        # Claude takes keys only once the dialog has settled; a key sent while
        # it is still drawing is dropped.
        time.sleep(0.5)
        self.world.wait_session("claude", lambda s: s["status"] == "waitingForInput",
                                "the session waiting on the dialog")
        return self.phone.wait_prompt()["permission"]["id"] if self.AWAY else None

    def assert_prompt_gone_for_the_phone(self, prompt_id):
        if prompt_id is None:
            return
        ok, error = self.phone.decide(prompt_id, "deny")
        self.assertFalse(ok)
        self.assertEqual(error, "That permission prompt was already answered or has expired.")


class AnsweredAtTheTerminal(TerminalCase):
    """With away mode off; the subclass runs the same with the phone holding the prompt."""

    def test_esc_ends_the_wait_at_once(self):
        held = self.ask("long step")
        self.term.key("Escape")
        self.term.wait_screen("Interrupted")
        after = self.world.wait_session("claude", lambda s: s["status"] != "waitingForInput",
                                        "the session to leave waitingForInput", limit=5)
        self.assertEqual(after["status"], "idle")
        self.assertNotIn("activity", after)
        self.assertNotIn("permission", after)
        self.assert_prompt_gone_for_the_phone(held)

    def test_yes_to_a_long_tool_shows_it_working(self):
        held = self.ask("long step")
        self.term.key("Enter")
        running = self.world.wait_session("claude", lambda s: s["status"] == "working",
                                          "the session working on the allowed tool", limit=5)
        self.assertNotIn("permission", running)
        self.assertEqual(running["activity"], "Bash: sleep 12 && touch long.txt")
        # The tool already runs: a late phone answer must not be reported as taking effect.
        self.assert_prompt_gone_for_the_phone(held)
        self.assertFalse(os.path.exists(os.path.join(self.world.project, "long.txt")))


class AnsweredAtTheTerminalFirst(AnsweredAtTheTerminal):
    AWAY = True

    def test_yes_quick_ends_the_prompt(self):
        held = self.ask("quick step")
        self.term.key("Enter")
        self.world.wait_session("claude", lambda s: s["status"] == "finished", "the finished turn")
        self.assert_prompt_gone_for_the_phone(held)
        self.assertTrue(os.path.exists(os.path.join(self.world.project, "quick.txt")))


class AnsweredOnThePhoneFirst(TerminalCase):
    AWAY = True

    def test_the_phones_allow_closes_the_dialog(self):
        ok, error = self.phone.decide(self.ask("quick step"), "allow")
        self.assertTrue(ok, error)
        self.term.wait_screen("Quick step over.")
        self.assertNotIn(DIALOG, self.term.screen())
        self.assertTrue(os.path.exists(os.path.join(self.world.project, "quick.txt")))
        self.assertEqual(self.world.wait_session("claude", lambda s: s["status"] == "finished",
                                                 "the finished turn")["summary"], "Quick step over.")


class AwayOnRightAfterARefusal(TerminalCase):
    def test_the_next_prompt_is_held_for_the_phone(self):
        # Claude replays the refused call in what it writes for the next
        # request; that must not read as a refusal of the next prompt.
        phone = self.world.phone()
        self.ask("long step")
        self.term.key("Escape")
        self.term.wait_screen("Interrupted")
        self.world.relay.set_away(True)
        self.term.type("quick step")
        held = phone.wait_prompt()
        self.assertEqual(held["permission"]["detail"], "touch quick.txt")
        # Give the watch the chance to misread what Claude writes for this
        # request: once it is on disk, a few of the watcher's rounds.
        wait_for(lambda: any("touch quick.txt" in t for t in self.world.transcripts().values()),
                 "the call in the transcript")
        time.sleep(1.0)
        ok, error = phone.decide(held["permission"]["id"], "allow")
        self.assertTrue(ok, error)
        self.term.wait_screen("Quick step over.")
        self.assertTrue(os.path.exists(os.path.join(self.world.project, "quick.txt")))
