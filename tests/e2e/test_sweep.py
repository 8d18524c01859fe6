"""Whole sweeps over real directories: listing, quiet deletion, failures and paths."""

import os
import re
import unittest

from harness import ACCESS_DENIED, LIST_SUMMARY, OPENING, WINDOWS, SweepCase, absolute, native

REFUSED = f"  Could not delete : {ACCESS_DENIED}\n"


class Sweeps(SweepCase):
    def test_list_mode_lists_older_entries_and_removes_nothing(self):
        old = self.make("old.log", 10)
        self.make("new.log", 1)
        self.make("other.txt", 10)
        rest = self.body(self.agecull("*.log", "5", "/L"), "List of", 5)
        self.assertEqual(rest, self.line("old.log", old) + "\n\n  1" + LIST_SUMMARY)
        self.assertTrue(self.exists("old.log"))

    def test_quiet_mode_removes_only_older_entries(self):
        old = self.make("old.log", 10)
        self.make("new.log", 1)
        result = self.agecull("*.log", "5", "/Q")
        self.assertEqual(self.body(result, "Deleting", 5),
                         self.line("old.log", old, "-deleted") + "\n\n  1 files were deleted\n")
        self.assertEqual(result.err, "")
        self.assertFalse(self.exists("old.log"))
        self.assertTrue(self.exists("new.log"))

    def test_no_selected_entry_gives_two_empty_lines(self):
        self.make("new.log", 1)
        for option, summary in (("/Q", " files were deleted\n"), ("/L", LIST_SUMMARY)):
            with self.subTest(option=option):
                rest = self.body(self.agecull("*.log", "5", option), "List of" if option == "/L" else "Deleting", 5)
                self.assertEqual(rest, "\n\n  0" + summary)

    def test_directory_prefix_is_kept_as_typed(self):
        old = self.make("logs/a.txt", 10)
        rest = self.body(self.agecull(native("logs/*.txt"), "5", "/Q"), "Deleting", 5)
        self.assertEqual(rest, self.line(native("logs/a.txt"), old, "-deleted") + "\n\n  1 files were deleted\n")
        other = self.make("logs/b.txt", 10)
        typed = absolute(self.path("logs")) + native("/*.txt")
        rest = self.body(self.agecull(typed, "5", "/L", cwd="/"), "List of", 5)
        self.assertEqual(rest, self.line(absolute(self.path("logs/b.txt")), other) + "\n\n  1" + LIST_SUMMARY)

    def test_single_named_file_without_wildcards(self):
        old = self.make("one.log", 10)
        self.make("two.log", 10)
        rest = self.body(self.agecull("one.log", "5", "/Q"), "Deleting", 5)
        self.assertEqual(rest, self.line("one.log", old, "-deleted") + "\n\n  1 files were deleted\n")
        self.assertTrue(self.exists("two.log"))

    def test_dot_entries_are_listed_and_fail_to_delete(self):
        os.makedirs(self.path("d"))
        os.utime(self.path("d"), (self.now - 10 * 86400,) * 2)
        os.utime(self.dir, (self.now - 10 * 86400,) * 2)
        listed = self.agecull("*", "5", "/L", cwd=self.path("d"))
        self.assertIn("  .  \n", listed.out + "\n")
        self.assertIn("  ..  ", listed.out)
        self.assertIn("\n\n  2" + LIST_SUMMARY, listed.out)
        quiet = self.agecull("*", "5", "/Q", cwd=self.path("d"), merge_streams=True)
        self.assertEqual(quiet.out.count(REFUSED), 2)
        self.assertIn("\n  0 files were deleted\n  2 files failed to delete\n", quiet.out)

    def test_refused_entries_are_reported_and_the_sweep_goes_on(self):
        self.make("a-readonly.log", 10, mode=0o444)
        os.makedirs(self.path("b-dir.log"))
        os.utime(self.path("b-dir.log"), (self.now - 10 * 86400,) * 2)
        self.make("c-plain.log", 10)
        result = self.agecull("*.log", "5", "/Q")
        self.assertEqual(result.err, REFUSED * 2)
        self.assertIn("\n  1 files were deleted\n  2 files failed to delete\n", result.out)
        self.assertTrue(self.exists("a-readonly.log") and self.exists("b-dir.log"))
        self.assertFalse(self.exists("c-plain.log"))

    def test_error_report_follows_its_entry_line_when_streams_are_merged(self):
        report = REFUSED
        self.make("a.log", 10, mode=0o444)
        alone = self.agecull("a.log", "5", "/Q", merge_streams=True).out
        self.assertTrue(alone.endswith("  a.log  " + report + "\n\n  0 files were deleted\n  1 files failed to delete\n"),
                        alone)
        self.make("b.log", 10)
        both = self.agecull("?.log", "5", "/Q", merge_streams=True).out
        self.assertIn("  a.log  " + report, both)
        self.assertIn("  b.log  -deleted", both)

    def test_interactive_run_without_a_terminal_stops_at_the_first_question(self):
        old = self.make("a.log", 10)
        result = self.agecull("*.log", "5")
        self.assertEqual(self.body(result, "Deleting", 5),
                         self.line("a.log", old, "delete y/n ? ") + "\nNo terminal to answer the prompt - Program aborted\n")
        self.assertEqual(result.err, "No terminal to answer the prompt - Program aborted\n")  # where cron keeps it
        self.assertTrue(self.exists("a.log"))

    def test_file_not_found(self):
        # Nothing matched: standard output alone. A directory that cannot be searched: the
        # reason on standard error as well, naming the component concerned.
        self.make("sub/file.txt", 1)
        cases = (("*.none", ""), (native("missing/*.log"), "agecull: missing/: No such file or directory"),
                 ("missing.log", ""), (native("sub/"), "agecull: sub/: no file name after the last '/'"),
                 (native("sub/file.txt/*"), "agecull: sub/file.txt/: Not a directory"),
                 (native("sub/gone/deeper/*"), "agecull: sub/gone/: No such file or directory"))
        for pattern, reason in cases:
            with self.subTest(pattern=pattern):
                result = self.agecull(pattern, "5", "/Q")
                self.assertEqual(result.out, OPENING + "File not found\n")
                if not reason:
                    self.assertEqual(result.err, "")
                elif not WINDOWS:
                    self.assertEqual(result.err, reason + "\n")

    def test_long_entry_path_is_never_cut_into_another_name(self):
        deep = "/".join(["d" * 50] * 4)  # 203 bytes of directories
        name = "n" * 96                  # 300 bytes in all with the slash
        os.makedirs(self.path(deep))
        old = self.make(f"{deep}/{name}", 10)
        full = f"{deep}/{name}"
        self.assertEqual(len(full), 300)
        cut = full[:259]
        self.make(cut, 0)  # young, and named like the long path cut short
        result = self.agecull(native(f"{deep}/n*"), "5", "/Q")
        rest = self.body(result, "Deleting", 5)
        self.assertTrue(self.exists(cut))
        if WINDOWS:
            # Past MAX_PATH the ANSI calls may refuse the path (with a text that varies
            # between C runtimes), but never act on a shorter one.
            self.assertIn(self.line(native(full), old), rest)
            self.assertTrue(rest.endswith("\n  1 files were deleted\n") or
                            rest.endswith("\n  0 files were deleted\n  1 files failed to delete\n"), rest)
            return
        self.assertEqual(rest, self.line(full, old, "-deleted") + "\n\n  1 files were deleted\n")
        self.assertFalse(self.exists(full))


