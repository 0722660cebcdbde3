# Routes of the update protocol for the loopback test server (http_test_server.py --routes).
#
# The test that starts the server puts a line SCENARIO_FILE = "<path>" before this text; the
# routes read that JSON file at every request, so a test changes the server's answers by
# rewriting it. The server logs every request with its raw target.
#
#   "a0", "a1"   the answers to actions 0 and 1: {"code": 200, "body": "0;0;text"} (the body is
#                sent as UTF-8), {"stall": seconds} to send nothing for that long, or
#                {"drip": body, "delay_ms": ms} to send the body one byte at a time
#   "download"   the file at /files/setup.exe: {"n": bytes of the pattern i % 251,
#                "length": the Content-Length announced (absent: chunked), "piece": bytes per
#                write, "delay_ms": pause after each piece, "cut_at": bytes after which the
#                connection is closed, "cut_delay_ms": pause before that close}
#
# Actions 2 to 4 are answered "0"; anything else gets 404.

import json
import select
import socket
import time
import urllib.parse


def scenario():
    with open(SCENARIO_FILE, encoding="utf-8") as f:
        return json.load(f)


def stall(h, seconds):
    deadline = time.time() + min(float(seconds), 30.0)
    while time.time() < deadline:
        readable, _, _ = select.select([h.connection], [], [], 0.1)
        if readable:
            try:
                if not h.connection.recv(1, socket.MSG_PEEK):
                    break
            except OSError:
                break
    h.close_connection = True


def drip(h, body, delay):
    h.send_response(200)
    h.send_header("Content-Type", "text/plain")
    h.send_header("Content-Length", str(len(body)))
    h.end_headers()
    try:
        for i in range(len(body)):
            h.wfile.write(body[i:i + 1])
            h.wfile.flush()
            time.sleep(delay)
    except OSError:
        # The client gave up.
        h.close_connection = True


def answer(h, behaviour):
    if behaviour is None:
        h.send_body(404, b"no answer in the scenario", "text/plain")
    elif "stall" in behaviour:
        stall(h, behaviour["stall"])
    elif "drip" in behaviour:
        drip(h, behaviour["drip"].encode("utf-8"), int(behaviour.get("delay_ms", 1000)) / 1000.0)
    else:
        h.send_body(int(behaviour.get("code", 200)), behaviour.get("body", "").encode("utf-8"), "text/plain")


def route_patch(h):
    query = urllib.parse.urlsplit(h.path).query
    # The first "action" key only, as the server-side script would read it.
    action = None
    for key, value in urllib.parse.parse_qsl(query, keep_blank_values=True):
        if key == "action":
            action = value
            break
    current = scenario()
    if action == "0":
        answer(h, current.get("a0"))
    elif action == "1":
        answer(h, current.get("a1"))
    elif action in ("2", "3", "4"):
        h.send_body(200, b"0", "text/plain")
    else:
        h.send_body(404, b"unknown action", "text/plain")


def route_download(h):
    behaviour = scenario().get("download") or {}
    n = int(behaviour.get("n", 0))
    piece = max(1, int(behaviour.get("piece", 65536)))
    delay = int(behaviour.get("delay_ms", 0)) / 1000.0
    cut_at = behaviour.get("cut_at")
    length = behaviour.get("length")
    h.send_response(200)
    h.send_header("Content-Type", "application/octet-stream")
    if length is None:
        h.send_header("Transfer-Encoding", "chunked")
    else:
        h.send_header("Content-Length", str(int(length)))
    h.end_headers()
    h.wfile.flush()
    sent = 0
    limit = n if cut_at is None else min(n, int(cut_at))
    try:
        while sent < limit:
            size = min(piece, limit - sent)
            data = pattern(sent, size)
            if length is None:
                data = b"%x\r\n" % size + data + b"\r\n"
            h.wfile.write(data)
            h.wfile.flush()
            sent += size
            if sent < limit and delay:
                time.sleep(delay)
        if cut_at is not None:
            time.sleep(int(behaviour.get("cut_delay_ms", 0)) / 1000.0)
            h.close_connection = True
            return
        if length is None:
            h.wfile.write(b"0\r\n\r\n")
            h.wfile.flush()
    except OSError:
        # The client went away (a cancelled download).
        h.close_connection = True


ROUTES["/patch/patch.php"] = route_patch
ROUTES["/files/setup.exe"] = route_download
