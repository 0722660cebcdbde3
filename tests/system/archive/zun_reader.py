"""An archive (".Zun") reader of its own, with struct and python-lzo, for checking the engine's
files: header, reference table with its folder records, and the body (decompressed when the file
has an LZO body).

    zun_reader.py FILE...      prints a summary of each file
    zun_reader.py --same-body PLAIN PACKED
                               also checks that PACKED's decompressed body is PLAIN's body
"""
import struct
import sys

import lzo


class Reader:
    def __init__(self, data):
        self.data = data
        self.pos = 0
        self.text = False

    def raw(self, n):
        if self.pos + n > len(self.data):
            raise ValueError("past the end at %d" % self.pos)
        out = self.data[self.pos:self.pos + n]
        self.pos += n
        return out

    def line(self):
        # '||' stands for '|', '|' CR LF for a CR LF inside the value; CR LF ends it.
        out = bytearray()
        while True:
            c = self.raw(1)
            if c == b"|":
                nxt = self.raw(1)
                if nxt == b"|":
                    out += b"|"
                elif nxt == b"\r":
                    if self.raw(1) != b"\n":
                        raise ValueError("bad continuation")
                    out += b"\r\n"
                else:
                    raise ValueError("bad escape")
            elif c == b"\r":
                if self.raw(1) != b"\n":
                    raise ValueError("CR without LF")
                return bytes(out)
            else:
                out += c

    def u32(self, hex_form=False):
        if self.text:
            return int(self.line().decode("ascii"), 16 if hex_form else 10) & 0xFFFFFFFF
        return struct.unpack("<I", self.raw(4))[0]

    def boolean(self):
        if self.text:
            return self.line().startswith(b"T")
        return self.u32() != 0

    def wide(self):
        if self.text:
            b = self.line()
        else:
            b = self.raw(self.u32())
        if b.startswith(b"\xef\xbb\xbf"):
            return b[3:].decode("utf-8")
        return b.decode("latin-1")


def read_folders(r, count, out):
    for _ in range(count):
        name = r.wide()
        subs = r.u32()
        out.append(name)  # numbered in pre-order from 1; 0 is the reference root
        read_folders(r, subs, out)


def parse(path):
    r = Reader(open(path, "rb").read())
    if r.raw(3) != b"ZUN":
        raise ValueError("not an archive")
    version = struct.unpack("<H", r.raw(2))[0]
    letters = r.raw(4 if version >= 4 else 3).decode("ascii")
    r.text = letters[0] == "T"
    info = {"version": version, "letters": letters}
    info["class"] = r.u32(True)
    if version >= 6:
        size = r.u32()
        r.raw(size)
        info["blob"] = size
    info["nodes"] = r.u32()
    n = r.u32()
    folders, records = [], []
    if n:
        info["level"] = r.u32()
        read_folders(r, r.u32(), folders)
        for _ in range(n):
            flags = r.u32()
            name = r.u32() if flags & 4 else r.wide()
            node = r.u32()
            use_file = r.boolean() if version >= 5 else False
            folder = None if flags & 4 else r.u32()
            records.append((flags, name, node, use_file, folder))
    info["folders"] = folders
    info["records"] = records
    rest = r.data[r.pos:]
    if letters[2] == "C":
        unpacked, packed = struct.unpack("<II", rest[:8])
        if len(rest) != 8 + packed:
            raise ValueError("LZO block size %d, %d bytes follow" % (packed, len(rest) - 8))
        body = lzo.decompress(rest[8:], False, unpacked)
        if len(body) != unpacked:
            raise ValueError("LZO block decompressed to %d of %d bytes" % (len(body), unpacked))
    else:
        body = rest
    return info, body


def summary(info):
    lines = ["version %d %s class %08x blob %d nodes %d" % (
        info["version"], info["letters"], info["class"], info.get("blob", 0), info["nodes"])]
    if "level" in info:
        lines.append("level %d folders %s" % (info["level"], ",".join(info["folders"])))
    for flags, name, node, use_file, folder in info["records"]:
        lines.append("ref %d %s node %d usefile %d folder %s" % (
            flags, name, node, use_file, "-" if folder is None else folder))
    return "\n".join(lines)


def main(args):
    if args and args[0] == "--same-body":
        plain_info, plain_body = parse(args[1])
        packed_info, packed_body = parse(args[2])
        if plain_body != packed_body:
            raise SystemExit("bodies differ")
        print(summary(plain_info))
        print(summary(packed_info))
        print("same body %d bytes" % len(plain_body))
        return
    for path in args:
        print(summary(parse(path)[0]))


if __name__ == "__main__":
    main(sys.argv[1:])
