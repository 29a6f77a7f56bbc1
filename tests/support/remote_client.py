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


def any_closed(socks, seconds):
    """Whether the server closes one of `socks` within `seconds`."""
    import select
    readable, _, _ = select.select(socks, [], [], seconds)
    return bool(readable)


def crowd(port, code, outdir):
    idle = [socket.create_connection(("127.0.0.1", port), timeout=10) for _ in range(200)]
    results = {"with_200_idle": status_of(port, code)}
    idle += [socket.create_connection(("127.0.0.1", port), timeout=10) for _ in range(60)]
    # Past the limit a stranger is refused without pushing another out; the host is answered in
    # the place of the oldest.
    results["stranger_past_the_limit"] = status_of(port, "not-the-code")
    results["stranger_pushed_one_out"] = any_closed(idle, 0.5)
    results["past_the_limit"] = status_of(port, code)
    results["host_pushed_one_out"] = any_closed(idle[:16], 2.0)
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
        {"events": events, "idle": idle, "crowd": crowd, "door": door, "failing": failing,
         "page": page}[mode](port, code, outdir)
    except Exception as error:
        write(outdir, "error", repr(error))
        raise


if __name__ == "__main__":
    main()
