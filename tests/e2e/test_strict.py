"""agecull-strict: agecull's run and standard output, byte for byte, with every failure
named on standard error and an exit status that says how the run went."""

import os
import re
import resource
import shutil
import signal
import subprocess
import unittest

import pexpect

from harness import (ACCESS_DENIED, STRICT_BINARY, WINDOWS, WINE, SweepCase, base_env, command, locale_installed,
                     native, text)
from test_hardening import others_can_run

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
                    # Once the last name listed has been examined, whichever it is.
                    last = os.listdir(self.path("run"))[-1]
                    env = base_env(LD_PRELOAD=faults, AGECULL_STAT_SWAPS=f"{last}=c.tar>a.tar")
                got, _, reported = self.launch(STRICT_BINARY, ["*.tar", "5", *switches], env, subprocess.PIPE, None)
                self.assertEqual(got, status, reported)
                self.assertRegex(reported, f"^{re.escape(err)}$")
                left = {os.path.relpath(os.path.join(root, name), self.path("run")).replace(os.sep, "/")
                        for root, _, names in os.walk(self.path("run")) for name in names}
                self.assertEqual(left, survivors)
                if what == "a kept file renamed":
                    with open(self.path("run/a.tar"), "rb") as kept:
                        self.assertEqual(kept.read(), b"c.tar")

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


# An entry line of a sweep with its path, and whether it was deleted.
ENTRY_LINE = re.compile(r"^\d\d/\d\d/\d{4}  \d\d:\d\d:\d\d [AP]M  (.*)  (-deleted)?$", re.MULTILINE)
# Under Wine each open costs time in proportion to the path's depth (Wine looks at every
# directory of it), so a tree there is 1,000 deep: paths of over 2,000 characters.
DEEP = 1000 if WINDOWS else 5000
RUNNER = 4444  # an ordinary user, no passwd entry needed


