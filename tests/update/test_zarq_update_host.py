"""Tests of tools/zarq-update-host, the local reference update host, over real loopback HTTP."""

import json
import os
import socket
import subprocess
import sys
import tempfile
import time
import unittest

HOST = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools",
                    "zarq-update-host")


def get(port, target, headers=b"", timeout=20):
    """One raw HTTP/1.0 GET; returns (status, head, body); status None when closed silently."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(b"GET " + target + b" HTTP/1.0\r\nHost: x\r\n" + headers + b"\r\n")
        data = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
    if not data:
        return None, b"", b""
    head, _, body = data.partition(b"\r\n\r\n")
    return int(head.split(b" ")[1]), head, body


def content_length(head):
    for line in head.split(b"\r\n"):
        name, _, value = line.partition(b":")
        if name.lower() == b"content-length":
            return int(value)
    return None


class HostFixture(unittest.TestCase):
    extra_args = []

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = os.path.join(self.tmp.name, "root")
        os.makedirs(os.path.join(self.root, "sub"))
        self.body = bytes(range(256)) * 40  # 10240 bytes
        with open(os.path.join(self.root, "update1.txt"), "wb") as f:
            f.write(b"[files]\r\ncount=0\r\n")
        with open(os.path.join(self.root, "sub", "data.bin"), "wb") as f:
            f.write(self.body)
        with open(os.path.join(self.tmp.name, "secret"), "wb") as f:
            f.write(b"outside the root")
        self.log = os.path.join(self.tmp.name, "requests.log")
        port_file = os.path.join(self.tmp.name, "port")
        self.proc = subprocess.Popen(
            [sys.executable, HOST, "--update-root", self.root, "--port", "0", "--port-file",
             port_file, "--request-log", self.log, "--quiet"] + self.extra_args)
        deadline = time.monotonic() + 30
        while not os.path.exists(port_file):
            self.assertIsNone(self.proc.poll(), "host ended early")
            self.assertLess(time.monotonic(), deadline, "host did not start")
            time.sleep(0.02)
        with open(port_file) as f:
            self.port = int(f.read())

    def tearDown(self):
        self.proc.terminate()
        self.proc.wait(timeout=30)
        self.tmp.cleanup()

    def control(self, query):
        self.assertEqual(get(self.port, b"/_control?" + query)[0], 200)

    def logged(self):
        """The log's requests in the order of arrival, each merged with its end line."""
        entries = {}
        with open(self.log, encoding="utf-8") as f:
            for line in f:
                item = json.loads(line)
                entries.setdefault(item["seq"], {}).update(item)
        return [entries[seq] for seq in sorted(entries)]


class Files(HostFixture):
    def test_serves_files_of_the_root_with_their_length(self):
        status, head, body = get(self.port, b"/sub/data.bin")
        self.assertEqual((status, body), (200, self.body))
        self.assertEqual(content_length(head), len(self.body))
        self.assertEqual(get(self.port, b"/update1.txt")[2], b"[files]\r\ncount=0\r\n")

    def test_a_proxy_request_is_served_from_the_root_and_logged_whole(self):
        status, _, body = get(self.port, b"http://update.invalid/sub/data.bin")
        self.assertEqual((status, body), (200, self.body))
        self.assertEqual(self.logged()[0]["path"], "http://update.invalid/sub/data.bin")

    def test_missing_files_and_paths_out_of_the_root_are_404(self):
        for target in (b"/nothing.txt", b"/../secret", b"/sub/../../secret", b"/%2e%2e/secret",
                       b"/sub"):
            with self.subTest(target=target):
                self.assertEqual(get(self.port, target)[0], 404)

    def test_every_request_is_logged_with_its_headers(self):
        get(self.port, b"/sub/data.bin", b"User-Agent: probe 1\r\nPragma: no-cache\r\n")
        get(self.port, b"/missing")
        entries = self.logged()
        self.assertEqual([(e["path"], e["status"]) for e in entries],
                         [("/sub/data.bin", 200), ("/missing", 404)])
        self.assertEqual(entries[0]["sent"], len(self.body))
        self.assertEqual(entries[0]["headers"]["User-Agent"], "probe 1")
        self.assertEqual(entries[0]["headers"]["Pragma"], "no-cache")
        listed = json.loads(get(self.port, b"/_requests")[2])
        self.assertEqual([e["path"] for e in listed], ["/sub/data.bin", "/missing"])


