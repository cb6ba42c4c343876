"""The command run as a user sees it: names on the command line, the result
lines, the exit code and the names on disk."""
import os
import shutil
import subprocess

import harness
from harness import sjis

ARROW = sjis("→")
MISSING = sjis(":存在せず")
CANNOT = sjis(":改名不能")


# The quick stories, each row a run on both binaries (see harness.run_stories).
STORIES = [
    dict(name="a typical run, names one by one", make=["TEST1.txt", "test2.TxT", "TEST3.TXT"],
         args=["TEST1.txt", "test2.TxT", "TEST3.TXT", "/l"], code=0,
         out=b"TEST1.txt" + ARROW + b"test1.txt\n" + b"test2.TxT" + ARROW + b"test2.txt\n" +
             b"TEST3.TXT" + ARROW + b"test3.txt\n",
         after=["test1.txt", "test2.txt", "test3.txt"]),
    dict(name="the default mode lowers only short capital names",
         make=["TEST.TXT", "ABCDEFGHI.TXT", "FOO.HTML", "Mixed.TXT", "123.456"],
         args=["TEST.TXT", "ABCDEFGHI.TXT", "FOO.HTML", "Mixed.TXT", "123.456"], code=0,
         out=b"TEST.TXT" + ARROW + b"test.txt\n",
         after=["123.456", "ABCDEFGHI.TXT", "FOO.HTML", "Mixed.TXT", "test.txt"]),
    dict(name="a missing name first stops the run", make=["A.TXT"], args=["NOPE.TXT", "A.TXT"], code=1,
         out=b"NOPE.TXT" + MISSING + b"\n", after=["A.TXT"]),
    dict(name="a missing name first, with /c", make=["A.TXT"], args=["NOPE.TXT", "A.TXT", "/c"], code=2,
         out=b"NOPE.TXT" + MISSING + b"\n" + b"A.TXT" + ARROW + b"a.txt\n", after=["a.txt"]),
    dict(name="the preview leaves the disk as it was", make=["A.TXT", "DIR/"], args=["A.TXT", "DIR", "/test"],
         code=0, out=b"A.TXT" + ARROW + b"a.txt\n" + b"DIR" + ARROW + b"dir\n", after=["A.TXT", "DIR"]),
    dict(name="directories only", make=["SUBDIR/", "FILE.TXT"], args=["SUBDIR", "FILE.TXT", "/fd"], code=0,
         out=b"SUBDIR" + ARROW + b"subdir\n", after=["FILE.TXT", "subdir"]),
    dict(name="a case-only rename changes the name on disk", make=[("ABC.TXT", b"content")], args=["abc.txt"],
         code=0, out=b"ABC.TXT" + ARROW + b"abc.txt\n", after=["abc.txt"], contents={"abc.txt": b"content"}),
    dict(name="an over-long name is refused like a missing one", make=[], args=["A" * 300], code=1,
         out=b"A" * 300 + MISSING + b"\n", after=[]),
    dict(name="the aligned layout lists the names left alone", make=["SHORT.TXT", "Mixed.txt"],
         args=["SHORT.TXT", "Mixed.txt", "NOPE", "/v+k"], code=1,
         out=b"SHORT.TXT" + ARROW + b"short.txt\n" + b"Mixed.txt\n" + b"NOPE     " + MISSING + b"\n",
         after=["Mixed.txt", "short.txt"]),
    # Under Wine a case-sensitive disk holds both while every lookup ignores
    # case: the rename must fail without a detour it could not undo.
    dict(name="side-by-side spellings are never replaced", make=[("README.TXT", b"upper"), ("readme.txt", b"lower")],
         args=["README.TXT"], code=1, out=b"README.TXT" + ARROW + b"readme.txt" + CANNOT + b"\n",
         after=["README.TXT", "readme.txt"], contents={"README.TXT": b"upper", "readme.txt": b"lower"}),
]


