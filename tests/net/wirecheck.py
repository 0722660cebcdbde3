"""Rebuilds network message frames on its own and checks those the engine wrote.

It binds a UDP socket on 127.0.0.1 (a port the system chooses) and prints {"port": N}. Then it
reads one JSON object per line on its standard input and answers each with one JSON line:

  {"receive": true}
      waits (2 s at most) for one datagram: {"datagram": "<hex>"}, or {"datagram": null}.

  a frame case: {"case": name, "mode": 1 full | 2 compact | other, "class": the form's class id,
                 "record": null or {"id", "index", "checksum", "sequence", "ordered"},
                 "counter": the sequence counter before, "body": "<hex>", "compressed": bool,
                 "start": bytes before the frame (zeros), "prefix": bool (the frame follows a
                 u32 of its length instead), "stream": "<hex>" (what the engine wrote),
                 "datagram": bool (the same bytes were also sent to this socket)}
      rebuilds the stream with struct, hmac and python3-lzo and answers
      {"case": name, "ok": bool, "expected": "<hex>", "counter": the counter after, "why": text}.

It ends when its standard input closes, and after 60 s in any case.
"""

import hmac
import json
import select
import signal
import socket
import struct
import sys

import lzo

# The frame checksum's key: the two halves, first then second.
KEY = bytes.fromhex("3A915C07E248B61D") + bytes.fromhex("74C90FA3582ED166")


def checksum(frame):
    words = struct.unpack("<4I", hmac.new(KEY, frame, "md5").digest())
    key0 = struct.unpack("<I", KEY[:4])[0]
    return (words[0] + words[1] + words[2] + key0) & 0xFFFFFFFF


def compact(case, body, counter):
    record = case["record"]
    if record is None or record["id"] != case["class"]:
        return b"", counter
    flags = 0x80
    flags |= 0x01 if case["compressed"] else 0
    flags |= 0x02 if record["checksum"] else 0
    flags |= 0x04 if record["sequence"] else 0
    flags |= 0x08 if record["ordered"] else 0
    frame = struct.pack("<BB", flags, record["index"])
    if record["sequence"] or record["ordered"]:
        frame += struct.pack("<H", counter & 0xFFFF)
        counter = (counter + 1) % 65536
    at = len(frame)
    if record["checksum"]:
        frame += struct.pack("<I", 0)
    if case["compressed"]:
        frame += struct.pack("<I", len(body)) + lzo.compress(body, 1, False)
    else:
        frame += body
    if record["checksum"]:
        frame = frame[:at] + struct.pack("<I", checksum(frame)) + frame[at + 4:]
    return frame, counter


def full(case, body):
    if not case["compressed"]:
        return struct.pack("<II", 0x00010000, case["class"]) + body
    payload = struct.pack("<I", case["class"]) + body
    packed = lzo.compress(payload, 1, False)
    return struct.pack("<III", 0x00010001, len(payload), len(packed)) + packed


def opened(case, written, at, body):
    """Whether the compressed frame the engine wrote at `at` decompresses to what it carries."""
    if case["mode"] == 1:
        size, packed = struct.unpack_from("<II", written, at + 4)
        return lzo.decompress(written[at + 12:at + 12 + packed], False, size) == \
            struct.pack("<I", case["class"]) + body
    record = case["record"]
    at += 2 + (2 if record["sequence"] or record["ordered"] else 0)
    at += 4 if record["checksum"] else 0
    size, = struct.unpack_from("<I", written, at)
    return lzo.decompress(written[at + 4:], False, size) == body


def receive(sock):
    ready, _, _ = select.select([sock], [], [], 2.0)
    return sock.recv(65536) if ready else None


def check(case, sock):
    body = bytes.fromhex(case["body"])
    counter = case["counter"]
    if case["mode"] == 2:
        frame, counter = compact(case, body, counter)
    elif case["mode"] == 1:
        frame = full(case, body)
    else:
        frame = b""
    if case.get("prefix"):
        expected = struct.pack("<I", len(frame)) + frame
    else:
        expected = bytes(case["start"]) + frame
    verdict = {"case": case["case"], "ok": True, "expected": expected.hex(), "counter": counter,
               "why": ""}
    written = bytes.fromhex(case["stream"])
    if written != expected:
        verdict.update(ok=False, why="the stream differs")
    elif case["compressed"] and frame and not opened(case, written, len(expected) - len(frame),
                                                     body):
        verdict.update(ok=False, why="the compressed body does not open to the body")
    elif case["datagram"]:
        got = receive(sock)
        if got is None:
            verdict.update(ok=False, why="no datagram")
        elif got != expected:
            verdict.update(ok=False, why="the datagram differs: " + got.hex())
    return verdict


def main():
    signal.alarm(60)
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 20)
    sock.bind(("127.0.0.1", 0))
    print(json.dumps({"port": sock.getsockname()[1]}), flush=True)
    for line in sys.stdin:
        if not line.strip():
            continue
        request = json.loads(line)
        if request.get("receive"):
            got = receive(sock)
            answer = {"datagram": None if got is None else got.hex()}
        else:
            answer = check(request, sock)
        print(json.dumps(answer), flush=True)


if __name__ == "__main__":
    main()
