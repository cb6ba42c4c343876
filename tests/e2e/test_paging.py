"""Paging through a real terminal: tmux panes of two sizes, keys sent with
send-keys, the screen read back with capture-pane."""
import os
import re
import shlex
import shutil
import subprocess
import time
import unittest

import harness

PROMPT = "(Continue,/All/Quit)"
RESULT = re.compile(r"^F(\d{3})\.TXT")
EXIT = re.compile(r"EXIT=\S+ TTY=\S+")


class Terminal:
    def __init__(self, case, width, height, command):
        self.name = "tavisk-%d-%d" % (os.getpid(), id(self))
        self.case = case
        env = case.bin.env()
        exports = " ".join("%s=%s" % (k, shlex.quote(v)) for k, v in env.items()
                           if k in ("WINEPREFIX", "WINEDEBUG", "LC_ALL", "WINEDLLOVERRIDES"))
        # The shell reports the exit code and whether the terminal's mode came back.
        # The shell survives a Ctrl-C; a trap, unlike an ignored signal, is not
        # inherited by the command.
        # Wine's console host puts the terminal back a moment after the
        # Windows process has ended.
        settle = "sleep 0.5; " if case.bin.wine else ""
        script = (("trap : INT; cd %s; export %s; s1=$(stty -g); %s; rc=$?; " + settle + "s2=$(stty -g); "
                   "[ \"$s1\" = \"$s2\" ] && t=same || t=changed; echo EXIT=$rc TTY=$t; sleep 600")
                  % (shlex.quote(case.dir), exports, command))
        subprocess.run(["tmux", "new-session", "-d", "-s", self.name, "-x", str(width),
                        "-y", str(height), "sh", "-c", script], check=True)

    def screen(self):
        p = subprocess.run(["tmux", "capture-pane", "-p", "-t", self.name],
                           stdout=subprocess.PIPE, check=True)
        return p.stdout.decode("utf-8", "replace").splitlines()

    def wait_for(self, predicate, what, timeout=30):
        end = time.time() + timeout
        while time.time() < end:
            lines = self.screen()
            if predicate(lines):
                return lines
            time.sleep(0.1)
        self.case.fail("timed out waiting for %s; screen:\n%s" % (what, "\n".join(self.screen())))

    def prompt_after(self, number):
        """Waits for the prompt and checks that result `number` stands right above it."""
        def ready(lines):
            return any(l.startswith(PROMPT) for l in lines)
        lines = self.wait_for(ready, "the prompt after %d" % number)
        at = next(i for i, l in enumerate(lines) if l.startswith(PROMPT))
        above = [RESULT.match(l) for l in lines[:at]]
        numbers = [int(m.group(1)) for m in above if m]
        self.case.assertEqual(numbers[-1], number, "\n".join(lines))
        return lines

    def wait_for_result(self, number):
        self.wait_for(lambda ls: any(RESULT.match(l) and int(RESULT.match(l).group(1)) == number
                                     for l in ls), "result %d" % number)

    def key(self, key):
        subprocess.run(["tmux", "send-keys", "-t", self.name, key], check=True)

    def exit_line(self):
        # An interrupted run leaves its prompt, so the line may begin with it.
        found = lambda ls: [m.group(0) for m in map(EXIT.search, ls) if m]
        return found(self.wait_for(found, "the end"))[0]

    def close(self):
        subprocess.run(["tmux", "kill-session", "-t", self.name], stderr=subprocess.DEVNULL)


