#!/usr/bin/env python3
"""Probes a running zorvid web site the way a hostile visitor would; each figure comes with
its baseline from the same run.
  web_probe.py idle PORT [N]        GET / from 127.0.0.2 with N (100) idle connections from
                                    127.0.0.1 open, against the same GET with none
  web_probe.py flood PORT PID [MB]  RSS of PID before and after MB (10) of header lines
  web_probe.py register PORT PID [N]  peak RSS of PID before and after N (8) parallel
                                    registrations on the web form"""
import re
import socket
import sys
import threading
import time
import urllib.error
import urllib.parse
import urllib.request


def get_page(port):
    c = socket.socket()
    c.bind(("127.0.0.2", 0))
    c.settimeout(120)
    t0 = time.monotonic()
    c.connect(("127.0.0.1", port))
    c.sendall(b"GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
    data = b""
    while True:
        d = c.recv(65536)
        if not d:
            break
        data += d
    c.close()
    return time.monotonic() - t0, data.split(b" ")[1].decode() if data else "none"


def idle(port, n=100):
    base, _ = get_page(port)
    held = []
    for _ in range(n):
        s = socket.socket()
        s.settimeout(5)
        s.connect(("127.0.0.1", port))
        s.sendall(b"GET / HTTP/1.1\r\n")
        held.append(s)
    time.sleep(0.3)
    behind, status = get_page(port)
    print(f"GET / alone {base * 1e3:.2f} ms; behind {n} idle connections {behind * 1e3:.2f} ms "
          f"(status {status}); ratio {behind / base:.1f}")


def rss(pid, field="VmRSS"):
    status = open(f"/proc/{pid}/status").read()
    return int(re.search(field + r":\s+(\d+)", status).group(1)) * 1024


def flood(port, pid, mb=10):
    before = rss(pid)
    s = socket.socket()
    s.connect(("127.0.0.1", port))
    s.settimeout(10)
    s.sendall(b"GET / HTTP/1.1\r\nHost: x\r\n")
    chunk = b"X-Flood: aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\r\n" * 1600
    sent, cut = 0, False
    try:
        while sent < mb << 20:
            s.sendall(chunk)
            sent += len(chunk)
    except OSError:
        cut = True
    time.sleep(0.5)
    after = rss(pid)
    try:
        reply = s.recv(200).split(b"\r\n")[0].decode()
    except OSError:
        reply = "(reset)"
    s.close()
    print(f"sent {sent} bytes, cut: {cut}, answer: {reply}; RSS {before} -> {after} bytes "
          f"(+{(after - before) / 1048576:.2f} MiB, ratio {after / before:.3f})")


def register(port, pid, n=8):
    before = rss(pid, "VmHWM")
    codes = []

    def one(i):
        form = {"name": f"probe{time.time_ns()}-{i}", "password": "pw", "password2": "pw"}
        try:
            with urllib.request.urlopen(f"http://127.0.0.1:{port}/ch/user/",
                                        urllib.parse.urlencode(form).encode(), timeout=120) as r:
                codes.append(r.status)
        except urllib.error.HTTPError as e:
            codes.append(e.code)

    threads = [threading.Thread(target=one, args=(i,)) for i in range(n)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    after = rss(pid, "VmHWM")
    print(f"{n} registrations, answers {sorted(codes)}; peak RSS {before} -> {after} bytes "
          f"(+{(after - before) / 1048576:.1f} MiB)")


if __name__ == "__main__":
    if len(sys.argv) < 3 or sys.argv[1] not in ("idle", "flood", "register"):
        sys.exit(__doc__)
    args = [int(a) for a in sys.argv[2:]]
    {"idle": idle, "flood": flood, "register": register}[sys.argv[1]](*args)
