import json
import os
import shutil
import subprocess
import tempfile
import unittest

try:
    import tomllib
except ImportError:  # Python before 3.11 has no TOML reader to check the result with
    tomllib = None

from relay_harness import PYTHON, clean_env, install_files

FOREIGN_HOOK = {"type": "command", "command": "/opt/lint/guard.sh", "timeout": 5}
CLAUDE_SETTINGS = {
    "model": "opus",
    "permissions": {"allow": ["Bash(npm test)"]},
    "hooks": {"PreToolUse": [{"matcher": "Bash", "hooks": [FOREIGN_HOOK]}],
              "Stop": [{"hooks": [{"type": "command", "command": "say done"}]}]},
}
CONFIG_TOML = '''# my codex setup
model = "gpt-5"
sandbox_permissions = [
  "disk-full-read-access",
  ["nested", "array"],
]

# profiles below
[profiles.fast]
model = "gpt-5-mini"

[mcp_servers.docs]
command = "docs-server"
'''
CODEX_HOOKS = {"hooks": {"Stop": [{"hooks": [{"type": "command", "command": "/opt/other/stop.sh"}]}]}}


@unittest.skipIf(tomllib is None, "needs tomllib (Python 3.11+) to read config.toml back")
class InstallHooksTest(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="relay-hooks-")
        self.addCleanup(shutil.rmtree, self.home, True)
        self.hooks_dir = os.path.join(self.home, ".idlewyn-relay", "bin", "hooks")
        install_files(os.path.join(self.home, ".idlewyn-relay"))
        self.claude = self.write(".claude/settings.json", json.dumps(CLAUDE_SETTINGS, indent=4))
        self.toml = self.write(".codex/config.toml", CONFIG_TOML)
        self.codex = self.write(".codex/hooks.json", json.dumps(CODEX_HOOKS))

    def write(self, rel, text):
        path = os.path.join(self.home, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(text)
        return path

    def run_install(self, *args):
        result = subprocess.run([PYTHON, os.path.join(self.home, ".idlewyn-relay/bin/relay.py"), "install-hooks"]
                                + list(args), env=clean_env(self.home), stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, timeout=60)
        return result.returncode, result.stdout.decode()

    def snapshot(self):
        files = {}
        for root, _, names in os.walk(self.home):
            if ".idlewyn-relay" not in root:
                for name in names:
                    with open(os.path.join(root, name), "rb") as f:
                        files[os.path.join(root, name)] = f.read()
        return files

    def load(self, path):
        with open(path) as f:
            return json.load(f)

    def test_dry_run_install_and_rerun(self):
        before = self.snapshot()
        code, report = self.run_install("--dry-run")
        self.assertEqual(code, 0, report)
        self.assertIn("(dry run)", report)
        self.assertEqual(self.snapshot(), before)

        code, report = self.run_install()
        self.assertEqual(code, 0, report)
        self.assertNotIn("(dry run)", report)
        self.assertIn("/hooks", report)

        settings = self.load(self.claude)
        self.assertEqual((settings["model"], settings["permissions"]), ("opus", CLAUDE_SETTINGS["permissions"]))
        self.assertIn({"matcher": "Bash", "hooks": [FOREIGN_HOOK]}, settings["hooks"]["PreToolUse"])
        self.assertIn({"hooks": [{"type": "command", "command": "say done"}]}, settings["hooks"]["Stop"])
        permission = settings["hooks"]["PermissionRequest"][0]["hooks"][0]
        self.assertEqual(permission["command"], os.path.join(self.hooks_dir, "claude-permission-hook.sh"))
        self.assertGreater(permission["timeout"], 300)
        for event in ("SessionStart", "UserPromptSubmit", "PreToolUse", "PostToolUse", "PostToolUseFailure",
                      "PermissionDenied", "Notification", "Stop", "StopFailure", "SessionEnd"):
            commands = [h["command"] for g in settings["hooks"][event] for h in g["hooks"]]
            self.assertIn(os.path.join(self.hooks_dir, "claude-hook.sh"), commands, event)

        with open(self.toml) as f:
            text = f.read()
        config = tomllib.loads(text)
        self.assertEqual(config["notify"], [os.path.join(self.hooks_dir, "codex-notify.sh")])
        self.assertEqual((config["model"], config["profiles"]["fast"]["model"]), ("gpt-5", "gpt-5-mini"))
        self.assertEqual(config["sandbox_permissions"], ["disk-full-read-access", ["nested", "array"]])
        self.assertLess(text.index("notify"), text.index("[profiles.fast]"))

        codex = self.load(self.codex)["hooks"]
        self.assertIn(CODEX_HOOKS["hooks"]["Stop"][0], codex["Stop"])
        self.assertTrue(any("codex-notify.sh --hook" in h["command"] for g in codex["PermissionRequest"]
                            for h in g["hooks"]))

        backups = dict((os.path.basename(p).split(".bak-")[0], content) for p, content in self.snapshot().items()
                       if ".bak-" in p)
        self.assertEqual(backups, {"settings.json": before[self.claude], "config.toml": before[self.toml],
                                   "hooks.json": before[self.codex]})

        after = self.snapshot()
        code, report = self.run_install()
        self.assertEqual((code, self.snapshot()), (0, after), report)
        code, report = self.run_install("--dry-run")
        self.assertEqual(code, 0)
        self.assertNotIn("(dry run)", report)

    def test_example_settings_match_what_is_installed(self):
        self.assertEqual(self.run_install()[0], 0)
        with open(os.path.join(self.hooks_dir, "claude-settings.example.json")) as f:
            example = json.loads(f.read().replace("$HOME", self.home))
        ours = dict((event, [g for g in groups if any(self.hooks_dir in h["command"] for h in g["hooks"])])
                    for event, groups in self.load(self.claude)["hooks"].items())
        self.assertEqual(example["hooks"], ours)

    def test_another_notify_program_is_kept(self):
        self.write(".codex/config.toml", 'notify = ["/usr/local/bin/ping-me", "--loud"]\n[tui]\nx = 1\n')
        code, report = self.run_install()
        self.assertEqual(code, 0, report)
        self.assertIn("another notify program", report)
        with open(self.toml) as f:
            self.assertEqual(tomllib.loads(f.read())["notify"], ["/usr/local/bin/ping-me", "--loud"])

    def test_broken_settings_fail_without_touching_anything(self):
        self.write(".claude/settings.json", '{"hooks": {')
        before = self.snapshot()
        code, report = self.run_install()
        self.assertNotEqual(code, 0)
        self.assertIn("settings.json", report)
        self.assertEqual(self.snapshot(), before)

    def test_fresh_home_gets_new_files(self):
        for path in (self.claude, self.toml, self.codex):
            os.unlink(path)
        code, report = self.run_install()
        self.assertEqual(code, 0, report)
        with open(self.toml) as f:
            self.assertEqual(tomllib.loads(f.read())["notify"], [os.path.join(self.hooks_dir, "codex-notify.sh")])
        self.assertIn("PermissionRequest", self.load(self.claude)["hooks"])


if __name__ == "__main__":
    unittest.main()
