"""The y/n prompt through a pseudo-terminal: answers, ignored keys, Esc, lost terminals."""

import subprocess
import time
import unittest

import pexpect

from harness import (SPAWN_TIMEOUT, WINE, Result, SweepCase, base_env, command, screen, shape, terminal_modes, text,
                     utc, wait_until)

# Wine's console draws the question's trailing space as a cursor movement.
PROMPT = "delete y/n ?" if WINE else "delete y/n ? "
NO_LONE_ESC = "Wine's console swallows a lone Esc on a pseudo-terminal"


class Prompt(SweepCase):
    def test_answers_keys_and_summary(self):
        self.make("a.log", 10)
        self.make("\u03a9.log", 10)  # Ω: the name on the line must be its own
        self.make("c.log", 1)
        child = self.spawn("?.log", "5", env=base_env(LC_ALL="en_US.UTF-8"))
        child.expect_exact(PROMPT)
        first = "a.log" if "  a.log  " in screen(child.before) else "\u03a9.log"
        self.assertIn(f"  {first}  ", screen(child.before))
        # Ignored keys print nothing. Wine's console takes a burst that holds Enter as a line
        # of input, so Enter is left out there.
        child.send("x " if WINE else "x \r")
        self.answer(child, "y")
        child.expect_exact("-deleted")
        self.assertEqual(screen(child.before), "")
        child.expect_exact(PROMPT)
        second = "\u03a9.log" if first == "a.log" else "a.log"
        self.assertIn(f"  {second}  ", screen(child.before))
        self.answer(child, "n")
        rest = screen(self.finish(child))
        self.assertEqual(rest, "\r\n\r\n  1 files were deleted\r\n  1 files were skipped\r\n")
        self.assertFalse(self.exists(first))
        self.assertTrue(self.exists(second))
        self.assertTrue(self.exists("c.log"))

    def test_question_shows_on_the_terminal_when_output_goes_to_a_file(self):
        times = {name: self.make(name, 10) for name in ("a.log", "b.log")}
        started = time.time()
        child = pexpect.spawn("sh", ["-c", 'exec "$@" >record.txt', "sh", *command(), "?.log", "5"], cwd=self.dir,
                              env=base_env(), encoding="utf-8", codec_errors="surrogateescape", timeout=SPAWN_TIMEOUT)
        self.addCleanup(child.close, force=True)
        order = []
        for key in ("y", "n"):
            child.expect_exact(PROMPT)
            shown = screen(child.before).lstrip("\r\n")
            order.append("a.log" if "  a.log  " in shown else "b.log")
            if not WINE:  # the entry's line, without the line break that ends the one before
                self.assertEqual(shown, f"{shape(utc(times[order[-1]]))}  {order[-1]}  ")
            self.answer(child, key)
        self.assertEqual(screen(self.finish(child)), "\r\n")  # the answer's line ended
        self.assertEqual(set(order), set(times))
        self.assertFalse(self.exists(order[0]))
        self.assertTrue(self.exists(order[1]))
        with open(self.path("record.txt"), "rb") as record:
            out = text(record.read(), "record.txt")
        lines = self.line(order[0], times[order[0]], "delete y/n ? Y-deleted") + \
            self.line(order[1], times[order[1]], "delete y/n ? N")
        self.assertEqual(self.body(Result(out, "", 0, started, time.time()), "Deleting", 5),
                         lines + "\n\n  1 files were deleted\n  1 files were skipped\n")

    @unittest.skipIf(WINE, NO_LONE_ESC)
    def test_esc_after_one_deletion_aborts_without_summary(self):
        for name in ("a.log", "b.log", "c.log"):
            self.make(name, 10)
        child = self.spawn("*.log", "5")
        child.expect_exact(PROMPT)
        child.send("Y")
        child.expect_exact(PROMPT)
        child.send("\x1b")
        rest = self.finish(child)
        self.assertEqual(rest, "\r\nESC - Program aborted\r\n")
        self.assertEqual(sum(self.exists(n) for n in ("a.log", "b.log", "c.log")), 2)

    @unittest.skipIf(WINE, "Wine's console turns a terminal's escape sequences into keys by its own timing")
    def test_cursor_keys_are_not_esc(self):
        self.make("a.log", 10)
        child = self.spawn("a.log", "5")
        child.expect_exact(PROMPT)
        for sequence in ("\x1b[A", "\x1bOP", "\x1b[15~"):  # up arrow, F1, F5
            child.send(sequence)
        self.answer(child, "n")  # still answered by N: none of them was taken for Esc
        self.assertEqual(screen(self.finish(child)),
                         "\r\n\r\n  0 files were deleted\r\n  1 files were skipped\r\n")
        self.assertTrue(self.exists("a.log"))

    @unittest.skipIf(WINE, NO_LONE_ESC)
    def test_terminal_settings_restored_after_esc(self):
        self.make("a.log", 10)
        child = self.spawn("a.log", "5")
        child.expect_exact(PROMPT)
        # The question shows only once keys are read one at a time, unechoed.
        self.assertEqual(terminal_modes(child.child_fd), (False, False))
        child.send("\x1b")
        child.expect_exact("ESC - Program aborted")
        child.expect(pexpect.EOF)
        self.assertEqual(terminal_modes(child.child_fd), (True, True))  # line mode and echo again

    def test_standard_input_never_answers(self):
        self.make("a.log", 10)
        # No controlling terminal: the prompt cannot be answered, whatever arrives on stdin.
        completed = subprocess.run([*command(), "a.log", "5"], cwd=self.dir, env=base_env(), input=b"yyyy\n",
                                   capture_output=True, start_new_session=True, timeout=60)
        out = completed.stdout.decode().replace("\r\n", "\n")
        self.assertEqual(completed.returncode, 0)
        self.assertTrue(out.endswith("  a.log  delete y/n ? \nNo terminal to answer the prompt - Program aborted\n"), out)
        self.assertEqual(completed.stderr.decode().replace("\r\n", "\n"),
                         "No terminal to answer the prompt - Program aborted\n")
        self.assertTrue(self.exists("a.log"))

    def test_terminal_closing_ends_the_run(self):
        self.make("a.log", 10)
        self.make("b.log", 10)
        child = self.spawn("*.log", "5")
        child.expect_exact(PROMPT)
        child.close(force=False)  # hang up the terminal
        wait_until(lambda: not child.isalive(), "the run to end")
        self.assertTrue(self.exists("a.log") and self.exists("b.log"))


if __name__ == "__main__":
    unittest.main()
