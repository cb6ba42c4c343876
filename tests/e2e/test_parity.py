"""Parity: the native binary under a UTF-8 locale and tavisk.exe under Wine, on
the same UTF-8 names, leave the same names on disk, end with the same exit
code and write the same text (after conversion to UTF-8, line ends aside).

Run as `python3 test_parity.py --build DIR`.
"""
import argparse
import os
import shutil
import sys
import tempfile
import unittest

import harness

BUILD = None

# Each scenario: the names made on disk (a trailing '/' makes a directory), then
# the arguments.
NAMES = ["表示.TXT", "ソフト.TXT", "ＡＢＣ.TXT", "表.TXT", "ABC.TXT", "😀.TXT", "X😀Y.TXT",
         "CAFÉ.TXT", "CAFE.TXT"]
# Names that code page 932 cannot hold, beside one that it can.
BEYOND = ["CAFÉ.TXT", "PARTY🎉.JPG", "한국.TXT", "ŠKODA.TXT", "NORMAL.TXT", "PRICE¥100.TXT", "Ünï/",
          "Ünï/INNER.TXT"]
SCENARIOS = {
    "default mode leaves kanji names": (NAMES, ["*.TXT"]),
    "kanji mode lowers the half-width letters only": (NAMES, ["*.TXT", "/k"]),
    "aligned layout with skipped names": (NAMES, ["*", "/v+k", "/test", "/c"]),
    "an emoji argument finds its entry": (NAMES, ["😀.TXT", "/k", "/c", "ABC.TXT"]),
    "an accented argument never reaches its look-alike": (NAMES, ["CAFÉ.TXT", "/k"]),
    "names beyond code page 932 are left alone without /k": (BEYOND, ["*", "/fa", "/l", "/v+k", "/c"]),
    "names beyond code page 932 with /k, through a tree": (BEYOND, ["/s", "*", "/fa", "/l", "/k", "/v+s"]),
    "another letter case finds the stored name": (NAMES, ["表示.txt", "/k"]),
    "a trail byte 0x5C in a pattern": (NAMES, ["ソ*", "/k"]),
    "a trail byte 0x5C before a separator": (["ソフト/", "ソフト/AB.TXT", "ソフト/表.TXT"],
                                             ["ソフト\\AB.TXT", "ソフト\\表.TXT", "/k"]),
    "directories and long names": (["ディレクトリ/", "Long Name.TXT", "ＡＢ/"], ["*", "/fa", "/l", "/k"]),
}


def run_scenario(kind, names, args, retry=True):
    binary = harness.Binary(kind, BUILD)
    directory = tempfile.mkdtemp(prefix="tavisk-parity-")
    try:
        for name in names:
            path = os.path.join(directory, name)
            if name.endswith("/"):
                os.mkdir(path)
            else:
                open(path, "wb").close()
        env = {"LC_ALL": "ja_JP.UTF-8"}
        code, out, err = binary.run(list(args), cwd=directory, env=env)
        if binary.wine:
            try:
                out, err = out.decode("cp932"), err.decode("cp932")
            except UnicodeDecodeError:
                # Not the command's (its texts are code page 932): a message of
                # Wine's own. Shown, and the scenario is run once more.
                sys.stderr.write("wine wrote %r; running again\n" % err)
                if retry:
                    return run_scenario(kind, names, args, retry=False)
                out, err = out.decode("cp932", "backslashreplace"), err.decode("cp932", "backslashreplace")
        else:
            # tavisk.exe writes Shift-JIS to a file: what it lacks is a '?'.
            out, err = (t.decode("utf-8").encode("cp932", "replace").decode("cp932") for t in (out, err))
        disk = sorted(os.path.relpath(os.path.join(root, n), directory)
                      for root, dirs, files in os.walk(directory) for n in dirs + files)
        return code, out.replace("\r\n", "\n"), err.replace("\r\n", "\n"), disk
    finally:
        shutil.rmtree(directory, ignore_errors=True)


class Parity(unittest.TestCase):
    def test_scenarios(self):
        for title, (names, args) in SCENARIOS.items():
            with self.subTest(title):
                native = run_scenario("native", names, args)
                wine = run_scenario("wine", names, args)
                if "/s" in args:  # the walk joins paths with each system's separator
                    wine = (wine[0], wine[1].replace("\\", "/"), wine[2], wine[3])
                self.assertEqual(native, wine)

    def test_kanji_mode_result(self):
        # One scenario spelled out, so that parity cannot hide a shared fault.
        code, out, err, disk = run_scenario("native", NAMES, ["*.TXT", "/k"])
        self.assertEqual(code, 0)
        self.assertEqual(err, "")
        self.assertEqual(out, "ABC.TXT→abc.txt\nCAFE.TXT→cafe.txt\nCAF?.TXT→caf?.txt\nX?Y.TXT→x?y.txt\n"
                              "ＡＢＣ.TXT→ＡＢＣ.txt\nソフト.TXT→ソフト.txt\n表.TXT→表.txt\n表示.TXT→表示.txt\n"
                              "?.TXT→?.txt\n")
        self.assertIn("😀.txt", disk)
        self.assertIn("cafÉ.txt", disk)

    def test_bytes_that_are_not_utf8_travel_unchanged(self):
        # Natively only: Wine holds names as UTF-16.
        binary = harness.Binary("native", BUILD)
        directory = tempfile.mkdtemp(prefix="tavisk-parity-")
        try:
            for name in (b"BAD\xe8.TXT", b"\xff\xfeX.TXT", b"OK.TXT"):
                open(os.path.join(os.fsencode(directory), name), "wb").close()
            for args, code, out, left in (
                    (["*.TXT"], 0, b"OK.TXT\xe2\x86\x92ok.txt\n", [b"BAD\xe8.TXT", b"ok.txt", b"\xff\xfeX.TXT"]),
                    ([b"BAD\xe8.TXT", b"\xff\xfex.txt", "/k"], 0,
                     b"BAD\xe8.TXT\xe2\x86\x92bad\xe8.txt\n\xff\xfeX.TXT\xe2\x86\x92\xff\xfex.txt\n",
                     [b"bad\xe8.txt", b"ok.txt", b"\xff\xfex.txt"])):
                got = binary.run(args, cwd=directory, env={"LC_ALL": "C.UTF-8"})
                self.assertEqual(got, (code, out, b""), args)
                self.assertEqual(sorted(os.listdir(os.fsencode(directory))), left)
        finally:
            shutil.rmtree(directory, ignore_errors=True)

    def test_names_beyond_code_page_932_are_seen_and_counted(self):
        code, out, err, disk = run_scenario("native", BEYOND, ["/test", "/s", "/l", "/k", "/v=a+s", "*"])
        self.assertEqual((code, err), (0, ""))
        self.assertTrue(out.endswith("【集計】改名予定:7件  対象外:1件  改名不能:0件  存在せず:0件\n"), out)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    options, rest = parser.parse_known_args()
    BUILD = options.build
    harness.keep_journals_apart()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