class Faults(HostFixture):
    def test_status_faults_on_one_path_only(self):
        for mode in (b"404", b"500"):
            with self.subTest(mode=mode):
                self.control(b"fault=" + mode + b"&path=/sub/data.bin")
                self.assertEqual(get(self.port, b"/sub/data.bin")[0], int(mode))
                self.assertEqual(get(self.port, b"/update1.txt")[0], 200)
        self.control(b"fault=none")
        self.assertEqual(get(self.port, b"/sub/data.bin")[0], 200)

    def test_count_limits_a_fault_to_the_next_requests(self):
        self.control(b"fault=500&count=2")
        self.assertEqual([get(self.port, b"/update1.txt")[0] for _ in range(3)], [500, 500, 200])

    def test_close_mid_body_sends_part_of_what_it_announced(self):
        self.control(b"fault=close&after=1000")
        status, head, body = get(self.port, b"/sub/data.bin")
        self.assertEqual((status, content_length(head)), (200, len(self.body)))
        self.assertEqual(body, self.body[:1000])

    def test_wrong_length_announces_more_than_it_sends(self):
        self.control(b"fault=length")
        status, head, body = get(self.port, b"/sub/data.bin")
        self.assertEqual(content_length(head), len(self.body) + 1000)
        self.assertEqual(body, self.body)

    def test_stall_holds_the_body_then_sends_the_rest(self):
        self.control(b"fault=stall&after=100&delay=0.5")
        start = time.monotonic()
        status, _, body = get(self.port, b"/sub/data.bin")
        self.assertGreaterEqual(time.monotonic() - start, 0.5)
        self.assertEqual(body, self.body)

    def test_stall_without_a_delay_sends_nothing_more(self):
        self.control(b"fault=stall&after=10")
        with socket.create_connection(("127.0.0.1", self.port), timeout=1) as s:
            s.sendall(b"GET /sub/data.bin HTTP/1.0\r\n\r\n")
            data = b""
            with self.assertRaises(socket.timeout):
                while True:
                    chunk = s.recv(65536)
                    self.assertTrue(chunk, "the host closed a stalled reply")
                    data += chunk
        self.assertEqual(data.partition(b"\r\n\r\n")[2], self.body[:10])

    def test_trickle_sends_the_whole_body_slowly(self):
        self.control(b"fault=trickle&rate=20480&path=/update1.txt")
        self.assertEqual(get(self.port, b"/update1.txt")[2], b"[files]\r\ncount=0\r\n")
        start = time.monotonic()
        self.control(b"fault=trickle&rate=20480")
        self.assertEqual(get(self.port, b"/sub/data.bin")[2], self.body)
        self.assertGreaterEqual(time.monotonic() - start, 0.4)  # 10240 bytes at 20 KiB/s

    def test_endless_sends_until_the_client_closes(self):
        self.control(b"fault=endless&path=/never.bin")
        with socket.create_connection(("127.0.0.1", self.port), timeout=20) as s:
            s.sendall(b"GET /never.bin HTTP/1.0\r\n\r\n")
            data = b""
            while len(data) < 4 * 1024 * 1024:
                chunk = s.recv(65536)
                self.assertTrue(chunk, "an endless reply ended")
                data += chunk
        head, _, body = data.partition(b"\r\n\r\n")
        self.assertTrue(head.startswith(b"HTTP/1.0 200"), head)
        self.assertIsNone(content_length(head))
        self.assertTrue(body.startswith(b"[junk]\r\n"))
        # The client's close ends it; the host goes on serving and logs what it sent.
        self.assertEqual(get(self.port, b"/update1.txt")[2], b"[files]\r\ncount=0\r\n")
        deadline = time.monotonic() + 20
        while not any(e["path"] == "/never.bin" and e.get("fault") == "endless" and
                      e["sent"] >= len(body) for e in self.logged()):
            self.assertLess(time.monotonic(), deadline, "the endless reply was never logged")
            time.sleep(0.05)

    def test_unknown_fault_is_refused(self):
        self.assertEqual(get(self.port, b"/_control?fault=bogus")[0], 400)


class Authentication(HostFixture):
    extra_args = ["--auth", "anna:geheim"]

    def test_basic_authentication_is_required(self):
        status, head, _ = get(self.port, b"/update1.txt")
        self.assertEqual(status, 401)
        self.assertIn(b"WWW-Authenticate: Basic", head)
        self.assertEqual(get(self.port, b"/update1.txt", b"Authorization: Basic YW5uYTp3cm9uZw==\r\n")[0], 401)
        self.assertEqual(get(self.port, b"/update1.txt", b"Authorization: Basic YW5uYTpnZWhlaW0=\r\n")[0], 200)


if __name__ == "__main__":
    unittest.main()
