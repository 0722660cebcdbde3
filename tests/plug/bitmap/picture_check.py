"""Compares the engine's decode of pictures with other readers.

Arguments: a folder of pictures, a folder of the engine's decodes (NAME.raw: texels top row
first, R, G, B[, A] or grey bytes), then NAME:JUDGE:COMPONENTS triples. Judges:
  pil    PIL's decode (convert("RGB") for a JPEG in colour)
  own    the small TGA reader below, written from the format alone
  im     ImageMagick's decode (convert -auto-orient)
Prints one line per triple: NAME JUDGE followed by the largest difference of a byte, or by the
reason there is nothing to compare.

Which tool reads what (Debian 12): PIL 9.4 cannot read 15-bit TGAs or 32-bit colour maps, maps
15/16-bit colour-map entries otherwise than the format, and fails on run-length packets that
cross a row; those pictures are judged by the small reader. ImageMagick 6.9.11 needs
-auto-orient to honour a TGA's origin, and scales 5-bit values to 8 bits (v x 255 / 31) where
the engine shifts them (v << 3)."""
import os
import struct
import subprocess
import sys
import tempfile

from PIL import Image


def expand555(value):
    return ((value >> 10) & 31) << 3, ((value >> 5) & 31) << 3, (value & 31) << 3


def read_tga(data):
    """Texels top row first as bytes: grey, R G B, or R G B A (32 bits)."""
    (id_len, map_type, image_type, map_first, map_len, map_entry, _, _, width, height, depth,
     descriptor) = struct.unpack_from("<BBBHHBHHHHBB", data)
    pos = 18 + id_len
    palette = {}
    entry_bytes = (map_entry + 7) // 8
    if map_type == 1:
        for i in range(map_len):
            e = data[pos + i * entry_bytes: pos + (i + 1) * entry_bytes]
            if entry_bytes == 2:
                palette[map_first + i] = expand555(e[0] | e[1] << 8)
            else:
                palette[map_first + i] = (e[2], e[1], e[0])
        pos += map_len * entry_bytes
    kind = image_type & 7
    pixel_bytes = (depth + 7) // 8
    count = width * height
    pixels = []
    if image_type >= 9:
        while len(pixels) < count:
            packet = data[pos]
            pos += 1
            n = (packet & 0x7F) + 1
            if packet & 0x80:
                pixels += [data[pos:pos + pixel_bytes]] * n
                pos += pixel_bytes
            else:
                pixels += [data[pos + i * pixel_bytes: pos + (i + 1) * pixel_bytes]
                           for i in range(n)]
                pos += n * pixel_bytes
        pixels = pixels[:count]
    else:
        pixels = [data[pos + i * pixel_bytes: pos + (i + 1) * pixel_bytes] for i in range(count)]
    rows = [pixels[r * width:(r + 1) * width] for r in range(height)]
    if not descriptor & 0x20:
        rows.reverse()
    out = bytearray()
    for row in rows:
        for p in row:
            if kind == 3:
                out += p
            elif kind == 1:
                out += bytes(palette.get(p[0], (0, 0, 0)))
            elif pixel_bytes == 2:
                out += bytes(expand555(p[0] | p[1] << 8))
            elif pixel_bytes == 3:
                out += bytes((p[2], p[1], p[0]))
            else:
                out += bytes((p[2], p[1], p[0], p[3]))
    return bytes(out)


def pil_bytes(path, channels):
    im = Image.open(path)
    return im.convert({1: "L", 3: "RGB", 4: "RGBA"}[channels]).tobytes()


def im_bytes(path, channels):
    with tempfile.TemporaryDirectory() as temp:
        out = os.path.join(temp, "out")
        kind = {1: "gray", 3: "rgb", 4: "rgba"}[channels]
        subprocess.run(["convert", path, "-auto-orient", "-depth", "8", kind + ":" + out],
                       check=True)
        with open(out, "rb") as f:
            return f.read()


def main(pictures, decodes, triples):
    for triple in triples:
        name, judge, channels = triple.split(":")
        path = os.path.join(pictures, name)
        with open(os.path.join(decodes, name + ".raw"), "rb") as f:
            ours = f.read()
        if judge == "pil":
            theirs = pil_bytes(path, int(channels))
        elif judge == "own":
            with open(path, "rb") as f:
                theirs = read_tga(f.read())
        else:
            theirs = im_bytes(path, int(channels))
        if len(theirs) != len(ours):
            print(name, judge, "sizes", len(ours), len(theirs))
            continue
        print(name, judge, max((abs(a - b) for a, b in zip(ours, theirs)), default=0))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3:]))
