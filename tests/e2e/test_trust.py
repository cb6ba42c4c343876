"""Trust under scale, faults, interruption and hostile input: whatever happens,
no entry is lost, overwritten or mangled, and every reported line matches the
disk."""
import hashlib
import itertools
import os
import re
import random
import shlex
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

import harness
from harness import sjis

SEED = int(os.environ.get("TAVISK_SEED", "20261207"))
ARROW = "→"
CANNOT = ":改名不能"
MISSING = ":存在せず"
PIECES = (list("ABCDEFGHIJKLMNOPQRSTUVWXYZ") * 3 + list("abcdefghxyz0123456789") +
          [" ", ".", "~", "_", "-"] + ["表", "ソ", "能", "ア", "ｱ", "Ｘ", "ー"])


def random_name(rng):
    if rng.random() < 0.5:  # an 8.3 name in capitals
        stem = "".join(rng.choice(PIECES[:78] + ["表", "_"]) for _ in range(rng.randint(1, 8)))
        return stem + rng.choice([".TXT", ".DAT", "", ".C"])
    return "".join(rng.choice(PIECES) for _ in range(rng.randint(1, 14)))


def well_formed(name):
    return name.strip(" .") == name and name not in ("", ".", "..") and not name.startswith("tavisk~")


class Tree:
    """A random tree: every entry by inode, with its path, kind and content hash."""

    def __init__(self, case, rng, count):
        self.case = case
        names, spellings = set(), set()
        directories = ["SUB%d" % i for i in range(3)] + ["DIR表"]
        for d in directories:
            case.mkdir(case.bin.name(d))
        while len(names) < count:
            name = random_name(rng)
            if not well_formed(name):
                continue
            folder = rng.choice([""] * 4 + directories)
            path = folder + "/" + name if folder else name
            if path in names or path.upper() in spellings and rng.random() < 0.7:
                continue  # some spellings side by side, not too many
            names.add(path)
            spellings.add(path.upper())
            if rng.random() < 0.05:
                case.mkdir(case.bin.name(path))
            else:
                case.touch(case.bin.name(path), os.urandom(rng.randint(0, 64)))
        self.patterns = [d + case.bin.sep + "*" for d in directories] + ["*"]

    def snapshot(self):
        entries = {}
        top = os.fsencode(self.case.dir)
        for root, dirs, files in os.walk(top):
            for n in dirs + files:
                full = os.path.join(root, n)
                st = os.lstat(full)
                digest = None
                if not os.path.isdir(full):
                    with open(full, "rb") as f:
                        digest = hashlib.sha256(f.read()).hexdigest()
                entries[st.st_ino] = (os.path.relpath(full, top), os.path.isdir(full), digest)
        return entries


def case_only_change(old, new):
    """True when `new` differs from `old` only in A-Z bytes turned into a-z."""
    return len(old) == len(new) and all(
        a == b or (65 <= a <= 90 and b == a + 32) for a, b in zip(old, new))


