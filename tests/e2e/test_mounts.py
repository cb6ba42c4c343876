"""Renames on the file systems a user meets besides the Linux disk: FAT through
fusefat, exFAT through exfat-fuse on a loop device, and ext4 with casefolded
directories where the kernel allows it. Each is mounted for the run and
unmounted after; where this machine cannot mount one, it is skipped with the
reason."""
import os
import shutil
import subprocess
import tempfile
import time
import unittest

import harness
from harness import sjis

ARROW = "→"
RESTORED = ":中断した改名から復元"


def run(*command, **kw):
    return subprocess.run(list(command), stdout=subprocess.PIPE, stderr=subprocess.STDOUT, **kw)


class Mount:
    """One file system image, mounted on a fresh directory."""

    def __init__(self, kind):
        self.kind = kind
        self.top = tempfile.mkdtemp(prefix="tavisk-mount-")
        self.image = os.path.join(self.top, "image")
        self.dir = os.path.join(self.top, "mnt")
        os.mkdir(self.dir)
        self.loop = None
        self.mounted = False

    def mount(self):
        """Mounts the image; gives None, or why it cannot be done here."""
        if os.geteuid() != 0:
            return "mounting needs root"
        if self.kind == "fat":
            if not shutil.which("fusefat") or not os.path.exists("/dev/fuse"):
                return "fusefat or /dev/fuse is missing"
            r = run("mkfs.vfat", "-C", self.image, "32768")
            if r.returncode != 0:
                return r.stdout.decode(errors="replace")
            r = run("fusefat", "-o", "rw+", self.image, self.dir)
        else:
            with open(self.image, "wb") as f:
                f.truncate(64 << 20)
            make = {"exfat": ["mkfs.exfat", self.image],
                    "casefold": ["mkfs.ext4", "-q", "-O", "casefold", self.image]}[self.kind]
            r = run(*make)
            if r.returncode != 0:
                return r.stdout.decode(errors="replace")
            r = run("losetup", "-f", "--show", self.image)
            if r.returncode != 0:
                return "no loop device: " + r.stdout.decode(errors="replace")
            self.loop = r.stdout.decode().strip()
            if self.kind == "exfat":
                r = run("mount.exfat-fuse", self.loop, self.dir)
            else:
                r = run("mount", self.loop, self.dir)
        if r.returncode != 0:
            return r.stdout.decode(errors="replace").strip()
        self.mounted = True
        if self.kind == "casefold":
            os.mkdir(os.path.join(self.dir, "work"))
            r = run("chattr", "+F", os.path.join(self.dir, "work"))
            if r.returncode != 0:
                return "no casefolded directory: " + r.stdout.decode(errors="replace").strip()
        return None

    @property
    def work(self):
        return os.path.join(self.dir, "work") if self.kind == "casefold" else self.dir

    def unmount(self):
        if self.mounted:
            for _ in range(50):
                if run("umount", self.dir).returncode == 0:
                    break
                time.sleep(0.1)
        if self.loop:
            run("losetup", "-d", self.loop)
        shutil.rmtree(self.top, ignore_errors=True)


# Each scenario: the entries made, the arguments, the exit code, the lines
# written (in order), and the names left. fusefat loses the contents of a
# directory that is renamed by any program, so directories are renamed on the
# other file systems only.
SCENARIOS = [
    ("one name", ["TEST.TXT"], ["TEST.TXT"], 0, ["TEST.TXT→test.txt"], ["test.txt"]),
    ("typed in another case", ["ABC.TXT"], ["abc.txt"], 0, ["ABC.TXT→abc.txt"], ["abc.txt"]),
    ("a wildcard over long names", ["ONE.TXT", "Mixed.Txt", "low.txt"], ["*", "/l"], 0,
     ["Mixed.Txt→mixed.txt", "ONE.TXT→one.txt"], ["low.txt", "mixed.txt", "one.txt"]),
    ("test mode changes nothing", ["ONE.TXT"], ["*", "/test"], 0, ["ONE.TXT→one.txt"], ["ONE.TXT"]),
    ("a killed run's leftover", ["ABC.TXT.tavisk~", "NEXT.TXT"], ["ABC.TXT", "NEXT.TXT"], 0,
     ["ABC.TXT.tavisk~→ABC.TXT" + RESTORED, "ABC.TXT→abc.txt", "NEXT.TXT→next.txt"],
     ["abc.txt", "next.txt"]),
    ("a hidden leftover", [".RC.tavisk~", "NEXT.TXT"], ["NEXT.TXT"], 0,
     [".RC.tavisk~→.RC" + RESTORED, "NEXT.TXT→next.txt"], [".RC", "next.txt"]),
    ("directories and their files", ["DIR/", "DIR/FILE.TXT", "TOP.TXT"], ["DIR", "DIR\\FILE.TXT", "TOP.TXT"], 0,
     ["DIR→dir", "DIR\\FILE.TXT→file.txt", "TOP.TXT→top.txt"], ["dir", "dir/file.txt", "top.txt"]),
]


class FileSystems(harness.Case):
    def scenario(self, mount, made, args, code, lines, left):
        work = mount.work
        for entry in os.listdir(work):
            full = os.path.join(work, entry)
            shutil.rmtree(full) if os.path.isdir(full) else os.remove(full)
        if self.bin.wine:
            time.sleep(1.2)  # FUSE keeps looked-up names for a second
        for name in made:
            if name.endswith("/"):
                os.mkdir(os.path.join(work, name))
            else:
                open(os.path.join(work, name), "wb").close()
        r = self.bin.run(args, cwd=work)
        if self.bin.wine and r == (1, b"", b"") and set(os.listdir(work)) == {n.split("/")[0] for n in made}:
            # Once in many full runs Wine ended the process before it wrote or
            # changed anything, as a stray console event would; run it again.
            print("wine ended %s at once with nothing done; run again" % args)
            r = self.bin.run(args, cwd=work)
        out = "".join(line + "\n" for line in lines).encode("cp932")
        self.assertEqual((r[0], r[1], r[2]), (code, self.bin.out(out), b""))
        found = []
        for root, dirs, files in os.walk(work):
            for n in dirs + files:
                found.append(os.path.relpath(os.path.join(root, n), work))
        self.assertEqual(sorted(found), sorted(left))

    def test_every_scenario_on_every_file_system(self):
        for kind in ("fat", "exfat", "casefold"):
            mount = Mount(kind)
            try:
                why = mount.mount()
                if why:
                    print("skipped %s: %s" % (kind, why))
                    continue
                for label, made, args, code, lines, left in SCENARIOS:
                    if kind == "fat" and any(n.endswith("/") for n in made):
                        continue
                    with self.subTest(file_system=kind, scenario=label):
                        self.scenario(mount, made, args, code, lines, left)
            finally:
                mount.unmount()


if __name__ == "__main__":
    harness.main()
