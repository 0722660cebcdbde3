#!/usr/bin/python3
"""Decodes a vertex stream or index buffer chunk body (binary form, a null reference stored as
0xFFFFFFFF) on its own, with struct only, and prints what it holds:

  stream_reader.py stream <body file>
  stream_reader.py indices <body file>
"""
import struct
import sys


def stream(data):
    count, flags, source = struct.unpack_from("<III", data, 0)
    at = 12
    lines = ["vertices %d flags %08x source %s" % (count, flags,
                                                  "none" if source == 0xFFFFFFFF else source)]
    if source == 0xFFFFFFFF:
        (elements,) = struct.unpack_from("<I", data, at)
        at += 4
        lines.append("elements %d" % elements)
        for i in range(elements):
            (descriptor,) = struct.unpack_from("<I", data, at)
            at += 4
            kind = descriptor & 0x1FF
            stride = (descriptor >> 18) & 0x1FF
            if descriptor & 0x40000000:
                size = stride * count
                if at + size > len(data):
                    sys.exit("block past the end")
                at += size
                lines.append("element %d kind %d stride %d block %d" % (i, kind, stride, size))
            else:
                owner, offset = struct.unpack_from("<HH", data, at)
                at += 4
                lines.append("element %d kind %d stride %d owner %d offset %d"
                             % (i, kind, stride, owner, offset))
    if at != len(data):
        sys.exit("%d bytes left over" % (len(data) - at))
    return lines


def indices(data):
    flags, count = struct.unpack_from("<II", data, 0)
    if 8 + 2 * count != len(data):
        sys.exit("the body is not 8 + 2 x count bytes")
    values = struct.unpack_from("<%dH" % count, data, 8)
    return ["flags %08x count %d" % (flags, count),
            "indices" + "".join(" %d" % v for v in values)]


def main():
    kind, path = sys.argv[1], sys.argv[2]
    with open(path, "rb") as f:
        data = f.read()
    print("\n".join(stream(data) if kind == "stream" else indices(data)))


main()
