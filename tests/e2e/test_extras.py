"""The files installed beside the commands: the bash, zsh and fish completions."""

import os
import shutil
import subprocess
import unittest

from harness import WINDOWS, SweepCase, base_env

DIST = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir, "dist")
COMPLETION = os.path.join(DIST, "bash-completion", "agecull")
ZSH_COMPLETIONS = os.path.join(DIST, "zsh")
FISH_COMPLETIONS = [os.path.join(DIST, "fish", name + ".fish") for name in ("agecull", "agecull-strict")]

# What Tab makes of each line typed, the same in bash and zsh. The directory holds one
# entry, so any file name offered for the day count or after the option would change the
# line.
TABLE = [
    # The pattern: names in single quotes; a directory stays open for a wildcard.
    ("agecull l", "agecull 'logs/"),
    ("agecull logs/", "agecull 'logs/"),
    ("agecull logs/n", "agecull 'logs/notes.txt' "),
    ("agecull logs/o", "agecull 'logs/old it'\\''s/"),
    ("agecull 'logs/a", "agecull 'logs/app.log' "),
    ('agecull "logs/o', "agecull \"logs/old it's/"),
    ("agecull ~/l", "agecull '{home}/logs/"),
    ("agecull-strict logs/a", "agecull-strict 'logs/app.log' "),
    # The day count: nothing.
    ("agecull '*.log' ", "agecull '*.log' "),
    ("agecull '*.log' 3", "agecull '*.log' 3"),
    # agecull's third place: /Q and /L, which share only the slash; nothing more after them.
    ("agecull '*.log' 30 ", "agecull '*.log' 30 /"),
    ("agecull '*.log' 30 /l", "agecull '*.log' 30 /L "),
    ("agecull '*.log' 30 /s", "agecull '*.log' 30 /s"),
    ("agecull '*.log' 30 /Q ", "agecull '*.log' 30 /Q "),
    # agecull-strict's switches, in any place after the day count, each once; /KEEP: and
    # /MAX: wait for their number. /KEEP:3 is one word, though bash splits it at the colon.
    ("agecull-strict '*.log' 30 /s", "agecull-strict '*.log' 30 /S "),
    ("agecull-strict '*.log' 30 /S /k", "agecull-strict '*.log' 30 /S /KEEP:"),
    ("agecull-strict '*.log' 30 /S /KEEP:", "agecull-strict '*.log' 30 /S /KEEP:"),
    ("agecull-strict '*.log' 30 /Q /keep:3 /S /m", "agecull-strict '*.log' 30 /Q /keep:3 /S /MAX:"),
    ("agecull-strict '*.log' 30 /Q /keep:3 /k", "agecull-strict '*.log' 30 /Q /keep:3 /k"),
    ("agecull-strict '*.log' 30 /s /S", "agecull-strict '*.log' 30 /s /S"),
    ("agecull-strict '*.log' 30 /Q /l", "agecull-strict '*.log' 30 /Q /l"),
    ("agecull-strict '*.log' 30 /S /M", "agecull-strict '*.log' 30 /S /MAX:"),
]


class CompletionCase(SweepCase):
    def check_table(self, shell, table):
        for name in ("logs/app.log", "logs/db.log", "logs/notes.txt"):
            self.make(name, 1)
        os.makedirs(self.path("logs/old it's"))
        for typed, expected in table:
            with self.subTest(typed=typed):
                # Tab completes; Ctrl-T prints the line between markers; Ctrl-U clears it.
                shell.send(typed + "\t\x14")
                shell.expect("<<(.*?)>>")
                shell.send("\x15")
                self.assertEqual(shell.match.group(1), expected.format(home=self.dir))

    def spawn(self, program, args, setup):
        import pexpect
        env = base_env(HOME=self.dir, PS1="$ ", TERM="dumb", INPUTRC="/dev/null")
        shell = pexpect.spawn(program, args, cwd=self.dir, env=env, encoding="utf-8", timeout=30)
        self.addCleanup(shell.close, force=True)
        shell.sendline(setup + " && echo READ''Y")
        shell.expect("READY")
        return shell


@unittest.skipIf(WINDOWS or not shutil.which("bash"), "bash completion")
class BashCompletion(CompletionCase):
    def test_candidates_for_each_place(self):
        shell = self.spawn("bash", ["--norc", "--noprofile", "-i"],
                           f"source '{COMPLETION}' && bind -x '\"\\C-t\": printf \"<<%s>>\\n\" \"$READLINE_LINE\"'")
        # A wildcard typed after the directory is left as it is.
        self.check_table(shell, TABLE + [("agecull logs/*", "agecull logs/*")])


@unittest.skipIf(WINDOWS or not shutil.which("zsh"), "zsh completion")
class ZshCompletion(CompletionCase):
    def test_candidates_for_each_place(self):
        # (zsh's own Tab expands a wildcard typed unquoted before any completion is asked.)
        shell = self.spawn("zsh", ["-f", "-i"],
                           f"fpath=('{ZSH_COMPLETIONS}' $fpath) && autoload -U compinit && compinit -u -D"
                           " && show() {{ print -r -- \"<<$BUFFER>>\" }} && zle -N show && bindkey '^T' show")
        self.check_table(shell, TABLE)


@unittest.skipIf(WINDOWS or not shutil.which("fish"), "fish completion")
class FishCompletion(CompletionCase):
    def test_candidates_for_each_place(self):
        # fish quotes what it inserts itself: the candidates are what is checked here.
        os.makedirs(self.path("logs"))
        self.make("logs/app.log", 1)
        table = [
            ("agecull l", "logs/\n"),
            ("agecull-strict 'logs/a", "logs/app.log\n"),
            ("agecull '*.log' 3", ""),
            ("agecull-strict '*.log' 30 /l", "/L\tlist only, delete nothing\n"),
            ("agecull '*.log' 30 /s", ""),
            ("agecull '*.log' 30 /Q /", ""),
            ("agecull-strict '*.log' 30 /q /keep:3 /", "/MAX:\tdelete nothing past n deletions\n"
                                                       "/S\tsweep every subdirectory too\n"),
            ("agecull-strict '*.log' 30 /S /MAX:5 /L /", "/KEEP:\tkeep the n newest of each directory\n"),
        ]
        for typed, expected in table:
            with self.subTest(typed=typed):
                script = "".join(f"source '{name}'; " for name in FISH_COMPLETIONS) + "complete -C $argv[1]"
                completed = subprocess.run(["fish", "--no-config", "-c", script, typed], cwd=self.dir,
                                           env=base_env(HOME=self.dir), capture_output=True, text=True, timeout=60)
                self.assertEqual((completed.stdout, completed.stderr), (expected, ""))


if __name__ == "__main__":
    unittest.main()
