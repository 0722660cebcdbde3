"""Rebuilds the bodies of network message forms from their field values, on its own.

Reads one JSON object per line on its standard input:
  {"case": name, "class": form class name, "fields": {...}, "body": "<hex>", "frame": "<hex>"}
and answers each with {"case": name, "ok": bool, "why": text}. The body is rebuilt with struct
from the fields; the frame (full framing) must carry it, after python3-lzo decompression when the
frame is compressed. Addresses are given as text: ipaddress packs them, reversed (d, c, b, a).
"""

import ipaddress
import json
import struct
import sys

import lzo


def u8(v): return struct.pack("<B", v)
def u16(v): return struct.pack("<H", v)
def u32(v): return struct.pack("<I", v)
def text(t):
    b = t.encode("latin-1")
    return u32(len(b)) + b
def wide(t):
    b = t.encode("utf-8")
    if any(ord(c) >= 128 for c in t):
        b = b"\xef\xbb\xbf" + b
    return u32(len(b)) + b
def address(a):
    host, port = a.split(":")
    return ipaddress.IPv4Address(host).packed[::-1] + u16(int(port))


def client(f, short):
    body = text(f["t1"]) + text(f["t2"]) + text(f["t3"]) + text(f["t4"]) + address(f["a1"])
    return body if short else body + address(f["a2"])


def server(f):
    return (text(f["t1"]) + text(f["t2"]) + text(f["t3"]) + text(f["t4"]) + address(f["a2"])
            + address(f["a1"]))


def timed(f):
    return (u32(f["value"]) + u32(f["t1"]) + u16((f["t2"] - f["t1"]) % 65536)
            + u16(f["ratio"]))


def admin(f):
    v, c = f["version"], f["command"]
    body = u32(v) + u32(c)
    if c > 10:
        return body
    if c == 0:
        body += client(f["client"], v < 3)
        if v >= 2:
            body += text(f["text1"])
        if v >= 4:
            body += u8(f["byte1"])
    elif c == 1:
        if 1 <= v <= 4:
            body += u32(f["flag1"]) + text(f["text2"]) + u32(f["value1"])
    elif c in (2, 3):
        body += u32(f["value1"])
    elif c == 4:
        body += u32(f["flag2"])
    elif c in (5, 7):
        body += u32(f["value2"])
    elif c == 6:
        data = bytes.fromhex(f["data"])
        body += u32(f["value2"]) + u32(len(data)) + data
    elif c == 9:
        body += text(f["client"]["t1"]) + text(f["client"]["t2"])
    elif c == 10:
        body += u32(f["flag1"])
    return body


def transfer(f):
    k = f["kind"]
    body = u32(k)
    if k > 11:
        return body
    sum_ = bytes.fromhex(f["checksum"])
    up, down = u16(f["up"]), u16(f["down"])
    if k == 0:
        flags = (1 if f["flag1"] else 0) | (2 if f["flag2"] else 0)
        body += (u8(f["version"]) + sum_ + u32(f["value1"]) + down + u8(flags) + u8(f["byte1"])
                 + address(f["address"]))
    elif k == 1:
        body += sum_ + u8(f["flag3"] & 255) + down
        if f["flag3"]:
            body += up + u8(f["flag4"] & 255)
    elif k == 3:
        body += sum_ + u8(f["flag3"] & 255) + up + down
    elif k == 4:
        body += sum_ + wide(f["wide"]) + up + down + u8(f["byte3"])
    elif k == 5:
        body += sum_ + up + down + u8(f["flag5"] & 255) + u8(f["byte2"])
    elif k == 6:
        data = bytes.fromhex(f["data"])
        body += sum_ + down + up + u32(f["value2"]) + u32(len(data)) + data
    elif k == 11:
        body += sum_ + down + wide(f["wide"]) + text(f["text"])
    else:
        body += sum_ + up + down
    return body


def plugin(f):
    k = f["kind"]
    body = u32(k)
    if k == 2:
        body += text(f["texts"][0])
    elif k == 3:
        body += b"".join(text(t) for t in f["texts"])
    elif k == 5:
        body += u32(0) + u32(len(f["pairs"]))
        body += b"".join(text(a) + text(b) for a, b in f["pairs"])
    return body


BUILDERS = {
    "CNetServerInfo": server,
    "CNetClientInfo": lambda f: client(f, False),
    "CNetClientInfoShort": lambda f: client(f, True),
    "CNetFormQuerrySessions": lambda f: (text(f["t1"]) + text(f["t2"]) + address(f["address"])
                                         + u32(f["value"])),
    "CNetFormEnumSessions": lambda f: u32(f["value"]) + server(f["server"]),
    "CNetFormPing": lambda f: timed(f) + u32(f["bool"]),
    "CNetFormConnectionAdmin": admin,
    "CNetFileTransferForm": transfer,
    "CNetFormNodsContainer": lambda f: u32(0),
    "CNetFormModelerPlugin": plugin,
    "CNetFormRpcCall": lambda f: u32(f["number"]) + text(f["text"]) + u8(f["flags"]),
}

IDS = {"CNetFormConnectionAdmin": 0x12010000, "CNetFormModelerPlugin": 0x1200E000}


def check(case):
    body = BUILDERS[case["class"]](case["fields"])
    if bytes.fromhex(case["body"]) != body:
        return "the body differs: expected " + body.hex()
    frame = bytes.fromhex(case.get("frame", ""))
    if not frame:
        return ""
    tag, = struct.unpack_from("<I", frame)
    if tag == 0x00010001:
        size, packed = struct.unpack_from("<II", frame, 4)
        if packed != len(frame) - 12:
            return "the compressed size differs"
        payload = lzo.decompress(frame[12:], False, size)
        if payload != u32(IDS[case["class"]]) + body:
            return "the decompressed frame differs"
    elif frame[8:] != body:
        return "the frame does not carry the body"
    return ""


def main():
    for line in sys.stdin:
        if line.strip():
            case = json.loads(line)
            why = check(case)
            print(json.dumps({"case": case["case"], "ok": not why, "why": why}))


if __name__ == "__main__":
    main()
