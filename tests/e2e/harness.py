"""End-to-end harness: runs the real tavisk (native) or tavisk.exe (under Wine)
in a fresh temporary directory and hands back the exact bytes it wrote.

Each test module is run as `python3 test_x.py --binary native|wine --build DIR`.
Names on disk: the native binary sees raw bytes (Shift-JIS names are stored as
Shift-JIS); Wine converts between UTF-8 on disk and code page 932.
"""
import argparse
import atexit
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

OPTIONS = None

# Wine 8 now and then fails a process of its own accord: its loader as the
# process ends ("Inconsistency detected by ld.so", exit 127), or, on a fresh
# machine, a run that ends with nothing written. A Wine module that fails runs
# once more, with the first failures left in the log; a fault of the
# command's fails both times.
WINE_LOADER_FAULT = b"Inconsistency detected by ld.so"
wine_loader_faults = 0


def sjis(text):
    return text.encode("cp932")


class Binary:
    def __init__(self, kind, build):
        self.kind = kind
        self.build = os.path.abspath(build)
        if kind == "native":
            self.path = os.path.join(self.build, "tavisk")
        else:
            self.path = os.path.join(self.build, "tavisk.exe")
        if not os.path.exists(self.path):
            raise SystemExit("missing binary: " + self.path)

    @property
    def wine(self):
        return self.kind == "wine"

    def env(self, extra=None):
        env = dict(os.environ)
        if self.wine:
            env.update(wine_environment(self.build))
        else:
            env["LC_ALL"] = "C"
        if extra:
            env.update(extra)
        return env

    def name(self, text):
        """A file name as this binary's disk holds it: UTF-8 for Wine, raw
        Shift-JIS bytes for the native binary."""
        return os.fsencode(text) if self.wine else sjis(text)

    def arg(self, text):
        return self.name(text)

    @property
    def sep(self):
        """The separator of paths: Linux has only '/', and a '\\' there is a
        byte of a name."""
        return "\\" if self.wine else "/"

    def typed(self, path):
        """A path written with '\\' as this binary's users type it."""
        return path if self.wine else path.replace("\\", "/")

    def out(self, data):
        """Expected standard output: Wine's text-mode stdout writes CRLF."""
        return data.replace(b"\n", b"\r\n") if self.wine else data

    def command(self, args, exe=None):
        exe = exe or self.path
        prefix = ["wine", exe] if self.wine else [exe]
        if not self.wine:
            args = [p for a in args for p in posix_switches(a)]
        return prefix + [a if isinstance(a, bytes) else a.encode() for a in args]

    def switches(self, data):
        """Expected output that names switches: the native usage screen shows
        them with '-'."""
        return data if self.wine else data.replace(b" /", b" -")

    def run(self, args, cwd, exe=None, env=None, stdin=subprocess.DEVNULL):
        # Files, not pipes: Wine takes seconds to start when its output is a pipe.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            p = subprocess.run(self.command(args, exe), cwd=cwd, env=self.env(env),
                               stdin=stdin, stdout=out, stderr=err, timeout=120)
            out.seek(0)
            err.seek(0)
            result = p.returncode, out.read(), err.read()
        if self.wine and WINE_LOADER_FAULT in result[2]:
            global wine_loader_faults
            wine_loader_faults += 1
        return result


SWITCH_WORDS = {"a", "a-", "u", "u-", "z", "z-", "f", "ff", "fd", "fa", "f-", "l", "l-", "k", "k-", "c", "c-", "p", "p-", "s", "s-",
                "test", "test-", "j", "j-", "undo", "?", "help"}


def is_switch_word(word):
    word = word.lower()
    return word in SWITCH_WORDS or (word[:1] == "v" and all(c in "+-=aceks" for c in word[1:]))


def posix_switches(arg):
    """The stories are written with Windows switches; on POSIX each '/' switch
    is given with '-', a chained one as separate arguments. Anything else,
    paths and mistyped switches among them, stays as it is."""
    if not isinstance(arg, str) or not arg.startswith("/"):
        return [arg]
    if arg == "/porcelain":
        return ["--porcelain"]
    words = arg[1:].split("/")
    if all(is_switch_word(w) for w in words):
        return ["-" + w for w in words]
    return [arg]


def wine_environment(build):
    return {
        "WINEPREFIX": os.path.join(os.path.abspath(build), "wineprefix"),
        "WINEDEBUG": "-all",
        "LC_ALL": "ja_JP.UTF-8",
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
    }


