"""Runs the built agecull over real temporary directories and checks its exact output.

AGECULL_BINARY names the binary, AGECULL_STRICT_BINARY agecull-strict. With AGECULL_PLATFORM=windows it is a Windows build
(agecull.exe), run through Wine unless the tests themselves run on Windows. The cases then
expect the Windows text-mode line break (CRLF, checked on every line and then read as "\n"),
'\\' in the paths they type and see, and Windows' own wildcard rules.
"""

import datetime
import os
import re
import shutil
import stat
import subprocess
import tempfile
import time
import unittest

BINARY = os.environ.get("AGECULL_BINARY", "build/agecull")
VERSION = os.environ.get("AGECULL_VERSION", "")
DAY = 86400

WINDOWS = os.environ.get("AGECULL_PLATFORM", "posix") == "windows"
WINE = WINDOWS and os.name != "nt"
COMMAND = ["wine", BINARY] if WINE else [BINARY]
# agecull-strict, the same engine for scripts, built beside it.
STRICT_BINARY = os.environ.get("AGECULL_STRICT_BINARY") or os.path.join(
    os.path.dirname(BINARY), "agecull-strict.exe" if WINDOWS else "agecull-strict")
# The Windows build also makes the same program without its UTF-8 manifest, as Windows
# before 10 1903 runs it, in the ANSI code page of the user's locale.
LEGACY_BINARY = os.path.join(os.path.dirname(BINARY), "agecull_legacy_codepage.exe") if WINDOWS else None
# The separator a user types in patterns, and sees in the entry paths built from them.
SEP = "\\" if WINDOWS else "/"
# The C runtime's text for EACCES: glibc's strerror and the Microsoft C runtime's agree.
ACCESS_DENIED = "Permission denied"
BARE_LINE_FEED = re.compile(rb"(?<!\r)\n")

OPENING = (
    f"agecull {VERSION} - removes files older than a given number of days\n"
    "* Deleted files are NOT moved to recycle bin. Use this program with caution. *\n\n"
)
USAGE = (
    "Usage: agecull fname days [/Q] [/L]\n"
    "  fname - file name which can include wildcards * and ?.\n"
    "  days  - is the number of days.\n"
    "  /Q    - Run quietly and do not prompt to delete each file.\n"
    "  /L    - List the older files only. Do not delete them.\n"
    "\n"
    "Example: agecull *.dat 5\n"
    "  This command will delete all files ending in .dat in the current\n"
    "  directory/folder older than 5 days.\n"
)
LIST_SUMMARY = " files would have been deleted without the [/L] option\n"
HEADER = re.compile(
    r"^  (List of|Deleting) files last modified before - "
    r"(\d\d)/(\d\d)/(\d{4})  (\d\d):(\d\d):(\d\d) (AM|PM)\n"
)


def base_env(**overrides):
    env = {k: v for k, v in os.environ.items() if not k.startswith("LC_") and k not in ("LANG", "TZ")}
    env.update({"TZ": "UTC", "LC_ALL": "C"})
    if WINE:
        # Wine takes its time zone from TZ and its user locale from LC_ALL; a throwaway
        # prefix beside the binary keeps the runs away from any real Wine setup.
        env.setdefault("WINEPREFIX", os.path.join(os.path.dirname(os.path.abspath(BINARY)), "wineprefix"))
        env["WINEDEBUG"] = "-all"
    env.update(overrides)
    if "LD_PRELOAD" in overrides:
        # A sanitizer build would insist on coming first in the list of libraries.
        env["ASAN_OPTIONS"] = ":".join(filter(None, (env.get("ASAN_OPTIONS"), "verify_asan_link_order=0")))
    return env