class Spine(harness.Case):
    def test_quick_stories(self):
        self.run_stories(STORIES)

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
        # Windows takes either; on Linux only '/' separates, and a '\\' is a
        # byte of a name, decided as a symbol.
        self.mkdir("SUB")
        self.touch(os.path.join("SUB", "ONE.TXT"))
        self.touch(os.path.join("SUB", "TWO.TXT"))
        if not self.bin.wine:
            self.touch("SUB\\TWO.TXT")
        r = self.tavisk("SUB/ONE.TXT", "SUB\\TWO.TXT")
        second = b"two.txt" if self.bin.wine else b"sub\\two.txt"
        self.expect(r, 0, b"SUB/ONE.TXT" + ARROW + b"one.txt\n" + b"SUB\\TWO.TXT" + ARROW + second + b"\n")
        self.assertEqual(self.names("SUB"), sorted([b"one.txt", b"two.txt" if self.bin.wine else b"TWO.TXT"]))
        if not self.bin.wine:
            self.assertEqual(self.names(), [b"SUB", b"sub\\two.txt"])

    def test_help_screen_through_a_pipe(self):
        code, out, err = self.tavisk()
        self.assertEqual(code, 1)
        self.assertEqual(err, b"")
        self.assertTrue(out.startswith(self.bin.out(sjis("ファイル名小文字化コマンド  "))))
        self.assertNotIn(b"(Continue,/All/Quit)\r", out)

    def test_reasons_and_stops_in_each_language(self):
        # Each failure line of standard output has its reason on standard
        # error, and a failure that ends the run says where, and what it left.
        # English outside Japanese locales; the Japanese texts under C.
        english = {"LC_ALL": "en_US.UTF-8"}
        stop = harness.stop_message
        rows = [
            # entries made, arguments, environment, exit code, output, error
            (["README.TXT", "readme.txt", "B.TXT"], ["README.TXT", "B.TXT"], None, 1,
             b"README.TXT" + ARROW + b"readme.txt" + CANNOT + b"\n",
             sjis("tavisk: README.TXT: 名前 readme.txt は別の項目が使用しています\n") + stop(self.bin, "README.TXT", 1)),
            (["A.TXT"], ["NOPE.TXT", "A.TXT"], None, 1, b"NOPE.TXT" + MISSING + b"\n",
             sjis("tavisk: NOPE.TXT: 存在しません\n") + stop(self.bin, "NOPE.TXT", 1)),
            (["A.TXT", "Mixed.txt"], ["A.TXT", "Mixed.txt", "NOPE", "/c", "/v+k+s"], english, 2,
             b"A.TXT     -> a.txt\nMixed.txt\nNOPE     : not found\n"
             b"[Summary] renamed: 1  left alone: 1  not renamed: 0  not found: 1\n",
             b"tavisk: NOPE: no such file or directory\n"),
            (["README.TXT", "readme.txt", "B.TXT", "C.TXT"], ["*.TXT"], english, 1,
             b"B.TXT -> b.txt\nC.TXT -> c.txt\nREADME.TXT -> readme.txt: not renamed\n",
             b"tavisk: README.TXT: the name readme.txt is taken by another entry\n" +
             stop(self.bin, "README.TXT", 1, english=True)),
            (["A.TXT"], ["/test", "A.TXT", "/v+s"], english, 0,
             b"A.TXT -> a.txt\n[Summary] to rename: 1  left alone: 0  not renamed: 0  not found: 0\n", b""),
        ]
        for made, args, env, code, out, err in rows:
            with self.subTest(args=args, env=env):
                for entry in self.names():
                    os.remove(self.path(entry))
                for n in made:
                    self.touch(n)
                self.expect(self.tavisk(*args, env=env), code, out, self.bin.out(err))

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

    def test_records_for_scripts(self):
        # --porcelain: a record per entry met, whatever /v shows, with no
        # column or count; the names in the system's own bytes (UTF-8 under
        # Wine), "\n" or, with /z, NUL after each; the run's exit code.
        for n in ("A.TXT", "Mixed.txt", "ＡＢ.TXT"):
            self.touch(self.bin.name(n))
        if not self.bin.wine:
            self.touch(b"B\nC.TXT")  # a line feed in a name: only /z keeps it whole
        ab = self.bin.name("ＡＢ.TXT")
        missing = sjis("tavisk: NONE: 存在しません\n")
        rows = [
            (["/porcelain", "/k", "/test", "/v=", "*"], 0, b"\n",
             [b"would-rename\tA.TXT\ta.txt\t", b"left\tMixed.txt\t\t",
              b"would-rename\t" + ab + b"\t" + ab[:-3] + b"txt\t"], b""),
            # The reasons are the same English words in every locale.
            (["/porcelain", "/z", "/k", "/v+k+s", "*", "NONE"], 1, b"\0",
             [b"renamed\tA.TXT\ta.txt\t", b"left\tMixed.txt\t\t", b"renamed\t" + ab + b"\t" + ab[:-3] + b"txt\t",
              b"missing\tNONE\t\tno such file or directory"], missing + harness.stop_message(self.bin, "NONE", 0)),
        ]
        for args, code, end, records, err in rows:
            with self.subTest(args=args):
                if not self.bin.wine:
                    records = records[:1] + [(b"would-rename" if "/test" in args else b"renamed") +
                                             b"\tB\nC.TXT\tb\nc.txt\t"] + records[1:]
                got = self.tavisk(*args)
                self.assertEqual(got, (code, b"".join(r + end for r in records), self.bin.out(err)))

