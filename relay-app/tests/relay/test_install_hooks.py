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


class InstallHome(unittest.TestCase):
    """A temporary HOME with the relay's files installed and the agents' files as a user left them."""

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
        with open(path, "wb") as f:
            f.write(text.encode("utf-8") if isinstance(text, str) else text)
        return path

    def run_install(self, *args, uid=None):
        who = {} if uid is None else {"user": uid, "group": uid, "extra_groups": []}
        result = subprocess.run([PYTHON, os.path.join(self.home, ".idlewyn-relay/bin/relay.py"), "install-hooks"]
                                + list(args), env=clean_env(self.home), stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, timeout=60, **who)
        return result.returncode, result.stdout.decode()

    def tree(self):
        """Every entry under HOME outside the relay's own folder, links as links."""
        entries = {}
        for root, dirs, names in os.walk(self.home):
            if ".idlewyn-relay" in root:
                continue
            for name in dirs + names:
                path = os.path.join(root, name)
                if os.path.islink(path):
                    entries[path] = ("link", os.readlink(path))
                elif os.path.isfile(path):
                    entries[path] = (oct(os.stat(path).st_mode & 0o777), self.raw(path))
        return entries

    def backups(self):
        """What each backup holds, by the name of the file it was made of."""
        return dict((os.path.basename(p).split(".bak-")[0], content) for p, (_, content) in self.tree().items()
                    if ".bak-" in p)

    def raw(self, path):
        with open(path, "rb") as f:
            return f.read()

    def has_ours(self, path):
        return b"/.idlewyn-relay/bin/hooks/" in self.raw(path)

    def load(self, path):
        with open(path) as f:
            return json.load(f)


@unittest.skipIf(tomllib is None, "needs tomllib (Python 3.11+) to read config.toml back")
class InstallHooksTest(InstallHome):
    # What the merge keeps and adds is the in-process tests' matter, and that
    # the agents run what a fresh home gets, the agents suite's; here, that it
    # lands in the user's files with their backups, and only once.
    def test_dry_run_install_and_rerun(self):
        before = self.tree()
        code, report = self.run_install("--dry-run")
        self.assertEqual((code, self.tree()), (0, before), report)
        self.assertIn("(dry run)", report)

        code, report = self.run_install()
        self.assertEqual(code, 0, report)
        self.assertNotIn("(dry run)", report)
        for path in (self.claude, self.toml, self.codex):
            self.assertTrue(self.has_ours(path), path)
        self.assertEqual(self.backups(), {"settings.json": before[self.claude][1], "config.toml": before[self.toml][1],
                                          "hooks.json": before[self.codex][1]})

        after = self.tree()
        code, report = self.run_install()
        self.assertEqual((code, self.tree()), (0, after), report)

    def test_example_settings_match_what_is_installed(self):
        self.assertEqual(self.run_install()[0], 0)
        with open(os.path.join(self.hooks_dir, "claude-settings.example.json")) as f:
            example = json.loads(f.read().replace("$HOME", self.home))
        ours = dict((event, [g for g in groups if any(self.hooks_dir in h["command"] for h in g["hooks"])])
                    for event, groups in self.load(self.claude)["hooks"].items())
        self.assertEqual(example["hooks"], ours)

    def test_broken_settings_fail_without_touching_anything(self):
        self.write(".claude/settings.json", '{"hooks": {')
        before = self.tree()
        code, report = self.run_install()
        self.assertNotEqual(code, 0)
        self.assertIn("settings.json", report)
        self.assertEqual(self.tree(), before)


