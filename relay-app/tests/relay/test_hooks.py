"""The hook scripts, fed with the agents' own payloads, against a running relay."""

import json
import os
import signal
import urllib.parse
import unittest

from relay_harness import Relay, wait_for

SID = "8a7c1e52-claude"
SUGGESTION = {"type": "addRules", "rules": [{"toolName": "Bash", "ruleContent": "rm -rf node_modules"}],
              "behavior": "allow", "destination": "localSettings"}


def claude(event, sid=SID, **fields):
    payload = {"session_id": sid, "transcript_path": "/home/dev/.claude/projects/api/%s.jsonl" % sid,
               "cwd": "/home/dev/api", "hook_event_name": event, "permission_mode": "default"}
    payload.update(fields)
    return payload


def permission_request(sid=SID):
    return claude("PermissionRequest", sid, tool_name="Bash",
                  tool_input={"command": "rm -rf node_modules", "description": "Remove node_modules directory"},
                  permission_suggestions=[SUGGESTION])


def decision(behavior, **extra):
    body = {"behavior": behavior}
    body.update(extra)
    return {"hookSpecificOutput": {"hookEventName": "PermissionRequest", "decision": body}}


class HookScriptTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.relay = Relay(permissionTimeout=1.5)
        cls.token = cls.relay.pair("claude")
        cls.codex_token = cls.relay.pair("codex")

    @classmethod
    def tearDownClass(cls):
        cls.relay.close()

    def send(self, payload, script="claude-hook.sh", args=()):
        self.assertEqual(self.relay.hook(script, payload, args), (0, ""))

    def session(self, sid=SID, provider="claude"):
        token = self.token if provider == "claude" else self.codex_token
        return self.relay.sessions(token, provider).get(sid)

    def test_payloads_of_any_length_arrive_whole_from_a_pipe_or_a_socket(self):
        # The scripts read the first 2 KB themselves and the rest with cat;
        # the length they send is in bytes. Multibyte text across that
        # boundary, or a stdin that is a socket (as Node gives its hooks),
        # must not cost the event.
        def payload(sid, size):
            body = claude("UserPromptSubmit", sid, prompt="")
            room = size - len(json.dumps(body).encode())
            body["prompt"] = "Deploy " + "\u00e9" * ((room - 7) // 2) + "x" * ((room - 7) % 2)
            self.assertEqual(len(json.dumps(body, ensure_ascii=False).encode()), size)
            return body

        for size in (600, 2047, 2048, 2049, 2050, 9000):
            for stdin in ("pipe", "socket"):
                sid = "len-%d-%s" % (size, stdin)
                body = json.dumps(payload(sid, size), ensure_ascii=False).encode()
                self.assertEqual(self.relay.hook_raw("claude-hook.sh", body, socket_stdin=stdin == "socket"),
                                 (0, ""))
                s = self.session(sid)
                self.assertIsNotNone(s, sid)
                self.assertEqual(s["status"], "working")
                self.assertTrue(s["title"].startswith("Deploy \u00e9\u00e9"), s["title"])
        sid = "codex-len"
        body = json.dumps({"session_id": sid, "cwd": "/home/dev/api", "hook_event_name": "UserPromptSubmit",
                           "turn_id": "t", "prompt": "Tidy " + "\u00e9" * 3000}, ensure_ascii=False).encode()
        self.assertEqual(self.relay.hook_raw("codex-notify.sh", body, ("--hook",), socket_stdin=True), (0, ""))
        self.assertEqual(self.session(sid, "codex")["status"], "working")

    def test_codex_hooks_and_notify(self):
        base = {"session_id": "thread-9", "transcript_path": None, "cwd": "/home/dev/web", "model": "gpt-5",
                "turn_id": "turn-1", "permission_mode": "default"}
        self.send(dict(base, hook_event_name="UserPromptSubmit", prompt="add dark mode"), "codex-notify.sh", ["--hook"])
        self.send(dict(base, hook_event_name="PermissionRequest", tool_name="Bash",
                       tool_input={"command": "npm install"}), "codex-notify.sh", ["--hook"])
        s = self.session("thread-9", "codex")
        # Codex prompts are only reported, never held: nothing for the phone to answer.
        self.assertEqual((s["status"], s["title"]), ("waitingForInput", "add dark mode"))
        self.assertNotIn("permission", s)
        self.send(dict(base, hook_event_name="PostToolUse", tool_name="Bash", tool_input={"command": "npm install"},
                       tool_response="added 3 packages"), "codex-notify.sh", ["--hook"])
        self.assertEqual(self.session("thread-9", "codex")["status"], "working")

        notify = {"type": "agent-turn-complete", "thread-id": "thread-9", "turn-id": "turn-1", "cwd": "/home/dev/web",
                  "client": "codex-tui", "input-messages": ["add dark mode"],
                  "last-assistant-message": "Dark mode is in."}
        self.send(None, "codex-notify.sh", [json.dumps(notify)])
        s = self.session("thread-9", "codex")
        self.assertEqual((s["status"], s["summary"]), ("finished", "Dark mode is in."))
        self.assertIsNone(self.session("thread-9", "claude"))

    def hold(self, sid):
        """Starts the permission hook and waits until the phone can see its prompt."""
        proc = self.relay.hook("claude-permission-hook.sh", permission_request(sid), wait=False)
        prompt = wait_for(lambda: (self.session(sid) or {}).get("permission"), "the held prompt")
        self.assertEqual((prompt["toolName"], prompt["detail"], prompt["alwaysRule"]),
                         ("Bash", "rm -rf node_modules", "Bash(rm -rf node_modules)"))
        return proc, prompt["id"]

    def decide(self, pid, answer):
        return self.relay.request("POST", "v1/permissions/" + urllib.parse.quote(pid, safe=""),
                                  {"decision": answer}, token=self.token)[0]

    def finish(self, proc):
        out = proc.stdout.read().decode()
        proc.stdout.close()
        proc.stderr.close()
        return proc.wait(timeout=30), out

    def test_unanswered_prompt_times_out_to_no_decision(self):
        self.relay.set_away(True)
        try:
            proc, pid = self.hold("perm-timeout")
            self.assertEqual(self.finish(proc), (0, ""))
            # The terminal still asks; the phone's chance is over.
            s = self.session("perm-timeout")
            self.assertEqual(s["status"], "waitingForInput")
            self.assertNotIn("permission", s)
            self.assertEqual(self.decide(pid, "allow"), 404)
        finally:
            self.relay.set_away(False)

    def test_prompt_of_a_killed_hook_cannot_be_answered(self):
        self.relay.set_away(True)
        try:
            proc, pid = self.hold("perm-killed")
            os.killpg(proc.pid, signal.SIGKILL)
            self.finish(proc)
            wait_for(lambda: "permission" not in self.session("perm-killed"), "the prompt to end")
            self.assertEqual(self.decide(pid, "allow"), 404)
        finally:
            self.relay.set_away(False)


class RelayDownTest(unittest.TestCase):
    def test_hooks_stay_silent_and_succeed_when_the_relay_is_down(self):
        relay = Relay()
        try:
            relay.set_away(True)
            relay.stop()
            for script, payload, args in (("claude-permission-hook.sh", permission_request(), ()),
                                          ("claude-hook.sh", claude("SessionStart"), ()),
                                          ("codex-notify.sh", None, ['{"type":"agent-turn-complete"}'])):
                self.assertEqual(relay.hook(script, payload, args), (0, ""), script)
            # Garbage on stdin is no reason to fail the agent either.
            self.assertEqual(relay.hook("claude-permission-hook.sh", None), (0, ""))
        finally:
            relay.close()


if __name__ == "__main__":
    unittest.main()