class Trees(SweepCase):
    """agecull-strict /S over real trees: what it enters, what it deletes and what it says,
    with 64 descriptors and an 8 MiB stack at most on POSIX. The same shapes run on Windows
    (under Wine), but for those only POSIX can make."""

    def build(self, shape):
        """Makes `shape`: path -> age in days of a file, or ("link", target, age) for a
        symbolic link with its own time, or None for an empty directory."""
        for name, what in shape.items():
            os.makedirs(self.path(name if what is None else os.path.dirname(name)), exist_ok=True)
            if isinstance(what, tuple):
                os.symlink(what[1], self.path(name))
                self.age(name, what[2])
            elif what is not None:
                self.make(name, what)

    def deep_tree(self):
        """DEEP nested directories, too deep for any path: an old file at the top, halfway
        down and at the bottom, and a young one at the bottom. Returns the old files' paths."""
        old, depth, level = [], 0, os.open(self.path("top"), os.O_RDONLY | os.O_DIRECTORY)
        try:
            for depth in range(DEEP + 1):
                if depth in (0, DEEP // 2, DEEP):
                    for name, days in (("old.log", 10),) + ((("new.log", 1),) if depth == DEEP else ()):
                        os.close(os.open(name, os.O_CREAT | os.O_WRONLY, 0o644, dir_fd=level))
                        mtime = (self.now - days * 86400) * 10**9
                        os.utime(name, ns=(mtime, mtime), dir_fd=level)
                    old.append("top/" + "d/" * depth + "old.log")
                if depth < DEEP:
                    os.mkdir("d", dir_fd=level)
                    below = os.open("d", os.O_RDONLY | os.O_DIRECTORY, dir_fd=level)
                    os.close(level)
                    level = below
        finally:
            os.close(level)
        # Deeper than Python's own tree removal goes: rm takes it away first.
        self.addCleanup(subprocess.run, ["rm", "-rf", self.path("top/d")], check=True)
        return old

    def sweep(self, env, user):
        def limits():
            resource.setrlimit(resource.RLIMIT_NOFILE, (64, 64))
            resource.setrlimit(resource.RLIMIT_STACK, (8 << 20, 8 << 20))
        # The timeout only guards against a hang: the deep tree takes a minute under Wine.
        completed = subprocess.run([*command(STRICT_BINARY), native("top/*.log"), "5", "/Q", "/S"], cwd=self.dir,
                                   env=env, stdin=subprocess.DEVNULL, capture_output=True, start_new_session=True,
                                   timeout=600, preexec_fn=None if WINDOWS else limits, user=user)
        return completed.returncode, text(completed.stdout, "stdout"), text(completed.stderr, "stderr")

    def logs(self):
        """The .log entries anywhere under the test's directory, links included, by identity."""
        found = subprocess.run(["find", ".", "-name", "*.log", "-printf", "%D:%i %P\n"], cwd=self.dir,
                               capture_output=True, text=True, check=True)
        return {path: identity for identity, path in (line.split(" ", 1) for line in found.stdout.splitlines())}

    def arrange(self, shape, options):
        """Makes the shape and readies the run: returns its environment, user and the old
        files' paths of a deep tree."""
        if WINDOWS and "posix" in options:
            self.skipTest(options["posix"])
        # Wine reads Unix names in the locale's character set.
        env, user, deep = base_env(LC_ALL="C.UTF-8") if WINE else base_env(), None, None
        if WINE and not locale_installed("C.UTF-8"):
            self.skipTest("no C.UTF-8 locale, in which Wine reads Unix names as UTF-8")
        self.build(shape)
        if "deep" in options:
            deep = self.deep_tree()
        if "swap" in options:
            faults = os.environ.get("AGECULL_STAT_FAULTS_LIBRARY", "")
            if not os.path.exists(faults):
                self.skipTest("no AGECULL_STAT_FAULTS_LIBRARY to swap directories with")
            env = base_env(LD_PRELOAD=faults, AGECULL_STAT_SWAPS=options["swap"])
        if "locked" in options:
            if os.geteuid() != 0 or not others_can_run(STRICT_BINARY):
                self.skipTest("needs root, and a binary another user can run, to lock a user out")
            os.chmod(self.dir, 0o755)
            for root, _, files in os.walk(self.path("top")):
                for name in [root] + [os.path.join(root, entry) for entry in files]:
                    os.chown(name, RUNNER, -1)
            os.chmod(self.path(options["locked"]), 0)
            user = RUNNER
        if "mount" in options:
            kind, place = options["mount"]
            source = ["--bind", self.path("outside")] if kind == "bind" else ["-t", "tmpfs", "tmpfs"]
            mounted = subprocess.run(["mount", *source, self.path(place)], capture_output=True, text=True)
            if mounted.returncode != 0:
                self.skipTest(f"mount refused here: {mounted.stderr.strip()}")
            self.mounted = self.path(place)
            if kind == "tmpfs":
                self.make(f"{place}/old.log", 10)
        return env, user, deep

    def clear(self):
        """Empties the test's directory, deep trees and locked directories too."""
        if self.mounted:
            subprocess.run(["umount", self.mounted], check=True)
            self.mounted = None
        subprocess.run(["rm", "-rf", *(self.path(name) for name in os.listdir(self.dir))], check=True)

    def test_tree_shapes(self):
        changed = "changed since it was listed, so it was not entered"
        # Through Wine, removing a Unix link removes what it leads to.
        links = {"posix": "Wine removes a link's target, not the link"}
        long = "L" * 200
        cases = [
            # shape, deleted (in line order), status, standard error, options
            ("nested matches at three depths",
             {"top/a.log": 10, "top/a.txt": 10, "top/new.log": 1, "top/x/b.log": 10, "top/x/y/c.log": 10,
              "top/x/y/z/new.log": 1},
             ["top/a.log", "top/x/b.log", "top/x/y/c.log"], 0, "", {}),
            # The top holds no match, yet its subdirectories are swept.
            ("names in any script, and names and paths past 260 characters",
             {"top/a.txt": 10, "top/\u65e5\u672c/new.log": 1, "top/\u65e5\u672c/\u03a9mega/old.log": 10,
              f"top/\u65e5\u672c/\u03a9mega/{long}/{long}/{long[:50]}.log": 10},
             ["top/\u65e5\u672c/\u03a9mega/old.log", f"top/\u65e5\u672c/\u03a9mega/{long}/{long}/{long[:50]}.log"],
             0, "", {}),
            # Under Wine a Unix link to a directory is a reparse point, as a junction or a
            # directory symlink is on Windows (Wine 8 cannot make either: mklink /J fails).
            ("a link to a directory is not walked",
             {"outside/old.log": 10, "top/into": ("link", "../outside", 10), "top/real/old.log": 10},
             ["top/real/old.log"], 0, "", {}),
            ("a link to a file is judged by its own time and removed as a link",
             {"outside/new.txt": 1, "outside/old.txt": 10, "top/old-link.log": ("link", "../outside/new.txt", 10),
              "top/new-link.log": ("link", "../outside/old.txt", 1)}, ["top/old-link.log"], 0, "", links),
            # The directory goes to where the link was, out of the tree.
            ("a directory swapped for a link between listing and entry",
             {"top/sub/old.log": 10, "top/new.log": 1, "outside/old.log": 10,
              "parking/link": ("link", self.path("outside"), 1)},
             [], 1, f"{NAME}top/sub/: {changed}\n",
             {"swap": "sub=../parking/link", "posix": "a preloaded library swaps the directory"}),
            ("an unreadable subdirectory",
             {"top/locked/old.log": 10, "top/open/old.log": 10}, ["top/open/old.log"], 1,
             f"{NAME}top/locked/: {ACCESS_DENIED}\n", {"locked": "top/locked", "posix": "a run as another user"}),
            # Wine shows a bind mount as the directory it is (the same file system).
            ("a bind mount is not walked",
             {"outside/old.log": 10, "top/mounted": None, "top/new.log": 1}, [], 0, "",
             {"mount": ("bind", "top/mounted"), "posix": "Wine walks a bind mount of the same file system"}),
            # Under Wine a directory on another Unix file system is listed without a file id.
            ("another file system mounted below is not walked", {"top/mounted": None, "top/real/old.log": 10},
             ["top/real/old.log"], 0, "", {"mount": ("tmpfs", "top/mounted")}),
            (f"{DEEP} directories deep", {"top/new.log": 1}, None, 0, "", {"deep": True}),
        ]
        self.mounted = None
        for label, shape, deleted, status, err, options in cases:
            with self.subTest(label):
                try:
                    env, user, deep = self.arrange(shape, options)
                    before = self.logs()
                    returncode, out, reported = self.sweep(env, user)
                    deleted = deep or deleted
                    self.assertEqual((returncode, reported), (status, err), out[-2000:])
                    lines = ENTRY_LINE.findall(out)
                    self.assertEqual([path for path, _ in lines], [native(path) for path in deleted])
                    self.assertTrue(all(mark for _, mark in lines), out[-2000:])
                    # Nothing else went: whatever moved or is seen twice through a mount.
                    kept = {identity for path, identity in before.items() if path not in deleted}
                    self.assertEqual(set(self.logs().values()), kept)
                finally:
                    self.clear()

if __name__ == "__main__":
    unittest.main()
