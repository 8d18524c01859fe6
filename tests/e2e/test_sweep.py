"""Whole sweeps over real directories: listing, quiet deletion, failures and paths."""

import calendar
import os
import re
import unittest

from harness import (ACCESS_DENIED, LEGACY_BINARY, LIST_SUMMARY, OPENING, WINDOWS, SweepCase, absolute, base_env,
                     locale_installed, native)

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
        # reason on standard error as well, naming the component concerned. Windows names
        # the directory part as typed, in the system's own words.
        self.make("sub/file.txt", 1)
        cases = (("*.none", "", ""), (native("missing/*.log"), "agecull: missing/: No such file or directory", "missing/"),
                 ("missing.log", "", ""), (native("sub/"), "agecull: sub/: no file name after the last '/'", "sub/"),
                 (native("sub/file.txt/*"), "agecull: sub/file.txt/: Not a directory", "sub/file.txt/"),
                 (native("sub/gone/deeper/*"), "agecull: sub/gone/: No such file or directory", "sub/gone/deeper/"))
        if WINDOWS:
            cases += (("bad|name.log", "", "bad|name.log"),)  # a character no Windows name may hold
        for pattern, reason, named in cases:
            with self.subTest(pattern=pattern):
                result = self.agecull(pattern, "5", "/Q")
                self.assertEqual(result.out, OPENING + "File not found\n")
                if not named:
                    self.assertEqual(result.err, "")
                elif WINDOWS:
                    self.assertRegex(result.err, "^agecull: " + re.escape(native(named)) + ": [^\n]+\n$")
                else:
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
        # Past 260 characters in all (on Windows the full path is longer still).
        result = self.agecull(native(f"{deep}/n*"), "5", "/Q")
        rest = self.body(result, "Deleting", 5)
        self.assertTrue(self.exists(cut))
        self.assertEqual(result.err, "")
        self.assertEqual(rest, self.line(native(full), old, "-deleted") + "\n\n  1 files were deleted\n")
        self.assertFalse(self.exists(full))


