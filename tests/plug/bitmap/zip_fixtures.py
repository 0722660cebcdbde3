"""Zip archives for the zip tests, fuzz seeds and benchmarks, made and checked by Python's
zipfile, independently of the engine.

  make KIND OUT         writes the archive KIND (see ARCHIVES) to OUT
  names ZIP             the names of ZIP's files (no folders, no empty files), one a line
  check OLD NEW NAME DATE HEX
                        NEW is OLD with NAME (ignoring case) replaced by the bytes HEX, last,
                        dated DATE (Y,M,D,h,m,s): every other entry keeps its record and bytes,
                        testzip finds nothing; prints "ok"
"""
import hashlib
import io
import os
import random
import sys
import zipfile

DATE = (2020, 5, 17, 10, 20, 30)
PICTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures")


class Unseekable(io.RawIOBase):
    """A stream zipfile cannot seek back in: its entries get data descriptors."""

    def __init__(self, out):
        self.out = out

    def writable(self):
        return True

    def write(self, data):
        self.out.write(data)
        return len(data)


def info(name, method=zipfile.ZIP_DEFLATED, mode=0o644):
    entry = zipfile.ZipInfo(name, DATE)
    entry.compress_type = method
    entry.external_attr = (mode << 16) | (0x10 if name.endswith("/") else 0)
    return entry


def mixed(z):
    z.writestr(info("Readme.txt"), b"Zip archives as folders.\n" * 40)
    z.writestr(info("Sounds/", zipfile.ZIP_STORED, 0o755), b"")
    z.writestr(info("Sounds/Engine.wav", zipfile.ZIP_STORED), b"wav 5")
    z.writestr(info("Sounds/Empty.wav", zipfile.ZIP_STORED), b"")
    z.writestr(info("Skins/Blue/Car.tga"), bytes(range(256)) * 8)
    z.writestr(info("Caf\u00e9/Menu.wav"), b"wav 9")
    z.writestr(info("Mixed/CaSe.Wav", mode=0o600), b"wav 11")


def folders(z):
    for name in ("A/", "A/B/", "C/"):
        z.writestr(info(name, zipfile.ZIP_STORED, 0o755), b"")


def unsafe(z):
    for name in ("../Evil.wav", "/Abs.wav", "C:Drive.wav", "a/./b.wav", "a/../b.wav",
                 "a//b.wav", "Dots/..", "x" * 1100 + ".wav", "Good.wav"):
        z.writestr(info(name), b"wav 1")


def skins(z):
    z.writestr(info("a/b.tga"), b"TGA" * 100)
    z.writestr(info("Top.wav", zipfile.ZIP_STORED), b"wav 3")


def twins(z):
    z.writestr(info("Case.wav"), b"wav 1")
    z.writestr(info("CASE.WAV"), b"wav 2")
    z.writestr(info(".."), b"wav 3")


def pictures(z):
    # The committed picture fixtures, deflated and stored.
    for name, fixture, method in (("Skins/Car.tga", "rgb24.tga", zipfile.ZIP_DEFLATED),
                                  ("Skins/Cross.tga", "rle-cross.tga", zipfile.ZIP_STORED),
                                  ("Photos/Sky.jpg", "colour420.jpg", zipfile.ZIP_DEFLATED)):
        with open(os.path.join(PICTURES, fixture), "rb") as f:
            z.writestr(info(name, method), f.read())


def big(z, stored):
    # Mixed bytes: runs that deflate well between random stretches.
    rng = random.Random(7)
    for i in range(4):
        parts = []
        size = 0
        while size < 16 << 20:
            parts.append(bytes([rng.randrange(256)]) * rng.randrange(1, 200))
            parts.append(rng.randbytes(rng.randrange(1, 200)))
            size += len(parts[-2]) + len(parts[-1])
        data = b"".join(parts)[: 16 << 20]
        method = zipfile.ZIP_STORED if stored else zipfile.ZIP_DEFLATED
        z.writestr(info("Big/Part%d.dat" % i, method), data)


def skin_pack(z):
    # Near the fuzz target's input limit: a pack of player skins, stored and deflated.
    rng = random.Random(3)
    for i in range(6):
        method = zipfile.ZIP_STORED if i % 2 else zipfile.ZIP_DEFLATED
        z.writestr(info("Skins/Player%d/Skin.dds" % i, method), rng.randbytes(330000))


def many(z):
    rng = random.Random(5)
    for i in range(5000):
        words = b" ".join(rng.choice([b"car", b"track", b"skin", b"wheel", b"%d" % i])
                          for _ in range(400))
        z.writestr(info("F%02d/G%02d/Item%04d.txt" % (i % 50, i % 7, i)), words[:2048])


ARCHIVES = {
    "mixed": mixed, "folders": folders, "unsafe": unsafe, "skins": skins, "twins": twins,
    "many": many, "skin-pack": skin_pack, "pictures": pictures, "big-deflated": lambda z: big(z, False), "big-stored": lambda z: big(z, True),
}


def make(kind, out):
    if kind == "empty":
        zipfile.ZipFile(out, "w").close()
        return
    if kind == "descriptor":
        with open(out, "wb") as f, zipfile.ZipFile(Unseekable(f), "w") as z:
            z.writestr(info("Late.wav"), b"wav 4")
            with z.open(info("Streamed.txt"), "w") as entry:
                entry.write(b"written while the archive could not seek\n" * 10)
        return
    if kind == "zip64":
        with zipfile.ZipFile(out, "w") as z:
            with z.open(info("Large.wav"), "w", force_zip64=True) as entry:
                entry.write(b"wav 64")
        return
    with zipfile.ZipFile(out, "w") as z:
        ARCHIVES[kind](z)


def record(entry):
    return (entry.compress_type, entry.CRC, entry.compress_size, entry.file_size,
            entry.date_time, entry.external_attr, entry.flag_bits & 0x800)


def check(old, new, name, date, data):
    with zipfile.ZipFile(old) as a, zipfile.ZipFile(new) as b:
        assert b.testzip() is None, "testzip"
        kept = [e for e in a.infolist() if e.filename.lower() != name.lower()]
        entries = b.infolist()
        assert [e.filename for e in entries] == [e.filename for e in kept] + [name], \
            [e.filename for e in entries]
        for before, after in zip(kept, entries):
            assert record(before) == record(after), (before, after)
            assert a.read(before) == b.read(after), before.filename
        last = entries[-1]
        assert last.compress_type == zipfile.ZIP_DEFLATED, last.compress_type
        assert b.read(last) == data, b.read(last)
        assert last.date_time == date, last.date_time
    print("ok")


def main():
    command = sys.argv[1]
    if command == "make":
        make(sys.argv[2], sys.argv[3])
    elif command == "names":
        with zipfile.ZipFile(sys.argv[2]) as z:
            for entry in z.infolist():
                if entry.file_size:
                    print(entry.filename)
    elif command == "check":
        date = tuple(int(v) for v in sys.argv[5].split(","))
        check(sys.argv[2], sys.argv[3], sys.argv[4], date, bytes.fromhex(sys.argv[6]))
    else:
        sys.exit("unknown command " + command)


if __name__ == "__main__":
    main()
