"""Tests of tools/zarq-service, the local reference service, over real loopback HTTP."""

import hashlib
import json
import os
import socket
import subprocess
import sys
import tempfile
import time
import unittest

SERVICE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools",
                       "zarq-service")


def md5hex(data: bytes) -> bytes:
    return hashlib.md5(data).hexdigest().encode()


def key_for(name: str, password: str, public: bytes) -> bytes:
    stored = md5hex(name.encode("cp936") + md5hex(password.encode("cp936")))
    return md5hex(public + stored)


def get(port: int, target: bytes):
    """One raw HTTP/1.0 GET; returns (status, body) or (None, b"") when closed without reply."""
    with socket.create_connection(("127.0.0.1", port), timeout=20) as s:
        s.sendall(b"GET " + target + b" HTTP/1.0\r\nHost: x\r\n\r\n")
        data = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
    if not data:
        return None, b""
    head, _, body = data.partition(b"\r\n\r\n")
    return int(head.split(b" ")[1]), body


class ServiceFixture(unittest.TestCase):
    extra_args = []

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        accounts = os.path.join(self.tmp.name, "accounts")
        with open(accounts, "w", encoding="utf-8") as f:
            f.write("# test accounts\nalice.dyn.example secret\n张三.dyn.example 密码 with blank\n")
        port_file = os.path.join(self.tmp.name, "port")
        self.proc = subprocess.Popen(
            [sys.executable, SERVICE, "--port", "0", "--accounts", accounts, "--port-file",
             port_file, "--quiet", "--events"] + self.extra_args,
            stdout=subprocess.PIPE, text=True)
        deadline = time.monotonic() + 30
        while not os.path.exists(port_file):
            self.assertIsNone(self.proc.poll(), "service ended early")
            self.assertLess(time.monotonic(), deadline, "service did not start")
            time.sleep(0.02)
        with open(port_file) as f:
            self.port = int(f.read().split()[0])

    def tearDown(self):
        self.proc.terminate()
        self.proc.wait(timeout=30)
        self.proc.stdout.close()
        self.tmp.cleanup()

    def signin(self, name="alice.dyn.example", password="secret", lan=None):
        status, public = get(self.port, b"/")
        self.assertEqual(status, 200)
        target = (b"/auth/?domain=" + name.encode("cp936") + b"&key=" +
                  key_for(name, password, public))
        if lan is not None:
            target += b"&inip=" + lan
        return get(self.port, target)[1]

    def status(self):
        return json.loads(get(self.port, b"/status?format=json")[1])

    def entry(self, name):
        return next(e for e in self.status()["names"] if e["name"] == name)