class RandomTree(harness.Case):
    COUNT = 300

    def disk_path(self, reported):
        """The disk path of a reported name (the command's code, '\\' separators)."""
        text = reported.replace("\\", "/")
        return self.bin.name(text)

    def check_run(self, before, after, args, code, out, err):
        label = " ".join(args)
        self.expect_reasons(out, err, code)
        self.assertEqual(sorted(before), sorted(after), "entries lost or added: " + label)
        moved = {}
        for inode, (path, kind, digest) in before.items():
            new_path, new_kind, new_digest = after[inode]
            self.assertEqual((kind, digest), (new_kind, new_digest), path)
            self.assertTrue(case_only_change(path, new_path), (path, new_path))
            if os.path.basename(new_path) != os.path.basename(path):
                moved[path] = new_path
        if "/test" in args:
            self.assertEqual(moved, {}, label)
        # Every rename is reported and every reported rename happened.
        by_path = {before[i][0]: after[i][0] for i in before}
        reported = set()
        text = out.replace(b"\r\n", b"\n").decode("cp932")
        for line in text.splitlines():
            if line.endswith(MISSING) or ARROW not in line:
                continue
            old, new = line.split(ARROW, 1)
            old = old.rstrip(" ") if "/v+k" in args else old
            failed = new.endswith(CANNOT)
            new = new[: -len(CANNOT)] if failed else new
            old_path = self.disk_path(old)
            self.assertIn(old_path, by_path, line)
            directory = os.path.dirname(old_path)
            # A directory renamed later in the run carries the entry with it.
            expected = os.path.basename(old_path) if failed or "/test" in args else self.bin.name(new)
            self.assertEqual(by_path[old_path], os.path.join(by_path.get(directory, directory), expected), line)
            reported.add(old_path)
        self.assertTrue(set(moved) <= reported, "renamed without a line: %s" % (set(moved) - reported))
        failures = CANNOT in text or MISSING in text
        # What the run wrote, for a code that nothing in it explains.
        label += " %r" % out[-300:]
        if "/c" in args:
            self.assertEqual(code, 2 if failures else 0, label)
        else:
            self.assertEqual(code, 1 if failures else 0, label)

    def test_every_mode_combination_keeps_every_entry(self):
        rng = random.Random(SEED)
        modes = ["/l", "/k", "/fa", "/c", "/test"]
        combinations = [c for n in range(len(modes) + 1) for c in itertools.combinations(modes, n)]
        if self.bin.wine:
            combinations = combinations[::4]  # Wine's lookups are slow on a large directory
        for combination in combinations:
            with self.subTest(combination):
                shutil.rmtree(self.dir)
                os.mkdir(self.dir)
                tree = Tree(self, rng, self.COUNT if self.bin.wine else 4 * self.COUNT)
                before = tree.snapshot()
                args = tree.patterns + list(combination)
                preview = None
                if "/test" not in args:  # the preview first: it must predict the run
                    preview = self.tavisk(*(args + ["/test"]))
                    self.assertEqual(tree.snapshot(), before, "the preview changed the disk")
                code, out, err = self.tavisk(*args)
                self.check_run(before, tree.snapshot(), args, code, out, err)
                if preview:
                    self.assertEqual((preview[0], preview[1]), (code, out), "the preview did not predict the run")

    def test_an_entry_met_twice_is_previewed_as_the_run_meets_it(self):
        # Each row: what is made, then the arguments. The preview gives the
        # run's lines, counts and exit code, and leaves the disk alone.
        rows = [
            (["TEST.TXT"], ["TEST.TXT", "TEST.TXT"]),
            (["TEST.TXT"], ["TEST.TXT", "test.txt"]),
            (["TEST.TXT", "TOP.TXT"], ["*", "T*"]),
            (["SUB/", "SUB/ONE.TXT"], ["SUB", self.bin.typed("SUB\\ONE.TXT"), "SUB", "/l"]),
            # (A folder walked twice is shown under its old spelling in the
            # preview's lines of what it leaves alone: /v+s, not /v=a.)
            (["SUB/", "SUB/ONE.TXT", "TOP.TXT"], ["/s", "*", "SUB", "/v+s"]),
            (["SUB/", "SUB/ONE.TXT", "TOP.TXT"], ["/s", "*", "T*", "/fa"]),
            # A name whose temporary name would pass 255 characters: lowered
            # for real with the journal (Wine takes the detour); without one,
            # refused where the detour is taken, and the preview says so.
            (["L" * 251 + ".TXT"], ["*", "/l"]),
            (["L" * 251 + ".TXT"], ["*", "/l", "/j-"]),
        ]
        for make, args in rows:
            with self.subTest(args=args):
                shutil.rmtree(self.dir)
                os.mkdir(self.dir)
                for entry in make:
                    self.mkdir(entry) if entry.endswith("/") else self.touch(entry)
                args = args + ([] if "/v+s" in args else ["/v=a+s"])
                code, out, err = self.tavisk(*(args + ["/test"]))
                self.assertEqual(sorted(os.listdir(self.dir)), sorted(e.split("/")[0] for e in make if "/" not in e[:-1]))
                real = self.tavisk(*args)
                self.assertEqual((code, out.replace(sjis("改名予定"), sjis("改名")), err), real, args)
                if "L" * 251 + ".TXT" in make:
                    lowered = "/j-" not in args or not self.bin.wine
                    self.assertEqual(os.listdir(self.dir), ["l" * 251 + ".txt" if lowered else make[0]])


ROUNDS_AT_ONCE = int(os.environ.get("ROUNDS_AT_ONCE", "3"))


