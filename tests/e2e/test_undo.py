"""Undo stories: a run, what changes on disk since, then /undo from another
directory. Each row checks the lines, the exit code and the names on disk."""
import fcntl
import glob
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

import harness
from harness import sjis

ARROW = sjis("→")
CANNOT = sjis(":改名不能")
MISSING = sjis(":存在せず")
STOP = b"\n\a" + sjis("処理停止:")
NOTHING = STOP + sjis("取り消せる改名の記録がありません。") + b"\n"
LEFTOVER = ".tavisk~"

# name: the story. make: entries (a trailing '/' makes a directory). runs: the
# runs before the undo. change: what happens on disk since (a method below).
# undo: its switches. lines: (new name, old name or None for a missing entry,
# failed). code, err: of the undo. after: the names on disk. again: the exit
# code of a second undo.
STORIES = [
    dict(name="flat", make=["A.TXT", "B.TXT", "Mixed.txt"], runs=[["*"]],
         lines=[("b.txt", "B.TXT", False), ("a.txt", "A.TXT", False)], code=0,
         after=["A.TXT", "B.TXT", "Mixed.txt"], again=1),
    dict(name="tree", make=["SUB/", "SUB/C.TXT", "A.TXT"], runs=[["/s", "*"]],
         lines=[("sub", "SUB", False), ("a.txt", "A.TXT", False), ("SUB/c.txt", "C.TXT", False)], code=0,
         after=["A.TXT", "SUB", "SUB/C.TXT"]),
    dict(name="long names, each run in turn", make=["A.TXT", "Read Me.TXT"], runs=[["A.TXT"], ["/l", "*"]],
         lines=[("read me.txt", "Read Me.TXT", False)], code=0, after=["a.txt", "Read Me.TXT"], again=0),
    dict(name="changed since, /c goes on", make=["A.TXT", "B.TXT"], runs=[["*"]], change="replace_a",
         undo=["/c"], lines=[("b.txt", "B.TXT", False), ("a.txt", "A.TXT", True)], code=2,
         after=["B.TXT", "a.txt"]),
    dict(name="changed since, stops", make=["A.TXT", "B.TXT", "C.TXT"], runs=[["*"]], change="replace_b",
         lines=[("c.txt", "C.TXT", False), ("b.txt", "B.TXT", True)], code=1,
         after=["C.TXT", "a.txt", "b.txt"]),
    dict(name="old name taken since", make=["A.TXT"], runs=[["*"]], change="take_old_name",
         lines=[("a.txt", "A.TXT", True)], code=1, after=["A.TXT", "a.txt"]),
    dict(name="gone since", make=["A.TXT", "B.TXT"], runs=[["*"]], change="remove_b", undo=["/c"],
         lines=[("b.txt", None, True), ("a.txt", "A.TXT", False)], code=2, after=["A.TXT"]),
    dict(name="preview", make=["A.TXT"], runs=[["*"]], undo=["/test"],
         lines=[("a.txt", "A.TXT", False)], code=0, after=["a.txt"], again=0),
    dict(name="damaged journal", make=["A.TXT"], runs=[["*"]], change="damage_journal",
         code=1, err=("damaged", 6), after=["a.txt"]),
    # What an undo could not take back stays in the journal, and only that:
    # once the obstacle is gone, the next undo takes it back.
    dict(name="a failure kept and retried", make=["A.TXT", "B.TXT"], runs=[["*"]], change="take_old_name_b",
         undo=["/c"], lines=[("b.txt", "B.TXT", True), ("a.txt", "A.TXT", False)], code=2,
         after=["A.TXT", "B.TXT", "b.txt"], then="free_old_name_b", again_lines=[("b.txt", "B.TXT", False)],
         again=0, final=["A.TXT", "B.TXT"]),
    dict(name="a stop keeps what was not tried", make=["A.TXT", "B.TXT", "C.TXT"], runs=[["*"]],
         change="take_old_name_b", lines=[("c.txt", "C.TXT", False), ("b.txt", "B.TXT", True)], code=1,
         after=["B.TXT", "C.TXT", "a.txt", "b.txt"], then="free_old_name_b",
         again_lines=[("b.txt", "B.TXT", False), ("a.txt", "A.TXT", False)], again=0,
         final=["A.TXT", "B.TXT", "C.TXT"]),
    # A new file that the system gave the deleted one's number is no rename of the run's.
    dict(name="a stranger under a freed number", make=["A.TXT"], runs=[["*"]], change="recreate_a", native=True,
         lines=[("a.txt", "A.TXT", True)], code=1, after=["a.txt"]),
    dict(name="the runs kept are listed", make=["A.TXT", "B.TXT", "C.TXT"], runs=[["A.TXT"], ["B.TXT", "C.TXT"]],
         change="rename_c_back_by_hand", undo=["/list"], listed=[(2, 1), (1, 1)], code=0,
         after=["C.TXT", "a.txt", "b.txt"]),
    dict(name="a run taken by its number", make=["A.TXT", "B.TXT"], runs=[["A.TXT"], ["B.TXT"]], undo_number=2,
         lines=[("a.txt", "A.TXT", False)], code=0, after=["A.TXT", "b.txt"], again=0, final=["A.TXT", "B.TXT"]),
    # Under /u letters beyond A-Z are lowered and taken back like any other.
    dict(name="letters beyond A-Z", make=["CAFE.TXT", "ＡＢＣ.TXT", "ΑΒΓ.TXT", "МИР.TXT"], runs=[["/u", "*"]],
         lines=[("мир.txt", "МИР.TXT", False), ("αβγ.txt", "ΑΒΓ.TXT", False), ("ａｂｃ.txt", "ＡＢＣ.TXT", False),
                ("cafe.txt", "CAFE.TXT", False)], code=0, after=["CAFE.TXT", "ΑΒΓ.TXT", "МИР.TXT", "ＡＢＣ.TXT"]),
    dict(name="no such run", make=["A.TXT"], runs=[["A.TXT"]], undo_number=3,
         code=1, err=STOP + sjis("3番目の改名記録はありません。記録は1回分です。") + b"\n", after=["a.txt"]),
    # Records that no run can have written, each refused with its line before
    # anything is renamed (in the form written before lines had checksums).
    dict(name="a record that changes more than case", make=["A.TXT", "B.TXT"], runs=[["*"]],
         change="forge_names_B.TXT_c.txt", code=1, err=("damaged", 4), after=["a.txt", "b.txt"]),
    dict(name="a record that gives capitals", make=["A.TXT", "B.TXT"], runs=[["*"]],
         change="forge_names_b.txt_B.TXT", code=1, err=("damaged", 4), after=["a.txt", "b.txt"]),
    dict(name="a record whose name leaves its folder", make=["A.TXT", "B.TXT"], runs=[["*"]],
         change="forge_names_..SEPB.TXT_..SEPb.txt", code=1, err=("damaged", 4), after=["a.txt", "b.txt"]),
    dict(name="a record of '..'", make=["A.TXT", "B.TXT"], runs=[["*"]],
         change="forge_names_.._..", code=1, err=("damaged", 4), after=["a.txt", "b.txt"]),
    dict(name="a folder through '..'", make=["A.TXT"], runs=[["*"]], change="forge_folder_dotdot",
         code=1, err=("damaged", 3), after=["a.txt"]),
    # Wine shows a Linux link as a plain file; Windows's own links are reparse points, refused.
    dict(name="a journal that is a link", make=["A.TXT"], runs=[["*"]], change="link_journal", native=True,
         code=1, err=("unreadable", "journal"), after=["a.txt"]),
    dict(name="a folder of another user", make=["A.TXT"], runs=[["*"]], change="give_folder_away", native=True,
         code=1, err=("unreadable", "folder"), after=["a.txt"]),
    dict(name="a folder others may write", make=["A.TXT"], runs=[["*"]], change="open_folder", native=True,
         code=1, err=("unreadable", "folder"), after=["a.txt"]),
    # Windows: an undo killed between claiming the capitals and moving onto
    # them (as an earlier tavisk.exe claimed) is finished by the next undo.
    dict(name="an undo killed on its claim", make=["A.TXT"], runs=[["*"]], change="claim_left_by_undo", wine=True,
         code=0, lines=[("a.txt" + LEFTOVER, "a.txt", ":中断した改名から復元")], after=["A.TXT"], again=1),
    dict(name="an undo killed before its journal goes", make=["A.TXT", "B.TXT"], runs=[["A.TXT"], ["B.TXT"]],
         change="undo_killed_at_the_end", code=0, lines=[], after=["B.TXT", "a.txt"], again=0),
    dict(name="run without a journal", make=["A.TXT"], runs=[["/j-", "*"]], code=1, err=NOTHING,
         after=["a.txt"]),
    dict(name="journal cannot be written", make=["A.TXT"], runs=[["*"]], change="block_journal_before_run",
         code=1, err=NOTHING, after=["A.TXT"]),
    dict(name="the last twenty runs are kept", make=["F%02d.TXT" % i for i in range(22)],
         runs=[["F%02d.TXT" % i] for i in range(22)], journals=20, undo=["/v="], code=0,
         after=["f%02d.txt" % i for i in range(21)] + ["F21.TXT"]),
    dict(name="two runs at once", make=["A/", "B/"] + ["%s/F%03d.TXT" % (d, i) for d in "AB" for i in range(150)],
         runs=[], change="runs_at_once", undo=["/v="], code=0, again=0,
         final=["A", "B"] + ["%s/F%03d.TXT" % (d, i) for d in "AB" for i in range(150)]),
    dict(name="killed with SIGKILL", make=["K%04d.TXT" % i for i in range(400)], runs=[], change="killed_run",
         undo=["/v="], code=0, after=["K%04d.TXT" % i for i in range(400)]),
]


