"""The configuration file beside a copy of the binary, and the usage screen."""
import glob
import os
import re
import shutil

import harness
from harness import sjis

ARROW = sjis("→")


class Config(harness.Case):
    def setUp(self):
        super().setUp()
        self.mkdir("bin")
        self.exe = self.path("bin", os.path.basename(self.bin.path))
        shutil.copy(self.bin.path, self.exe)
        self.cfg = self.path("bin", "tavisk.cfg")
        for n in ("ABCDEFGHI.TXT", "B.TXT"):
            self.touch(n)

    def write(self, data):
        with open(self.cfg, "wb") as f:
            f.write(data)

    def run_copy(self, *args, env=None):
        return self.bin.run(list(args), cwd=self.dir, exe=self.exe, env=env)

    def test_file_switches_apply_and_the_command_line_overrides(self):
        self.write(b"/l\r\n/v+k\r\n")
        r = self.run_copy("ABCDEFGHI.TXT", "B.TXT", "/test")
        self.expect(r, 0, b"ABCDEFGHI.TXT" + ARROW + b"abcdefghi.txt\n" +
                    b"B.TXT        " + ARROW + b"b.txt\n")
        r = self.run_copy("ABCDEFGHI.TXT", "B.TXT", "/l-", "/v", "/test")
        self.expect(r, 0, b"B.TXT" + ARROW + b"b.txt\n")

    def test_second_switch_character_and_environment(self):
        self.write(b"switch=-\n%TAVISK_E2E%\n")
        r = self.run_copy("ABCDEFGHI.TXT", "-l", env={"TAVISK_E2E": "/test"})
        self.expect(r, 0, b"ABCDEFGHI.TXT" + ARROW + b"abcdefghi.txt\n")
        self.assertIn(b"ABCDEFGHI.TXT", self.names())

    def test_binary_data_stops_after_applying_the_lines_before(self):
        self.write(b"/test\n/l\n/k\x01\n")
        code, out, err = self.run_copy("ABCDEFGHI.TXT")
        self.assertEqual(code, 1)
        self.assertEqual(out, b"")
        self.assertTrue(err.startswith(self.bin.out(b"\n\x07" + sjis("処理停止:設定ファイル\""))))
        self.assertTrue(err.endswith(self.bin.out(sjis("\"が異常です。3行目にバイナリ・データを検出しました。") + b"\n")))

    def test_mixed_line_ends_stop_the_run(self):
        self.write(b"/test\r\n/l\r\n/k\n")
        code, out, err = self.run_copy("ABCDEFGHI.TXT")
        self.assertEqual(code, 1)
        self.assertTrue(err.endswith(self.bin.out(sjis("3行目に異なる改行コードを検出しました。") + b"\n")))
        self.assertEqual(self.names()[0], b"ABCDEFGHI.TXT")

    def test_linux_places_and_strictness(self):
        if self.bin.wine:
            self.skipTest("Windows reads the file beside the executable only")
        xdg = self.path("xdg")
        os.makedirs(os.path.join(xdg, b"tavisk"))
        user = os.path.join(xdg, b"tavisk", b"tavisk.cfg")
        self.write(b"-l\n")  # beside the executable: not read while the user's exists
        rows = [
            # the user's file, its switches, exit code, standard output, standard error's end
            (b"\xef\xbb\xbf-test\n# comment\n", ["B.TXT"], 0, b"B.TXT" + ARROW + b"b.txt\n", b""),
            # Several switches a line, and blanks inside a -v group, as on Windows.
            (b"-test\n-l -k\n-v +k\n", ["ABCDEFGHI.TXT", "B.TXT"], 0,
             b"ABCDEFGHI.TXT" + ARROW + b"abcdefghi.txt\n" + b"B.TXT        " + ARROW + b"b.txt\n", b""),
            (b"-test\n-l long\n", ["B.TXT"], 1, b"", sjis("\"の2行目\"long\"はオプションではありません。\n")),
            # A refused word is quoted to about 60 bytes, not whole.
            (b"-test\n" + b"X" * 100000 + b"\n", ["B.TXT"], 1, b"",
             b"X" * 60 + sjis("…\"はオプションではありません。\n")),
            (b"-test\nlong\n", ["B.TXT"], 1, b"", sjis("\"の2行目\"long\"はオプションではありません。\n")),
            # -undo, like -help, does nothing from the file: the run stays a run.
            (b"-test\n-j-\n-undo\n", ["B.TXT"], 0, b"B.TXT" + ARROW + b"b.txt\n", b""),
            # The names' encoding, from the file, the command line over it:
            # a Shift-JIS name found by what a UTF-8 terminal types.
            (b"-test\n--names=sjis\n", ["-k", "ア*"], 0, "ア.TXT→ア.txt\n".encode(), b"", "C.UTF-8"),
            (b"-test\n--names=sjis\n", ["-k", "--names=locale", "ア*"], 1, "ア*:存在せず\n".encode(), b"",
             "C.UTF-8"),
            (b"-test\n--names=jis\n", ["B.TXT"], 1, b"", sjis("\"の2行目\"--names=jis\"はオプションではありません。\n")),
        ]
        self.touch(b"\x83\x41.TXT")
        for content, args, code, out, err, *locale in rows:
            with self.subTest(content=content):
                with open(user, "wb") as f:
                    f.write(content)
                env = {"XDG_CONFIG_HOME": os.fsdecode(xdg)}
                if locale:
                    env["LC_ALL"] = locale[0]
                got = self.run_copy(*args, env=env)
                self.assertEqual((got[0], got[1]), (code, out))
                self.assertTrue(got[2].endswith(err), got[2])
                self.assertIn(b"B.TXT", self.names())
        # The usage screen names the file that was read.
        with open(user, "wb") as f:
            f.write(b"-c\n")
        code, out, err = self.run_copy("--help", env={"XDG_CONFIG_HOME": os.fsdecode(xdg)})
        self.assertIn(user, out)

    def test_a_file_saved_as_utf8_with_its_mark(self):
        # Windows editors offer "UTF-8 with BOM": the file is read as UTF-8,
        # its first line too; a line that is no UTF-8 stops the run.
        rows = [
            (b"\xef\xbb\xbf/test\n/l\n", 0, b"ABCDEFGHI.TXT" + ARROW + b"abcdefghi.txt\n", b""),
            (b"\xef\xbb\xbf/test\n/l \x82\xa0\n", 1, b"", sjis("\"の2行目を Shift-JIS に変換できません。\n")),
        ]
        for content, code, out, err in rows:
            if not self.bin.wine and code:
                continue  # Linux reads the file in the system's own text
            with self.subTest(content=content):
                self.write(content if self.bin.wine else content.replace(b"/", b"-"))
                got = self.run_copy("ABCDEFGHI.TXT")
                self.assertEqual((got[0], got[1]), (code, self.bin.out(out)))
                self.assertTrue(got[2].endswith(self.bin.out(err)), got[2])

    def test_usage_screen_lists_the_file(self):
        # Linux takes one switch a line.
        self.write(b"/c\n/v=ce k\n" if self.bin.wine else b"/c\n-v=ce\n")
        code, out, err = self.run_copy("/?")
        self.assertEqual(code, 1)
        listed = b"/c \"/v=ce k\"" if self.bin.wine else b"/c -v=ce"
        self.assertIn(self.bin.out(sjis("・現在設定=") + listed + b"\n"), out)
        self.assertIn(self.bin.out(b"\n" + sjis("【使用例】") + b"\n"), out)
        self.assertTrue(out.endswith(self.bin.out(self.bin.switches(b"tavisk /? ") + sjis("…… 使用方法説明") + b"\n")))


    def test_usage_screen_bytes_through_a_pipe(self):
        # The screen as it stands in help_screen.txt, written whole without a
        # prompt, in Shift-JIS; only the build date and the path are filled in.
        # Natively, the English screen outside Japanese locales.
        rows = [("help_screen.txt" if self.bin.wine else "help_screen_posix.txt", None)]
        if not self.bin.wine:
            rows.append(("help_screen_posix_en.txt", {"LC_ALL": "en_US.UTF-8"}))
        for screen, env in rows:
            with self.subTest(screen=screen):
                code, out, err = self.run_copy("/help", env=env)
                self.assertEqual((code, err), (1, b""))
                self.assertEqual(out, self.bin.out(self.usage_screen(screen, out)))

    def usage_screen(self, screen, out):
        """The bytes of `screen` as this run fills it in."""
        date = re.search(rb"tavisk  1\.09  (\d{4})-(\d\d)-(\d\d)", out)
        self.assertIsNotNone(date)
        cfg = os.fsdecode(self.cfg)
        if self.bin.wine:
            cfg = "Z:" + cfg.replace("/", "\\")
        with open(os.path.join(os.path.dirname(__file__), screen), encoding="utf-8") as f:
            expected = f.read()
        if self.bin.wine:  # Wine sets %LOCALAPPDATA% from the prefix
            local = glob.glob(os.path.join(self.bin.env()["WINEPREFIX"], "drive_c/users/*/AppData/Local"))
            user = [u for u in local if "/Public/" not in u][0].split("/users/")[1].split("/")[0]
            journals = "C:\\users\\%s\\AppData\\Local\\tavisk\\" % user
        else:
            journals = os.environ["XDG_STATE_HOME"] + "/tavisk/"
        # Linux names each place it looked in, where none holds a file.
        xdg = os.environ.get("XDG_CONFIG_HOME", "")
        user = xdg + "/tavisk/tavisk.cfg" if xdg.startswith("/") else os.environ["HOME"] + "/.config/tavisk/tavisk.cfg"
        expected = expected.replace("{SEARCH}", user + ", /etc/tavisk.cfg, " + cfg)
        expected = (expected.replace("{DATE}", date.group(0)[14:].decode())
                    .replace("{YEAR}", date.group(1).decode()).replace("{CFG}", cfg)
                    .replace("{JOURNAL}", journals))
        return expected.encode("cp932")


if __name__ == "__main__":
    harness.main()
