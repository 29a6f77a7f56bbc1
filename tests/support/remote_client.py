#!/usr/bin/python3
"""Linux-side clients of the remote control for the remote tests (run through RunHostCommand).

Each mode talks to the server on 127.0.0.1 and leaves what it saw as files in OUTDIR, which the
Wine side reads back; every wait is bounded, so a mode always ends by itself.

  events PORT CODE OUTDIR    WebSocket: waits for a play event, plays by message, waits for its end
  idle PORT CODE OUTDIR      a silent connection closed by the server, one asking every 0.5 s kept
  crowd PORT CODE OUTDIR     200 idle connections, then past the limit, then all closed
  door PORT CODE OUTDIR      what a stranger may try: deep JSON, odd ids, other origins, refused
                             requests, a trickled head, pipelined requests, two Host headers, a crowd
  failing PORT CODE OUTDIR   20 plays at once of a slot whose file does not play, a listener watching
  crowdbench PORT CODE OUTDIR  the host's requests timed while 300 strangers crowd and trickle
  soak PORT CODE OUTDIR SECONDS  authorised and malformed requests, WebSocket clients coming and going
  page PORT CODE OUTDIR      the phone page in headless Chromium: tap, then watch the board
"""
import http.client
import json
import os
import socket
import sys
import time


