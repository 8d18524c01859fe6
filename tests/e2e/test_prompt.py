"""The y/n prompt through a pseudo-terminal: answers, ignored keys, Esc, lost terminals."""

import subprocess
import unittest

import pexpect

from harness import BINARY, SweepCase, base_env, terminal_modes, wait_until

PROMPT = "delete y/n ? "


class Prompt(SweepCase):
    def test_answers_keys_and_summary(self):
        a = self.make("a.log", 10)
        b = self.make("b.log", 10)
        self.make("c.log", 1)
        child = self.spawn("?.log", "5")
        child.expect_exact(PROMPT)
        first = "a.log" if "a.log" in child.before else "b.log"
        child.send("x \ry")  # ignored keys print nothing
        child.expect_exact("Y-deleted\r\n")
        self.assertEqual(child.before, "")
        child.expect_exact(PROMPT)
        child.send("n")
        rest = self.finish(child)
        self.assertEqual(rest, "N\r\n\r\n  1 files were deleted\r\n  1 files were skipped\r\n")
        second = "b.log" if first == "a.log" else "a.log"
        self.assertFalse(self.exists(first))
        self.assertTrue(self.exists(second))
        self.assertTrue(self.exists("c.log"))

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

    def test_cursor_keys_are_not_esc(self):
        self.make("a.log", 10)
        child = self.spawn("a.log", "5")
        child.expect_exact(PROMPT)
        for sequence in ("\x1b[A", "\x1bOP", "\x1b[15~"):  # up arrow, F1, F5
            child.send(sequence)
        child.send("n")  # still answered by N: none of them was taken for Esc
        self.assertEqual(self.finish(child), "N\r\n\r\n  0 files were deleted\r\n  1 files were skipped\r\n")
        self.assertTrue(self.exists("a.log"))

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
        completed = subprocess.run([BINARY, "a.log", "5"], cwd=self.dir, env=base_env(), input=b"yyyy\n",
                                   capture_output=True, start_new_session=True, timeout=30)
        out = completed.stdout.decode()
        self.assertEqual(completed.returncode, 0)
        self.assertTrue(out.endswith("  a.log  delete y/n ? \nNo terminal to answer the prompt - Program aborted\n"), out)
        self.assertEqual(completed.stderr.decode(), "No terminal to answer the prompt - Program aborted\n")
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
