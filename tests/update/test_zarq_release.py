"""Tests of tools/zarq-release, which fills in the SHA-256 of an update folder's files and signs
its control file, against Debian's minisign with a throw-away key pair."""

import hashlib
import os
import stat
import subprocess
import sys
import tempfile
import time
import unittest

RELEASE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools",
                       "zarq-release")

# Code page 936 text, a tab, trailing blanks, a comment and a repeated key: bytes the helper has
# no business changing. [file4] lies beyond the count, so the program never reads it.
CONTROL = (b"[Files]\r\n"
           b"count=$3\r\n"
           b"[file1]\r\n"
           b"URL = http://update.invalid/bin/zarq \r\n"
           b"descr=\xd6\xd0\xce\xc4\t\r\n"
           b"Sha256=0000\r\n"
           b"sha256=ffff\r\n"
           b"\r\n"
           b"[file2]\r\n"
           b"url=http://update.invalid/bin/missing.bin\r\n"
           b"[file3]\r\n"
           b"url=\"http://update.invalid/get?readme.txt\"\r\n"
           b"; no sha256 yet\r\n"
           b"targetdir={APP}\r\n"
           b"\r\n"
           b"\r\n"
           b"[file4]\r\n"
           b"url=http://update.invalid/bin/zarq\r\n"
           b"[eula]\r\n"
           b"file=http://update.invalid/licence.txt")


def sha256(data):
    return hashlib.sha256(data).hexdigest().encode()


class Release(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.pub = os.path.join(self.tmp.name, "key.pub")
        self.sec = os.path.join(self.tmp.name, "key.sec")
        subprocess.run(["minisign", "-G", "-W", "-p", self.pub, "-s", self.sec], check=True,
                       stdout=subprocess.DEVNULL)
        self.dir = os.path.join(self.tmp.name, "update")
        os.mkdir(self.dir)
        self.files = {"zarq": b"\x7fELF program", "readme.txt": b"read me\r\n",
                      "licence.txt": b"licence text"}
        for name, body in self.files.items():
            with open(os.path.join(self.dir, name), "wb") as f:
                f.write(body)
        self.control = os.path.join(self.dir, "update1.txt")
        with open(self.control, "wb") as f:
            f.write(CONTROL)
        os.chmod(self.control, 0o640)

    def release(self, *args, minisign="minisign"):
        return subprocess.run([sys.executable, RELEASE, self.dir, "--key", self.sec,
                               "--minisign", minisign, *args],
                              stdin=subprocess.DEVNULL, capture_output=True, text=True)

    def read_control(self):
        with open(self.control, "rb") as f:
            return f.read()

    def test_fills_in_the_hashes_of_present_files_and_signs_the_result(self):
        started = int(time.time())
        run = self.release("--trusted-comment-extra", "release 2.1 by ci")
        self.assertEqual(run.returncode, 0, run.stderr)

        zarq, readme, licence = (sha256(self.files[n])
                                 for n in ("zarq", "readme.txt", "licence.txt"))
        expected = CONTROL.replace(b"Sha256=0000\r\n", b"Sha256=" + zarq + b"\r\n")
        expected = expected.replace(b"targetdir={APP}\r\n",
                                    b"targetdir={APP}\r\nsha256=" + readme + b"\r\n")
        expected += b"\r\nsha256=" + licence
        self.assertEqual(self.read_control(), expected)
        self.assertEqual(stat.S_IMODE(os.stat(self.control).st_mode), 0o640)
        self.assertEqual([n for n in os.listdir(self.dir) if n.endswith(".tmp")], [])

        self.assertIn("missing.bin", run.stderr)
        self.assertEqual(len(run.stderr.strip().splitlines()), 1, run.stderr)
        self.assertIn(zarq.decode(), run.stdout)
        self.assertIn(licence.decode(), run.stdout)

        verify = subprocess.run(["minisign", "-V", "-p", self.pub, "-m", self.control],
                                capture_output=True, text=True)
        self.assertEqual(verify.returncode, 0, verify.stderr)
        with open(self.control + ".minisig", encoding="utf-8") as f:
            comment = f.read().splitlines()[2]
        prefix = "trusted comment: "
        self.assertTrue(comment.startswith(prefix), comment)
        fields = comment[len(prefix):].split("\t")
        self.assertEqual(fields[1:], ["file:update1.txt", "hashed", "release 2.1 by ci"])
        self.assertTrue(fields[0].startswith("timestamp:"), fields[0])
        self.assertGreaterEqual(int(fields[0][len("timestamp:"):]), started)

    def test_a_trusted_comment_with_a_line_break_is_refused_before_anything_changes(self):
        for extra in ("one\nforged: line", "one\rtwo"):
            with self.subTest(extra=extra):
                run = self.release("--trusted-comment-extra", extra)
                self.assertEqual(run.returncode, 2)
                self.assertIn("line break", run.stderr)
                self.assertEqual(self.read_control(), CONTROL)
                self.assertFalse(os.path.exists(self.control + ".minisig"))

    def test_a_failing_signer_ends_the_run_with_its_status(self):
        fake = os.path.join(self.tmp.name, "failing-minisign")
        with open(fake, "w", encoding="utf-8") as f:
            f.write("#!/usr/bin/env python3\nimport sys\nsys.exit(7)\n")
        os.chmod(fake, 0o755)
        run = self.release(minisign=fake)
        self.assertEqual(run.returncode, 7)
        self.assertIn("minisign failed", run.stderr)
        self.assertFalse(os.path.exists(self.control + ".minisig"))


if __name__ == "__main__":
    unittest.main()
