"""Reads and writes enciphered text files on its own, for the text file tests.

  cry_file.py read CRY PLAIN    deciphers CRY into PLAIN
  cry_file.py write PLAIN CRY   enciphers PLAIN into CRY

An enciphered file is one block: u32 uncompressed size, u32 compressed size (little-endian),
then raw LZO1X data; the text is XOR-ed with 8 key bytes, the key constant rotated left by the
text's length mod 64 and taken little-endian. An empty text is an empty file.
"""
import struct
import sys

import lzo

KEY_CONSTANT = 0x9E3779B97F4A7C15
MASK = (1 << 64) - 1


def transform(data):
    shift = len(data) % 64
    rotated = ((KEY_CONSTANT << shift) | (KEY_CONSTANT >> (64 - shift))) & MASK
    key = rotated.to_bytes(8, "little")
    return bytes(b ^ key[i % 8] for i, b in enumerate(data))


def read(cry, plain):
    data = open(cry, "rb").read()
    if not data:
        text = b""
    else:
        size, packed = struct.unpack_from("<II", data)
        if len(data) != 8 + packed:
            sys.exit("block size %d does not match the file's %d bytes" % (packed, len(data)))
        text = lzo.decompress(data[8:], False, size)
        if len(text) != size:
            sys.exit("decoded %d bytes, header says %d" % (len(text), size))
        text = transform(text)
    open(plain, "wb").write(text)


def write(plain, cry):
    text = open(plain, "rb").read()
    out = b""
    if text:
        packed = lzo.compress(transform(text), 1, False)
        out = struct.pack("<II", len(text), len(packed)) + packed
    open(cry, "wb").write(out)


if __name__ == "__main__":
    {"read": read, "write": write}[sys.argv[1]](sys.argv[2], sys.argv[3])
