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
from harness import sjis

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
                                             ["ソフト/AB.TXT", "ソフト/表.TXT", "/k"]),
    "directories and long names": (["ディレクトリ/", "Long Name.TXT", "ＡＢ/"], ["*", "/fa", "/l", "/k"]),
    # Letters beyond A-Z: accented Latin beyond the code page, full-width
    # Latin, Greek and Cyrillic within it; a kanji stays a double-byte character.
    "letters beyond A-Z with /u": (["CAFÉ.TXT", "BÜRO.TXT", "ＡＢＣ.TXT", "ΑΒΓ.TXT", "МИР.TXT", "表示.TXT",
                                    "ÉTÉ/", "ÉTÉ/À.TXT"], ["/s", "*", "/u", "/v=a+s"]),
    "letters beyond A-Z with /u /l /k": (["ÇA VA.TXT", "ΑΘΗΝΑ.TXT", "МОСКВА.TXT", "表示.TXT", "ＡＢｃ.TXT"],
                                          ["*", "/u", "/l", "/k"]),
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

    def test_names_in_another_encoding_keep_their_characters(self):
        # Names as the disk holds them, in another encoding than the locale's:
        # Shift-JIS copied from an old Windows tree, a real backslash, bytes
        # of no encoding. Each run is taken back by --undo, byte for byte.
        sjis_names = [b"\x83\x41.TXT", b"\x83\x41\x83\x43\x83\x58.TXT", b"\x83\x5c.TXT", b"\x95\x5cZ.TXT",
                      b"A\\B.TXT"]
        lowered = [b"a\\b.txt", b"\x83\x41.txt", b"\x83\x41\x83\x43\x83\x58.txt", b"\x83\x5c.txt",
                   b"\x95\x5cz.txt"]
        arrow = {"C": sjis("→"), "C.UTF-8": "→".encode(), "ja_JP.UTF-8": "→".encode()}
        raw_lines = lambda a: b"".join(o + a + n + b"\n" for o, n in (
            (b"A\\B.TXT", b"a\\b.txt"), (b"\x83\x5c.TXT", b"\x83\x5c.txt"), (b"\x83\x41.TXT", b"\x83\x41.txt"),
            (b"\x83\x41\x83\x43\x83\x58.TXT", b"\x83\x41\x83\x43\x83\x58.txt"), (b"\x95\x5cZ.TXT", b"\x95\x5cz.txt")))
        shown_lines = "A\\B.TXT→a\\b.txt\nソ.TXT→ソ.txt\nア.TXT→ア.txt\nアイス.TXT→アイス.txt\n表Z.TXT→表z.txt\n".encode()
        rows = [  # locale, switches, names made, standard output, exit code, names left
            ("C", [], sjis_names, raw_lines(arrow["C"]), 0, lowered),
            ("C.UTF-8", [], sjis_names, raw_lines(arrow["C.UTF-8"]), 0, lowered),
            ("ja_JP.UTF-8", [], sjis_names, raw_lines(arrow["C.UTF-8"]), 0, lowered),
            ("C.UTF-8", ["--names=sjis"], sjis_names, shown_lines, 0, lowered),
            ("ja_JP.UTF-8", ["--names=sjis"], sjis_names, shown_lines, 0, lowered),
            ("C", ["--names=sjis"], sjis_names, raw_lines(arrow["C"]), 0, lowered),
            # Bytes of no encoding: each stands alone, the letters around it change.
            ("C.UTF-8", [], [b"BAD\xe8.TXT", b"\xff\xfeX.TXT"],
             b"BAD\xe8.TXT\xe2\x86\x92bad\xe8.txt\n\xff\xfeX.TXT\xe2\x86\x92\xff\xfex.txt\n", 0,
             [b"bad\xe8.txt", b"\xff\xfex.txt"]),
            # A name that is not Shift-JIS either under --names=sjis: its lone
            # lead byte ends it, and it is never renamed.
            ("C.UTF-8", ["--names=sjis"], [b"END\x83", b"OK.TXT"], "OK.TXT→ok.txt\n".encode(), 0,
             [b"END\x83", b"ok.txt"]),
        ]
        binary = harness.Binary("native", BUILD)
        for locale, switches, made, out, code, left in rows:
            with self.subTest(locale=locale, switches=switches, made=made):
                directory = os.fsencode(tempfile.mkdtemp(prefix="tavisk-parity-"))
                try:
                    for name in made:
                        open(os.path.join(directory, name), "wb").close()
                    env = {"LC_ALL": locale}
                    got = binary.run(switches + ["-k", "-l", "-c", "*"], cwd=directory, env=env)
                    self.assertEqual(got, (code, out, b""))
                    self.assertEqual(sorted(os.listdir(directory)), sorted(left))
                    # Typed as the shell's own wildcard gives them, the names are found.
                    got = binary.run(switches + ["-k", "-l", "-test"] + sorted(left), cwd=directory, env=env)
                    self.assertEqual(got[0], 0, got)
                    got = binary.run(switches + ["--undo"], cwd=directory, env=env)
                    self.assertEqual(got[0], 0, got)
                    self.assertEqual(sorted(os.listdir(directory)), sorted(made))
                finally:
                    shutil.rmtree(directory, ignore_errors=True)

    def test_wine_never_renames_what_its_name_does_not_name(self):
        # Wine hands over U+FFFD for each byte it cannot read: a move by that
        # name would write U+FFFD, and an undo could not give the byte back.
        binary = harness.Binary("wine", BUILD)
        directory = os.fsencode(tempfile.mkdtemp(prefix="tavisk-parity-"))
        try:
            for name in (b"\x83\x41.TXT", b"B\xe8.TXT", b"OK.TXT"):
                open(os.path.join(directory, name), "wb").close()
            for args, code, out, left in (
                    (["/k", "/c", "/test", "*"], 2, "B?.TXT→b?.txt:改名不能\nOK.TXT→ok.txt\n?A.TXT→?a.txt:改名不能\n",
                     [b"B\xe8.TXT", b"OK.TXT", b"\x83\x41.TXT"]),
                    (["/k", "/c", "/v+s", "*"], 2, "B?.TXT→b?.txt:改名不能\nOK.TXT→ok.txt\n?A.TXT→?a.txt:改名不能\n"
                     "【集計】改名:1件  対象外:0件  改名不能:2件  存在せず:0件\n",
                     [b"B\xe8.TXT", b"\x83\x41.TXT", b"ok.txt"]),
                    (["/undo"], 0, None, [b"B\xe8.TXT", b"OK.TXT", b"\x83\x41.TXT"])):
                got = binary.run(args, cwd=directory, env={"LC_ALL": "ja_JP.UTF-8"})
                self.assertEqual(got[0], code, (args, got))
                if out is not None:
                    self.assertEqual(got[1], binary.out(sjis(out)), args)
                self.assertEqual(sorted(os.listdir(directory)), sorted(left), args)
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
