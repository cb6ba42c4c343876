"""The packages a user installs: the Debian package and `cmake --install` for
the native command, the zip for Windows. Each is unpacked into a temporary
root, and what it holds is run there."""
import glob
import gzip
import os
import shutil
import subprocess
import tempfile
import zipfile

import harness
from harness import sjis

VERSION = b"1.09"


class Packages(harness.Case):
    def cpack(self, generator):
        subprocess.run(["cpack", "-G", generator, "-B", self.dir, "--config",
                        os.path.join(self.bin.build, "CPackConfig.cmake")],
                       check=True, stdout=subprocess.DEVNULL)
        found = glob.glob(os.path.join(self.dir, "tavisk*." + generator.lower()))
        self.assertEqual(len(found), 1, found)
        return found[0]

    def lowers_a_name(self, exe):
        work = tempfile.mkdtemp(dir=self.dir).encode()
        open(os.path.join(work, b"TEST.TXT"), "wb").close()
        r = self.bin.run(["TEST.TXT"], cwd=work, exe=exe)
        self.assertEqual(r, (0, self.bin.out(b"TEST.TXT" + sjis("→") + b"test.txt\n"), b""))
        self.assertEqual(os.listdir(work), [b"test.txt"])

    def native_files(self, root, prefix):
        exe = os.path.join(root, prefix, "bin", "tavisk")
        code, out, _ = self.bin.run(["--version"], cwd=self.dir, exe=exe)
        self.assertEqual(code, 0)
        self.assertTrue(out.startswith(b"tavisk " + VERSION + b" 20"), out)
        self.lowers_a_name(exe)
        with gzip.open(os.path.join(root, prefix, "share/man/man1/tavisk.1.gz")) as f:
            page = f.read()
        self.assertIn(b'.TH TAVISK 1 "" "tavisk ' + VERSION + b'"', page)
        self.assertIn(b".SH EXIT STATUS", page)
        return exe

    def setUp(self):
        super().setUp()
        windows = self._testMethodName == "test_windows_zip"
        if windows != self.bin.wine:
            self.skipTest("a package of the other binary")

    def test_build_date_follows_source_date_epoch(self):
        script = os.path.join(os.path.dirname(__file__), "..", "..", "cmake", "build_info.cmake")
        out = os.path.join(self.dir, "build_info.h")
        for epoch, date in ((1044662400, "Feb  8 2003"), (1798761599, "Dec 31 2026"),
                            (946684800, "Jan  1 2000"), (1044748799, "Feb  8 2003")):
            env = dict(os.environ, SOURCE_DATE_EPOCH=str(epoch), TZ="Asia/Tokyo")
            subprocess.run(["cmake", "-DOUT=" + out, "-DVERSION=1.09", "-P", script], env=env, check=True)
            with open(out) as f:
                header = f.read()
            self.assertIn('#define TAVISK_BUILD_DATE "%s"' % date, header)
            self.assertIn("#define TAVISK_VERSION_MINOR 9\n", header)

    def test_debian_package(self):
        deb = self.cpack("DEB")
        field = subprocess.run(["dpkg-deb", "-f", deb, "Package", "Version"], check=True,
                               capture_output=True).stdout
        self.assertEqual(field, b"Package: tavisk\nVersion: " + VERSION + b"\n")
        root = os.path.join(self.dir, "deb-root")
        subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
        self.native_files(root, "usr")
        for name in ("copyright", "changelog.gz"):
            self.assertTrue(os.path.exists(os.path.join(root, "usr/share/doc/tavisk", name)), name)
        if shutil.which("lintian"):
            report = subprocess.run(["lintian", deb], capture_output=True, text=True).stdout
            self.assertEqual([l for l in report.splitlines() if l.startswith("E:")], [], report)

    def test_plain_install(self):
        root = os.path.join(self.dir, "prefix")
        subprocess.run(["cmake", "--install", self.bin.build, "--prefix", root],
                       check=True, stdout=subprocess.DEVNULL)
        self.native_files(root, "")
        installed = [os.path.relpath(os.path.join(d, f), root) for d, _, fs in os.walk(root) for f in fs]
        self.assertFalse([f for f in installed if f.endswith(".exe")], installed)

    def test_windows_zip(self):
        root = os.path.join(self.dir, "zip-root")
        with zipfile.ZipFile(self.cpack("ZIP")) as z:
            z.extractall(root)
        (folder,) = os.listdir(root)
        self.assertEqual(folder, "tavisk-1.09-win64")
        home = os.path.join(root, folder)
        self.assertEqual(sorted(os.listdir(home)), ["LICENSE.txt", "readme.txt", "tavisk.cfg", "tavisk.exe"])
        for name, holds in (("readme.txt", "ファイル名小文字化コマンド"), ("tavisk.cfg", "#/l"),
                            ("LICENSE.txt", "MIT License")):
            with open(os.path.join(home, name), "rb") as f:
                data = f.read()
            self.assertIn(holds, data.decode("cp932"), name)
            self.assertEqual(data.count(b"\n"), data.count(b"\r\n"), name + ": not CRLF throughout")
        exe = os.path.join(home, "tavisk.exe")
        with open(exe, "rb") as f:
            image = f.read()
        self.assertIn("FileVersion\0".encode("utf-16-le") + b"\0\0" + "1.09".encode("utf-16-le"), image)
        self.assertIn(b'<requestedExecutionLevel level="asInvoker"', image)
        # The sample configuration beside it is read, and changes nothing.
        self.lowers_a_name(exe)


if __name__ == "__main__":
    harness.main()
