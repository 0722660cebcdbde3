#!/usr/bin/python3
# Decodes the binary body of a visual's geometry chunk (little-endian words, raw blocks) and
# prints its header, each set's format and size, the skin size and the bone count. Written from
# the layout alone, sharing no code with the engine.
#
#   visual_reader.py <body file>
import struct
import sys

SET_BYTES = {0: 8, 1: 12, 2: 16}
SKIN_BYTES = {0: 0, 1: 1, 2: 8, 3: 12, 4: 16, 5: 4}


def main(path):
    data = open(path, "rb").read()
    at = 0

    def words(n):
        nonlocal at
        values = struct.unpack_from("<%dI" % n, data, at)
        at += 4 * n
        return values

    static_geom, static_index, sets, skin, vertices = words(5)
    (streams,) = words(1)
    at += 4 * streams
    print("static %d %d sets %d skin %d vertices %d streams %d"
          % (static_geom, static_index, sets, skin, vertices, streams))
    for i in range(sets):
        (fmt,) = words(1)
        size = SET_BYTES[fmt] * vertices
        floats = struct.unpack_from("<%df" % (size // 4), data, at)
        at += size
        print("set %d format %d bytes %d first %g last %g"
              % (i, fmt, size, floats[0] if floats else 0, floats[-1] if floats else 0))
    skin_size = SKIN_BYTES[skin] * vertices
    at += skin_size
    (color,) = words(1)
    (bones,) = words(1)
    at += 48 * bones
    print("skin bytes %d color %d bones %d" % (skin_size, color, bones))
    if at != len(data):
        print("left %d" % (len(data) - at))


if __name__ == "__main__":
    main(sys.argv[1])