class LinuxCommandLine(harness.Case):
    """The native binary's own command line and its report to places that
    cannot take it."""

    def setUp(self):
        super().setUp()
        if self.bin.wine:
            self.skipTest("the Windows command line keeps its '/' switches")
        for name in ("A.TXT", "-B.TXT", ".HIDE.TXT", "SHOW.TXT", "C:D.TXT", "--"):
            self.touch(name)
        self.mkdir("DIR")
        self.touch("DIR/IN.TXT")
        # A UTF-8 name whose last byte Shift-JIS reads as a lead byte.
        self.mkdir("X\u00c4")
        self.touch("X\u00c4/DEEP.TXT")

    def test_switches_paths_and_names(self):
        absolute = os.path.join(self.dir, "A.TXT")
        unknown = b"\n\x07" + sjis("処理停止:オプション\"")
        rows = [
            # arguments, exit code, standard output (or its start), standard error's start, names changed
            (["-l", absolute], 0, absolute.encode() + ARROW + b"a.txt\n", b"", {"A.TXT": "a.txt"}),
            (["--", "-B.TXT"], 0, b"-B.TXT" + ARROW + b"-b.txt\n", b"", {"-B.TXT": "-b.txt"}),
            # A file named "--" that a pattern found ends no switches: the preview stays one.
            (["*-", "-test", "A.TXT"], 0, b"A.TXT" + ARROW + b"a.txt\n", b"", {}),
            (["DIR/"], 0, b"DIR" + ARROW + b"dir\n", b"", {"DIR": "dir"}),
            (["*"], 0, b"-B.TXT" + ARROW + b"-b.txt\nA.TXT" + ARROW + b"a.txt\nC:D.TXT" + ARROW + b"c:d.txt\nDIR" +
             ARROW + b"dir\nSHOW.TXT" + ARROW + b"show.txt\n", b"",
             {"-B.TXT": "-b.txt", "A.TXT": "a.txt", "C:D.TXT": "c:d.txt", "SHOW.TXT": "show.txt", "DIR": "dir"}),
            # No drives on Linux: ':' is part of the name, typed or matched.
            (["C:D.TXT"], 0, b"C:D.TXT" + ARROW + b"c:d.txt\n", b"", {"C:D.TXT": "c:d.txt"}),
            (["C:*"], 0, b"C:D.TXT" + ARROW + b"c:d.txt\n", b"", {"C:D.TXT": "c:d.txt"}),
            # Every '/' separates, even after a byte that begins a double-byte character.
            (["-k", "X\u00c4/*"], 0, b"X\xc3\x84/DEEP.TXT" + ARROW + b"deep.txt\n", b"",
             {"X\u00c4/DEEP.TXT": "X\u00c4/deep.txt"}),
            (["-k", "X\u00c4/DEEP.TXT"], 0, b"X\xc3\x84/DEEP.TXT" + ARROW + b"deep.txt\n", b"",
             {"X\u00c4/DEEP.TXT": "X\u00c4/deep.txt"}),
            (["-s", "-k", "DEEP.TXT"], 0, b"X\xc3\x84/DEEP.TXT" + ARROW + b"deep.txt\n", b"",
             {"X\u00c4/DEEP.TXT": "X\u00c4/deep.txt"}),
            ([".*"], 0, b".HIDE.TXT" + ARROW + b".hide.txt\n", b"", {".HIDE.TXT": ".hide.txt"}),
            (["-n", "A.TXT"], 1, b"", unknown + b"-n", {}),
            (["A.TXT", "--dry-run"], 1, b"", unknown + b"--dry-run", {}),
            (["/lx", "A.TXT"], 1, b"/lx" + MISSING + b"\n", b"", {}),  # a path, not a switch
            (["--help"], 0, sjis("ファイル名小文字化コマンド"), b"", {}),
            (["--version"], 0, b"tavisk 1.09 20", b"", {}),
            # A Windows switch that names nothing stops the run before any rename.
            ([b"*", b"/test"], 1, b"", b"\n\x07" + sjis("処理停止:\"/test\"は存在しません。オプションなら\"-test\"と指定してください。"), {}),
            # A directory under -s: what it holds, then itself.
            (["-s", "DIR"], 0, b"DIR/IN.TXT" + ARROW + b"in.txt\nDIR" + ARROW + b"dir\n", b"", {"DIR": "dir"}),
        ]
        for args, code, out, err, changed in rows:
            with self.subTest(args=args):
                before = self.names()
                got_code, got_out, got_err = self.tavisk(*args)
                self.assertEqual(got_code, code)
                screen = args[0] in ("--help", "--version")
                self.assertEqual(got_out[:len(out)] if screen else got_out, out)
                self.assertEqual(got_err[:len(err)], err)
                self.assertEqual(self.names(), sorted(os.fsencode(changed.get(os.fsdecode(n), os.fsdecode(n)))
                                                      for n in before))
                for old, new in changed.items():  # back for the next row
                    os.rename(self.path(new), self.path(old))

    def run_to(self, stdout, *args, ignore_pipe=False):
        import signal
        def child():
            if ignore_pipe:
                signal.signal(signal.SIGPIPE, signal.SIG_IGN)
        return subprocess.run(self.bin.command(list(args)), cwd=self.dir, env=self.bin.env(),
                              stdin=subprocess.DEVNULL, stdout=stdout, stderr=subprocess.PIPE,
                              preexec_fn=child, timeout=60)

    def test_a_report_that_cannot_be_written_is_no_success(self):
        message = sjis("結果を標準出力に書き込めませんでした。\n")
        with open("/dev/full", "wb") as full:
            r = self.run_to(full, "A.TXT")
        self.assertEqual((r.returncode, r.stderr), (1, message))
        self.assertIn(b"a.txt", self.names())  # the rename stands
        read, write = os.pipe()
        os.close(read)
        try:
            r = self.run_to(write, "SHOW.TXT", "NONE", "-c", ignore_pipe=True)
        finally:
            os.close(write)
        self.assertEqual((r.returncode, r.stderr), (2, sjis("tavisk: NONE: 存在しません\n") + message))
        self.assertIn(b"show.txt", self.names())

    def test_control_bytes_of_names_never_reach_a_terminal(self):
        import pty
        self.touch(b"E\x1b[2J.TXT")
        master, slave = os.openpty()
        try:
            r = self.run_to(slave, b"E\x1b[2J.TXT", "-k")
            os.close(slave)
            slave = None
            shown = b""
            while True:
                try:
                    chunk = os.read(master, 4096)
                except OSError:
                    break
                if not chunk:
                    break
                shown += chunk
        finally:
            if slave is not None:
                os.close(slave)
            os.close(master)
        self.assertEqual(r.returncode, 0)
        self.assertEqual(shown, b"E?[2J.TXT" + ARROW + b"e?[2j.txt\r\n")
        self.assertIn(b"e\x1b[2j.txt", self.names())
        # To a file the name is written as it is.
        self.touch(b"F\x1b.TXT")
        self.assertEqual(self.tavisk(b"F\x1b.TXT")[1], b"F\x1b.TXT" + ARROW + b"f\x1b.txt\n")