class Interruption(harness.Case):
    def interrupt_large_run(self, sig):
        # A run that ends before the signal reaches it proves nothing: it is
        # tried again on more names.
        for count in ((600, 2400, 9600) if self.bin.wine else (20000, 80000)):
            result = self.interrupt_run_of(count, sig)
            if result is not None:
                return result
            shutil.rmtree(self.dir)
            os.mkdir(self.dir)
        self.fail("the run was not interrupted half way")

    def interrupt_run_of(self, count, sig):
        for i in range(count):
            self.touch("F%05d.TXT" % i)
        with tempfile.TemporaryFile() as out:
            p = subprocess.Popen(self.bin.command(["F*.TXT"]), cwd=self.dir, env=self.bin.env(),
                                 stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)
            # Wait until the run is under way, then interrupt it.
            deadline = time.time() + 60
            while time.time() < deadline and not any(n.startswith(b"f") for n in os.listdir(self.path())):
                time.sleep(0.01)
            target = p.pid
            if self.bin.wine:  # the Windows process, not the wine loader
                found = subprocess.run(["pgrep", "-f", "^" + self.bin.path + " F"],
                                       stdout=subprocess.PIPE).stdout.split()
                target = int(found[0]) if found else p.pid
            os.kill(target, sig)
            code = p.wait(timeout=60)
            out.seek(0)
            reported = out.read().replace(b"\r\n", b"\n").count(b"\n")
        names = self.names()
        self.assertEqual(len(names), count)
        self.assertEqual([n for n in names if not n.upper().startswith(b"F")], [])
        lowered = [n for n in names if n.startswith(b"f")]
        if len(lowered) == count:
            return None
        self.assertGreater(len(lowered), 0)
        self.assertLessEqual(reported, len(lowered), "a line for a rename that did not happen")
        return code

    def test_signal_during_a_large_run_leaves_no_temporary_name(self):
        if self.bin.wine:
            # The console control handler ends the run with 1.
            self.assertEqual(self.interrupt_large_run(signal.SIGINT), 1)
            return
        for sig in (signal.SIGINT, signal.SIGTERM):
            with self.subTest(sig):
                self.assertEqual(self.interrupt_large_run(sig), -sig)
                shutil.rmtree(self.dir)
                os.mkdir(self.dir)


    def test_killed_runs_leave_nothing_that_the_next_run_does_not_put_right(self):
        if not self.bin.wine:
            self.skipTest("only the Windows binary renames through a temporary name on this disk")
        count = 300
        for i in range(count):
            self.touch("K%05d.TXT" % i)
        for delay in (0.3, 0.6, 0.9):
            p = subprocess.Popen(self.bin.command(["K*.TXT"]), cwd=self.dir, env=self.bin.env(),
                                 stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
            deadline = time.time() + 60
            while time.time() < deadline and not any(n.startswith(b"k") for n in os.listdir(self.path())):
                time.sleep(0.01)
            time.sleep(delay)
            found = subprocess.run(["pgrep", "-f", "^" + self.bin.path + " K"], stdout=subprocess.PIPE).stdout.split()
            for pid in found:
                os.kill(int(pid), signal.SIGKILL)
            p.wait(timeout=60)
        code, out, err = self.tavisk("K*.TXT")
        names = self.names()
        self.assertEqual((code, err), (0, b""), out[-300:])
        self.assertEqual(names, [b"k%05d.txt" % i for i in range(count)])

        # Two runs at once over the same names: neither puts back what the
        # other holds under a temporary name, so that none is left there,
        # and a line that names a temporary name names one that is there.
        for _ in range(ROUNDS_AT_ONCE):
            for n in self.names():
                os.rename(self.path(n), self.path(n.upper()))
            runs = []
            for delay in (0, random.uniform(0.2, 0.8)):  # the second finds the first at work
                time.sleep(delay)
                runs.append(subprocess.Popen(self.bin.command(["/c", "K*.TXT"]), cwd=self.dir, env=self.bin.env(),
                                             stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                             stderr=subprocess.DEVNULL))
            outs = [p.communicate(timeout=300)[0] for p in runs]
            names = self.names()
            self.assertEqual([n for n in names if n.endswith(b".tavisk~")], [])
            for out in outs:
                for told in re.findall(rb"\(([^()]*\.tavisk~)\)", out):
                    self.assertIn(told.rsplit(b"\\", 1)[-1], names)
            self.assertEqual(self.tavisk("K*.TXT")[0], 0)
            self.assertEqual(self.names(), [b"k%05d.txt" % i for i in range(count)])


class Links(harness.Case):
    """Links to a file and to a directory, beside and elsewhere, and dangling:
    each is renamed as itself or refused, and never is its target moved."""

    def snapshot(self):
        entries = {}
        for root, dirs, files in os.walk(self.path()):
            for n in dirs + files:
                full = os.path.join(root, n)
                st = os.lstat(full)
                if os.path.islink(full):
                    what = b"-> " + os.readlink(full)
                elif os.path.isdir(full):
                    what = b"dir"
                else:
                    with open(full, "rb") as f:
                        what = f.read()
                entries[st.st_ino] = (os.path.relpath(full, self.path()), what)
        return entries

    def test_links_are_renamed_as_themselves_or_refused(self):
        for d in ("OTHER", "OTHER/PROJ", "HERE", "HERE/SUBD"):
            self.mkdir(d)
        self.touch("OTHER/DATA.DB", b"data")
        self.touch("OTHER/PROJ/IN.TXT", b"in")
        self.touch("HERE/PLAIN.TXT", b"plain")
        for link, target in (("LINK2.TXT", "../OTHER/DATA.DB"), ("PROJ", "../OTHER/PROJ"),
                             ("DANGLE.TXT", "NOWHERE"), ("SAME.TXT", "PLAIN.TXT"), ("DLINK", "SUBD")):
            os.symlink(target, self.path("HERE", link))
        before = self.snapshot()
        code, out, err = self.tavisk(self.bin.typed("HERE\\*"), "/c")
        after = self.snapshot()
        self.expect_reasons(out, err, code)
        self.assertEqual(sorted(before), sorted(after))
        for inode, (path, what) in before.items():
            new_path, new_what = after[inode]
            self.assertEqual(what, new_what, path)
            self.assertTrue(case_only_change(path, new_path), (path, new_path))
            if not path.startswith(b"HERE/"):
                self.assertEqual(path, new_path, "a target moved")
        if self.bin.wine:
            self.assertIn(code, (1, 2))  # Wine follows the links: refused, never moved
        else:
            self.assertEqual(code, 0)
            self.assertEqual(sorted(os.listdir(self.path("HERE"))),
                             [b"dangle.txt", b"dlink", b"link2.txt", b"plain.txt", b"proj", b"same.txt", b"subd"])


class Faults(harness.Case):
    def test_a_read_only_mount_says_so(self):
        # A bind mount made read-only: the system refuses every rename there.
        if os.geteuid() != 0:
            self.skipTest("mounting needs root")
        self.mkdir("RW")
        self.mkdir("RO")
        self.touch("RW/KEEP.TXT")
        if subprocess.run(["mount", "--bind", self.path("RW"), self.path("RO")]).returncode:
            self.skipTest("bind mounts are not permitted here")
        try:
            if subprocess.run(["mount", "-o", "remount,ro,bind", self.path("RO")]).returncode:
                self.skipTest("a bind mount cannot be made read-only here")
            path = self.bin.typed("RO\\KEEP.TXT")
            code, out, err = self.tavisk(path)
            # Wine reports a read-only Linux disk as access denied.
            said = "アクセスが拒否されました" if self.bin.wine else "読み取り専用のファイル・システムです"
            reason = sjis("tavisk: %s: %s\n" % (path, said))
            self.assertEqual((code, err), (1, self.bin.out(reason + harness.stop_message(self.bin, path, 0))), out)
            self.assertEqual(self.names("RW"), [b"KEEP.TXT"])
        finally:
            subprocess.run(["umount", self.path("RO")])

    def test_immutable_file_is_a_failure_and_stays(self):
        self.touch("KEEP.TXT", b"data")
        self.touch("NEXT.TXT")
        r = subprocess.run(["chattr", "+i", self.path("KEEP.TXT")], stderr=subprocess.PIPE)
        if r.returncode != 0:
            self.skipTest("chattr +i is not permitted here: " + r.stderr.decode(errors="replace").strip())
        try:
            code, out, err = self.tavisk("KEEP.TXT", "NEXT.TXT")
            reason = sjis("tavisk: KEEP.TXT: アクセスが拒否されました\n")
            self.assertEqual((code, err), (1, self.bin.out(reason + harness.stop_message(self.bin, "KEEP.TXT", 1))))
            self.assertEqual(out, self.bin.out(sjis("KEEP.TXT→keep.txt" + CANNOT + "\n")))
            self.assertEqual(self.names(), [b"KEEP.TXT", b"NEXT.TXT"])
            code, out, err = self.tavisk("KEEP.TXT", "NEXT.TXT", "/c")
            self.assertEqual(code, 2)
            self.assertEqual(self.names(), [b"KEEP.TXT", b"next.txt"])
        finally:
            subprocess.run(["chattr", "-i", self.path("KEEP.TXT")])

    def test_a_reader_that_goes_away_does_not_stop_the_renames(self):
        # Long names: the report outgrows the pipe and tavisk.exe's buffer.
        count = 600 if self.bin.wine else 3000
        for i in range(count):
            self.touch("P%05d%s.TXT" % (i, "L" * 150))
        with tempfile.TemporaryFile() as err:
            command = " ".join(shlex.quote(os.fsdecode(a)) for a in self.bin.command(["*", "/l"])) + " | head -c 10"
            r = subprocess.run(["bash", "-c", "set -o pipefail; " + command], cwd=self.dir, env=self.bin.env(),
                               stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=err)
            err.seek(0)
            self.assertEqual((r.returncode, r.stdout), (1, b"P00000LLLL"))
            self.assertEqual(err.read(), self.bin.out(sjis("結果を標準出力に書き込めませんでした。\n")))
        self.assertEqual(self.names(), [b"p%05d%s.txt" % (i, b"l" * 150) for i in range(count)])

    def test_a_bind_mount_of_the_start_does_not_walk_it_twice(self):
        self.mkdir("SUB")
        self.mkdir("SUB/loop")
        self.touch("TOP.TXT")
        self.touch("SUB/IN.TXT")
        loop = self.path("SUB", "loop")
        r = subprocess.run(["mount", "--bind", self.path(), loop], stderr=subprocess.PIPE)
        if r.returncode != 0:
            self.skipTest("bind mounts are not permitted here: " + r.stderr.decode(errors="replace").strip())
        try:
            code, out, err = self.tavisk("/s", "*", "/fa", "/l")
        finally:
            # Wherever the run left the mount point (SUB is renamed).
            with open("/proc/self/mounts") as mounts:
                points = [line.split()[1] for line in mounts if line.split()[1].startswith(self.dir + "/")]
            for point in points:
                subprocess.run(["umount", "-l", point])
        s = "\\" if self.bin.wine else "/"
        self.expect((code, out, err), 0, sjis("SUB%sIN.TXT→in.txt\nSUB→sub\nTOP.TXT→top.txt\n" % s))
        self.assertEqual(self.names(), [b"sub", b"top.txt"])
        self.assertEqual(self.names("sub"), [b"in.txt", b"loop"])

    def test_read_only_mount_is_a_failure_and_nothing_changes(self):
        self.mkdir("RO")
        self.touch("RO/ABC.TXT", b"data")
        ro = self.path("RO")
        r = subprocess.run(["mount", "--bind", ro, ro], stderr=subprocess.PIPE)
        if r.returncode != 0:
            self.skipTest("bind mounts are not permitted here: " + r.stderr.decode(errors="replace").strip())
        try:
            r = subprocess.run(["mount", "-o", "remount,bind,ro", ro], stderr=subprocess.PIPE)
            if r.returncode != 0:
                self.skipTest("read-only remounts are not permitted here")
            # The preview tells it as the run does.
            for args in ([self.bin.typed("RO\\*.TXT"), "/test"], [self.bin.typed("RO\\*.TXT")]):
                code, out, err = self.tavisk(*args)
                self.assertEqual(code, 1, args)
                self.assertEqual(out, self.bin.out(sjis(self.bin.typed("RO\\ABC.TXT") + "→abc.txt" + CANNOT + "\n")),
                                 args)
        finally:
            subprocess.run(["umount", ro])
        self.assertEqual(self.names("RO"), [b"ABC.TXT"])


class HostileInput(harness.Case):
    def run_checked(self, *args, codes=(0, 1, 2), env=None):
        code, out, err = self.tavisk(*args, env=env)
        self.assertIn(code, codes, (code, out[:200], err[:200]))
        return code, out, err

    def test_paths_beyond_260_bytes(self):
        # Directories of 50 bytes, then a file name that brings the path to n:
        # the old 260-byte limit is gone on both.
        for n in (258, 259, 260, 300, 1000):
            top = "L%d" % n
            parts = [top] + ["D" * 49] * (n // 50 - 1)
            folder = "/".join(parts)
            os.makedirs(self.path(folder), exist_ok=True)
            name = "N" * (n - len(folder) - 1 - 4) + ".TXT"
            self.touch(folder + "/" + name)
            argument = (folder + "/" + name).replace("/", self.bin.sep)
            self.assertEqual(len(argument), n)
            code, out, err = self.run_checked(argument, "/l")
            self.assertEqual((code, out), (0, self.bin.out(sjis(argument + ARROW + name.lower() + "\n"))))
            self.assertEqual(err, b"")

    def test_a_tree_deeper_than_the_systems_paths(self):
        # Under -s, folders of 200 bytes go past the 4 096 bytes a path may
        # hold; the deepest holds names of 102 and 250 bytes. Each entry is
        # lowered or refused with its line, and none gets a byte it did not
        # have (the sanitizer build runs this too).
        fd = os.open(self.dir, os.O_RDONLY)
        made = []
        for i in range(24):
            name = ("F%02d" % i) + "D" * 197
            os.mkdir(name, dir_fd=fd)
            made.append(name)
            inner = os.open(name, os.O_RDONLY, dir_fd=fd)
            os.close(fd)
            fd = inner
        for name in ("N" * 98 + ".TXT", "M" * 246 + ".TXT"):
            os.close(os.open(name, os.O_CREAT | os.O_WRONLY, dir_fd=fd))
            made.append(name)
        os.close(fd)
        code, out, err = self.run_checked("/s", "/l", "/c", "*", codes=(1, 2))
        self.expect_reasons(out, err, code)
        self.assertTrue(any(sjis(tag) in out for tag in (":存在せず", ":改名不能", ":読み取り不能")), out[-200:])
        found = [n for _, dirs, files, _ in os.fwalk(self.dir) for n in dirs + files]
        for n in found:
            self.assertIn(n.upper(), made, n[:40])
        self.assertGreater(sum(n.islower() for n in found), 10)

    def test_over_long_and_many_arguments(self):
        self.touch("A.TXT")
        code, out, err = self.run_checked("X" * 4000, codes=(1,))
        self.assertEqual(out, self.bin.out(b"X" * 4000 + sjis(MISSING + "\n")))
        if not self.bin.wine:  # a Windows command line holds at most 32 767 characters
            code, out, err = self.run_checked("Y" * 100000, "A.TXT", "/c", "/test", codes=(2,))
            self.assertEqual(out.count(b"\n"), 2)
        many = 10000 if not self.bin.wine else 3000
        code, out, err = self.run_checked(*(["A.TXT"] + ["M%d" % i for i in range(many)] + ["/c", "/v=c"]),
                                          codes=(2,))
        self.assertEqual(out, self.bin.out(sjis("A.TXT→a.txt\n")))
        self.assertEqual(self.names(), [b"a.txt"])

    def test_running_out_of_memory_while_the_arguments_are_built(self):
        if self.bin.wine:
            self.skipTest("Wine cannot start in so little memory")
        with open(self.bin.path, "rb") as f:
            if b"__asan" in f.read():  # linked with the sanitizers' runtime, or carrying it
                self.skipTest("the sanitizers' shadow memory does not fit the limit")
        import resource
        def run(arguments, limit, locale="C"):
            def limited():
                resource.setrlimit(resource.RLIMIT_AS, (limit * 1024, limit * 1024))
            return subprocess.run(self.bin.command(arguments), cwd=self.dir, env=self.bin.env({"LC_ALL": locale}),
                                  preexec_fn=limited, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE)
        # The least memory (in steps of 500 KiB) in which the binary is loaded
        # at all, which depends on how it is linked, leaves no room for 1.5 MB
        # of arguments.
        arguments = ["A" * 1000] * 1500
        base = next((limit for limit in range(3000, 20000, 500) if run(arguments, limit).returncode != 127), None)
        if base is None:
            self.skipTest("the binary cannot even be loaded in 20 MB here")
        for locale in ("C", "C.UTF-8"):
            r = run(arguments, base, locale)
            self.assertEqual((r.returncode, r.stdout, r.stderr),
                             (255, b"", b"\r\nruntime error R6008\r\n- not enough space for arguments\r\n"))
        # Memory that runs out later, in the run's own containers, ends it
        # with the message and 1, never with an abort; what was renamed stays.
        for i in range(50000):
            os.close(os.open(os.path.join(self.dir, "F%07d.TXT" % i), os.O_CREAT | os.O_WRONLY))
        stops = {255: b"\r\nruntime error R6008\r\n- not enough space for arguments\r\n",
                 1: b"\n\a" + sjis("処理停止:メモリー不足\n")}
        seen = set()
        for limit in range(base + 5000, base + 17000, 1000):
            r = run(["*.TXT", "-test"], limit)
            self.assertIn(r.returncode, (0, 1, 255), (limit, r.stderr[-200:]))
            self.assertEqual(r.stderr, stops.get(r.returncode, b""), limit)
            seen.add(r.returncode)
        self.assertIn(1, seen)  # the run's own containers did run out somewhere

    def test_lead_byte_at_the_end_of_an_argument(self):
        self.touch(self.bin.name("表.TXT"))
        for argument in (b"A\x81", b"\x95", b"\x95\\", b"*\x81", b"\x81*"):
            if self.bin.wine and argument.endswith(b"\x81") or self.bin.wine and argument[:1] in (b"\x95", b"\x81"):
                continue  # Wine's loader cannot pass bytes that are not UTF-8
            code, out, err = self.run_checked(argument, "/k", codes=(1,))
            self.expect_reasons(out, err, code)
        self.assertEqual(self.names(), [self.bin.name("表.TXT")])

    def test_every_byte_in_names(self):
        if self.bin.wine:
            self.skipTest("Wine holds names in UTF-8; the native binary covers raw bytes")
        made = []
        for b in range(1, 256):
            if b == 0x2F:
                continue
            name = b"X" + bytes([b]) + b"Y.TXT"
            self.touch(name, bytes([b]))
            made.append(name)
        for b in range(0x81, 0x100):  # lead bytes at the very end of a name
            name = b"Z" + bytes([b])
            self.touch(name)
            made.append(name)
        before = {os.lstat(self.path(n)).st_ino: n for n in made}
        code, out, err = self.run_checked("*", "/l", "/k", "/c", "/fa", codes=(0, 2))
        after = {os.lstat(self.path(n)).st_ino: n for n in self.names()}
        self.assertEqual(sorted(before), sorted(after))
        for inode, name in before.items():
            self.assertTrue(case_only_change(name, after[inode]), (name, after[inode]))
        # Windows names hold no '\\'; on Linux it is a symbol of the name.
        self.assertIn(b"X\\Y.TXT" if self.bin.wine else b"x\\y.txt", after.values())

    def write_config(self, data):
        os.mkdir(self.path("bin"))
        exe = self.path("bin", os.path.basename(self.bin.path))
        subprocess.run(["cp", self.bin.path, exe], check=True)
        with open(self.path("bin", "tavisk.cfg"), "wb") as f:
            f.write(data)
        return exe

    def test_huge_and_random_configuration_files(self):
        self.touch("A.TXT")
        exe = self.write_config(b"; a comment line\n" * (50 * 1024 * 1024 // 17) + b"/test\n")
        code, out, err = self.bin.run(["A.TXT"], cwd=self.dir, exe=exe)
        self.assertEqual((code, err), (0, b""))
        self.assertEqual(out, self.bin.out(sjis("A.TXT→a.txt\n")))
        self.assertEqual(self.names(), [b"A.TXT", b"bin"])
        # A lead byte at the very end of a line, and of the file.
        with open(self.path("bin", "tavisk.cfg"), "wb") as f:
            f.write(b"/test\x81\n/l\x95")
        code, out, err = self.bin.run(["A.TXT", "/test"], cwd=self.dir, exe=exe)
        if self.bin.wine:
            self.assertEqual((code, err), (0, b""))
        else:  # Linux takes one documented switch a line, and names the line
            self.assertEqual(code, 1)
            self.assertTrue(err.endswith(sjis("の1行目\"/test") + b"\x81" + sjis("\"はオプションではありません。\n")), err)
        rng = random.Random(SEED)
        for trial in range(5):
            with open(self.path("bin", "tavisk.cfg"), "wb") as f:
                f.write(bytes(rng.randrange(256) for _ in range(rng.randint(1, 4096))))
            code, out, err = self.bin.run(["A.TXT", "/test"], cwd=self.dir, exe=exe)
            self.assertIn(code, (0, 1, 2))
            if err:
                self.assertTrue(err.startswith(self.bin.out(b"\n\x07" + sjis("処理停止:"))), err[:80])
            self.assertEqual(self.names(), [b"A.TXT", b"bin"])


if __name__ == "__main__":
    harness.main()