class SessionApi(ServiceFixture):
    def test_echo_gives_the_callers_address(self):
        self.assertEqual(get(self.port, b"/"), (200, b"127.0.0.1"))

    def test_signin_heartbeat_signout(self):
        reply = self.signin(lan=b"192.168.1.5")
        self.assertTrue(reply.startswith(b"0 "), reply)
        token = reply[2:]
        self.assertEqual(len(token), 32)
        e = self.entry("alice.dyn.example")
        self.assertEqual((e["state"], e["public"], e["lan"]),
                         ("signed in", "127.0.0.1", "192.168.1.5"))
        self.assertEqual(get(self.port, b"/online/?session=" + token + b"&inip=10.0.0.9")[1], b"0")
        self.assertEqual(self.entry("alice.dyn.example")["lan"], "10.0.0.9")
        self.assertEqual(self.entry("alice.dyn.example")["heartbeats"], 1)
        self.assertEqual(get(self.port, b"/logout/?session=" + token)[1], b"0")
        self.assertEqual(self.entry("alice.dyn.example")["state"], "signed out")
        # A signed-out session is unknown to the heartbeat.
        self.assertEqual(get(self.port, b"/online/?session=" + token)[1], b"1")

    def test_wrong_password_or_name_or_stale_address_is_refused(self):
        self.assertEqual(self.signin(password="wrong"), b"1")
        self.assertEqual(self.signin(name="nobody.dyn.example"), b"1")
        # A key made for another public address than the echo gave is refused.
        target = (b"/auth/?domain=alice.dyn.example&key=" +
                  key_for("alice.dyn.example", "secret", b"10.9.9.9"))
        self.assertEqual(get(self.port, target)[1], b"1")

    def test_chinese_name_and_password_are_code_page_936(self):
        self.assertTrue(self.signin("张三.dyn.example", "密码 with blank").startswith(b"0 "))

    def test_second_signin_makes_the_older_session_hear_2(self):
        first = self.signin()[2:]
        second = self.signin()[2:]
        self.assertNotEqual(first, second)
        self.assertEqual(get(self.port, b"/online/?session=" + first)[1], b"2")
        self.assertEqual(get(self.port, b"/online/?session=" + second)[1], b"0")
        self.assertEqual(get(self.port, b"/online/?session=" + first)[1], b"1")

    def test_empty_token_signout_is_harmless(self):
        self.assertEqual(get(self.port, b"/logout/?session=")[1], b"1")

    def test_faults_switch_at_run_time(self):
        self.assertEqual(get(self.port, b"/control?fault=auth2")[1], b"ok\n")
        self.assertEqual(self.signin(), b"2")
        get(self.port, b"/control?fault=malformed&target=echo")
        self.assertTrue(get(self.port, b"/")[1].startswith(b"<html>"))
        get(self.port, b"/control?fault=close&target=online")
        self.assertEqual(get(self.port, b"/online/?session=x"), (None, b""))
        get(self.port, b"/control?fault=delay&delay=0.3&target=echo")
        start = time.monotonic()
        self.assertEqual(get(self.port, b"/")[1], b"127.0.0.1")
        self.assertGreaterEqual(time.monotonic() - start, 0.3)
        self.assertEqual(get(self.port, b"/control?fault=bogus")[0], 400)
        get(self.port, b"/control?fault=none")
        self.assertTrue(self.signin().startswith(b"0 "))

    def raw(self, target: bytes, timeout=20):
        """Every byte of the reply to one GET, up to the close."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=timeout) as s:
            s.sendall(b"GET " + target + b" HTTP/1.0\r\n\r\n")
            data = b""
            while chunk := s.recv(65536):
                data += chunk
        return data

    def test_faults_that_break_the_reply_on_the_wire(self):
        whole = b"HTTP/1.0 200 OK\r\nContent-Length: 9\r\n\r\n127.0.0.1"
        get(self.port, b"/control?fault=trickle&delay=0.01&target=echo")
        start = time.monotonic()
        self.assertEqual(self.raw(b"/"), whole)
        self.assertGreaterEqual(time.monotonic() - start, 0.01 * (len(whole) - 1))
        get(self.port, b"/control?fault=cut-header&target=echo")
        self.assertEqual(self.raw(b"/"), b"HTTP/1.0 200 OK\r\nContent-Ty")
        get(self.port, b"/control?fault=cut-body&target=echo")
        self.assertEqual(self.raw(b"/"), whole[:-5])
        get(self.port, b"/control?fault=garbage&target=echo")
        garbage = self.raw(b"/")
        self.assertFalse(garbage.startswith(b"HTTP/"))
        self.assertIn(b"\r\n", garbage)
        get(self.port, b"/control?fault=huge-header&target=echo")
        huge = self.raw(b"/")
        head, _, body = huge.partition(b"\r\n\r\n")
        self.assertGreater(len(head), 2 * 1024 * 1024)
        self.assertEqual(body, b"127.0.0.1")
        # Only the named target is touched.
        self.assertEqual(get(self.port, b"/status")[0], 200)
        get(self.port, b"/control?fault=none")
        normal = self.raw(b"/")
        self.assertIn(b"\r\nServer: zarq-service/1.0", normal)
        self.assertTrue(normal.endswith(b"\r\n\r\n127.0.0.1"), normal)

    def test_a_stall_says_nothing_until_the_fault_is_switched_off(self):
        get(self.port, b"/control?fault=stall&target=echo")
        with socket.create_connection(("127.0.0.1", self.port), timeout=20) as s:
            s.sendall(b"GET / HTTP/1.0\r\n\r\n")
            s.settimeout(0.5)
            with self.assertRaises(socket.timeout):
                s.recv(1)  # nothing is said
            self.assertEqual(get(self.port, b"/control?fault=none")[1], b"ok\n")
            s.settimeout(20)
            self.assertEqual(s.recv(1), b"")  # then the connection closes without a reply
        self.assertEqual(get(self.port, b"/"), (200, b"127.0.0.1"))

    def test_status_page_lists_names(self):
        self.signin()
        status, body = get(self.port, b"/status")
        self.assertEqual(status, 200)
        self.assertIn(b"alice.dyn.example  signed in  public 127.0.0.1", body)
        self.assertIn("张三.dyn.example  signed out".encode(), body)

    def test_events_are_written_in_order(self):
        token = self.signin()[2:]
        get(self.port, b"/logout/?session=" + token)
        words = [self.proc.stdout.readline().split()[1] for _ in range(2)]
        self.assertEqual(words, ["signin", "signout"])


class Moving(ServiceFixture):
    def test_control_public_moves_callers_and_a_heartbeat_moves_the_name(self):
        token = self.signin(lan=b"192.168.1.5")[2:]
        first = self.entry("alice.dyn.example")
        self.assertEqual(first["public"], "127.0.0.1")
        self.assertIsNotNone(first["address_changed_seconds_ago"])
        # A heartbeat from the same place changes nothing.
        time.sleep(0.2)
        self.assertEqual(get(self.port, b"/online/?session=" + token)[1], b"0")
        self.assertGreaterEqual(self.entry("alice.dyn.example")["address_changed_seconds_ago"],
                                0.2)

        self.assertEqual(get(self.port, b"/control?public=198.51.100.4"), (200, b"ok\n"))
        self.assertEqual(get(self.port, b"/"), (200, b"198.51.100.4"))
        self.assertEqual(self.status()["public_address"], "198.51.100.4")
        # The heartbeat now comes from another address: the name follows it.
        self.assertEqual(get(self.port, b"/online/?session=" + token)[1], b"0")
        moved = self.entry("alice.dyn.example")
        self.assertEqual((moved["public"], moved["lan"]), ("198.51.100.4", "192.168.1.5"))
        self.assertLess(moved["address_changed_seconds_ago"], 0.2)
        # A sign-in from there needs the key of the new address.
        self.assertTrue(self.signin().startswith(b"0 "))
        self.assertEqual(self.entry("alice.dyn.example")["public"], "198.51.100.4")

        self.assertEqual(get(self.port, b"/control?public=nonsense")[0], 400)
        self.assertEqual(get(self.port, b"/control?public="), (200, b"ok\n"))
        self.assertEqual(get(self.port, b"/"), (200, b"127.0.0.1"))


class Expiry(ServiceFixture):
    extra_args = ["--session-timeout", "0.2", "--public-address", "203.0.113.7"]

    def test_configured_public_address_and_expired_session(self):
        self.assertEqual(get(self.port, b"/")[1], b"203.0.113.7")
        token = self.signin()[2:]
        self.assertEqual(self.entry("alice.dyn.example")["public"], "203.0.113.7")
        time.sleep(0.5)
        self.assertEqual(get(self.port, b"/online/?session=" + token)[1], b"1")


class Listening(ServiceFixture):
    def test_listens_on_loopback_only(self):
        # The kernel's table of listening TCP sockets: the service's port is bound to
        # 127.0.0.1 (0100007F), never to a wildcard or another address.
        with open("/proc/net/tcp") as f:
            rows = [line.split() for line in f.readlines()[1:]]
        listening = [r[1] for r in rows if r[3] == "0A" and int(r[1].split(":")[1], 16) == self.port]
        self.assertEqual(listening, [f"0100007F:{self.port:04X}"])


if __name__ == "__main__":
    unittest.main()
