#!/usr/bin/python3
"""Load on the remote control for the benchmarks (bench/remote_bench.cpp, bench/soak_bench.cpp),
run on the Linux side; what it measured goes as JSON into OUTDIR. Unlike the tests' clients it
paces itself: it stands for people and programs using the board over time.

  crowdbench PORT CODE OUTDIR        the host's requests timed while 300 strangers crowd and trickle
  soak PORT CODE OUTDIR SECONDS      the host's and malformed requests, WebSocket clients coming and going
"""
import http.client
import json
import os
import socket
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support"))
from remote_client import raw_exchange, status_of, write  # noqa: E402


class Crowd:
    """`count` strangers holding connections without the code, `trickling` of them sending a
    head a byte a second; a connection the server closes is opened again at once."""

    def __init__(self, port, count, trickling):
        import threading
        self.port, self.trickling = port, trickling
        self.socks = [self.open() for _ in range(count)]
        self.stop = False
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def open(self):
        try:
            return socket.create_connection(("127.0.0.1", self.port), timeout=5)
        except OSError:
            return None

    def run(self):
        import select
        head = b"GET /api/state HTTP/1.1\r\nHost: 127.0.0.1\r\n"
        step = 0
        while not self.stop:
            live = [s for s in self.socks if s is not None]
            readable, _, _ = select.select(live, [], [], 1.0)
            for i, sock in enumerate(self.socks):
                if sock is None or sock in readable:
                    if sock is not None:
                        try:
                            sock.recv(65536)
                        except OSError:
                            pass
                        sock.close()
                    self.socks[i] = self.open()
            for sock in self.socks[:self.trickling]:
                if sock is not None:
                    try:
                        sock.sendall(head[step % len(head):step % len(head) + 1])
                    except OSError:
                        pass
            step += 1

    def close(self):
        self.stop = True
        self.thread.join(5)
        for sock in self.socks:
            if sock is not None:
                sock.close()


def hold_crowd(port, stop):
    crowd = Crowd(port, 300, 30)
    stop.wait()
    crowd.close()


def crowdbench(port, code, outdir):
    # The crowd in a process of its own: the host's requests are timed without waiting on it.
    import multiprocessing
    stop = multiprocessing.Event()
    crowd = multiprocessing.Process(target=hold_crowd, args=(port, stop))
    crowd.start()
    time.sleep(2)  # let the crowd fill every place first
    latencies, unanswered = [], 0
    for _ in range(200):
        begin = time.monotonic()
        try:
            connection = http.client.HTTPConnection("127.0.0.1", port, timeout=2)
            connection.request("GET", "/api/state", headers={"Authorization": "Bearer " + code})
            status = connection.getresponse().status
            connection.close()
            if status == 200:
                latencies.append((time.monotonic() - begin) * 1000)
            else:
                unanswered += 1
                sys.stderr.write("host request answered %d\n" % status)
        except (OSError, http.client.HTTPException) as e:
            unanswered += 1
            sys.stderr.write("host request failed after %.3f s: %r\n" % (time.monotonic() - begin, e))
        time.sleep(0.05)  # the host's pace: 20 requests a second
    stop.set()
    crowd.join(10)
    latencies.sort()
    pick = lambda q: latencies[min(len(latencies) - 1, int(q * len(latencies)))] if latencies else -1
    write(outdir, "crowd.json", json.dumps({"p50_ms": pick(0.5), "p99_ms": pick(0.99), "unanswered": unanswered,
                                            "answered": len(latencies), "slowest_ms": latencies[-5:]}))


def soak(port, code, outdir, seconds):
    """For `seconds`: the host's requests (state, play, volume) every 0.1 s, each counted unanswered
    when it took over 2 s or was answered 5xx; malformed and stranger requests between them; a
    WebSocket client coming and going every second."""
    import random
    import websocket  # python3-websocket

    auth = {"Authorization": "Bearer " + code}
    asks = [("GET", "/api/state", None), ("POST", "/api/play", '{"category":1,"index":1}'),
            ("POST", "/api/volume", '{"step":0}'), ("POST", "/api/play", '{"hotkey":"F9"}')]
    junk = [b"GARBAGE\r\n\r\n", b"POST /api/play HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 5\r\n\r\n{\"a\":",
            b"GET /api/state HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n\r\n" % port,
            (b"POST /api/play HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nAuthorization: Bearer %s\r\nContent-Length: 9000\r\n\r\n"
             % (port, code.encode())) + b"[" * 9000]
    counts = {"requests": 0, "unanswered": 0, "malformed": 0, "websockets": 0, "errors": []}
    deadline = time.monotonic() + seconds
    ws, ws_since = None, 0.0
    while time.monotonic() < deadline:
        method, path, body = random.choice(asks)
        begin = time.monotonic()
        counts["requests"] += 1
        try:
            connection = http.client.HTTPConnection("127.0.0.1", port, timeout=2)
            connection.request(method, path, body=body, headers=auth)
            status = connection.getresponse().status
            connection.close()
            if status >= 500 or time.monotonic() - begin > 2:
                counts["unanswered"] += 1
        except (OSError, http.client.HTTPException) as error:
            counts["unanswered"] += 1
            if len(counts["errors"]) < 10:
                counts["errors"].append(repr(error))
        try:
            raw_exchange(port, random.choice(junk), seconds=0.2)
            counts["malformed"] += 1
        except OSError:
            pass
        if time.monotonic() - ws_since > 1:
            try:
                if ws is not None:
                    ws.close()
                ws = websocket.create_connection(f"ws://127.0.0.1:{port}/api/events?code={code}", timeout=2)
                counts["websockets"] += 1
            except Exception:  # counted by the requests above when the server is gone
                ws = None
            ws_since = time.monotonic()
        time.sleep(0.1)
    if ws is not None:
        ws.close()
    write(outdir, "soak.json", json.dumps(counts))


def main():
    mode, port, code, outdir = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
    os.makedirs(outdir, exist_ok=True)
    if mode == "soak":
        soak(port, code, outdir, float(sys.argv[5]))
    else:
        crowdbench(port, code, outdir)


if __name__ == "__main__":
    main()