class Undo(harness.Case):
    def setUp(self):
        super().setUp()
        self.state = tempfile.mkdtemp(prefix="tavisk-state-")
        self.elsewhere = tempfile.mkdtemp(prefix="tavisk-elsewhere-")
        self.journals = self.journal_folder()
        shutil.rmtree(self.journals, ignore_errors=True)
        if os.path.isfile(self.journals):
            os.remove(self.journals)

    def tearDown(self):
        if os.path.isfile(self.journals):
            os.remove(self.journals)
        shutil.rmtree(self.state, ignore_errors=True)
        shutil.rmtree(self.elsewhere, ignore_errors=True)
        super().tearDown()

    def journal_folder(self):
        if not self.bin.wine:
            return os.path.join(self.state, "tavisk")
        # Wine sets %LOCALAPPDATA% from the prefix; the Wine stories run one at a time.
        users = glob.glob(os.path.join(self.bin.env()["WINEPREFIX"], "drive_c", "users", "*", "AppData", "Local"))
        users = [u for u in users if "/Public/" not in u]
        return os.path.join(users[0], "tavisk")

    def env(self):
        return {"XDG_STATE_HOME": self.state}

    def run_here(self, *args):
        return self.bin.run(list(args), cwd=self.dir, env=self.env())

    def undo(self, *switches, number=None):
        undo = "/undo" if self.bin.wine else "--undo"
        if number:
            undo += "=%d" % number
        switches = ["--list" if s == "/list" and not self.bin.wine else s for s in switches]
        return self.bin.run([undo] + list(switches), cwd=self.elsewhere, env=self.env())

    def shown(self, name):
        """An entry's path as the undo shows it: whole, as the system spells it."""
        if self.bin.wine:
            return sjis("Z:" + os.path.join(self.dir, name).replace("/", "\\"))
        return sjis(os.path.join(self.dir, name))

    def all_names(self):
        found = []
        for root, dirs, files in os.walk(self.path()):
            for n in dirs + files:
                found.append(os.path.relpath(os.path.join(root, n), self.path()).decode("cp932" if not self.bin.wine else "utf-8"))
        return sorted(found)

    def journal_files(self):
        return sorted(glob.glob(os.path.join(self.journals, "*.journal")))

    # What happens on disk between the run and the undo.
    def replace(self, name):
        # Saved as editors save: a new file put in the old one's place.
        self.touch(name + ".new", b"another")
        os.replace(self.path(name + ".new"), self.path(name))

    def replace_a(self):
        self.replace("a.txt")

    def replace_b(self):
        self.replace("b.txt")

    def take_old_name(self):
        if self.bin.wine:
            # Beside a.txt on this case-sensitive disk, which Wine shows as both.
            self.touch("A.TXT", b"new")
        else:
            self.touch("A.TXT", b"new")

    def take_old_name_b(self):
        self.touch("B.TXT", b"new")

    def free_old_name_b(self):
        os.remove(self.path("B.TXT"))

    def rename_c_back_by_hand(self):
        os.rename(self.path("c.txt"), self.path("C.TXT"))

    def recreate_a(self):
        os.remove(self.path("a.txt"))
        self.touch("a.txt", b"another")

    def remove_b(self):
        os.remove(self.path("b.txt"))

    def damage_journal(self):
        # A byte of a written window changed: its checksum tells.
        [journal] = self.journal_files()
        with open(journal, "rb") as f:
            text = f.read()
        with open(journal, "wb") as f:
            f.write(text.replace(b" A.TXT ", b" A.TXS "))
        self.damaged = journal

    def unchecked_journal(self, lines):
        """The journal as written before its lines had checksums, which is
        still read: its records can then be forged by hand."""
        [journal] = self.journal_files()
        with open(journal, "wb") as f:
            f.write(b"tavisk journal 1\n" + b"".join(l + b"\n" for l in lines))
        self.damaged = journal

    def written_records(self):
        [journal] = self.journal_files()
        with open(journal, "rb") as f:
            return [l for l in f.read().split(b"\n")[1:] if l[:1] in (b"D", b"R")]

    def __getattr__(self, name):
        # forge_names_OLD_NEW: the last record's names replaced.
        if not name.startswith("forge_names_"):
            raise AttributeError(name)
        old, new = (n.replace("SEP", "%5C" if self.bin.wine else "/").encode()
                    for n in name[len("forge_names_"):].split("_"))

        def forge():
            lines = self.written_records()
            tag, number = lines[-1].split(b" ")[:2]
            self.unchecked_journal(lines[:-1] + [b" ".join([tag, number, old, new])])
        return forge

    def forge_folder_dotdot(self):
        lines = self.written_records()
        tag, volume, folder = lines[0].split(b" ")
        sep = b"%5C" if self.bin.wine else b"/"
        self.unchecked_journal([b" ".join([tag, volume, folder + b".." + sep])] + lines[1:])

    def link_journal(self):
        [journal] = self.journal_files()
        moved = os.path.join(self.elsewhere, "taken.journal")
        shutil.move(journal, moved)
        os.symlink(moved, journal)
        self.damaged = journal

    def give_folder_away(self):
        os.chown(self.journals, 65534, 65534)
        self.damaged = self.journals + "/"

    def open_folder(self):
        os.chmod(self.journals, 0o777)
        self.damaged = self.journals + "/"

    def undo_killed_at_the_end(self):
        # The undo of the last run takes all back, then cannot let go of its
        # journal, as when it is killed at that moment: the system refuses
        # the removal (which Wine's server makes). The next undo finishes
        # that run and takes back no other.
        undo = "/undo" if self.bin.wine else "--undo"
        refuse = ["-e", "trace=unlink,unlinkat", "-e", "inject=unlink,unlinkat:error=EPERM"]
        if self.bin.wine:
            server = self.wine_server()
            log = os.path.join(self.elsewhere, "strace.log")
            tracer = subprocess.Popen(["strace", "-o", log, "-p", str(server)] + refuse,
                                      stderr=subprocess.DEVNULL)
            deadline = time.time() + 30
            while time.time() < deadline and not (os.path.exists(log) and os.path.getsize(log)):
                time.sleep(0.05)
            time.sleep(0.5)
            code = self.undo()[0]
            tracer.terminate()
            tracer.wait(timeout=30)
        else:
            # The leak checker cannot work under a tracer.
            env = self.bin.env(dict(self.env(), ASAN_OPTIONS="detect_leaks=0"))
            code = subprocess.run(["strace", "-f", "-o", "/dev/null"] + refuse + self.bin.command([undo]),
                                  cwd=self.elsewhere, env=env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
        self.assertEqual(code, 0)
        self.assertEqual(self.all_names(), ["B.TXT", "a.txt"])
        self.assertEqual(len(self.journal_files()), 2)

    def wine_server(self):
        prefix = self.bin.env()["WINEPREFIX"]
        for pid in subprocess.run(["pgrep", "wineserver"], stdout=subprocess.PIPE).stdout.split():
            with open("/proc/%d/environ" % int(pid), "rb") as f:
                if ("WINEPREFIX=" + prefix).encode() in f.read().split(b"\0"):
                    return int(pid)
        self.fail("no Wine server for " + prefix)

    def claim_left_by_undo(self):
        os.rename(self.path("a.txt"), self.path("a.txt" + LEFTOVER))
        self.touch("A.TXT")

    def block_journal_before_run(self):
        # A file where the journal's folder belongs: the run renames nothing.
        shutil.rmtree(self.journals, ignore_errors=True)
        os.makedirs(os.path.dirname(self.journals), exist_ok=True)
        with open(self.journals, "wb"):
            pass

    def runs_at_once(self):
        # Each its own journal: both are taken back, one undo each.
        runs = [subprocess.Popen(self.bin.command([d + ("\\" if self.bin.wine else "/") + "*"]), cwd=self.dir,
                                 env=self.bin.env(self.env()), stdin=subprocess.DEVNULL,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL) for d in "AB"]
        self.assertEqual([p.wait(timeout=120) for p in runs], [0, 0])
        self.assertEqual(len(self.journal_files()), 2)

    def killed_run(self):
        # The run blocks on a pipe that no one reads, a few screens in, and is killed.
        reader, writer = os.pipe()
        fcntl.fcntl(writer, 1031, 4096)  # F_SETPIPE_SZ: a page, so that the run blocks early
        p = subprocess.Popen(self.bin.command(["/v=ce", "K*.TXT"]), cwd=self.dir, env=self.bin.env(self.env()),
                             stdin=subprocess.DEVNULL, stdout=writer, stderr=subprocess.DEVNULL)
        os.close(writer)
        deadline = time.time() + 60
        while time.time() < deadline and sum(n.startswith(b"k") for n in os.listdir(self.path())) < 50:
            time.sleep(0.01)
        self.kill_tavisk(p)
        os.close(reader)
        lowered = [n for n in os.listdir(self.path()) if n.startswith(b"k")]
        self.assertTrue(0 < len(lowered) < 400, "the run was not killed half way")

    def kill_tavisk(self, p):
        target = p.pid
        if self.bin.wine:  # the Windows process, not the wine loader
            found = subprocess.run(["pgrep", "-f", "^" + self.bin.path + " "], stdout=subprocess.PIPE).stdout.split()
            target = int(found[0]) if found else p.pid
        os.kill(target, signal.SIGKILL)
        p.wait(timeout=60)

    def expected_out(self, story):
        out = b""
        for new, old, failed in story.get("lines", []):
            if old is None:
                out += self.shown(new) + MISSING + b"\n"
            else:
                told = sjis(failed) if isinstance(failed, str) else CANNOT if failed else b""
                out += self.shown(new) + ARROW + sjis(old) + told + b"\n"
        return out

    def test_stories(self):
        for story in STORIES:
            if story.get("native") and self.bin.wine:
                continue  # Windows keeps the journals in the user's profile, by its own rights
            if story.get("wine") and not self.bin.wine:
                continue
            with self.subTest(story["name"]):
                self.setUp_story()
                for name in story["make"]:
                    if name.endswith("/"):
                        self.mkdir(self.bin.name(name[:-1]))
                    else:
                        self.touch(self.bin.name(name), name.encode())
                change = story.get("change")
                if change == "block_journal_before_run":
                    self.block_journal_before_run()
                for run in story["runs"]:
                    code, out, err = self.run_here(*run)
                    if change == "block_journal_before_run":
                        self.assertEqual(code, 1)
                        self.assertIn(sjis("改名記録"), err)
                        self.assertEqual(out, b"")
                    else:
                        self.assertEqual((code, err), (0, b""), out)
                if change and change != "block_journal_before_run":
                    getattr(self, change)()
                if change == "block_journal_before_run":
                    os.remove(self.journals)
                if "journals" in story:
                    self.assertEqual(len(self.journal_files()), story["journals"])
                code, out, err = self.undo(*story.get("undo", []), number=story.get("undo_number"))
                expected_err = story.get("err")
                if expected_err is None:
                    self.expect_reasons(out, err, code)
                elif isinstance(expected_err, tuple):
                    shown = self.damaged
                    if self.bin.wine:
                        shown = "C:" + shown.split("/drive_c", 1)[1].replace("/", "\\")
                    if expected_err[0] == "damaged":
                        told = '"が異常です。%d行目を読み取れません。' % expected_err[1]
                    else:
                        told = '"を読み込めません。'
                    expected_err = STOP + sjis('改名記録"' + shown + told) + b"\n"
                if expected_err is not None:
                    self.assertEqual(err, self.bin.out(expected_err))
                if "lines" in story:
                    self.assertEqual(out, self.bin.out(self.expected_out(story)))
                if "listed" in story:
                    folder = ("Z:" + self.dir.replace("/", "\\") + "\\") if self.bin.wine else self.dir + "/"
                    rows = [rb"%2d  \d{4}-\d\d-\d\d  \d\d:\d\d:\d\d  " % (i + 1) +
                            sjis("改名:%d件  未取消:%d件  " % counts) + re.escape(sjis(folder))
                            for i, counts in enumerate(story["listed"])]
                    self.assertRegex(out, b"^" + b"\r?\n".join(rows) + b"\r?\n$")
                self.assertEqual(code, story["code"])
                if "after" in story:
                    self.assertEqual(self.all_names(), sorted(story["after"]))
                if "then" in story:
                    getattr(self, story["then"])()
                if "again" in story:
                    code, out, err = self.undo()
                    self.assertEqual(code, story["again"], err)
                    if "again_lines" in story:
                        self.assertEqual(out, self.bin.out(self.expected_out({"lines": story["again_lines"]})))
                if "final" in story:
                    self.assertEqual(self.all_names(), sorted(story["final"]))

    def test_without_home(self):
        # As a cron job or env -i runs it: the journals' folder comes from the
        # user's entry in the password database; a user without one is told
        # which variables to set, and nothing is renamed.
        if self.bin.wine or os.geteuid() != 0 or not shutil.which("setpriv"):
            self.skipTest("natively, as root")
        bare = {"LC_ALL": "C", "PATH": "/usr/bin:/bin"}
        self.touch("A.TXT")
        run = lambda *args, user=[]: subprocess.run(user + ["env", "-i"] + ["%s=%s" % kv for kv in bare.items()] +
                                                    self.bin.command(list(args)), cwd=self.dir,
                                                    stdin=subprocess.DEVNULL, capture_output=True)
        nobody = ["setpriv", "--reuid", "4242", "--regid", "4242", "--clear-groups"]
        os.chmod(self.dir, 0o777)
        r = run("A.TXT", user=nobody)
        self.assertEqual((r.returncode, r.stdout), (1, b""))
        self.assertEqual(r.stderr, STOP + sjis("改名記録の場所がわかりません。環境変数 XDG_STATE_HOME, HOME を設定してください。\n"))
        self.assertEqual(self.names(), [b"A.TXT"])
        r = run("A.TXT")
        self.assertEqual((r.returncode, r.stderr), (0, b""))
        r = run("--undo")
        self.assertEqual((r.returncode, r.stderr, r.stdout), (0, b"", self.shown("a.txt") + ARROW + b"A.TXT\n"))
        self.assertEqual(self.names(), [b"A.TXT"])

    def setUp_story(self):
        for entry in os.listdir(self.path()):
            full = os.path.join(self.path(), entry)
            shutil.rmtree(full) if os.path.isdir(full) else os.remove(full)
        if os.path.isfile(self.journals):
            os.remove(self.journals)
        shutil.rmtree(self.journals, ignore_errors=True)


if __name__ == "__main__":
    harness.main()
