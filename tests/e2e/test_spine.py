"""The command run as a user sees it: names on the command line, the result
lines, the exit code and the names on disk."""
import os
import subprocess

import harness
from harness import sjis

ARROW = sjis("→")
MISSING = sjis(":存在せず")
CANNOT = sjis(":改名不能")


class Spine(harness.Case):
    def test_typical_run_with_names_one_by_one(self):
        for n in ("TEST1.txt", "test2.TxT", "TEST3.TXT"):
            self.touch(n)
        r = self.tavisk("TEST1.txt", "test2.TxT", "TEST3.TXT", "/l")
        self.expect(r, 0, b"TEST1.txt" + ARROW + b"test1.txt\n" +
                    b"test2.TxT" + ARROW + b"test2.txt\n" +
                    b"TEST3.TXT" + ARROW + b"test3.txt\n")
        self.assertEqual(self.names(), [b"test1.txt", b"test2.txt", b"test3.txt"])

    def test_default_mode_lowers_only_short_capital_names(self):
        for n in ("TEST.TXT", "ABCDEFGHI.TXT", "FOO.HTML", "Mixed.TXT", "123.456"):
            self.touch(n)
        r = self.tavisk("TEST.TXT", "ABCDEFGHI.TXT", "FOO.HTML", "Mixed.TXT", "123.456")
        self.expect(r, 0, b"TEST.TXT" + ARROW + b"test.txt\n")
        self.assertEqual(self.names(), [b"123.456", b"ABCDEFGHI.TXT", b"FOO.HTML", b"Mixed.TXT", b"test.txt"])

    def test_missing_name_first_stops_the_run(self):
        self.touch("A.TXT")
        r = self.tavisk("NOPE.TXT", "A.TXT")
        self.expect(r, 1, b"NOPE.TXT" + MISSING + b"\n")
        self.assertEqual(self.names(), [b"A.TXT"])

    def test_missing_name_first_with_continue(self):
        self.touch("A.TXT")
        r = self.tavisk("NOPE.TXT", "A.TXT", "/c")
        self.expect(r, 2, b"NOPE.TXT" + MISSING + b"\n" + b"A.TXT" + ARROW + b"a.txt\n")
        self.assertEqual(self.names(), [b"a.txt"])

    def test_test_mode_leaves_the_disk_as_it_was(self):
        self.touch("A.TXT")
        self.mkdir("DIR")
        r = self.tavisk("A.TXT", "DIR", "/test")
        self.expect(r, 0, b"A.TXT" + ARROW + b"a.txt\n" + b"DIR" + ARROW + b"dir\n")
        self.assertEqual(self.names(), [b"A.TXT", b"DIR"])

    def test_directories_only(self):
        self.mkdir("SUBDIR")
        self.touch("FILE.TXT")
        r = self.tavisk("SUBDIR", "FILE.TXT", "/fd")
        self.expect(r, 0, b"SUBDIR" + ARROW + b"subdir\n")
        self.assertEqual(self.names(), [b"FILE.TXT", b"subdir"])

    def test_case_only_rename_changes_the_name_on_disk(self):
        self.touch("ABC.TXT", b"content")
        r = self.tavisk("abc.txt")
        self.expect(r, 0, b"ABC.TXT" + ARROW + b"abc.txt\n")
        self.assertEqual(self.names(), [b"abc.txt"])
        with open(self.path("abc.txt"), "rb") as f:
            self.assertEqual(f.read(), b"content")

    def test_kanji_name_needs_kanji_mode(self):
        name = self.bin.name("表.TXT")
        self.touch(name)
        r = self.tavisk(self.bin.arg("表.TXT"))
        self.expect(r, 0)
        self.assertEqual(self.names(), [name])
        r = self.tavisk(self.bin.arg("表.TXT"), "/k")
        self.expect(r, 0, sjis("表.TXT") + ARROW + sjis("表.txt") + b"\n")
        self.assertEqual(self.names(), [self.bin.name("表.txt")])

    def test_directory_written_with_either_separator(self):
        self.mkdir("SUB")
        self.touch(os.path.join("SUB", "ONE.TXT"))
        self.touch(os.path.join("SUB", "TWO.TXT"))
        r = self.tavisk("SUB/ONE.TXT", "SUB\\TWO.TXT")
        self.expect(r, 0, b"SUB/ONE.TXT" + ARROW + b"one.txt\n" + b"SUB\\TWO.TXT" + ARROW + b"two.txt\n")
        self.assertEqual(self.names("SUB"), [b"one.txt", b"two.txt"])

    def test_over_long_name_is_refused_like_a_missing_one(self):
        name = "A" * 300
        r = self.tavisk(name)
        self.expect(r, 1, name.encode() + MISSING + b"\n")

    def test_help_screen_through_a_pipe(self):
        code, out, err = self.tavisk()
        self.assertEqual(code, 1)
        self.assertEqual(err, b"")
        self.assertTrue(out.startswith(self.bin.out(sjis("ファイル名小文字化コマンド  "))))
        self.assertNotIn(b"(Continue,/All/Quit)\r", out)

    def test_aligned_layout_lists_names_left_alone(self):
        self.touch("SHORT.TXT")
        self.touch("Mixed.txt")
        r = self.tavisk("SHORT.TXT", "Mixed.txt", "NOPE", "/v+k")
        self.expect(r, 1, b"SHORT.TXT" + ARROW + b"short.txt\n" + b"Mixed.txt\n" +
                    b"NOPE     " + MISSING + b"\n")

    def test_side_by_side_spellings_are_never_replaced(self):
        # Under Wine a case-sensitive disk holds both while every lookup ignores
        # case: the rename must fail without a detour it could not undo.
        self.touch("README.TXT", b"upper")
        self.touch("readme.txt", b"lower")
        r = self.tavisk("README.TXT")
        self.expect(r, 1, b"README.TXT" + ARROW + b"readme.txt" + CANNOT + b"\n")
        self.assertEqual(self.names(), [b"README.TXT", b"readme.txt"])
        with open(self.path("readme.txt"), "rb") as f:
            self.assertEqual(f.read(), b"lower")

    def test_rename_refused_by_the_file_system(self):
        # An immutable file cannot be renamed, even by root.
        self.touch("A.TXT")
        self.touch("B.TXT")
        if subprocess.run(["chattr", "+i", self.path("A.TXT")], stderr=subprocess.DEVNULL).returncode:
            self.skipTest("chattr +i is not available on this file system")
        try:
            r = self.tavisk("A.TXT", "B.TXT")
            self.expect(r, 1, b"A.TXT" + ARROW + b"a.txt" + CANNOT + b"\n")
            self.assertEqual(self.names(), [b"A.TXT", b"B.TXT"])
            r = self.tavisk("A.TXT", "B.TXT", "/c")
            self.expect(r, 2, b"A.TXT" + ARROW + b"a.txt" + CANNOT + b"\n" + b"B.TXT" + ARROW + b"b.txt\n")
            self.assertEqual(self.names(), [b"A.TXT", b"b.txt"])
        finally:
            subprocess.run(["chattr", "-i", self.path("A.TXT")])


if __name__ == "__main__":
    harness.main()
