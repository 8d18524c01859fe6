"""Time display on the real platform: time zones and locales."""

import calendar
import datetime
import os
import unittest
import zoneinfo

from harness import SweepCase, base_env, installed_locales


def seconds(year, month, day, hour=0, minute=0, second=0):
    return calendar.timegm((year, month, day, hour, minute, second))


class Display(SweepCase):
    def listed_times(self, env):
        """The time shown for each entry of one listing, by entry name."""
        result = self.agecull("*", "1", "/L", env=env)
        self.assertEqual(result.status, 0)
        entries = [l[:-2].rsplit("  ", 1) for l in result.out.split("\n") if l.endswith("  ") and "/" in l]
        return {name: shown for shown, name in entries}

    def listed_time(self, env, name="f"):
        result = self.agecull(name, "1", "/L", env=env)
        self.assertEqual(result.status, 0)
        line = [l for l in result.out.split("\n") if l.endswith(f"  {name}  ")]
        self.assertEqual(len(line), 1, result.out)
        return line[0][: -len(f"  {name}  ")]

    def set_mtime(self, name, when):
        self.make(name, 0)
        os.utime(self.path(name), (when, when))

    def test_every_time_is_shifted_by_the_offset_in_force_now(self):
        zone = "America/New_York"
        offset = datetime.datetime.now(zoneinfo.ZoneInfo(zone)).utcoffset()
        for name, moment in (("summer", seconds(2025, 7, 1, 16, 30)), ("winter", seconds(2025, 1, 15, 16, 30))):
            with self.subTest(name=name):
                self.set_mtime(name, moment)
                shown = datetime.datetime(1970, 1, 1) + datetime.timedelta(seconds=moment) + offset
                hour = shown.hour % 12 or 12
                expected = f"{shown:%m/%d/%Y}  {hour:02d}:{shown:%M:%S} {'AM' if shown.hour < 12 else 'PM'}"
                self.assertEqual(self.listed_time(base_env(TZ=zone), name), expected)

    def test_locale_short_date_gives_the_order_of_the_numbers(self):
        # One listing of two days that share the day of the month, one in the afternoon and
        # one in the noon hour, which is PM too.
        self.set_mtime("f", seconds(2025, 3, 7, 15, 4, 5))
        self.set_mtime("g", seconds(2025, 4, 7, 12, 30, 0))
        cases = [
            ({"LC_ALL": "C"}, "03/07/2025  03:04:05 PM", "04/07/2025  12:30:00 PM"),
            ({"LC_ALL": "C.UTF-8"}, "03/07/2025  03:04:05 PM", "04/07/2025  12:30:00 PM"),
            ({"LC_ALL": "POSIX"}, "03/07/2025  03:04:05 PM", "04/07/2025  12:30:00 PM"),
            ({"LC_ALL": "", "LC_TIME": "en_GB.UTF-8"}, "07/03/  25  03:04:05 pm", "07/04/  25  12:30:00 pm"),
            ({"LC_ALL": "", "LANG": "en_GB.UTF-8"}, "07/03/  25  03:04:05 pm", "07/04/  25  12:30:00 pm"),
            ({"LC_ALL": "", "LC_TIME": "C", "LANG": "en_GB.UTF-8"}, "03/07/2025  03:04:05 PM", "04/07/2025  12:30:00 PM"),
            # LC_ALL outranks LC_TIME.
            ({"LC_ALL": "C", "LC_TIME": "en_GB.UTF-8"}, "03/07/2025  03:04:05 PM", "04/07/2025  12:30:00 PM"),
            # Dots, and no designators of its own.
            ({"LC_ALL": "de_DE.UTF-8"}, "07/03/2025  03:04:05 PM", "07/04/2025  12:30:00 PM"),
            ({"LC_ALL": "ja_JP.UTF-8"}, "2025/03/   7  03:04:05 \u5348\u5f8c", "2025/04/   7  12:30:00 \u5348\u5f8c"),
            ({"LC_ALL": "en_US.UTF-8"}, "03/07/2025  03:04:05 PM", "04/07/2025  12:30:00 PM"),
            ({"LC_ALL": "en_CA.UTF-8"}, "2025/03/   7  03:04:05 PM", "2025/04/   7  12:30:00 PM"),
            # Month names ("%d. %b %Y", "%d %b, %Y"), and Persian digits with a two-digit
            # year first ("%Oy/%Om/%Od"): the numbers come from the date, the order from the locale.
            ({"LC_ALL": "nb_NO.UTF-8"}, "07/03/2025  03:04:05 PM", "07/04/2025  12:30:00 PM"),
            ({"LC_ALL": "ar_EG.UTF-8"}, "07/03/2025  03:04:05 \u0645", "07/04/2025  12:30:00 \u0645"),
            ({"LC_ALL": "fa_IR.UTF-8"}, "25/03/   7  03:04:05 PM", "25/04/   7  12:30:00 PM"),
            # The Buddhist era's year ("%Ey") is shown as the whole calendar year.
            ({"LC_ALL": "th_TH.UTF-8"}, "07/03/2025  03:04:05 PM", "07/04/2025  12:30:00 PM"),
            # Not installed: C.
            ({"LC_ALL": "xx_NOWHERE.UTF-8"}, "03/07/2025  03:04:05 PM", "04/07/2025  12:30:00 PM"),
        ]
        available = installed_locales()
        for overrides, expected_f, expected_g in cases:
            with self.subTest(locale=overrides):
                wanted = next((v for v in overrides.values() if "_" in v and "NOWHERE" not in v), None)
                if wanted and wanted.lower().replace("utf-8", "utf8") not in available:
                    self.skipTest(f"locale {wanted} is not installed (tools/bootstrap makes it)")
                env = base_env(**overrides)
                if env.get("LC_ALL") == "":
                    del env["LC_ALL"]
                self.assertEqual(self.listed_times(env), {"f": expected_f, "g": expected_g})

if __name__ == "__main__":
    unittest.main()