@unittest.skipUnless(WINDOWS, "Windows path forms and wildcard rules")
class WindowsSweeps(SweepCase):
    def listed(self, result):
        """The entry paths of a list-mode run, sorted: the search order is the file system's."""
        rest = self.body(result, "List of", 5)
        return sorted(re.findall(r"^\d\d/\d\d/\d{4}  \d\d:\d\d:\d\d [AP]M  (.*)  $", rest, re.MULTILINE))

    def test_every_path_form_keeps_its_prefix_as_typed(self):
        self.make("logs/a.txt", 10)
        logs = absolute(self.path("logs"))
        drive, rooted = logs[:2], logs[2:]
        self.assertEqual(drive[1], ":")
        cases = [
            ("logs\\*.txt", None, "logs\\a.txt"),
            ("logs/*.txt", None, "logs/a.txt"),
            (".\\logs\\*.txt", None, ".\\logs\\a.txt"),
            (rooted + "\\*.txt", "/", rooted + "\\a.txt"),
            (logs + "\\*.txt", "/", logs + "\\a.txt"),
            (logs + "/*.txt", "/", logs + "/a.txt"),
            (drive + "*.txt", self.path("logs"), drive + "a.txt"),
        ]
        for pattern, cwd, shown in cases:
            with self.subTest(pattern=pattern):
                self.assertEqual(self.listed(self.agecull(pattern, "5", "/L", cwd=cwd or self.dir)), [shown])

    def test_quiet_sweep_through_a_drive_qualified_pattern(self):
        old = self.make("logs/a.txt", 10)
        self.make("logs/b.txt", 1)
        typed = absolute(self.path("logs")) + "\\*.TXT"
        result = self.agecull(typed, "5", "/Q", cwd="/")
        self.assertEqual(self.body(result, "Deleting", 5),
                         self.line(absolute(self.path("logs/a.txt")), old, "-deleted") + "\n\n  1 files were deleted\n")
        self.assertFalse(self.exists("logs/a.txt"))
        self.assertTrue(self.exists("logs/b.txt"))

    def test_wildcards_ignore_case_and_star_dot_star_matches_every_name(self):
        for name in ("A.LOG", "b.log", "c.Log.txt", "noext"):
            self.make(name, 10)
        cases = [
            ("*.log", ["A.LOG", "b.log"]),
            ("?.LOG", ["A.LOG", "b.log"]),
            ("*.*", ["A.LOG", "b.log", "c.Log.txt", "noext"]),
            ("NOEXT", ["noext"]),
            ("*log*", ["A.LOG", "b.log", "c.Log.txt"]),
        ]
        for pattern, names in cases:
            with self.subTest(pattern=pattern):
                self.assertEqual(self.listed(self.agecull(pattern, "5", "/L")), names)


if __name__ == "__main__":
    unittest.main()
