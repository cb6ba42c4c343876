#!/usr/bin/env python3
"""How often another program's file is lost in what is left of the window
between a move's last look and the move itself, at full speed (no tracer),
on exFAT through exfat-fuse (made on a loop device and unmounted here), for
tavisk and for tavisk.exe under Wine.

Two programs race each run of ROUNDS rounds of NAMES capital names:
- a creator makes each lower-case spelling with O_CREAT|O_EXCL and writes to
  it, as a program that saves a new file does;
- a thief deletes an empty file under a lower-case spelling (a claim) and
  puts its own in its place.
Every file that either made and that is missing after the round is counted
as lost; so is any entry of the run's own that is missing.
    bench/windows_left.py [build-dir]      (root: it mounts; ROUNDS, NAMES)
"""
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time

ROUNDS = int(os.environ.get("ROUNDS", "20"))
NAMES = int(os.environ.get("NAMES", "50"))


def run(*command, **kw):
    return subprocess.run(list(command), stdout=subprocess.PIPE, stderr=subprocess.STDOUT, **kw)


def race(work, command, env, thief):
    names = ["F%03d.TXT" % i for i in range(NAMES)]
    for entry in os.listdir(work):
        os.remove(os.path.join(work, entry))
    time.sleep(1.2)  # FUSE keeps the spellings it was asked for a second
    for n in names:
        with open(os.path.join(work, n), "wb") as f:
            f.write(b"entry")
    made = []
    stop = threading.Event()

    def creator():
        while not stop.is_set():
            for n in names:
                path = os.path.join(work, n.lower())
                try:
                    if thief:
                        if os.path.getsize(path) != 0:
                            continue
                        os.remove(path)
                    fd = os.open(path, os.O_CREAT | os.O_EXCL | os.O_WRONLY)
                except OSError:
                    continue
                os.write(fd, b"theirs")
                os.close(fd)
                made.append(n)

    thread = threading.Thread(target=creator)
    thread.start()
    subprocess.run(command, cwd=work, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    stop.set()
    thread.join()
    contents = []
    for entry in os.listdir(work):
        with open(os.path.join(work, entry), "rb") as f:
            contents.append(f.read())
    theirs_lost = len(made) - contents.count(b"theirs")
    entries_lost = NAMES - contents.count(b"entry")
    return len(made), max(theirs_lost, 0), max(entries_lost, 0)


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..",
                                                                                  "build"))
    if os.geteuid() != 0:
        raise SystemExit("mounting needs root")
    # Stopped from outside (timeout), the mount still goes.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    top = tempfile.mkdtemp(prefix="tavisk-windows-")
    image, mnt = os.path.join(top, "image"), os.path.join(top, "mnt")
    os.mkdir(mnt)
    with open(image, "wb") as f:
        f.truncate(64 << 20)
    run("mkfs.exfat", image)
    loop = run("losetup", "-f", "--show", image).stdout.decode().strip()
    run("mount.exfat-fuse", loop, mnt)
    try:
        wine = dict(os.environ, WINEPREFIX=os.path.join(build, "wineprefix"), WINEDEBUG="-all",
                    LC_ALL="ja_JP.UTF-8")
        state = tempfile.mkdtemp(prefix="tavisk-windows-state-")
        native = dict(os.environ, LC_ALL="C", XDG_STATE_HOME=state)
        for label, command, env in (("tavisk", [os.path.join(build, "tavisk"), "*.TXT", "-c"], native),
                                    ("tavisk.exe", ["wine", os.path.join(build, "tavisk.exe"), "*.TXT", "/c"],
                                     wine)):
            if not os.path.exists(command[-3] if label == "tavisk.exe" else command[0]):
                continue
            for thief in (False, True):
                totals = [0, 0, 0]
                for _ in range(ROUNDS):
                    for i, n in enumerate(race(mnt, command, env, thief)):
                        totals[i] += n
                print("%-11s %-8s %d rounds of %d: %d files made by the other program, %d of them lost; "
                      "%d entries lost" % (label, "thief" if thief else "creator", ROUNDS, NAMES, *totals))
    finally:
        for _ in range(50):
            if run("umount", mnt).returncode == 0:
                break
            time.sleep(0.1)
        run("losetup", "-d", loop)
        run("rm", "-rf", top)


if __name__ == "__main__":
    main()
