#!/usr/bin/python3
"""How fast a network change reaches the service, and what watching costs while nothing changes.

Run as root from the build folder's parent: /usr/bin/python3 bench/session/watch_bench.py [build]

In a network namespace made for the run: the reference service and zarq --headless (LAN option
on, the real five-minute heartbeat). Ten times the default route moves to the other adapter
(with its own address); the time from the `ip` command's return to the service recording the
new LAN address is measured, median and range printed. Then 60 s with no change: the CPU time
and context switches of the program over that time.
"""

import os
import random
import statistics
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build")
ZARQ = os.path.join(BUILD, "src", "app", "zarq")
SERVICE = os.path.join(ROOT, "tools", "zarq-service")
NS = f"zarqbench{os.getpid()}x{random.randrange(10**6)}"


def ip(*args):
    subprocess.run(["ip", "netns", "exec", NS, "ip", *args], check=True)


def proc_cost(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    ticks = int(fields[11]) + int(fields[12])  # utime + stime
    switches = 0  # of every thread of the program
    for task in os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{task}/status") as f:
            for line in f:
                if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                    switches += int(line.split()[1])
    return ticks * 1000 / os.sysconf("SC_CLK_TCK"), switches


def main():
    if os.geteuid() != 0:
        sys.exit("needs root (network namespace)")
    subprocess.run(["ip", "netns", "add", NS], check=True)
    procs = []
    try:
        ip("link", "set", "lo", "up")
        for a, b, addr in (("zq0", "zq1", "192.0.2.10/24"), ("zq2", "zq3", "198.51.100.10/24")):
            ip("link", "add", a, "type", "veth", "peer", "name", b)
            ip("link", "set", a, "up")
            ip("link", "set", b, "up")
            ip("addr", "add", addr, "dev", a)
        ip("route", "add", "default", "via", "192.0.2.1", "dev", "zq0")
        tmp = tempfile.mkdtemp()
        env = dict(os.environ, XDG_CONFIG_HOME=f"{tmp}/config", XDG_CACHE_HOME=f"{tmp}/cache",
                   XDG_RUNTIME_DIR=tmp, HOME=tmp, DBUS_SYSTEM_BUS_ADDRESS="unix:path=/nonexistent")
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        service = subprocess.Popen(
            ["ip", "netns", "exec", NS, "/usr/bin/python3", SERVICE, "--port", "0", "--port-file",
             f"{tmp}/port", "--events", "--quiet", "--account", "demo.dyn.tervan.com=demo123"],
            stdout=subprocess.PIPE, text=True, env=env)
        procs.append(service)
        lans = []
        cond = threading.Condition()

        def read_events():
            for line in service.stdout:
                words = line.split()
                if len(words) >= 4 and words[1] in ("heartbeat", "signin"):
                    with cond:
                        lans.append((time.monotonic(), words[-1]))
                        cond.notify_all()
        threading.Thread(target=read_events, daemon=True).start()
        while not os.path.exists(f"{tmp}/port"):
            time.sleep(0.01)
        port = open(f"{tmp}/port").read().split()[0]
        env["ZARQ_ECHO_HOST"] = env["ZARQ_API_HOST"] = f"127.0.0.1:{port}"
        subprocess.run(["ip", "netns", "exec", NS, ZARQ, "--set-login", "demo", "--password-stdin",
                        "--autologin", "--lan"], input=b"demo123\n", env=env, check=True)
        zarq = subprocess.Popen(["ip", "netns", "exec", NS, ZARQ, "--headless"], env=env,
                                stderr=subprocess.DEVNULL)
        procs.append(zarq)

        def wait_lan(address, timeout=30):
            with cond:
                ok = cond.wait_for(lambda: lans and lans[-1][1] == address, timeout)
                return lans[-1][0] if ok else None
        if wait_lan("192.0.2.10") is None:
            sys.exit("zarq did not sign in")
        times = []
        for n in range(10):
            dev, gw, lan = (("zq2", "198.51.100.1", "198.51.100.10") if n % 2 == 0
                            else ("zq0", "192.0.2.1", "192.0.2.10"))
            ip("route", "replace", "default", "via", gw, "dev", dev)
            returned = time.monotonic()
            seen = wait_lan(lan)
            if seen is None:
                sys.exit(f"round {n}: the service never saw {lan}")
            times.append(seen - returned)
            time.sleep(1.5)
        print(f"route change to the service recording the new LAN address, 10 rounds: median "
              f"{statistics.median(times) * 1000:.0f} ms (min {min(times) * 1000:.0f}, "
              f"max {max(times) * 1000:.0f})")
        time.sleep(2)
        cpu0, sw0 = proc_cost(zarq.pid)
        time.sleep(60)
        cpu1, sw1 = proc_cost(zarq.pid)
        print(f"60 s without a change: CPU {cpu1 - cpu0:.0f} ms, context switches {sw1 - sw0}")
    finally:
        for p in procs:
            p.kill()
            p.wait()
        subprocess.run(["ip", "netns", "delete", NS])


if __name__ == "__main__":
    main()
