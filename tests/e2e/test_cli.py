"""The front end: every check, its exact bytes on standard output, and status 0."""

import os
import unittest

from harness import OPENING, USAGE, SweepCase

INVALID_COUNT = "Invalid number of paramaters\n\n" + USAGE
DAYS_VALUE = "Number of days must be > 0\n"
DAYS_FORM = "days must consist of the digits 0 - 9 only\n"
OPTION = "Optional 3rd paramater can only be /Q or /L\n"


class FrontEnd(SweepCase):
    def test_checks_in_order_with_exact_messages(self):
        cases = [
            ([], INVALID_COUNT),
            (["?"], USAGE),
            (["/?"], USAGE),
            (["-?"], INVALID_COUNT),
            (["/h"], INVALID_COUNT),
            (["foo"], INVALID_COUNT),
            (["a", "b", "c", "d"], INVALID_COUNT),
            (["*", "5", "/Q", "/L"], INVALID_COUNT),
            (["x" * 261, "abc"], "Path too long\n"),
            (["x" * 260, "abc"], DAYS_VALUE),
            (["*", "abc"], DAYS_VALUE),
            (["*", "0"], DAYS_VALUE),
            (["*", "-3"], DAYS_VALUE),
            (["*", ""], DAYS_VALUE),
            (["*", "-99999999999999999999"], DAYS_VALUE),
            (["*", "/Q", "5"], DAYS_VALUE),
            (["*", "5x"], DAYS_FORM),
            (["*", "+5"], DAYS_FORM),
            (["*", " 5"], DAYS_FORM),
            (["*", "5", "/X"], OPTION),
            (["*", "5", "-Q"], OPTION),
            (["*", "5", "/QL"], OPTION),
            (["*", "5", "Q"], OPTION),
            (["*", "5", ""], OPTION),
        ]
        for args, expected in cases:
            with self.subTest(args=args):
                result = self.agecull(*args)
                self.assertEqual(result.out, OPENING + expected)
                self.assertEqual(result.err, "")
                self.assertEqual(result.status, 0)

    def test_valid_requests_reach_the_sweep(self):
        # An empty directory: each of these passes every check and finds nothing.
        # '?' with a day count is a pattern: it matches the new directory's own '.'.
        self.assertEqual(self.body(self.agecull("?", "1"), "Deleting", 1), "\n\n  0 files were deleted\n")
        for args in (["*.dat", "007"], ["*.dat", "5", "/q"], ["*.dat", "5", "/l"],
                     ["x" * 260, "1"]):
            with self.subTest(args=args):
                result = self.agecull(*args)
                self.assertEqual(result.out, OPENING + "File not found\n")
                self.assertEqual(result.status, 0)

    def test_huge_day_counts_never_wrap_to_small_ones(self):
        self.make("old.dat", 400)
        self.make("older.dat", 200000)  # older than any count that stayed on the time scale
        for days in ("2147483647", "2147483648", "4294967297", "4294967298", "99999999999999999999"):
            with self.subTest(days=days):
                result = self.agecull("*.dat", days, "/Q")
                self.assertIn("\n\n\n  0 files were deleted\n", result.out)
                self.assertTrue(self.exists("old.dat") and self.exists("older.dat"))

    def test_nothing_is_touched_before_the_checks_pass(self):
        self.make("a.dat", 30)
        for args in (["*.dat", "0", "/Q"], ["*.dat", "5", "/X"], ["*.dat", "1", "/Q", "x"]):
            self.agecull(*args)
        self.assertTrue(self.exists("a.dat"))


if __name__ == "__main__":
    unittest.main()