class Trees(harness.Case):
    """/s on both binaries: children before their directory, links not
    followed, the whole path in each line."""

    def make(self):
        for d in ("SUB", "SUB/DEEP", "low"):
            self.mkdir(d)
        for f in ("TOP.TXT", "SUB/ONE.TXT", "SUB/DEEP/TWO.TXT", "low/X.TXT"):
            self.touch(f)
        os.symlink("..", self.path("SUB", "UP"))  # a loop, were it followed

    def test_trees(self):
        s = "\\" if self.bin.wine else "/"
        rows = [
            # Each name is decided in its own folder: low is the walk's.
            (["/s", "*.TXT"], 0, ["low%sX.TXT→x.txt" % s, "SUB%sDEEP%sTWO.TXT→two.txt" % (s, s),
                                  "SUB%sONE.TXT→one.txt" % s, "TOP.TXT→top.txt"],
             ["SUB", "SUB/DEEP", "SUB/DEEP/two.txt", "SUB/UP", "SUB/one.txt", "low", "low/x.txt", "top.txt"]),
            # What the user typed still counts.
            (["/s", "low%s*.TXT" % s], 0, [], None),
            # Under /v+k each walked entry shows its path, in a column as wide
            # as the widest shown.
            (["/s", "*.TXT", "/v+k", "/test"], 0,
             ["low%sX.TXT       →x.txt" % s, "SUB%sDEEP%sTWO.TXT→two.txt" % (s, s), "SUB%sONE.TXT     →one.txt" % s,
              "TOP.TXT         →top.txt"], None),
            # A folder typed in another case is walked as its stored spelling is.
            (["/s", "sub%s*" % s, "/l", "/test"], 0,
             ["sub%sDEEP%sTWO.TXT→two.txt" % (s, s), "sub%sDEEP→deep" % s, "sub%sONE.TXT→one.txt" % s]
             + ["sub%sUP→up" % s], None),
            (["/s", "*.TXT", "/l", "/v+s"], 0,
             ["low%sX.TXT→x.txt" % s, "SUB%sDEEP%sTWO.TXT→two.txt" % (s, s), "SUB%sONE.TXT→one.txt" % s,
              "TOP.TXT→top.txt", "【集計】改名:4件  対象外:0件  改名不能:0件  存在せず:0件"],
             ["SUB", "SUB/DEEP", "SUB/DEEP/two.txt", "SUB/UP", "SUB/one.txt", "low", "low/x.txt", "top.txt"]),
            # Directories after their contents; under Wine the link to the
            # parent is refused (Wine would move its target), natively it is
            # no directory.
            (["/s", "*", "/fd", "/l", "/c"], 2 if self.bin.wine else 0,
             ["SUB%sDEEP→deep" % s] + (["SUB\\UP→up:改名不能"] if self.bin.wine else []) + ["SUB→sub"],
             ["sub/UP", "low", "low/X.TXT", "sub", "sub/deep", "sub/deep/TWO.TXT", "sub/ONE.TXT", "TOP.TXT"]),
        ]
        if not self.bin.wine:
            # On Linux a folder named is walked, as chmod -R does, in whatever
            # case it is typed.
            rows.append((["-s", "sub"], 0,
                         ["SUB/DEEP/TWO.TXT→two.txt", "SUB/DEEP→deep", "SUB/ONE.TXT→one.txt", "SUB/UP→up", "SUB→sub"],
                         ["low", "low/X.TXT", "sub", "sub/deep", "sub/deep/two.txt", "sub/one.txt", "sub/up",
                          "TOP.TXT"]))
        # An old DOS tree under lower-case folders; hidden entries and
        # version control's folders are kept out, counted, and taken in by /a.
        dos = ["v4.0/", "v4.0/src/", "v4.0/src/CMD/", "v4.0/src/CMD/COMMAND.ASM", "CVS/", "CVS/ROOT",
               ".hid/", ".hid/IN.TXT", ".git/", ".git/HEAD", ".ENV"]
        rows += [
            (["/s", "*", "/v+s"], 0,
             ["v4.0%ssrc%sCMD%sCOMMAND.ASM→command.asm" % (s, s, s), "v4.0%ssrc%sCMD→cmd" % (s, s),
              "【集計】改名:2件  対象外:2件  改名不能:0件  存在せず:0件  除外:4件"],
             [".ENV", ".git", ".git/HEAD", ".hid", ".hid/IN.TXT", "CVS", "CVS/ROOT", "v4.0", "v4.0/src",
              "v4.0/src/cmd", "v4.0/src/cmd/command.asm"], dos),
            (["/s", "*", "/a", "/test", "/v+s"], 0,
             [".git%sHEAD→head" % s, ".hid%sIN.TXT→in.txt" % s, "CVS%sROOT→root" % s,
              "v4.0%ssrc%sCMD%sCOMMAND.ASM→command.asm" % (s, s, s), "v4.0%ssrc%sCMD→cmd" % (s, s),
              ".ENV→.env", "CVS→cvs", "【集計】改名予定:7件  対象外:4件  改名不能:0件  存在せず:0件"], None, dos),
            (["/s", "*.TXT", "/a"], 0, [".hid%sIN.TXT→in.txt" % s], None, dos),
        ]
        # A tree deeper than 260 bytes: every entry is counted and lowered.
        deep = "/".join("FOLDER%d" % i for i in range(1, 41))
        deep_lines = ["【集計】改名%s:41件  対象外:0件  改名不能:0件  存在せず:0件" % t for t in ("予定", "")]
        rows += [
            (["/s", "*", "/test", "/c", "/v=s"], 0, deep_lines[:1], None, deep),
            (["/s", "*", "/l", "/v=s"], 0, deep_lines[1:], [deep.lower(), deep.lower() + "/deep.txt"], deep),
        ]
        for args, code, lines, left, *deep_tree in rows:
            with self.subTest(args=args, deep=bool(deep_tree)):
                shutil.rmtree(self.dir)
                os.mkdir(self.dir)
                if deep_tree and isinstance(deep_tree[0], list):
                    for entry in deep_tree[0]:
                        self.mkdir(entry) if entry.endswith("/") else self.touch(entry)
                elif deep_tree:
                    os.makedirs(os.path.join(self.dir, deep_tree[0]))
                    self.touch(deep_tree[0] + "/DEEP.TXT")
                else:
                    self.make()
                got = self.tavisk(*args)
                self.expect(got, code, "".join(l + "\n" for l in lines).encode("cp932"))
                if left:
                    found = sorted(os.path.relpath(os.path.join(r, n), self.dir)
                                   for r, ds, fs in os.walk(self.dir) for n in ds + fs)
                    if deep_tree and not isinstance(deep_tree[0], list):  # the deepest two stand for the rest
                        found = found[-2:]
                    self.assertEqual(found, sorted(left))


if __name__ == "__main__":
    harness.main()
