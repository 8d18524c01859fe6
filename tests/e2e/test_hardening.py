"""Promises that hold against hostile names, swapped directories, links, special files,
changes at the prompt, signals and directories emptied while they are read."""

import os
import re
import select
import shutil
import signal
import socket
import stat
import struct
import subprocess
import tempfile
import time
import unittest

import pexpect

from harness import (BINARY, OPENING, WINDOWS, WINE, SweepCase, base_env, command, run, screen, start_wine,
                     terminal_modes, text, wait_until)

PROMPT = "delete y/n ?" if WINE else "delete y/n ? "
DENIED = "  Could not delete : Permission denied\n"
CHANGED = "  Could not delete : Changed since it was listed, so it was kept\n"
# FIFOs, sockets, devices, signals, job control and control bytes in names are Unix
# matters; under Wine a symbolic link is not even seen as one (see the README).
UNIX_ONLY = unittest.skipIf(WINDOWS, "Unix file kinds, names, links and signals")
NOT_FOUND = OPENING + "File not found\n"
ABANDONED = b"agecull: ended while standard output was blocked: the record may be incomplete\n"
READER_GONE = b"agecull: cannot write to standard output: Broken pipe; no further files are deleted\n"


def others_can_run(path):
    """Whether a user with no rights of its own can reach and run `path`."""
    path = os.path.abspath(path)
    while True:
        if not os.stat(path).st_mode & stat.S_IXOTH:
            return False
        parent = os.path.dirname(path)
        if parent == path:
            return True
        path = parent


