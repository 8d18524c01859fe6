"""The files installed beside the command: the scheduling wrapper and the bash completion."""

import os
import shutil
import subprocess
import tempfile
import time
import unittest

from harness import BINARY, WINDOWS, Result, SweepCase, base_env

DIST = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir, "dist")
WRAPPER = os.path.join(DIST, "examples", "agecull-strict")
COMPLETION = os.path.join(DIST, "bash-completion", "agecull")


@unittest.skipIf(WINDOWS, "a POSIX shell script")
class StrictWrapper(SweepCase):
    def strict(self, *args):
        # The wrapper finds agecull in PATH, as a scheduled job does: here only the built one.
        bindir = tempfile.mkdtemp(prefix="agecull-bin-")
        self.addCleanup(shutil.rmtree, bindir)
        os.symlink(os.path.abspath(BINARY), os.path.join(bindir, "agecull"))
        env = base_env(PATH=bindir + os.pathsep + "/usr/bin:/bin")
        started = time.time()
        completed = subprocess.run([WRAPPER, *args], cwd=self.dir, env=env, stdin=subprocess.DEVNULL,
                                   capture_output=True, text=True, timeout=60)
        return Result(completed.stdout, completed.stderr, completed.returncode, started, time.time())

    def test_run_fails_exactly_when_agecull_wrote_to_standard_error(self):
        self.make("old.log", 40)
        self.make("locked.log", 40, mode=0o444)
        self.make("new.log", 1)
        # Without /Q or /L a scheduled run would stop at its first question: nothing is run.
        refused = self.strict("*.log", "30")
        self.assertEqual((refused.status, refused.out), (2, ""))
        self.assertTrue(self.exists("old.log"))

        # The read-only file is refused: its line passes through without "-deleted", and
        # agecull's reason comes after everything else, then the wrapper's own line.
        failed = self.strict("*.log", "30", "/Q")
        self.assertEqual(failed.status, 1)
        self.assertIn("  old.log  -deleted\n", failed.out)
        self.assertIn("  locked.log  \n", failed.out)
        self.assertTrue(failed.out.endswith("  1 files were deleted\n  1 files failed to delete\n"))
        reason = self.agecull("locked.log", "30", "/Q").err
        self.assertNotEqual(reason, "")
        self.assertEqual(failed.err, reason + "agecull-strict: agecull reported errors, shown above\n")

        # A directory that cannot be searched is said on standard error too.
        self.assertEqual(self.strict(self.path("gone") + "/*.log", "30", "/Q").status, 1)

        # Nothing on standard error: agecull's output as it is, and status 0.
        os.chmod(self.path("locked.log"), 0o644)
        mtime = self.age("locked.log", 40)
        clean = self.strict("*.log", "30", "/q")
        self.assertEqual(clean.err, "")
        self.assertEqual(self.body(clean, "Deleting", 30),
                         self.line("locked.log", mtime, "-deleted") + "\n\n  1 files were deleted\n")
        self.assertFalse(self.exists("locked.log"))
        self.assertTrue(self.exists("new.log"))


@unittest.skipIf(WINDOWS or not shutil.which("bash"), "bash completion")
class BashCompletion(SweepCase):
    def test_candidates_for_each_place(self):
        # The directory holds one entry, so any file name offered for the day count or
        # after the option would change the line.
        for name in ("logs/app.log", "logs/db.log", "logs/notes.txt"):
            self.make(name, 1)
        os.makedirs(self.path("logs/old it's"))
        shell = self.bash()
        table = [
            # The pattern: names in single quotes; a directory stays open for a wildcard.
            ("agecull l", "agecull 'logs/"),
            ("agecull logs/", "agecull 'logs/"),
            ("agecull logs/n", "agecull 'logs/notes.txt' "),
            ("agecull logs/o", "agecull 'logs/old it'\\''s/"),
            ("agecull 'logs/a", "agecull 'logs/app.log' "),
            ('agecull "logs/o', "agecull \"logs/old it's/"),
            ("agecull ~/l", f"agecull '{self.dir}/logs/"),
            ("agecull logs/*", "agecull logs/*"),
            # The day count: nothing.
            ("agecull '*.log' ", "agecull '*.log' "),
            ("agecull '*.log' 3", "agecull '*.log' 3"),
            # Third place: /Q and /L, which share only the slash.
            ("agecull '*.log' 30 ", "agecull '*.log' 30 /"),
            ("agecull '*.log' 30 /l", "agecull '*.log' 30 /L "),
            ("agecull '*.log' 30 /Q ", "agecull '*.log' 30 /Q "),
        ]
        for typed, expected in table:
            with self.subTest(typed=typed):
                # Tab completes; Ctrl-T prints the line between markers; Ctrl-U clears it.
                shell.send(typed + "\t\x14")
                shell.expect("<<(.*?)>>")
                shell.send("\x15")
                self.assertEqual(shell.match.group(1), expected)

    def bash(self):
        import pexpect
        env = base_env(HOME=self.dir, PS1="$ ", TERM="dumb", INPUTRC="/dev/null")
        shell = pexpect.spawn("bash", ["--norc", "--noprofile", "-i"], cwd=self.dir, env=env,
                              encoding="utf-8", timeout=10)
        self.addCleanup(shell.close, force=True)
        shell.sendline(f"source '{COMPLETION}' && bind -x '\"\\C-t\": printf \"<<%s>>\\n\" \"$READLINE_LINE\"'"
                       " && echo READ\"\"Y")
        shell.expect("READY")
        return shell


if __name__ == "__main__":
    unittest.main()
