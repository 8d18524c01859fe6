"""agecull-strict: agecull's run and standard output, byte for byte, with every failure
named on standard error and an exit status that says how the run went."""

import os
import re
import shutil
import signal
import subprocess
import unittest

import pexpect

from harness import ACCESS_DENIED, STRICT_BINARY, WINDOWS, WINE, SweepCase, base_env, command, native

# The cutoff comes from each run's own clock: two runs may show it a second apart.
CUTOFF = re.compile(r"(files last modified before - )[^\n]*")
PROMPT = "delete y/n ?" if WINE else "delete y/n ? "
NAME = "agecull-strict: "
STRICT_USAGE = "Usage: agecull-strict fname days [/Q | /L] [/S] [/KEEP:n] [/MAX:n]\n"


def system_text(posix):
    """The system's words for an error: glibc's here, Windows' own there."""
    return "[^\n]+" if WINDOWS else re.escape(posix)


class Strict(SweepCase):
    def arrange(self, *files):
        """Makes `files` ((name, age in days, mode), ...) afresh under the run directory."""
        shutil.rmtree(self.path("run"), ignore_errors=True)
        os.makedirs(self.path("run/logs"))
        for name, days, mode in files:
            self.make(f"run/{name}", days, mode=mode)

    def launch(self, binary, args, env, stdout, journal):
        """Runs `binary` in the run directory; stderr is a pipe, named by JOURNAL_STREAM
        when `journal` (and one inode off when `journal` is False)."""
        read_end, write_end = os.pipe()
        if journal is not None:
            info = os.fstat(write_end)
            env = dict(env, JOURNAL_STREAM=f"{info.st_dev}:{info.st_ino + (0 if journal else 1)}")
        try:
            completed = subprocess.run([*command(binary), *args], cwd=self.path("run"), env=env,
                                       stdin=subprocess.DEVNULL, stdout=stdout, stderr=write_end,
                                       start_new_session=True, timeout=60)
        finally:
            os.close(write_end)
        with os.fdopen(read_end, "rb") as stream:
            err = stream.read()
        out = completed.stdout
        return completed.returncode, out and out.decode(errors="surrogateescape"), err.decode().replace("\r\n", "\n")

    def test_statuses_causes_and_error_lines(self):
        old, young, read_only = ("logs/a.log", 10, 0o644), ("logs/b.log", 1, 0o644), ("logs/a.log", 10, 0o444)
        logs = native("logs/*.log")
        denied = f"{NAME}{re.escape(native('logs/a.log'))}: {ACCESS_DENIED}\n"
        faults = os.environ.get("AGECULL_STAT_FAULTS_LIBRARY", "")
        cases = [
            # cause, arguments, files, status, standard error (a pattern), options
            ("all deleted", [logs, "5", "/Q"], [old, young], 0, "", {}),
            ("all listed", [logs, "5", "/L"], [old, young], 0, "", {}),
            ("nothing matched", ["*.none", "5"], [old], 0, "", {}),
            ("help", ["/?"], [], 0, "", {}),
            ("wrong count", [logs], [], 2, NAME + "Invalid number of paramaters\n", {}),
            ("path too long", ["x" * 261, "5"], [], 2, NAME + "Path too long\n", {}),
            ("days mistyped", [logs, "3O"], [], 2, NAME + "days must consist of the digits 0 - 9 only\n", {}),
            ("bad option", [logs, "5", "/X"], [], 2, NAME + "Unknown switch: /X\n", {}),
            ("missing directory", [native("gone/*.log"), "5", "/Q"], [], 2,
             f"{NAME}{re.escape(native('gone/'))}: {system_text('No such file or directory')}\n", {}),
            ("removal failed", [logs, "5", "/Q"], [read_only, young], 1, denied, {}),
            ("no terminal to answer", [logs, "5"], [old], 1,
             f"{NAME}No terminal to answer the prompt - Program aborted\n", {}),
            ("output failed", [logs, "5", "/Q"], [old], 1,
             f"{NAME}cannot write to standard output: {system_text('No space left on device')}\n",
             {"stdout": "/dev/full"}),
            ("journal", [logs, "5", "/Q"], [read_only], 1, ("" if WINDOWS else "<3>") + denied, {"journal": True}),
            ("not the journal", [logs, "5", "/Q"], [read_only], 1, denied, {"journal": False}),
        ]
        if not WINDOWS and os.path.exists(faults):
            # The second entry read cannot be examined: it is named, and the sweep goes on.
            cases.append(("entry not examined", [logs, "5", "/Q"], [old, ("logs/c.log", 10, 0o644)], 1,
                          f"{NAME}logs/<failing>: Input/output error\n", {"fault": faults}))
        for cause, args, files, status, err, options in cases:
            with self.subTest(cause=cause):
                outs = []
                for binary, expected_status in ((None, 0), (STRICT_BINARY, status)):
                    self.arrange(*files)
                    env = base_env()
                    if "fault" in options:
                        second = [n for n in os.listdir(self.path("run/logs")) if n.endswith(".log")][1]
                        env = base_env(LD_PRELOAD=options["fault"], AGECULL_STAT_FAULTS=f"{second}=5")
                    sink = open(options["stdout"], "wb") if "stdout" in options else None
                    try:
                        got, out, reported = self.launch(binary, args, env, sink or subprocess.PIPE,
                                                         options.get("journal"))
                    finally:
                        if sink:
                            sink.close()
                    self.assertEqual(got, expected_status, out)
                    outs.append(out and CUTOFF.sub(r"\1<cutoff>", out))
                if "fault" in options:
                    self.assertEqual(os.listdir(self.path("run/logs")), [second])
                    err = err.replace("<failing>", re.escape(second))
                self.assertRegex(reported, f"^{err}$")
                # agecull-strict's usage names its own switches, and its rejections name the
                # switch; the opening lines are agecull's. Every run is agecull's byte for byte.
                if outs[1] and "Usage: " in outs[1]:
                    self.assertIn(STRICT_USAGE, outs[1])
                    outs = [out[:out.index(" *\n\n") + 4] for out in outs]
                self.assertEqual(outs[1], outs[0])

    @unittest.skipIf(WINE, "Wine's console swallows a lone Esc on a pseudo-terminal")
    def test_esc_ends_with_one_and_a_signal_by_itself(self):
        self.make("a.log", 10)
        for stop in ("\x1b", signal.SIGTERM):
            with self.subTest(stop=stop):
                child = pexpect.spawn(STRICT_BINARY, ["*.log", "5"], cwd=self.dir, env=base_env(),
                                      encoding="utf-8", timeout=10)
                self.addCleanup(child.close, force=True)
                child.expect_exact(PROMPT)
                if stop == "\x1b":
                    child.send(stop)
                    child.expect_exact("ESC - Program aborted\r\n" + NAME + "ESC - Program aborted\r\n")
                else:
                    child.kill(stop)
                child.expect(pexpect.EOF)
                child.close()
                self.assertEqual((child.exitstatus, child.signalstatus), (1, None) if stop == "\x1b" else (None, stop))
                self.assertTrue(self.exists("a.log"))


if __name__ == "__main__":
    unittest.main()