@unittest.skipUnless(shutil.which("tmux"), "tmux is not installed")
class Paging(harness.Case):
    def setUp(self):
        super().setUp()
        for i in range(1, 121):
            self.touch("F%03d.TXT" % i)
        self.terminals = []

    def tearDown(self):
        for t in self.terminals:
            t.close()
        super().tearDown()

    def terminal(self, width, height, args, prefix=()):
        command = " ".join(shlex.quote(os.fsdecode(a)) for a in list(prefix) + self.bin.command(args))
        t = Terminal(self, width, height, command)
        self.terminals.append(t)
        return t

    def test_prompts_come_after_each_screenful_and_all_ends_them(self):
        for width, height in ((80, 25), (100, 30)):
            t = self.terminal(width, height, ["F*.TXT", "/p", "/test"])
            page = height - 2  # one line is charged before the first result
            t.prompt_after(page)
            t.key("c")
            t.wait_for_result(page + 1)
            t.prompt_after(page + height - 1)
            t.key("Enter")
            t.wait_for_result(page + height)  # the old prompt is gone
            t.prompt_after(page + 2 * (height - 1))
            t.key("a")
            self.assertEqual(t.exit_line(), "EXIT=0 TTY=same")
            self.assertFalse(any(l.startswith(PROMPT) for l in t.screen()))

    def test_keys_typed_while_output_runs_are_not_echoed(self):
        if self.bin.wine:
            self.skipTest("the Windows console does not echo keys read one by one")
        t = self.terminal(80, 25, ["F*.TXT", "/p", "/test"])
        t.prompt_after(23)
        t.key("c")
        t.key("x")  # typed ahead, while the next screenful is written
        t.wait_for_result(47)
        lines = t.wait_for(lambda ls: any(l.startswith(PROMPT) for l in ls), "the next prompt")
        for line in lines:
            if PROMPT in line:
                self.assertTrue(line.startswith(PROMPT), "\n".join(lines))
            self.assertNotIn("x", line.replace("txt", "").replace("TXT", "").replace("EXIT", ""), "\n".join(lines))
        t.key("a")
        self.assertEqual(t.exit_line(), "EXIT=0 TTY=same")

    def test_quit_keys_end_with_one_and_leave_the_terminal_usable(self):
        for key in ("q", "Q", "Escape"):
            t = self.terminal(80, 25, ["F*.TXT", "/p", "/test"])
            t.prompt_after(23)
            t.key(key)
            self.assertEqual(t.exit_line(), "EXIT=1 TTY=same", key)

    def test_interrupt_at_a_prompt_ends_the_run_and_restores_the_terminal(self):
        t = self.terminal(80, 25, ["F*.TXT", "/p"])
        t.prompt_after(23)
        t.key("C-c")
        # Killed by the signal natively (the shell's 130); the console handler
        # ends tavisk.exe with 1.
        self.assertEqual(t.exit_line(), "EXIT=%d TTY=same" % (1 if self.bin.wine else 130))
        # The 23 shown are renamed, no other, and nothing is left under a
        # temporary name (tavisk.exe renames through one on this disk).
        self.assertEqual(self.names(), sorted([b"f%03d.txt" % i for i in range(1, 24)] +
                                              [b"F%03d.TXT" % i for i in range(24, 121)]))

    def test_directory_removed_after_expansion_is_a_missing_name(self):
        self.mkdir("sub")
        self.touch(b"sub/G1.TXT")
        t = self.terminal(80, 25, ["F*.TXT", self.bin.typed("sub\\G*.TXT"), "/p"])
        t.prompt_after(23)
        shutil.rmtree(self.path("sub"))
        t.key("a")
        self.assertEqual(t.exit_line(), "EXIT=1 TTY=same")
        self.assertTrue(any(l.startswith(self.bin.typed("sub\\G1.TXT:")) for l in t.screen()), t.screen())
        self.assertEqual(self.names(), [b"f%03d.txt" % i for i in range(1, 121)])

    def test_help_screen_pauses_seven_times(self):
        t = self.terminal(80, 25, ["/?"])
        prompted = lambda ls: any(l.startswith(PROMPT) for l in ls)
        ended = lambda ls: any(l.startswith("EXIT=") for l in ls)
        for n in range(7):
            lines = t.wait_for(lambda ls: prompted(ls) or ended(ls), "help prompt %d" % (n + 1))
            self.assertFalse(ended(lines), "only %d prompts" % n)
            t.key("c")
            t.wait_for(lambda ls: not prompted(ls), "the prompt erased")
        self.assertEqual(t.exit_line(), "EXIT=1 TTY=same")

    def test_help_screen_all_and_quit(self):
        t = self.terminal(80, 25, ["/?"])
        t.wait_for(lambda ls: any(l.startswith(PROMPT) for l in ls), "help prompt")
        t.key("a")
        self.assertEqual(t.exit_line(), "EXIT=1 TTY=same")
        # A Quit ends with 1 even where the whole screen would end with 0.
        for asked in [["/?"]] + ([] if self.bin.wine else [["--help"]]):
            t = self.terminal(80, 25, asked)
            t.wait_for(lambda ls: any(l.startswith(PROMPT) for l in ls), "help prompt")
            t.key("q")
            self.assertEqual(t.exit_line(), "EXIT=1 TTY=same", asked)

    def test_japanese_text_reads_right_on_the_screen(self):
        # Natively under a UTF-8 locale, and under Wine written to the console
        # as wide characters whatever its code page.
        self.touch("TEST.TXT")
        prefix = [] if self.bin.wine else ["env", "LC_ALL=C.UTF-8"]
        t = self.terminal(80, 25, ["TEST.TXT"], prefix)
        self.assertEqual(t.exit_line(), "EXIT=0 TTY=same")
        self.assertIn("TEST.TXT→test.txt", t.screen())
        t = self.terminal(80, 25, ["/?"], prefix)
        t.wait_for(lambda ls: any(l.startswith(PROMPT) for l in ls), "help prompt")
        self.assertIn("ファイル名小文字化コマンド  Lower-case file names", t.screen())
        t.key("q")
        self.assertEqual(t.exit_line(), "EXIT=1 TTY=same")

    def test_a_long_run_shows_its_progress_on_a_terminal_only(self):
        # Each rename slowed to 30 ms: the run lasts about 4 s. The line is on
        # standard error, erased at the end; a file gets none, nor does
        # --no-progress.
        if self.bin.wine or not shutil.which("strace"):
            self.skipTest("runs are slowed with strace on the native binary")
        slow = ["strace", "-f", "-o", "/dev/null", "-e", "inject=rename,renameat,renameat2:delay_exit=30000",
                "env", "LC_ALL=C.UTF-8", "ASAN_OPTIONS=detect_leaks=0"]  # the leak check cannot run traced
        to_file = ["sh", "-c", 'exec "$@" 2>progress.err', "sh"]
        rows = [
            # prefix, switches, whether the line is seen
            (slow, [], True),
            (slow, ["--no-progress"], False),
            (to_file + slow, [], False),
        ]
        shows = lambda ls: any(l.startswith("tavisk: ") and "件を処理" in l for l in ls)
        for prefix, switches, seen in rows:
            with self.subTest(prefix=prefix[:2], switches=switches):
                for name in self.names():
                    os.rename(self.path(name), self.path(name.upper()))
                t = self.terminal(80, 25, ["F*.TXT", "/v="] + switches, prefix)
                if seen:
                    t.wait_for(shows, "the progress line")
                self.assertEqual(t.exit_line(), "EXIT=0 TTY=same")
                self.assertFalse(shows(t.screen()), t.screen())
                if prefix is not slow:
                    with open(self.path("progress.err"), "rb") as f:
                        self.assertEqual(f.read(), b"")
                    os.remove(self.path("progress.err"))
                self.assertEqual(self.names(), [b"f%03d.txt" % i for i in range(1, 121)])

    def test_output_to_a_pipe_has_no_prompt(self):
        code, out, err = self.tavisk("F*.TXT", "/p", "/test")
        self.assertEqual(code, 0)
        self.assertNotIn(PROMPT.encode(), out)
        self.assertEqual(out.count(b"\r"), out.count(b"\n") if self.bin.wine else 0)
        self.assertEqual(out.count(b"\n"), 120)


if __name__ == "__main__":
    harness.main()
