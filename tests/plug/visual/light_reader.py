"""Decodes the binary body of a saved light: each chunk id in order with the size of its
contents, the flag words, the spot angles and the projector's volume. Written from the stored
layout alone, with struct only, so that it shares nothing with the engine's reader."""
import struct
import sys

END = 0xFACADE01


def g(value):
    return "%.6g" % value


def main(path):
    data = open(path, "rb").read()
    at = 0
    out = []

    def take(fmt):
        nonlocal at
        values = struct.unpack_from("<" + fmt, data, at)
        at += struct.calcsize("<" + fmt)
        return values

    while True:
        (chunk,) = take("I")
        if chunk == END:
            break
        start = at
        extra = ""
        if chunk == 0x04001008:
            take("4f")
            (flags,) = take("I")
            take("5f")
            extra = " flags %08x" % flags
        elif chunk == 0x04003004:
            take("2f")
        elif chunk == 0x04002006:
            (custom,) = take("I")
            take("10f")
            extra = " custom %08x" % custom
        elif chunk == 0x0400B001:
            take("4f")
        elif chunk == 0x0400B002:
            (spot,) = take("I")
            angles = take("5f")
            take("f")
            extra = " spot %08x angles %s" % (spot, " ".join(g(a) for a in angles))
        elif chunk == 0x0400A006:
            (ortho,) = take("I")
            volume = take("6f")
            (flags,) = take("I")
            extra = " %s %s projector %08x" % (
                "ortho" if ortho else "perspective", " ".join(g(v) for v in volume), flags)
        else:
            print("unknown chunk %08x" % chunk)
            return 1
        out.append("chunk %08x size %d%s" % (chunk, at - start, extra))
    if at != len(data):
        print("trailing bytes")
        return 1
    print("\n".join(out))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