class Case(unittest.TestCase):
    """A test in a fresh temporary directory with the chosen binary."""

    def setUp(self):
        self.bin = BINARY
        self.dir = tempfile.mkdtemp(prefix="tavisk-e2e-")

    def tearDown(self):
        subprocess.run(["chmod", "-R", "u+w", self.dir])
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(os.fsencode(self.dir), *[p if isinstance(p, bytes) else os.fsencode(p) for p in parts])

    def touch(self, name, content=b""):
        with open(self.path(name), "wb") as f:
            f.write(content)

    def mkdir(self, name):
        os.mkdir(self.path(name))

    def names(self, sub=b""):
        return sorted(os.listdir(self.path(sub)))

    def tavisk(self, *args, **kw):
        return self.bin.run(list(args), cwd=self.dir, **kw)

    def run_stories(self, stories):
        """Runs each story in a directory of its own. make: the entries before
        (a trailing '/' makes a directory; a pair gives a file its content).
        args, code, out: the run, its standard error as expect() checks it.
        after: the names on disk; contents: what named files still hold."""
        for number, story in enumerate(stories):
            with self.subTest(story=story["name"]):
                here = self.path("story%d" % number)
                os.mkdir(here)
                for entry in story["make"]:
                    name, content = entry if isinstance(entry, tuple) else (entry, b"")
                    if name.endswith("/"):
                        os.mkdir(os.path.join(here, os.fsencode(name[:-1])))
                        continue
                    with open(os.path.join(here, os.fsencode(name)), "wb") as f:
                        f.write(content)
                self.expect(self.bin.run(story["args"], cwd=here), story["code"], story["out"])
                self.assertEqual(sorted(os.listdir(here)), sorted(os.fsencode(n) for n in story["after"]))
                for name, content in story.get("contents", {}).items():
                    with open(os.path.join(here, os.fsencode(name)), "rb") as f:
                        self.assertEqual(f.read(), content, name)

    def expect(self, result, code, out=b"", err=None):
        """`err` None: standard error holds only the reasons and the stop
        message, in the form "tavisk: ...", one for each failure line of
        standard output, and nothing after a run without failures."""
        got_code, got_out, got_err = result
        # What else the run said, for a run that stopped early.
        self.assertEqual(got_out, self.bin.out(out), "exit %s, stderr %r" % (got_code, got_err))
        if err is None:
            self.expect_reasons(got_out, got_err, code)
        else:
            self.assertEqual(got_err, err)
        self.assertEqual(got_code, code)

    def expect_reasons(self, out, err, code):
        """Standard error holds a reason, "tavisk: PATH: ...", for each
        failure line of `out`, and the stop message where a failure ended
        the run; nothing else."""
        said = err.splitlines()
        for line in said:
            self.assertTrue(line.startswith(b"tavisk: "), err)
        failures = failure_lines(out)
        stops = 1 if code == 1 and failures else 0
        self.assertEqual(len(said), failures + stops, err)


BINARY = None

# The tags of the failure lines of standard output (Shift-JIS): each has its
# reason on standard error.
FAILURE_TAGS = ["存在せず".encode("cp932"), "改名不能".encode("cp932"), "読み取り不能".encode("cp932")]
SUMMARY_TAG = "【集計】".encode("cp932")


def stop_message(binary, path, untouched, english=False):
    """What standard error says where a failure ended the run."""
    introducer = "/" if binary.wine else "-"
    if english:
        return ("tavisk: stopped at %s; entries named or matched but left untouched: %d. "
                "Give %sc to go on past failures.\n" % (path, untouched, introducer)).encode()
    return ("tavisk: %s で停止しました。指定または一致した残りの %d 件は変更していません。"
            "失敗しても続けるには %sc を指定してください。\n" % (path, untouched, introducer)).encode("cp932")


def failure_lines(out):
    """The failure lines of a run's standard output (the closing count
    names failures too, and is none)."""
    return sum(1 for line in out.replace(b"\r\n", b"\n").split(b"\n")
               if not line.startswith(SUMMARY_TAG) and any(line.endswith(tag) or tag + b"(" in line
                                                          for tag in FAILURE_TAGS))


def keep_journals_apart():
    """The runs' journals go to a folder of the test's own, not the user's."""
    state = tempfile.mkdtemp(prefix="tavisk-state-")
    atexit.register(shutil.rmtree, state, True)
    os.environ["XDG_STATE_HOME"] = state


def main():
    global BINARY
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", choices=["native", "wine"], required=True)
    parser.add_argument("--build", required=True)
    args, rest = parser.parse_known_args()
    BINARY = Binary(args.binary, args.build)
    keep_journals_apart()
    for attempt in (1, 2):
        faults = wine_loader_faults
        program = unittest.main(argv=[sys.argv[0]] + rest, verbosity=2, exit=False)
        if program.result.wasSuccessful():
            sys.exit(0)
        if attempt == 2 or not BINARY.wine:
            sys.exit(1)
        said = " (its loader said: %s)" % WINE_LOADER_FAULT.decode() if wine_loader_faults > faults else ""
        print("These stories failed under Wine%s; they run once more." % said, file=sys.stderr)
