"""Wildcards expanded by the command itself, sorted without regard to case."""
import os

import harness
from harness import sjis

ARROW = sjis("→")
MISSING = sjis(":存在せず")


FOUR = ["TEST1.txt", "test2.TxT", "TEST3.TXT", "other.doc"]
ALL_THREE = b"TEST1.txt" + ARROW + b"test1.txt\n" + b"test2.TxT" + ARROW + b"test2.txt\n" + \
    b"TEST3.TXT" + ARROW + b"test3.txt\n"

# Each row a run on both binaries (see harness.run_stories).
STORIES = [
    dict(name="the typical run", make=FOUR, args=["*.TXT", "/l"], code=0, out=ALL_THREE,
         after=["other.doc", "test1.txt", "test2.txt", "test3.txt"]),
    dict(name="a pattern without matches stays in its place", make=FOUR,
         args=["TEST1.txt", "none*.x", "TEST3.TXT", "/c", "/l"], code=2,
         out=b"TEST1.txt" + ARROW + b"test1.txt\n" + b"none*.x" + MISSING + b"\n" + b"TEST3.TXT" + ARROW +
             b"test3.txt\n",
         after=["other.doc", "test1.txt", "test2.TxT", "test3.txt"]),
    dict(name="switches and patterns mix in any order", make=FOUR, args=["/l", "test?.*", "/test"], code=0,
         out=ALL_THREE, after=FOUR),
    # The shell's "*.TXT" reaches the command as *.TXT and is expanded;
    # \"*.TXT reaches it as "*.TXT and stays as typed.
    dict(name="a text beginning with a quote is not expanded", make=FOUR, args=['"*.TXT', "/l"], code=1,
         out=b'"*.TXT' + MISSING + b"\n", after=FOUR),
]


class Wildcards(harness.Case):
    def setUp(self):
        super().setUp()
        for n in FOUR:
            self.touch(n)

    def test_quick_stories(self):
        self.run_stories(STORIES)

    def test_patterns_in_a_directory_with_either_separator(self):
        self.mkdir("sub")
        for n in ("B.TXT", "a.TXT"):
            self.touch(os.path.join("sub", n))
        if self.bin.wine:
            r = self.tavisk("sub\\*.txt", "/l", "/test")
            self.expect(r, 0, b"sub\\a.TXT" + ARROW + b"a.txt\n" + b"sub\\B.TXT" + ARROW + b"b.txt\n")
        else:  # on Linux a '\\' is a byte of a name: the pattern finds such names only
            self.touch("sub\\C.TXT")
            r = self.tavisk("sub\\*.txt", "/l", "/test")
            self.expect(r, 0, b"sub\\C.TXT" + ARROW + b"sub\\c.txt\n")
        r = self.tavisk("sub/*.txt", "/l")
        self.expect(r, 0, b"sub/a.TXT" + ARROW + b"a.txt\n" + b"sub/B.TXT" + ARROW + b"b.txt\n")
        self.assertEqual(self.names("sub"), [b"a.txt", b"b.txt"])

    def test_a_match_renamed_earlier_in_the_run_is_met_as_it_is_now(self):
        # The expansion listed TEST3.TXT before the run renamed it by its
        # typed name: the match finds test3.txt and leaves it alone.
        r = self.tavisk("TEST3.TXT", "*.TXT", "/l", "/v+k")
        self.assertEqual(r[0], 0)
        lines = r[1].split(b"\n")
        self.assertEqual(sum(ARROW in l for l in lines), 3, r[1])
        self.assertTrue(any(l.startswith(b"test3.txt") and ARROW not in l for l in lines), r[1])
        self.assertEqual(self.names(), [b"other.doc", b"test1.txt", b"test2.txt", b"test3.txt"])

    def test_kanji_prefix_is_no_separator(self):
        name = self.bin.name("表示.TXT")
        self.touch(name)
        r = self.tavisk(self.bin.arg("表*.TXT"), "/k")
        self.expect(r, 0, sjis("表示.TXT") + ARROW + sjis("表示.txt") + b"\n")
        self.assertIn(self.bin.name("表示.txt"), self.names())


if __name__ == "__main__":
    harness.main()