class Hardening(SweepCase):
    @UNIX_ONLY
    def test_control_bytes_in_names_are_masked_on_a_terminal_only(self):
        shown = {
            "clear\x1b[2J\x1b[Hscreen": "clear?[2J?[Hscreen",
            "new\nline": "new?line",
            "carriage\rreturn": "carriage?return",
            "bell\x07del\x7f": "bell?del?",
            "csi\u009b2J\u0085": "csi?2J?",            # C1 controls written in UTF-8
            "lone\udc9b2J": "lone?2J",                   # the byte 0x9B alone, as a terminal reads CSI
            "invoice\u202efdp.exe": "invoice?fdp.exe",    # right-to-left override
            "a\u2066b\u2069c\u202ad\u202ce": "a?b?c?d?e",  # isolates and embeddings
            "caf\u00e9 \u03a9 \u65e5\u672c": "caf\u00e9 \u03a9 \u65e5\u672c",  # letters stay
        }
        for name in shown:
            self.make(name, 10)
        piped = self.agecull("*", "5", "/L")
        for name in shown:
            self.assertIn(f"  {name}  ", piped.out)  # scripts see the real bytes
        child = self.spawn("*", "5", "/Q")
        out = self.finish(child)
        for masked in shown.values():
            self.assertIn(f"  {masked}  -deleted", out)
        for control in ("\x1b", "\u009b", "\udc9b", "\u202e", "\u2066"):
            self.assertNotIn(control, out)
        self.assertFalse(any(self.exists(name) for name in shown))  # removed under their real names
        # A message quotes a link's text: standard error is masked when it is the terminal,
        # whatever standard output is, and a file or pipe gets the real bytes.
        os.symlink("\x1b]0;owned\x07\x1b[2J", self.path("trap"))
        said = "agecull: trap -> {}/: No such file or directory"
        self.assertEqual(self.agecull("trap/*", "5", "/L").err, said.format("\x1b]0;owned\x07\x1b[2J") + "\n")
        child = pexpect.spawn("sh", ["-c", 'exec "$@" >/dev/null', "sh", *command(), "trap/*", "5", "/L"],
                              cwd=self.dir, env=base_env(), encoding="utf-8", codec_errors="surrogateescape")
        self.addCleanup(child.close, force=True)
        self.assertEqual(self.finish(child), said.format("?]0;owned??[2J") + "\r\n")

    @UNIX_ONLY
    def test_directory_swapped_at_the_prompt_does_not_redirect_removal(self):
        self.make("d/x.log", 10)
        self.make("other/x.log", 10)
        child = self.spawn("d/x.log", "5")
        child.expect_exact(PROMPT)
        os.rename(self.path("d"), self.path("d.moved"))
        os.symlink("other", self.path("d"))
        self.answer(child, "y")
        self.finish(child)
        self.assertTrue(self.exists("other/x.log"))
        self.assertFalse(self.exists("d.moved/x.log"))

    @UNIX_ONLY
    def test_links_are_judged_and_removed_as_links(self):
        self.make("elsewhere/target.log", 10)
        os.makedirs(self.path("elsewhere/dir"))
        os.symlink(self.path("elsewhere/target.log"), self.path("file-link"))
        os.symlink(self.path("elsewhere/dir"), self.path("dir-link"))
        os.symlink(self.path("elsewhere/target.log"), self.path("young-link"))
        self.age("file-link", 10)
        self.age("dir-link", 10)
        result = self.agecull("*-link", "5", "/Q")
        self.assertIn("\n  2 files were deleted\n", result.out)
        self.assertEqual(result.err, "")
        self.assertFalse(self.exists("file-link") or self.exists("dir-link"))
        self.assertTrue(self.exists("young-link"))  # its target is old, the link is not
        self.assertTrue(self.exists("elsewhere/target.log") and self.exists("elsewhere/dir"))

    @UNIX_ONLY
    def test_links_in_the_directory_part_are_followed_only_when_safe(self):
        if os.geteuid() != 0:
            self.skipTest("needs root: the cases hand directories and links to other users")
        os.chmod(self.dir, 0o755)  # an ordinary user must reach its own tree in here
        root, other, third, runner, group = 0, 4242, 4343, 4444, 4545  # no passwd entries needed
        refused = ": symbolic link not followed: "
        out_of_reach = f"{refused}its directory belongs to uid {other}, who cannot reach the directory it leads to"
        climb = "/..: '..' not followed: "
        cases = (  # who runs it, owners of the link's directory, of the link, of where it leads; a twist; refusal
            ("root through another user's link", root, other, other, root, None,
             f"{refused}its directory belongs to uid {other}, the directory it leads to belongs to uid {root}"),
            ("root's own link", root, root, root, root, None, None),
            ("a user's link to its own directory", root, other, other, other, None, None),
            ("a user through a third user's link into its own tree", runner, third, third, runner, None,
             f"{refused}its directory belongs to uid {third}, the directory it leads to belongs to uid {runner}"),
            ("another user's link in a shared sticky directory", root, root, other, root, None,
             f"{refused}it belongs to uid {other}, the directory it leads to belongs to uid {root}"),
            ("a user's own link to a directory it may write in", runner, runner, runner, root, None, None),
            # The target lies below directories of root's (CLOSED); the user can reach none of
            # it however the way is closed, and however far up.
            ("a user's link to its own directory out of its reach", root, other, other, other, "locked", out_of_reach),
            ("a user's own directory under one its group may not search", root, other, other, other, "no-group",
             out_of_reach),
            ("a user's own directory under its own, under one closed", root, other, other, other, "owned-between",
             out_of_reach),
            ("a user's own directory two open ones below a closed one", root, other, other, other, "far",
             out_of_reach),
            ("a user's own directory under one whose access list names the user", root, other, other, other,
             "acl-user", out_of_reach),
            ("a user's own directory under one whose access list names a group", root, other, other, other,
             "acl-group", out_of_reach),
            # The link leads to the user's own target/sub; the pattern climbs out of it.
            ("'..' after a user's link", root, other, other, other, "climb",
             f"{climb}a symbolic link before it was placed by uid {other}, the directory it leads to belongs to uid {root}"),
            # Root placed the link, but the user who owns its directory could replace it.
            ("'..' after root's link in a user's directory", root, other, root, other, "climb",
             f"{climb}a symbolic link before it was placed by uid {other}, the directory it leads to belongs to uid {root}"),
            # Any member of the group could rename another of root's links over this one.
            ("root's link in a directory its group may write", root, root, root, root, "shared",
             f"{refused}its directory (mode 2775) may be written by others than its owner"),
            # With "moved", cache is a real directory of the link's owner, and the pattern climbs
            # out of it: whoever could have moved it there steers the '..'.
            ("'..' after a user's directory in root's sticky one", root, root, other, None, "moved",
             f"{climb}a directory before it could have been moved by uid {other}, "
             f"the directory it leads to belongs to uid {root}"),
            ("'..' after a user's directory in its own", root, other, other, None, "moved", None),
            ("'..' after root's directory in one its group may write", root, root, root, None, "moved shared",
             f"{climb}the directory before it lies in a directory (mode 2775) that others than its owner may write"),
        )
        closed = {"locked": ("locked", 0o700), "no-group": ("locked", 0o701), "owned-between": ("locked/own", 0o700),
                  "far": ("locked/a/b", 0o700), "acl-user": ("locked", f"u:{other}:---"),
                  "acl-group": ("locked", f"g:{group}:---")}
        for index, (label, user, holder, link_owner, target_owner, twist, refusal) in enumerate(cases):
            with self.subTest(label):
                if user != root and not others_can_run(BINARY):
                    self.skipTest(f"{BINARY} cannot be run by another user from where it was built")
                twists = (twist or "").split()
                case = f"case{index}"
                between, closing = closed.get(twist, (None, None))
                target = f"{case}/holder" if "moved" in twists else f"{case}/{between or '.'}/target"
                leads_to = f"{target}/sub" if "climb" in twists else target
                self.make(f"{target}/old.log", 10)
                os.makedirs(self.path(leads_to), exist_ok=True)
                os.makedirs(self.path(f"{case}/holder/cache" if "moved" in twists else f"{case}/holder"))
                os.chmod(self.path(case), 0o755)
                link = self.path(f"{case}/holder/cache")
                if "moved" not in twists:
                    os.symlink(os.path.relpath(self.path(leads_to), self.path(f"{case}/holder")), link)  # with '..'
                    os.chown(self.path(leads_to), target_owner, -1)
                    os.chmod(self.path(leads_to), 0o777)  # only ownership may decide
                os.lchown(link, link_owner, -1)
                os.chown(self.path(f"{case}/holder"), holder, group if "shared" in twists else -1)
                os.chmod(self.path(f"{case}/holder"),
                         0o2775 if "shared" in twists else 0o1777 if holder != link_owner else 0o755)
                if twist == "owned-between":
                    os.chown(self.path(f"{case}/locked/own"), target_owner, -1)
                if isinstance(closing, int):
                    os.chmod(self.path(f"{case}/locked"), closing)
                elif closing:
                    self.deny_by_access_list(self.path(f"{case}/locked"), closing)
                pattern = f"{case}/holder/cache/{'../' if {'climb', 'moved'} & set(twists) else ''}*.log"
                result = self.agecull(pattern, "5", "/Q", user=user)
                if refusal:
                    self.assertEqual(result.out, NOT_FOUND)
                    self.assertEqual(result.err, f"agecull: {case}/holder/cache{refusal}\n")
                    self.assertTrue(self.exists(f"{target}/old.log"))
                else:
                    self.assertIn(f"  {pattern[:-len('*.log')]}old.log  -deleted\n", result.out)
                    self.assertEqual(result.err, "")
                    self.assertFalse(self.exists(f"{target}/old.log"))

    def deny_by_access_list(self, directory, entry):
        """Gives `directory` (mode 0755) an access list entry that keeps one user or group out."""
        os.chmod(directory, 0o755)
        if not shutil.which("setfacl"):
            self.skipTest("setfacl is not installed (package acl)")
        done = subprocess.run(["setfacl", "-m", entry, directory], capture_output=True, text=True)
        if done.returncode != 0:
            self.skipTest(f"no access control lists here: {done.stderr.strip()}")
        self.assertEqual(stat.S_IMODE(os.stat(directory).st_mode), 0o755)  # the mode bits still let anyone in

    @UNIX_ONLY
    def test_directories_an_ordinary_user_may_not_search_are_named(self):
        if os.geteuid() != 0 or not others_can_run(BINARY):
            self.skipTest("needs root, and a binary another user can run, to run it as an ordinary user")
        os.chmod(self.dir, 0o755)
        self.make("locked/inner/old.log", 10)
        os.chmod(self.path("locked"), 0o700)
        for pattern, named in (("locked/*.log", "locked/"), ("locked/inner/*.log", "locked/inner/")):
            with self.subTest(pattern=pattern):
                result = self.agecull(pattern, "5", "/Q", user=4444)
                self.assertEqual(result.out, NOT_FOUND)
                self.assertEqual(result.err, f"agecull: {named}: Permission denied\n")
        self.assertTrue(self.exists("locked/inner/old.log"))

    @UNIX_ONLY
    def test_far_future_times_are_the_newest_never_old(self):
        # tmpfs keeps any 64-bit time; most disk file systems refuse such times.
        kind = subprocess.run(["stat", "-f", "-c", "%T", "/dev/shm"], capture_output=True, text=True).stdout.strip()
        if kind != "tmpfs":
            self.skipTest(f"/dev/shm is {kind or 'missing'}, not tmpfs")
        directory = tempfile.mkdtemp(prefix="agecull-times-", dir="/dev/shm")
        self.addCleanup(shutil.rmtree, directory)
        for name, seconds in (("end-of-time", 2**63 - 1), ("year-36812", 2**40), ("before-1601", -2**62)):
            path = os.path.join(directory, name)
            open(path, "wb").close()
            os.utime(path, ns=(seconds * 10**9, seconds * 10**9))
        result = run(["*-*", "5", "/Q"], cwd=directory)
        self.assertIn("\n01/01/1601  12:00:00 AM  before-1601  -deleted\n\n  1 files were deleted\n", result.out)
        self.assertEqual(sorted(os.listdir(directory)), ["end-of-time", "year-36812"])

    @UNIX_ONLY
    def test_special_files_are_refused_and_never_opened(self):
        os.mkfifo(self.path("a-fifo"))
        listener = socket.socket(socket.AF_UNIX)
        self.addCleanup(listener.close)
        listener.bind(self.path("b-socket"))
        specials = ["a-fifo", "b-socket"]
        try:
            os.mknod(self.path("c-device"), 0o600 | stat.S_IFCHR, os.makedev(1, 3))
            specials.append("c-device")
        except PermissionError:
            pass  # creating device nodes needs privileges; the others still count
        for name in specials:
            self.age(name, 10)
        result = self.agecull("?-*", "5", "/Q")  # a FIFO opened for reading would hang here
        self.assertEqual(result.err, DENIED * len(specials))
        self.assertIn(f"\n  0 files were deleted\n  {len(specials)} files failed to delete\n", result.out)
        self.assertTrue(all(self.exists(name) for name in specials))

    def test_file_changed_at_the_prompt_is_kept(self):
        # What the answer finds: the report's line, and whether x.log is still there.
        found = {"append": (CHANGED, True), "replace": (CHANGED, True), "made read-only": (DENIED, True),
                 "removed": ("  Could not delete : No such file or directory\n", False)}
        for change, (said, kept) in found.items():
            with self.subTest(change=change):
                self.make("x.log", 10, content=b"old\n")
                self.make("newcomer", 10, content=b"new\n")  # same age: only identity differs
                child = self.spawn("x.log", "5")
                child.expect_exact(PROMPT)
                if change == "append":
                    with open(self.path("x.log"), "ab") as handle:
                        handle.write(b"more\n")
                elif change == "replace":
                    os.rename(self.path("newcomer"), self.path("x.log"))
                elif change == "made read-only":
                    os.chmod(self.path("x.log"), 0o444)
                else:
                    os.remove(self.path("x.log"))
                self.answer(child, "y")
                out = screen(self.finish(child))
                if WINE:
                    # Wine's console breaks lines at its 80 columns: the words, without breaks.
                    self.assertIn(said.strip("\n") + "  0 files were deleted  1 files failed to delete",
                                  out.replace("\r\n", ""))
                else:
                    self.assertIn(said.replace("\n", "\r\n"), out)
                    self.assertIn("  0 files were deleted\r\n  1 files failed to delete\r\n", out)
                self.assertEqual(self.exists("x.log"), kept)
                if kept:
                    os.chmod(self.path("x.log"), 0o644)

    @UNIX_ONLY
    def test_file_replaced_just_after_its_examination_is_kept_by_a_quiet_sweep(self):
        library = os.environ.get("AGECULL_STAT_FAULTS_LIBRARY", "")
        if not os.path.exists(library):
            self.skipTest("no AGECULL_STAT_FAULTS_LIBRARY to replace files with")
        env = base_env(LD_PRELOAD=library, AGECULL_STAT_SWAPS="x.log=newer,y.log=link")
        # With every CPU (names examined ahead of the sweep) and with one.
        for launcher in ((), ("taskset", "-c", str(min(os.sched_getaffinity(0))))):
            with self.subTest(launcher=launcher):
                times = {name: self.make(name, 10) for name in ("a.log", "x.log", "y.log")}
                self.make("newer", 1, content=b"new\n")
                os.symlink("newer.target", self.path("link"))
                self.age("link", 1)
                order = [name for name in os.listdir(self.dir) if name in times]
                result = self.agecull("*.log", "5", "/Q", env=env, launcher=launcher)
                lines = "".join(self.line(name, times[name], "-deleted" if name == "a.log" else "")
                                for name in order)
                self.assertEqual(self.body(result, "Deleting", 5),
                                 lines + "\n\n  1 files were deleted\n  2 files failed to delete\n")
                self.assertEqual(result.err, CHANGED * 2)
                with open(self.path("x.log"), "rb") as newcomer:
                    self.assertEqual(newcomer.read(), b"new\n")
                self.assertEqual(os.readlink(self.path("y.log")), "newer.target")
                self.assertFalse(self.exists("a.log"))
                os.remove(self.path("x.log"))
                os.remove(self.path("y.log"))

    def test_output_that_cannot_be_written_is_said_once_and_the_sweep_goes_on(self):
        # More lines than one output buffer holds: writes fail during the sweep and at its
        # end. One line: only the last flush, as the run ends, can fail.
        for count in (2000, 1):
            with self.subTest(old_files=count):
                for index in range(count):
                    self.make(f"f{index:04d}.log", 10)
                self.make("young.log", 1)
                with open("/dev/full", "wb") as full:
                    completed = subprocess.run([*command(), "*.log", "5", "/Q"], cwd=self.dir, env=base_env(),
                                               stdin=subprocess.DEVNULL, stdout=full, stderr=subprocess.PIPE,
                                               start_new_session=True, timeout=60)
                self.assertEqual(completed.returncode, 0)
                # Once, with the system's words for a full disk (Windows has its own).
                reason = ".+" if WINDOWS else "No space left on device"
                self.assertRegex(completed.stderr.decode().replace("\r\n", "\n"),
                                 f"^agecull: cannot write to standard output: {reason}\n$")
                self.assertEqual(os.listdir(self.dir), ["young.log"])

    @unittest.skipUnless(WINE, "Windows has no SIGPIPE: the run ends by its own status")
    def test_a_reader_gone_stops_the_removals(self):
        count = 2000  # more lines than one output buffer holds
        for leaves in ("at once", "mid-run"):
            with self.subTest(reader_leaves=leaves):
                for index in range(count):
                    self.make(f"f{index:04d}.log", 10)
                before = set(os.listdir(self.dir))
                reading, writing = os.pipe()
                if leaves == "at once":
                    os.close(reading)  # nobody will ever read what the run writes
                process = subprocess.Popen([*command(), "*.log", "5", "/Q"], cwd=self.dir, env=base_env(),
                                           stdin=subprocess.DEVNULL, stdout=writing, stderr=subprocess.PIPE,
                                           start_new_session=True)
                self.addCleanup(process.kill)
                os.close(writing)
                if leaves == "mid-run":
                    # Reads until removals are under way, then leaves.
                    while (chunk := os.read(reading, 4096)) and b"-deleted" not in chunk:
                        pass
                    os.close(reading)
                left = set(os.listdir(self.dir))
                err = process.communicate(timeout=60)[1]
                self.assertRegex(err.decode(), "^agecull: cannot write to standard output: .+\r\n$")
                self.assertEqual(process.returncode, 0xC000014B & 0xFF)  # STATUS_PIPE_BROKEN, as Wine passes it on
                after = set(os.listdir(self.dir))
                self.assertLessEqual(after, left)
                self.assertLessEqual(len(left - after), 1)  # at most the removal under way as it left
                if leaves == "at once":
                    self.assertEqual(after, before)

    @UNIX_ONLY
    def test_signals_at_the_prompt_restore_the_terminal(self):
        self.make("x.log", 10)
        for signal_number in (2, 15, 1):  # SIGINT, SIGTERM, SIGHUP
            with self.subTest(signal=signal_number):
                child = self.spawn("x.log", "5")
                child.expect_exact(PROMPT)
                child.kill(signal_number)
                child.expect(pexpect.EOF)
                child.wait()
                self.assertEqual(child.signalstatus, signal_number)
                self.assertEqual(terminal_modes(child.child_fd), (True, True))  # line mode and echo
                self.assertTrue(self.exists("x.log"))

    def stopped_at_the_prompt(self):
        """An interactive shell whose job control has stopped a run (Ctrl-Z) at its question."""
        shell = pexpect.spawn("bash", ["--norc", "--noprofile", "-i"], cwd=self.dir,
                              env=base_env(PS1="$ ", TERM="dumb"), encoding="utf-8", timeout=10)
        self.addCleanup(shell.close, force=True)
        shell.expect_exact("$ ")
        shell.sendline(f"'{BINARY}' x.log 5")
        shell.expect_exact(PROMPT)
        self.stop(shell)
        return shell

    def stop(self, shell):
        shell.send("\x1a")  # Ctrl-Z
        shell.expect("Stopped")
        shell.expect_exact("$ ")
        shell.sendline("stty -a")
        shell.expect_exact("$ ")
        self.assertRegex(shell.before, r"(?<!-)icanon")
        self.assertRegex(shell.before, r"(?<![-\w])echo\b")

    @UNIX_ONLY
    def test_ctrl_z_and_fg_leave_a_working_prompt(self):
        self.make("x.log", 10)
        shell = self.stopped_at_the_prompt()
        for round in range(2):  # and again: the handler must still be there
            if round:
                self.stop(shell)
            shell.sendline("fg")
            shell.expect_exact("x.log 5")  # the shell names the job it brings back
            # Back at the question once the run has put the terminal in key mode again.
            wait_until(lambda: terminal_modes(shell.child_fd) == (False, False), "the prompt to read keys again")
        shell.send("y")
        shell.expect_exact("Y-deleted")
        shell.expect_exact("1 files were deleted")
        self.assertFalse(self.exists("x.log"))

    @UNIX_ONLY
    def test_kill_ends_a_run_stopped_at_the_prompt(self):
        self.make("x.log", 10)
        shell = self.stopped_at_the_prompt()
        shell.sendline("echo job=$(jobs -p %1)")
        shell.expect(r"job=(\d+)")
        job = int(shell.match.group(1))
        shell.expect_exact("$ ")
        # The shell sends SIGTERM, then SIGCONT, to the stopped job, which is no longer in
        # the foreground: it must end rather than stop again over the terminal's settings.
        shell.sendline("kill %1")
        shell.expect_exact("$ ")
        said = shell.before
        last = {}

        def ended():  # dead, whether or not the shell has reaped it yet
            last["state"] = process_state(job)
            return last["state"] is None or last["state"][0] == "Z"

        wait_until(ended, "the job to end")
        if last["state"] is None:  # reaped: the shell knows how it ended, and says it once,
            shell.sendline("jobs")  # before a prompt already shown or when asked
            shell.expect_exact("$ ")
            self.assertRegex(said + shell.before, r"\[1\]\+ +Terminated")
        else:
            self.assertEqual(last["state"][1], signal.SIGTERM)  # ended by the signal itself
        self.assertTrue(self.exists("x.log"))