def write(outdir, name, text):
    path = os.path.join(outdir, name)
    with open(path + ".part", "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(path + ".part", path)  # the reader never sees half a file


def wait_for_file(outdir, name, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if os.path.exists(os.path.join(outdir, name)):
            return True
        time.sleep(0.05)
    return False


def events(port, code, outdir):
    import websocket  # python3-websocket

    ws = websocket.create_connection(f"ws://127.0.0.1:{port}/api/events?code={code}", timeout=15)
    write(outdir, "ready", "")

    def receive(match):
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            message = json.loads(ws.recv())
            if match(message):
                return message
        raise TimeoutError

    write(outdir, "event.json", json.dumps(receive(lambda m: m.get("event") == "play")))
    ws.send(json.dumps({"cmd": "play", "category": 1, "index": 2, "id": 7}))
    write(outdir, "reply.json", json.dumps(receive(lambda m: m.get("id") == 7)))
    ws.send('{"cmd": "play", "category": ')
    write(outdir, "bad.json", json.dumps(receive(lambda m: "reply" in m)))
    # The effect played by message (a 3 s tone) ends by itself.
    write(outdir, "ended.json", json.dumps(receive(lambda m: m.get("event") == "ended")))
    ws.close()


def status_of(port, code):
    """The status of GET /api/state, or 0 when the connection was refused or dropped."""
    try:
        connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
        connection.request("GET", "/api/state", headers={"Authorization": "Bearer " + code})
        status = connection.getresponse().status
        connection.close()
        return status
    except (OSError, http.client.HTTPException):
        return 0


def closed_within(sock, seconds):
    """Whether the server closes `sock` within `seconds` (the end of the stream arrives)."""
    sock.settimeout(seconds)
    try:
        return sock.recv(1) == b""
    except socket.timeout:
        return False
    except OSError:
        return True


def idle(port, code, outdir):
    silent = socket.create_connection(("127.0.0.1", port), timeout=10)
    asking = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    kept = True
    silent_closed = False
    # Three seconds of one request every half second on one connection, the half seconds spent
    # watching the silent connection, which the server must close meanwhile.
    for _ in range(6):
        try:
            asking.request("GET", "/api/state", headers={"Authorization": "Bearer " + code})
            asking.getresponse().read()
        except (OSError, http.client.HTTPException):
            kept = False
        silent_closed = silent_closed or closed_within(silent, 0.5)
    fresh = socket.create_connection(("127.0.0.1", port), timeout=10)
    begin = time.monotonic()
    closed_within(fresh, 10)
    write(outdir, "idle.json", json.dumps({"silent_closed": silent_closed, "kept_while_asking": kept,
                                           "closed_after_s": time.monotonic() - begin}))


def status_until(port, code, wanted, seconds=5):
    """GET /api/state until it answers `wanted` (the server has caught up with the connections
    opened or closed before) or `seconds` have passed; the last status."""
    deadline = time.monotonic() + seconds
    status = status_of(port, code)
    while not wanted(status) and time.monotonic() < deadline:
        status = status_of(port, code)
    return status


def crowd(port, code, outdir):
    idle = [socket.create_connection(("127.0.0.1", port), timeout=10) for _ in range(200)]
    results = {"with_200_idle": status_of(port, code)}
    idle += [socket.create_connection(("127.0.0.1", port), timeout=10) for _ in range(60)]
    results["past_the_limit"] = status_of(port, code)
    for s in idle:
        s.close()
    results["after_closing"] = status_until(port, code, lambda status: status == 200)
    write(outdir, "crowd.json", json.dumps(results))


def raw_exchange(port, data, seconds=5):
    """Sends `data` on a fresh connection and reads until the server closes it or `seconds`
    pass; what came back, and whether the server closed the connection."""
    sock = socket.create_connection(("127.0.0.1", port), timeout=10)
    sock.sendall(data)
    received, closed = b"", False
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        sock.settimeout(max(0.01, deadline - time.monotonic()))
        try:
            chunk = sock.recv(65536)
        except socket.timeout:
            break
        except OSError:
            closed = True
            break
        if not chunk:
            closed = True
            break
        received += chunk
    sock.close()
    return received.decode("utf-8", "replace"), closed


def request(port, method, path, headers=None, body=None):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    connection.request(method, path, body=body, headers=headers or {})
    response = connection.getresponse()
    text = response.read().decode("utf-8", "replace")
    connection.close()
    try:
        return response.status, json.loads(text)
    except ValueError:
        return response.status, text


def door(port, code, outdir):
    import websocket  # python3-websocket

    auth = {"Authorization": "Bearer " + code}
    host = f"127.0.0.1:{port}"
    report = {}
    deep = "[" * 30000 + "]" * 30000  # under the body limit, far past any sane depth
    report["deep_body"] = request(port, "POST", "/api/play", auth, deep)
    report["after_deep"] = request(port, "GET", "/api/state", auth)[0]

    ws = websocket.create_connection(f"ws://{host}/api/events?code={code}", timeout=15)

    def ask(text):
        ws.send(text)
        while True:
            message = json.loads(ws.recv())
            if "reply" in message:
                return message

    report["ws_deep_id"] = ask('{"cmd":"state","id":' + deep + "}")
    report["ws_object_id"] = ask('{"cmd":"state","id":{"a":1}}')
    report["ws_long_id"] = ask(json.dumps({"cmd": "state", "id": "x" * 65}))
    report["ws_id_64"] = ask(json.dumps({"cmd": "state", "id": "时" * 64}))
    report["ws_id_int"] = ask(json.dumps({"cmd": "state", "id": 7}))
    ws.close()

    report["foreign_origin"] = request(port, "GET", "/api/state", dict(auth, Origin="http://evil.example"))
    report["own_origin"] = request(port, "GET", "/api/state", dict(auth, Origin="http://" + host))[0]
    try:
        websocket.create_connection(f"ws://{host}/api/events?code={code}", timeout=15,
                                    origin="http://evil.example").close()
        report["foreign_ws"] = "accepted"
    except websocket.WebSocketBadStatusException as error:
        report["foreign_ws"] = error.status_code

    head = f"GET /api/state HTTP/1.1\r\nHost: {host}\r\n"
    text, closed = raw_exchange(port, (head + "\r\n").encode())
    report["refused_closes"] = {"status": text[:12], "closed": closed}
    text, closed = raw_exchange(port, (head + f"Host: {host}\r\nAuthorization: Bearer {code}\r\n\r\n").encode())
    report["two_hosts"] = {"status": text[:12], "closed": closed}
    pipelined = (head + f"Authorization: Bearer {code}\r\n\r\n").encode() * 3
    text, _ = raw_exchange(port, pipelined, seconds=3)
    report["pipelined_answers"] = text.count("HTTP/1.1 200")

    # A head sent a byte a second: closed within the head's time, not held open.
    trickle = socket.create_connection(("127.0.0.1", port), timeout=10)
    begin = time.monotonic()
    closed_after = None
    for byte in head.encode():
        try:
            trickle.sendall(bytes([byte]))
        except OSError:
            closed_after = time.monotonic() - begin
            break
        if closed_within(trickle, 1.0):
            closed_after = time.monotonic() - begin
            break
    trickle.close()
    report["trickle_closed_after_s"] = closed_after

    # 300 strangers hold every place (20 of them trickling): the host is still answered.
    strangers = [socket.create_connection(("127.0.0.1", port), timeout=10) for _ in range(300)]
    for sock in strangers[:20]:
        sock.sendall(b"G")
    begin = time.monotonic()
    report["host_in_crowd"] = status_of(port, code)
    report["host_in_crowd_s"] = time.monotonic() - begin
    for sock in strangers:
        sock.close()
    write(outdir, "door.json", json.dumps(report, ensure_ascii=False))


def failing(port, code, outdir):
    """20 plays at once of slot 1/4 (a file that does not play), a WebSocket client listening."""
    import threading
    import websocket  # python3-websocket

    ws = websocket.create_connection(f"ws://127.0.0.1:{port}/api/events?code={code}", timeout=15)
    answers = [None] * 20
    begin = time.monotonic()

    def play(i):
        answers[i] = request(port, "POST", "/api/play", {"Authorization": "Bearer " + code},
                             '{"category":1,"index":4}')

    threads = [threading.Thread(target=play, args=(i,)) for i in range(20)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(15)
    elapsed = time.monotonic() - begin
    # Whatever the board announced meanwhile (a "state" asked last marks the end of it).
    ws.send('{"cmd":"state","id":1}')
    events = []
    while True:
        message = json.loads(ws.recv())
        if "reply" in message:
            break
        events.append(message.get("event"))
    ws.close()
    write(outdir, "failing.json", json.dumps({"answers": answers, "seconds": elapsed, "events": events},
                                             ensure_ascii=False))


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
        except (OSError, http.client.HTTPException):
            unanswered += 1
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


def page(port, code, outdir):
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait

    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--window-size=390,844", "--no-first-run", "--disable-extensions"):
        options.add_argument(argument)
    options.binary_location = "/usr/bin/chromium"
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    report = {}
    try:
        driver.get(f"http://127.0.0.1:{port}/?code={code}")
        wait = WebDriverWait(driver, 15)
        wait.until(lambda d: d.find_element(By.ID, "status").text == "已连接")
        wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, "#grid .slot")) > 0)
        report["tabs"] = [t.text for t in driver.find_elements(By.CSS_SELECTOR, "#tabs button")]
        buttons = driver.find_elements(By.CSS_SELECTOR, "#grid .slot")
        report["buttons"] = len(buttons)
        report["first_caption"] = buttons[0].text
        report["first_colour"] = buttons[0].value_of_css_property("background-color")
        report["rows"] = len({b.rect["y"] for b in buttons})
        report["overflows"] = driver.execute_script(
            "return document.documentElement.scrollWidth > window.innerWidth")
        report["volume"] = driver.find_element(By.ID, "volume").text
        write(outdir, "ready", json.dumps(report))
        buttons[0].click()
        write(outdir, "tapped", "")
        # The test clicks the board's third button now; the page must show it.
        third = '#grid .slot[data-category="1"][data-index="3"]'
        shown = True
        try:
            wait.until(lambda d: "last" in d.find_element(By.CSS_SELECTOR, third).get_attribute("class"))
        except Exception:
            shown = False
        report["board_click_shown"] = shown
        report["first_still_marked"] = "last" in buttons[0].get_attribute("class")
        driver.save_screenshot(os.path.join(outdir, "page.png"))
    except Exception as error:  # reported, so the test says what went wrong
        report["error"] = repr(error)
    finally:
        driver.quit()
    write(outdir, "page.json", json.dumps(report, ensure_ascii=False))


def main():
    mode, port, code, outdir = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
    os.makedirs(outdir, exist_ok=True)
    try:
        if mode == "soak":
            soak(port, code, outdir, float(sys.argv[5]))
            return
        {"events": events, "idle": idle, "crowd": crowd, "door": door, "failing": failing,
         "crowdbench": crowdbench, "page": page}[mode](port, code, outdir)
    except Exception as error:
        write(outdir, "error", repr(error))
        raise


if __name__ == "__main__":
    main()