@unittest.skipIf(tomllib is None, "needs tomllib (Python 3.11+) to read config.toml back")
class KeepsWhatTheUserHasTest(InstallHome):
    """The agents' files stay the way the user keeps them: links, permissions, line endings, BOM."""

    def assert_only_the_other_agent_changes(self, blocked, written, mention):
        before = self.tree()
        code, preview = self.run_install("--dry-run")
        self.assertEqual((code, self.tree()), (1, before), preview)
        self.assertIn(mention, preview)
        code, report = self.run_install()
        self.assertEqual(code, 1, report)
        after = self.tree()
        for path in blocked:
            self.assertEqual(after.get(path), before.get(path), path)
        for path in written:
            self.assertTrue(self.has_ours(path), path)
        # The preview tells what the run then does, failure included.
        for line in preview.splitlines():
            if not line.startswith("(dry run)"):
                self.assertIn(line, report.splitlines())
        return report

    def test_links_are_written_through_and_stay_links(self):
        targets = {}
        for link, name, content in ((self.claude, "claude.json", CLAUDE_SETTINGS),
                                    (self.codex, "codex-hooks.json", CODEX_HOOKS)):
            targets[link] = self.write("dotfiles/" + name, json.dumps(content))
            os.unlink(link)
            os.symlink(os.path.join("..", "dotfiles", name), link)
        before = dict((path, self.raw(path)) for path in targets.values())

        code, report = self.run_install()
        self.assertEqual(code, 0, report)
        for link, target in targets.items():
            self.assertEqual(os.readlink(link), os.path.join("..", "dotfiles", os.path.basename(target)))
            self.assertTrue(self.has_ours(target), target)
        self.assertIn("~/dotfiles/claude.json", report)
        # Nothing left behind in the dotfiles; the backups sit beside the links the user knows.
        self.assertEqual(sorted(os.listdir(os.path.join(self.home, "dotfiles"))), ["claude.json", "codex-hooks.json"])
        backups = self.backups()
        self.assertEqual(backups["settings.json"], before[targets[self.claude]])
        self.assertEqual(backups["hooks.json"], before[targets[self.codex]])

        after = self.tree()
        code, report = self.run_install()
        self.assertEqual((code, self.tree()), (0, after), report)

    def test_a_file_it_cannot_write_holds_back_its_agent_and_fails(self):
        def dangling():
            os.unlink(self.claude)
            os.symlink(os.path.join(self.home, "gone", "claude.json"), self.claude)

        def loop():
            os.unlink(self.toml)
            os.symlink("config-b.toml", self.toml)
            os.symlink("config.toml", os.path.join(self.home, ".codex", "config-b.toml"))

        # (what breaks it, the agent's files, what the report says) -- the other agent is set up regardless.
        cases = [(dangling, "claude", "~/.claude/settings.json is a link to ~/gone/claude.json, which does not exist"),
                 (loop, "codex", "~/.codex/config.toml is a link that loops"),
                 (lambda: os.chmod(self.toml, 0o400), "codex", "~/.codex/config.toml is read-only"),
                 (lambda: os.chmod(self.claude, 0o444), "claude", "chmod u+w ~/.claude/settings.json")]
        for breaks, agent, mention in cases:
            with self.subTest(mention):
                self.setUp()
                breaks()
                files = {"claude": [self.claude], "codex": [self.toml, self.codex]}
                other = files["codex" if agent == "claude" else "claude"]
                report = self.assert_only_the_other_agent_changes(files[agent], other, mention)
                self.assertNotIn("Done. Restart", report)
                self.assertEqual("only after you trust them" in report, agent == "claude", "Codex's trust advice")

    def test_a_read_only_file_that_already_holds_the_hooks_is_no_failure(self):
        self.assertEqual(self.run_install()[0], 0)
        os.chmod(self.claude, 0o444)
        code, report = self.run_install("--dry-run")
        self.assertEqual(code, 0, report)
        self.assertNotIn("(dry run)", report)

    @unittest.skipUnless(os.geteuid() == 0, "needs root to hand a file to another user")
    def test_a_file_of_another_user_is_not_taken_over(self):
        # Left behind by a run under sudo: writable by its owner, root, only.
        # The folder is the user's, so a replace would have worked and made
        # the file the user's behind root's back.
        nobody = 65534
        for root, dirs, names in os.walk(self.home):
            for name in [root] + [os.path.join(root, n) for n in dirs + names]:
                os.chown(name, nobody, nobody)
        os.chown(self.claude, 0, 0)
        os.chmod(self.claude, 0o644)
        before = self.tree()
        code, preview = self.run_install("--dry-run", uid=nobody)
        self.assertEqual((code, self.tree()), (1, before), preview)
        code, report = self.run_install(uid=nobody)
        self.assertEqual(code, 1, report)
        self.assertIn("~/.claude/settings.json cannot be written by this user", report)
        self.assertEqual(self.tree()[self.claude], before[self.claude])
        self.assertEqual(os.stat(self.claude).st_uid, 0)
        self.assertTrue(self.has_ours(self.toml))

    def test_line_endings_bom_indent_final_newline_and_mode_are_kept(self):
        # Once as a Windows editor leaves them (CRLF), once with a UTF-8 BOM as well.
        for bom in (b"", b"\xef\xbb\xbf"):
            with self.subTest(bom=bom):
                self.assert_layout_kept(bom)

    def assert_layout_kept(self, bom):
        self.write(".claude/settings.json", bom + json.dumps(CLAUDE_SETTINGS, indent="\t").replace("\n", "\r\n")
                   .encode())
        os.chmod(self.claude, 0o600)
        self.write(".codex/config.toml", bom + CONFIG_TOML.replace("\n", "\r\n").encode())
        self.write(".codex/hooks.json", json.dumps(CODEX_HOOKS, indent=4).replace("\n", "\r\n") + "\r\n")
        os.chmod(self.codex, 0o640)

        code, report = self.run_install()
        self.assertEqual(code, 0, report)
        for path, final in ((self.claude, "}"), (self.toml, "\r\n"), (self.codex, "}\r\n")):
            raw = self.raw(path)
            # hooks.json is written without a BOM and must not gain one.
            lead = bom if path != self.codex else b""
            self.assertEqual(raw[:3] == b"\xef\xbb\xbf", lead != b"", path)
            body = raw[len(lead):].decode()
            self.assertNotIn("\n", body.replace("\r\n", ""), path)
            self.assertTrue(body.endswith(final), (path, body[-10:]))
            self.assertTrue(self.has_ours(path), path)
        self.assertEqual(json.loads(self.raw(self.claude)[len(bom):])["model"], "opus")
        self.assertIn('\r\n\t"model"', self.raw(self.claude).decode())
        self.assertIn('\r\n    "hooks"', self.raw(self.codex).decode())
        config = tomllib.loads(self.raw(self.toml)[len(bom):].decode())
        self.assertEqual(config["notify"], [os.path.join(self.hooks_dir, "codex-notify.sh")])
        self.assertEqual((os.stat(self.claude).st_mode & 0o777, os.stat(self.codex).st_mode & 0o777),
                         (0o600, 0o640))

        after = self.tree()
        code, report = self.run_install()
        self.assertEqual((code, self.tree()), (0, after), report)

    def test_hard_links_and_the_owner_are_kept(self):
        kept = os.path.join(self.home, "dotfiles-claude.json")
        os.link(self.claude, kept)
        if os.geteuid() == 0:
            os.chown(self.toml, 4321, 4322)
        code, report = self.run_install()
        self.assertEqual(code, 0, report)
        self.assertTrue(os.path.samefile(self.claude, kept))
        self.assertTrue(self.has_ours(kept))
        if os.geteuid() == 0:
            st = os.stat(self.toml)
            self.assertEqual((st.st_uid, st.st_gid), (4321, 4322))


if __name__ == "__main__":
    unittest.main()
