"""agecull-strict: agecull's run and standard output, byte for byte, with every failure
named on standard error and an exit status that says how the run went."""

import os
import re
import shutil
import signal
import subprocess
import unittest

import pexpect

from harness import (ACCESS_DENIED, STRICT_BINARY, WINDOWS, WINE, SweepCase, base_env, command, locale_installed,
                     native, run, text)

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
        # Standard output read as every other run's is: on Windows each line must end in CR LF.
        out = completed.stdout and text(completed.stdout, "stdout")
        return completed.returncode, out, err.decode().replace("\r\n", "\n")

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
            # The second entry read fails to be examined: the listing ends there.
            cases.append(("listing cut short", [logs, "5", "/L"], [old, ("logs/c.log", 10, 0o644)], 1,
                          f"{NAME}logs/: Input/output error\n", {"fault": faults}))
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
                self.assertRegex(reported, f"^{err}$")
                # agecull-strict's usage names its own switches, and its rejections name the
                # switch; the opening lines are agecull's. Every run is agecull's byte for byte.
                if outs[1] and "Usage: " in outs[1]:
                    self.assertIn(STRICT_USAGE, outs[1])
                    outs = [out[:out.index(" *\n\n") + 4] for out in outs]
                self.assertEqual(outs[1], outs[0])

    def test_retention_keeps_the_newest_and_caps_the_deletions(self):
        """Directories with known times and the files that must survive each run."""
        faults = os.environ.get("AGECULL_STAT_FAULTS_LIBRARY", "")
        three_old = [("a.tar", 30), ("b.tar", 20), ("c.tar", 10)]
        cases = [
            # what, files (name, age in days), switches, survivors, status, stderr (a pattern)
            ("the newest n", [*three_old, ("d.tar", 40)], ["/Q", "/KEEP:2"], {"b.tar", "c.tar"}, 0, ""),
            ("equal times", [("2026-11-01.tar", 9), ("2026-11-02.tar", 9)], ["/Q", "/keep:1"], {"2026-11-02.tar"}, 0, ""),
            ("fewer than n", three_old, ["/Q", "/KEEP:5"], {"a.tar", "b.tar", "c.tar"}, 0, ""),
            ("young among the newest", [*three_old, ("new.tar", 1)], ["/Q", "/KEEP:2"], {"c.tar", "new.tar"}, 0, ""),
            ("each directory on its own", [*three_old, ("sub/x.tar", 30), ("sub/y.tar", 9), ("sub/deep/z.tar", 9)],
             ["/Q", "/S", "/KEEP:1"], {"c.tar", "sub/y.tar", "sub/deep/z.tar"}, 0, ""),
            ("at the cap", three_old, ["/MAX:3", "/Q"], set(), 0, ""),
            ("over the cap", three_old, ["/Q", "/MAX:2"], {"a.tar", "b.tar", "c.tar"}, 3,
             NAME + "3 files would have been deleted, more than /MAX:2 allows, so nothing was deleted\n"),
            ("a dry run over the cap", three_old, ["/L", "/MAX:2"], {"a.tar", "b.tar", "c.tar"}, 3,
             NAME + "3 files would have been deleted, more than /MAX:2 allows, so a run without /L would delete "
                    "nothing\n"),
            ("the cap after /KEEP", three_old, ["/Q", "/KEEP:1", "/MAX:2"], {"c.tar"}, 0, ""),
        ]
        if not WINDOWS and os.path.exists(faults):
            # The newest is renamed over an old name once the newest have been found: it is
            # known by what it is, not by its name, and stays.
            cases.append(("a kept file renamed", [("a.tar", 30), ("c.tar", 10)], ["/Q", "/KEEP:1"], {"a.tar"}, 0, "",
                          ))
        for what, files, switches, survivors, status, err in cases:
            with self.subTest(what=what):
                shutil.rmtree(self.path("run"), ignore_errors=True)
                os.makedirs(self.path("run"))
                for name, days in files:
                    self.make(f"run/{name}", days, content=name.encode())
                env = base_env()
                if what == "a kept file renamed":
                    env = base_env(LD_PRELOAD=faults, AGECULL_STAT_SWAPS="a.tar=c.tar")
                got, _, reported = self.launch(STRICT_BINARY, ["*.tar", "5", *switches], env, subprocess.PIPE, None)
                self.assertEqual(got, status, reported)
                self.assertRegex(reported, f"^{re.escape(err)}$")
                left = {os.path.relpath(os.path.join(root, name), self.path("run")).replace(os.sep, "/")
                        for root, _, names in os.walk(self.path("run")) for name in names}
                self.assertEqual(left, survivors)
                if what == "a kept file renamed":
                    with open(self.path("run/a.tar"), "rb") as kept:
                        self.assertEqual(kept.read(), b"c.tar")

    @unittest.skipUnless(WINDOWS, "Windows' own walk: the POSIX one needs links, mounts and limits of its own")
    def test_windows_trees(self):
        """/S on Windows (under Wine): names in any script, names and paths past 260
        characters, 1,000 levels, and what is never walked into, each in silence."""
        long = "L" * 200
        deep = "/".join(["d"] * 1000)
        cases = [
            # what, files (path: age in days), deleted, options
            # The top holds no match, yet its subdirectories are swept.
            ("names in any script, and past 260 characters",
             {"top/a.txt": 10, "top/\u65e5\u672c/new.log": 1, "top/\u65e5\u672c/\u03a9mega/old.log": 10,
              f"top/{long}/{long}/{long[:50]}.log": 10},
             ["top/\u65e5\u672c/\u03a9mega/old.log", f"top/{long}/{long}/{long[:50]}.log"], {}),
            # Paths of over 2,000 characters, each level opened and given up again on the way.
            ("1,000 levels", {"top/old.log": 10, f"top/{deep[:999]}/old.log": 10, f"top/{deep}/old.log": 10,
                              f"top/{deep}/new.log": 1},
             ["top/old.log", f"top/{deep[:999]}/old.log", f"top/{deep}/old.log"], {}),
            # Under Wine a Unix link to a directory is a reparse point, as a junction or a
            # directory symlink is on Windows (Wine 8 cannot make either: mklink /J fails).
            ("a link to a directory", {"outside/old.log": 10, "top/real/old.log": 10}, ["top/real/old.log"],
             {"link": "top/into"}),
            # Under Wine a directory on another Unix file system is listed without a file id.
            ("another file system mounted below", {"top/real/old.log": 10}, ["top/real/old.log"],
             {"mount": "top/mounted"}),
        ]
        for what, files, deleted, options in cases:
            with self.subTest(what=what):
                if not locale_installed("C.UTF-8"):
                    self.skipTest("no C.UTF-8 locale, in which Wine reads Unix names as UTF-8")
                try:
                    for name, days in files.items():
                        self.make_deep(name, days)
                    if "link" in options:
                        os.symlink(self.path("outside"), self.path(options["link"]))
                    if "mount" in options:
                        os.makedirs(self.path(options["mount"]))
                        mounted = subprocess.run(["mount", "-t", "tmpfs", "tmpfs", self.path(options["mount"])],
                                                 capture_output=True, text=True)
                        if mounted.returncode != 0:
                            self.skipTest(f"mount refused here: {mounted.stderr.strip()}")
                        self.make_deep(options["mount"] + "/old.log", 10)
                    result = run([native("top/*.log"), "5", "/Q", "/S"], cwd=self.dir, binary=STRICT_BINARY,
                                 env=base_env(LC_ALL="C.UTF-8"), timeout=600)
                    self.assertEqual((result.status, result.err), (0, ""), result.out[-2000:])
                    shown = re.findall(r"^\d\d/\d\d/\d{4}  \d\d:\d\d:\d\d [AP]M  (.*)  -deleted$", result.out,
                                       re.MULTILINE)
                    self.assertEqual(sorted(shown), sorted(native(path) for path in deleted))
                    self.assertEqual([name for name in files if not self.exists_deep(name)], deleted)
                    self.assertTrue("mount" not in options or self.exists_deep(options["mount"] + "/old.log"))
                finally:
                    if "mount" in options:
                        subprocess.run(["umount", self.path(options["mount"])], capture_output=True)
                    # Deeper than Python's own tree walks go.
                    subprocess.run(["rm", "-rf", self.path("top"), self.path("outside")], check=True)

    def descend(self, directories, create=False):
        """A descriptor of the directory `directories` below the test's own, entered one at a
        time so that any depth will do (made on the way with `create`); None when missing."""
        level = os.open(self.dir, os.O_RDONLY | os.O_DIRECTORY)
        for directory in directories:
            try:
                if create and directory not in os.listdir(level):
                    os.mkdir(directory, dir_fd=level)
                below = os.open(directory, os.O_RDONLY | os.O_DIRECTORY, dir_fd=level)
            except FileNotFoundError:
                below = None
            os.close(level)
            if below is None:
                return None
            level = below
        return level

    def make_deep(self, name, days):
        """make() for a path of any length."""
        *directories, base = name.split("/")
        level = self.descend(directories, create=True)
        try:
            os.close(os.open(base, os.O_CREAT | os.O_WRONLY, 0o644, dir_fd=level))
            mtime = (self.now - days * 86400) * 10**9
            os.utime(base, ns=(mtime, mtime), dir_fd=level)
        finally:
            os.close(level)

    def exists_deep(self, name):
        """exists() for a path of any length."""
        *directories, base = name.split("/")
        level = self.descend(directories)
        if level is None:
            return False
        try:
            return base in os.listdir(level)
        finally:
            os.close(level)

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