def small_pipe():
    """A pipe that holds 4 KiB, the least Linux allows: (read end, write end)."""
    import fcntl
    read_end, write_end = os.pipe()
    fcntl.fcntl(write_end, getattr(fcntl, "F_SETPIPE_SZ", 1031), 4096)
    return read_end, write_end


def drain_and_close(connection):
    connection.setblocking(False)
    try:
        while connection.recv(65536):
            pass
    except BlockingIOError:
        pass
    connection.close()


def unread_bytes(read_end):
    import fcntl
    import termios
    return struct.unpack("i", fcntl.ioctl(read_end, termios.FIONREAD, b"\0\0\0\0"))[0]


def process_state(pid):
    """(state letter, wait status) from /proc, or None once the process has been reaped."""
    try:
        with open(f"/proc/{pid}/stat") as stat_file:
            fields = stat_file.read().rsplit(")", 1)[1].split()
    except (FileNotFoundError, ProcessLookupError):
        return None
    return fields[0], int(fields[-1])  # the last field is the exit code, as waitpid gives it


class DeletingWhileReading(unittest.TestCase):
    """Unlinking during the walk must neither skip nor repeat entries."""

    COUNT = 50000

    @classmethod
    def setUpClass(cls):
        if WINE:
            start_wine()  # before any test holds a pipe that Wine's services could inherit

    def sweep_directory(self, parent, count=COUNT):
        if not os.path.isdir(parent):
            self.skipTest(f"{parent} is not available")
        directory = tempfile.mkdtemp(prefix="agecull-walk-", dir=parent)
        self.addCleanup(subprocess.run, ["rm", "-rf", directory])
        old = time.time() - 10 * 86400
        for index in range(count):
            path = os.path.join(directory, f"f{index:06d}.tmp")
            with open(path, "wb"):
                pass
            os.utime(path, (old, old))
        return directory

    def check_one_run(self, parent):
        directory = self.sweep_directory(parent)
        result = run(["*.tmp", "5", "/Q"], cwd=directory)
        deleted = [line for line in result.out.split("\n") if line.endswith("  -deleted")]
        self.assertEqual(len(deleted), self.COUNT)
        self.assertEqual(len(set(deleted)), self.COUNT)
        self.assertIn(f"\n  {self.COUNT} files were deleted\n", result.out)
        self.assertEqual(result.err, "")
        self.assertEqual(os.listdir(directory), [])

    def test_disk_file_system(self):
        self.check_one_run(tempfile.gettempdir())

    def test_memory_file_system(self):
        self.check_one_run("/dev/shm")

    def test_two_runs_at_once(self):
        # Under Wine two runs at once over 50,000 files took 30 s on a loaded machine, and
        # once more than 300 s: a fifth of them still gives the two thousands of removals
        # to race over.
        count = self.COUNT // 5 if WINE else self.COUNT
        directory = self.sweep_directory(tempfile.gettempdir(), count)
        runs = [subprocess.Popen([*command(), "*.tmp", "5", "/Q"], cwd=directory, env=base_env(),
                                 stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                 start_new_session=True) for _ in range(2)]
        outputs = [process.communicate(timeout=300) for process in runs]
        self.assertEqual([process.returncode for process in runs], [0, 0])
        deleted = sum(out.count(b"-deleted") for out, _ in outputs)
        self.assertEqual(deleted, count)  # each file went exactly once
        self.assertEqual(os.listdir(directory), [])

    @UNIX_ONLY
    def test_a_signal_ends_the_run_with_every_deletion_recorded(self):
        directory = self.sweep_directory(tempfile.gettempdir(), 60000)
        present = set(os.listdir(directory))
        entry_line = re.compile(r"\d\d/\d\d/\d{4}  \d\d:\d\d:\d\d [AP]M  (f\d{6}\.tmp)  -deleted")
        for signal_number, ignored, read in ((signal.SIGTERM, False, True), (signal.SIGINT, False, True),
                                             (signal.SIGHUP, False, True), (signal.SIGTERM, False, False),
                                             (signal.SIGTERM, False, "stderr blocked"), (signal.SIGHUP, True, True)):
            with self.subTest(signal=signal_number.name, ignored=ignored, read=read):
                # nohup: a hang-up its caller ignores must not end the run either.
                command = ["nohup"] * ignored + [BINARY, "*.tmp", "5", "/Q"]
                if read == "stderr blocked":
                    # Each read-only file's refusal is a line on standard error, which
                    # nobody reads: full after some of them, every later write blocks.
                    refused = sorted(present)[::3]
                    for name in refused:
                        os.chmod(os.path.join(directory, name), 0o444)
                    read_end, write_end = small_pipe()
                    process = subprocess.Popen(command, cwd=directory, env=base_env(), stdin=subprocess.DEVNULL,
                                               stdout=subprocess.DEVNULL, stderr=write_end, start_new_session=True)
                    self.addCleanup(process.kill)
                    os.close(write_end)
                    wait_until(lambda: unread_bytes(read_end) > 4096 - len(DENIED), "standard error to fill",
                               timeout=60)
                    process.send_signal(signal_number)
                    process.wait(timeout=60)
                    os.close(read_end)
                    self.assertEqual(process.returncode, -signal_number)
                    for name in refused:
                        os.chmod(os.path.join(directory, name), 0o644)
                    present = set(os.listdir(directory))
                    continue
                # A reader that never reads gets a pipe of 4 KiB, full after the first write.
                read_end, write_end = small_pipe() if not read else (None, subprocess.PIPE)
                process = subprocess.Popen(command, cwd=directory, env=base_env(),
                                           stdin=subprocess.DEVNULL, stdout=write_end,
                                           stderr=subprocess.PIPE, start_new_session=True)
                self.addCleanup(process.kill)
                if not read:
                    os.close(write_end)
                    # Full, and nobody reads: from here on every write of the run blocks.
                    wait_until(lambda: unread_bytes(read_end) == 4096, "the pipe to fill", timeout=60)
                    process.send_signal(signal_number)
                    # The run gives up the rest of its record and ends by itself, in about
                    # a second.
                    process.wait(timeout=60)
                    out = os.read(read_end, 4096)
                    os.close(read_end)
                    err = process.communicate()[1]
                    self.assertEqual(process.returncode, -signal_number)
                    self.assertEqual(err, ABANDONED)
                    lines = out.decode().split("\n")[:-1]  # the last may be cut short
                    recorded = {entry_line.fullmatch(line).group(1) for line in lines if line[:1].isdigit()}
                    left = set(os.listdir(directory))
                    self.assertTrue(recorded and left)
                    self.assertLessEqual(recorded, present - left)
                    present = left
                    continue
                # Lines reach the pipe once the first buffer of them is written, part-way
                # through; unread, the pipe then holds the run there, whatever its speed.
                self.assertEqual(select.select([process.stdout], [], [], 60)[0], [process.stdout])
                process.send_signal(signal_number)
                out, err = process.communicate(timeout=60)
                self.assertEqual(err, b"")
                if ignored:
                    self.assertEqual(process.returncode, 0)
                    self.assertIn(f"\n  {len(present)} files were deleted\n", out.decode())
                    self.assertEqual(os.listdir(directory), [])
                    continue
                self.assertEqual(process.returncode, -signal_number)  # and the caller sees it
                lines = out.decode().split("\n")
                entries = [line for line in lines if line[:1].isdigit()]
                recorded = set()
                for line in entries:
                    whole = entry_line.fullmatch(line)
                    self.assertIsNotNone(whole, f"cut short: {line!r}")
                    recorded.add(whole.group(1))
                left = set(os.listdir(directory))
                self.assertEqual(recorded, present - left)  # every file gone has its line
                self.assertTrue(recorded and left)
                present = left

    @UNIX_ONLY
    def test_a_reader_that_goes_away_ends_the_run_before_its_next_removal(self):
        directory = self.sweep_directory(tempfile.gettempdir(), 8000)
        for kind, leaves, ignored in (("pipe", "at once", False), ("pipe", "at once", True),
                                      ("pipe", "mid-run", False), ("pipe", "mid-run", True),
                                      ("socket pair", "at once", False), ("socket pair", "mid-run", False),
                                      ("TCP, FIN only", "mid-run", False)):
            with self.subTest(kind=kind, reader_leaves=leaves, sigpipe_ignored=ignored):
                if kind == "pipe":
                    read_end, write_end = small_pipe()
                    reader, leave = os.fdopen(read_end, "rb", buffering=0), None
                elif kind == "socket pair":
                    reader, writer = socket.socketpair()
                    write_end, leave = writer.detach(), None
                else:
                    # A peer that closes with nothing unread sends FIN alone, as one that
                    # only finished sending does: a write to it is still taken.
                    with socket.create_server(("127.0.0.1", 0)) as listener:
                        writer = socket.create_connection(listener.getsockname())
                        reader = listener.accept()[0]
                    write_end, leave = writer.detach(), (lambda: drain_and_close(reader))
                self.addCleanup(reader.close)
                leave = leave or reader.close
                before = set(os.listdir(directory))
                if leaves == "at once":
                    leave()  # as `| head -1` that has had its line
                # A caller that ignores SIGPIPE passes that on to the run.
                launcher = ["sh", "-c", 'trap "" PIPE && exec "$@"', "sh"] if ignored else []
                process = subprocess.Popen([*launcher, BINARY, "*.tmp", "5", "/Q"], cwd=directory, env=base_env(),
                                           stdin=subprocess.DEVNULL, stdout=write_end, stderr=subprocess.PIPE,
                                           start_new_session=True)
                self.addCleanup(process.kill)
                os.close(write_end)
                if leaves == "mid-run":
                    self.assertEqual(select.select([reader], [], [], 60)[0], [reader])  # removals are under way
                    leave()
                left = set(os.listdir(directory))
                err = process.communicate(timeout=60)[1]
                self.assertEqual(err, READER_GONE)
                self.assertEqual(process.returncode, 0 if ignored else -signal.SIGPIPE)
                after = set(os.listdir(directory))
                self.assertLessEqual(after, left)
                self.assertLessEqual(len(left - after), 1)  # at most the removal under way as it left
                if leaves == "at once":
                    self.assertEqual(after, before)
                reader.close()

    @unittest.skipUnless(WINE, "Wine turns SIGINT into the console's Ctrl-C event")
    def test_ctrl_c_ends_a_windows_run_with_every_deletion_recorded(self):
        count = 5000
        directory = self.sweep_directory(tempfile.gettempdir(), count)
        with tempfile.TemporaryFile() as out:
            process = subprocess.Popen([*command(), "*.tmp", "5", "/Q"], cwd=directory, env=base_env(),
                                       stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.PIPE,
                                       start_new_session=True)
            self.addCleanup(process.kill)
            wait_until(lambda: len(os.listdir(directory)) < count, "the first removal", timeout=60)
            process.send_signal(signal.SIGINT)
            self.assertEqual(process.communicate(timeout=60)[1], b"")
            out.seek(0)
            lines = text(out.read(), "stdout").split("\n")
        entry_line = re.compile(r"\d\d/\d\d/\d{4}  \d\d:\d\d:\d\d [AP]M  (f\d{6}\.tmp)  -deleted")
        recorded = {entry_line.fullmatch(line).group(1) for line in lines if line[:1].isdigit()}
        left = set(os.listdir(directory))
        self.assertEqual(len(recorded) + len(left), count)  # every file gone has its whole line
        self.assertTrue(recorded.isdisjoint(left) and recorded and left)
        self.assertEqual(process.returncode, 0xC000013A & 0xFF)  # STATUS_CONTROL_C_EXIT, as Wine passes it on


if __name__ == "__main__":
    unittest.main()