def start_wine():
    """Starts the Wine server and its services, with no pipe of ours, before the first test.

    The first Wine program to run starts them, and they inherit its standard streams: a
    test's output pipe would then stay open until they quit, seconds after each run. Kept
    alive between runs (a minute after the last), they are started once, here.
    """
    global wine_started
    if wine_started:
        return
    wine_started = True
    quiet = {"stdin": subprocess.DEVNULL, "stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
    # Fails harmlessly when a server for this prefix is already running.
    subprocess.run(["wineserver", "-p60"], env=base_env(), timeout=60, **quiet)
    subprocess.run([*COMMAND, "?"], env=base_env(), check=True, timeout=300, **quiet)


wine_started = False


def installed_locales():
    """The locales this machine has, named like "ja_jp.utf8"."""
    listing = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.split()
    return {name.lower().replace("utf-8", "utf8") for name in listing}


def locale_installed(name):
    return name.lower().replace("utf-8", "utf8") in installed_locales()


def native(path):
    """A relative path written with '/' as the user would type it on this platform."""
    return path.replace("/", SEP)


def absolute(path):
    """An absolute Unix path as this platform names it (under Wine, Z: is the Unix root)."""
    if WINE:
        return "Z:" + path.replace("/", "\\")
    return path


def text(raw, stream, encoding="utf-8"):
    """Decodes one stream; on Windows every line break must be CRLF, and is read as "\n"."""
    if WINDOWS:
        bare = BARE_LINE_FEED.search(raw)
        if bare:
            raise AssertionError(f"{stream}: line feed without carriage return at byte {bare.start()}: {raw!r}")
        raw = raw.replace(b"\r\n", b"\n")
    return raw.decode(encoding, "surrogateescape")


class Result:
    def __init__(self, out, err, status, started, ended):
        self.out, self.err, self.status = out, err, status
        # The clock just before and just after the run, in seconds since 1970.
        self.started, self.ended = started, ended


def command(binary=None):
    """The command line that runs `binary` (by default the one under test) here."""
    if binary is None:
        return COMMAND
    return ["wine", binary] if WINE else [binary]


def run(args, cwd=None, env=None, merge_streams=False, user=None, binary=None, encoding="utf-8", launcher=()):
    """Runs the binary without a controlling terminal and returns its output as text.

    With `user` (a numeric uid; needs root) it runs as that user. `binary` runs another
    build than the one under test; `encoding` is the one its output is read in. `launcher`
    goes before the command, e.g. ("taskset", "-c", "0") to give it one CPU."""
    started = time.time()
    completed = subprocess.run(
        [*launcher, *command(binary), *args],
        cwd=cwd,
        env=env or base_env(),
        stdin=subprocess.DEVNULL,
        stdout=subprocess.PIPE,
        stderr=subprocess.STDOUT if merge_streams else subprocess.PIPE,
        start_new_session=True,
        timeout=60,
        user=user,
    )
    err = "" if merge_streams else text(completed.stderr, "stderr", encoding)
    return Result(text(completed.stdout, "stdout", encoding), err, completed.returncode, started, time.time())


# Wine draws its console on a pseudo-terminal with cursor and erase sequences (a trailing
# space becomes "erase, cursor right") and ends lines with CR CR LF.
CONSOLE_SEQUENCE = re.compile(r"\x1b\[[0-9;?]*[A-Za-z]")


# How long a spawned run may take to show what a test waits for. Wine's console is slow to
# take keys and draw under load (seen: over ten seconds with both cores busy).
SPAWN_TIMEOUT = 60 if WINE else 10


def screen(output):
    """What a pseudo-terminal shows as plain text, whichever console drew it."""
    return CONSOLE_SEQUENCE.sub("", output).replace("\r\r\n", "\r\n")


def wait_until(condition, what, timeout=10):
    """Waits for a state the test can see (a file gone, the terminal's mode), never a set time."""
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError(f"still waiting, after {timeout} s, for {what}")
        time.sleep(0.005)


def terminal_modes(fd):
    """Whether the terminal behind `fd` is in line mode and echoes: (ICANON on, ECHO on)."""
    import termios
    flags = termios.tcgetattr(fd)[3]
    return bool(flags & termios.ICANON), bool(flags & termios.ECHO)


def shape(moment):
    """A naive datetime in the command's fixed shape, for the C locale."""
    hour = moment.hour % 12 or 12
    half = "AM" if moment.hour < 12 else "PM"
    return (f"{moment.month:02d}/{moment.day:02d}/{moment.year:4d}  "
            f"{hour:02d}:{moment.minute:02d}:{moment.second:02d} {half}")


def utc(seconds):
    return datetime.datetime(1970, 1, 1) + datetime.timedelta(seconds=seconds)


class SweepCase(unittest.TestCase):
    """A test with its own temporary directory, removed afterwards."""

    @classmethod
    def setUpClass(cls):
        if WINE:
            start_wine()

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="agecull-e2e-")
        self.now = int(time.time())

    def tearDown(self):
        for root, dirs, _ in os.walk(self.dir):
            for name in dirs:
                path = os.path.join(root, name)
                if not os.path.islink(path):
                    os.chmod(path, 0o755)
        os.chmod(self.dir, 0o755)
        shutil.rmtree(self.dir)

    def path(self, name):
        return os.path.join(self.dir, name)

    def make(self, name, age_days, mode=0o644, content=b""):
        """Creates a file last written `age_days` days ago, to the whole second."""
        path = self.path(name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as handle:
            handle.write(content)
        os.chmod(path, mode)
        self.age(name, age_days)
        return self.now - int(age_days * DAY)

    def age(self, name, age_days):
        mtime = self.now - int(age_days * DAY)
        os.utime(self.path(name), ns=(mtime * 10**9, mtime * 10**9), follow_symlinks=False)
        return mtime

    def exists(self, name):
        return os.path.lexists(self.path(name))

    def agecull(self, *args, **kwargs):
        kwargs.setdefault("cwd", self.dir)
        return run(list(args), **kwargs)

    def spawn(self, *args, env=None):
        """Runs the binary on a pseudo-terminal of its own, closed when the test ends."""
        import pexpect
        child = pexpect.spawn(COMMAND[0], [*COMMAND[1:], *args], cwd=self.dir, env=env or base_env(),
                              encoding="utf-8", codec_errors="surrogateescape",
                              timeout=SPAWN_TIMEOUT)
        self.addCleanup(child.close, force=True)
        return child

    def answer(self, child, key):
        """Presses `key` at the question on screen and waits for its echo."""
        child.send(key)
        child.expect_exact(key.upper())

    def finish(self, child):
        """Waits for the end of a spawned run, which must exit with 0; returns its last output."""
        import pexpect
        child.expect(pexpect.EOF)
        child.close()
        self.assertEqual(child.exitstatus, 0)
        return child.before

    def body(self, result, mode, days):
        """Checks the opening lines and header (its cutoff against the clock); returns the rest."""
        self.assertEqual(result.status, 0, result.out + result.err)
        self.assertTrue(result.out.startswith(OPENING), result.out)
        rest = result.out[len(OPENING):]
        header = HEADER.match(rest)
        self.assertIsNotNone(header, rest)
        self.assertEqual(header.group(1), mode)
        month, day, year, hour, minute, second = (int(header.group(i)) for i in range(2, 8))
        hour = hour % 12 + (12 if header.group(8) == "PM" else 0)
        shown = datetime.datetime(year, month, day, hour, minute, second)
        # The cutoff is the run's own now minus the days, shown to the whole second.
        earliest = utc(int(result.started) - days * DAY)
        latest = utc(int(result.ended) - days * DAY)
        self.assertTrue(earliest <= shown <= latest, f"{shown} not in {earliest}..{latest}\n{rest}")
        return rest[header.end():]

    def line(self, name, mtime, tail=""):
        return f"\n{shape(utc(mtime))}  {name}  {tail}"