@unittest.skipIf(WINDOWS, "the POSIX search's worker threads")
class DirectoryOrder(SweepCase):
    """However many threads examine a large directory, the record keeps the directory's order,
    and an entry that vanished or cannot be examined keeps its place in it."""

    COUNT = 20000

    def setUp(self):
        super().setUp()
        cpus = sorted(os.sched_getaffinity(0))
        if len(cpus) < 2:
            self.skipTest("one CPU: no worker threads to compare with")
        # The worker count follows the CPUs the process may use: one CPU, no workers.
        self.one_cpu = ("taskset", "-c", str(cpus[0]))
        self.mtimes = {}
        for index in range(self.COUNT):
            name = f"f{index:06d}." + ("txt" if index % 7 == 0 else "log")
            self.mtimes[name] = self.make(name, 0 if index % 3 == 0 else 30)
        self.order = os.listdir(self.dir)  # readdir's order, which the command must keep
        self.matching = [name for name in self.order if name.endswith(".log")]

    def expected(self, left_out=()):
        listed = []
        for name in self.order:
            if name in self.matching and name not in left_out and self.mtimes[name] < self.now - 10 * 86400:
                listed.append(self.line(name, self.mtimes[name]))
        return "".join(listed) + f"\n\n  {len(listed)}" + LIST_SUMMARY

    def listing(self, launcher, faults):
        env = base_env()
        if faults:
            library = os.environ.get("AGECULL_STAT_FAULTS_LIBRARY", "")
            if not os.path.exists(library):
                self.skipTest("no AGECULL_STAT_FAULTS_LIBRARY to plant failures with")
            env = base_env(LD_PRELOAD=library, AGECULL_STAT_FAULTS=faults)
        result = self.agecull("*.log", "10", "/L", env=env, launcher=launcher)
        return self.body(result, "List of", 10), result.err

    def test_one_cpu_and_several_give_the_same_record(self):
        # The first match, one far on, and two either side of the first batch's end (256
        # names), whatever their age.
        first, early, last_of_batch, first_of_next, late, far = (
            self.matching[i] for i in (0, 300, 255, 256, 9000, 15000))
        cases = (
            ("", (), ""),
            # Vanished (ENOENT): passed over, the first match included.
            (f"{first}=2,{early}=2,{late}=2", (first, early, late), ""),
            # Any other failure is named in its place, and the walk goes on.
            (f"{first}=5,{early}=2,{last_of_batch}=116,{first_of_next}=5,{far}=5", (first, early, last_of_batch,
                                                                                    first_of_next, far),
             "".join(f"  Could not examine {name}: {reason}\n" for name, reason in (
                 (first, "Input/output error"), (last_of_batch, "Stale file handle"),
                 (first_of_next, "Input/output error"), (far, "Input/output error")))),
        )
        for faults, left_out, error in cases:
            expected = self.expected(left_out)
            for launcher in ((), self.one_cpu):
                with self.subTest(faults=faults, launcher=launcher):
                    rest, reported = self.listing(launcher, faults)
                    self.assertEqual(rest, expected)
                    self.assertEqual(reported, error)


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
            ("*.", ["noext"]),             # names without an extension
            ("NOEXT.", ["noext"]),
            ("b.*", ["b.log"]),
        ]
        for pattern, names in cases:
            with self.subTest(pattern=pattern):
                self.assertEqual(self.listed(self.agecull(pattern, "5", "/L")), names)

    def deleted(self, result):
        """The names a run deleted (names without spaces; the date's shape is the locale's)."""
        return sorted(re.findall(r"  ([^ \n]+)  -deleted$", result.out, re.MULTILINE))

    def test_short_names_never_widen_a_pattern(self):
        # Wine gives every file an 8.3 name, as many NTFS volumes do: "A~1.LOG" for "a.logx".
        decoys = ("a.logx", "data.log1", "verylongname.loggy")
        for name in decoys:
            self.make(name, 10)
        result = self.agecull("*.log", "5", "/Q")
        self.assertEqual(result.out, OPENING + "File not found\n")
        x = self.make("x.log", 10)
        rest = self.body(self.agecull("*.log", "5", "/Q"), "Deleting", 5)
        self.assertEqual(rest, self.line("x.log", x, "-deleted") + "\n\n  1 files were deleted\n")
        self.assertTrue(all(self.exists(name) for name in decoys))

    def sweep_old_beside_new(self, pairs, locale):
        """Makes each (old, new) pair of names, then sweeps them with /Q under `locale`."""
        if not locale_installed(locale):
            self.skipTest(f"locale {locale} is not installed (tools/bootstrap makes it)")
        for old, new in pairs:
            self.make(old, 10)
            self.make(new, 1)
        return self.agecull("*.log", "5", "/Q", env=base_env(LC_ALL=locale))

    def test_look_alike_names_are_never_taken_for_each_other(self):
        # Each old name beside a new one that a code page's "best fit" would turn it into.
        pairs = (("\u03a9mega.log", "Omega.log"), ("r\u00e9sum\u00e9.log", "resume.log"), ("\u65e5\u672c.log", "ab.log"))
        for locale in ("en_US.UTF-8", "ja_JP.UTF-8"):
            with self.subTest(locale=locale):
                result = self.sweep_old_beside_new(pairs, locale)
                self.assertEqual(result.err, "")
                self.assertEqual(self.deleted(result), sorted(old for old, _ in pairs))
                self.assertEqual(sorted(os.listdir(self.dir)), sorted(new for _, new in pairs))

    def test_a_name_that_reaches_another_file_never_removes_it(self):
        # Under Wine each old Unix name is listed under a Windows name that, opened again,
        # reaches the new file beside it.
        pairs = (("\u00e92.log", "C)2.log"), (os.fsdecode(b"\xe9.log"), "i.log"),
                 (os.fsdecode(b"z\xff.log"), os.fsdecode(b"z\x7f.log")), ("back\\slash.log", "back/slash.log"))
        for locale in ("C", "C.UTF-8"):
            with self.subTest(locale=locale):
                result = self.sweep_old_beside_new(pairs, locale)
                self.assertEqual(result.status, 0)
                self.assertTrue(all(self.exists(new) for _, new in pairs), result.out)
                kept = [old for old, _ in pairs if self.exists(old)]
                # An old file its name cannot reach is kept, and said so.
                changed = "  Could not delete : Changed since it was listed, so it was kept\n"
                self.assertEqual(result.err, changed * len(kept))
                for old in kept:
                    os.remove(self.path(old))

    def test_a_typed_non_ascii_pattern_is_taken_as_typed(self):
        self.make("\u65e5\u672c.log", 10)
        self.make("ab.log", 10)
        result = self.agecull("\u65e5\u672c.log", "5", "/Q", env=base_env(LC_ALL="en_US.UTF-8"))
        self.assertEqual(self.deleted(result), ["\u65e5\u672c.log"])
        self.assertTrue(self.exists("ab.log"))

    @unittest.skipUnless(LEGACY_BINARY and os.path.exists(LEGACY_BINARY), "no build without the manifest")
    def test_without_the_manifest_what_the_code_page_cannot_hold_is_left_alone(self):
        # Windows before 10 1903: the ANSI code page is the locale's own.
        names = ("\u03a9mega.log", "r\u00e9sum\u00e9.log", "\u65e5\u672c.log")
        cases = (("en_US.UTF-8", "cp1252", ["r\u00e9sum\u00e9.log"]),
                 ("ja_JP.UTF-8", "cp932", ["\u03a9mega.log", "\u65e5\u672c.log"]))
        for locale, encoding, held in cases:
            with self.subTest(locale=locale):
                if not locale_installed(locale):
                    self.skipTest(f"locale {locale} is not installed (tools/bootstrap makes it)")
                for name in names:
                    self.make(name, 10)
                self.make("ab.log", 10)
                self.make("Omega.log", 1)
                self.make("resume.log", 1)
                env = base_env(LC_ALL=locale)
                typed = self.agecull("\u65e5\u672c.log", "5", "/Q", env=env, binary=LEGACY_BINARY, encoding=encoding)
                if "\u65e5\u672c.log" in held:
                    self.assertEqual(self.deleted(typed), ["\u65e5\u672c.log"])
                    self.make("\u65e5\u672c.log", 10)
                else:
                    # "??.log" would have matched "ab.log": nothing is searched at all.
                    self.assertEqual(typed.out, OPENING + "File not found\n")
                    self.assertIn("cannot be held in code page 1252", typed.err)
                self.assertTrue(self.exists("ab.log"))
                result = self.agecull("*.log", "5", "/Q", env=env, binary=LEGACY_BINARY, encoding=encoding)
                self.assertEqual(self.deleted(result), sorted(["ab.log"] + held))
                self.assertEqual(result.err.count(": its name cannot be written in code page"), 3 - len(held))
                left = [name for name in names if name not in held]
                self.assertEqual(sorted(os.listdir(self.dir)), sorted(left + ["Omega.log", "resume.log"]))
                for name in left:
                    os.remove(self.path(name))

    def test_times_east_of_utc_in_the_afternoon(self):
        # 06:04:05 UTC is 15:04:05 in Tokyo (UTC+9, no daylight saving): a flipped offset
        # or a 24-hour picture shows otherwise.
        moment = calendar.timegm((2025, 3, 7, 6, 4, 5))
        self.make("f", 0)
        os.utime(self.path("f"), (moment, moment))
        cases = [({"TZ": "Asia/Tokyo"}, "03/07/2025  03:04:05 PM")]
        if locale_installed("ja_JP.UTF-8"):
            cases.append(({"TZ": "Asia/Tokyo", "LC_ALL": "ja_JP.UTF-8"}, "2025/03/   7  03:04:05 \u5348\u5f8c"))
        for overrides, expected in cases:
            with self.subTest(**overrides):
                result = self.agecull("f", "1", "/L", env=base_env(**overrides))
                self.assertIn(f"\n{expected}  f  \n", result.out)


if __name__ == "__main__":
    unittest.main()
