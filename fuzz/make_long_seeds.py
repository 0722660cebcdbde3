#!/usr/bin/python3
"""Writes the long seeds of the fuzz targets: for each reader, an input as long as the real files
(or texts) it reads, up to its size limit, so that the fuzzer starts from there rather than from a
few hundred bytes. The seeds of engine archives and bodies are written by the Make*Corpus
programs; these are the ones whose layout a few lines of Python can write.

    fuzz/make_long_seeds.py fuzz/corpus     (the folder that holds one folder per target)

The output is the same on every run."""
import hashlib
import os
import random
import struct
import sys

import lzo

ROOT = os.path.dirname(os.path.abspath(__file__))
rng = random.Random(41)

WORDS = ("display mode quality shadows water geometry antialiasing texture filtering sound "
         "network proxy server port master login password language french english screen "
         "resolution refresh rate driver adapter memory bench replay track car skin music "
         "update download version launcher settings folder file archive cache locator").split()


def words(count):
    return " ".join(rng.choice(WORDS) for _ in range(count))


def lines_up_to(size, make_line):
    out, total, i = [], 0, 0
    while True:
        line = make_line(i)
        if total + len(line) > size:
            return "".join(out)
        out.append(line)
        total += len(line)
        i += 1


def u32(value):
    return struct.pack("<I", value)


def rotl(b, n):
    return ((b << n) | (b >> (8 - n))) & 0xFF


def encipher(data, password, salt):
    """The enciphered file: magic, version, salt, then the bytes under the salted key."""
    key = hashlib.md5(salt + password).digest()
    body = bytes(b ^ rotl(key[p % 16], (p // 17) % 8) for p, b in enumerate(data))
    return b"VorelFile\x01" + salt + body


def lzo_block(data):
    """An LZO block as the memory stream stores it: decoded size, stored size, LZO1X data."""
    packed = lzo.compress(data, 1, False)
    return u32(len(data)) + u32(len(packed)) + packed


def pci_ids():
    out = ["# List of PCI ID's (made-up excerpt in the database's layout)\n",
           "#\tvendor  vendor_name\n#\t\tdevice  device_name\n"]
    for vendor in range(0x1000, 0x10E0):
        out.append("%04x  Vendor %04x Systems\n" % (vendor, vendor))
        for d in range(rng.randint(0, 6)):
            out.append("\t%04x  Controller %d [Model %04x]\n" % (rng.randint(0, 0xFFFF), d, vendor))
            if rng.random() < 0.3:
                out.append("\t\t%04x %04x  Board %d\n" % (vendor, rng.randint(0, 0xFFFF), d))
    out.append("10de  NVIDIA Corporation\n\t0322  NV34 [GeForce FX 5200]\n")
    out.append("C 03  Display controller\n\t00  VGA compatible controller\n")
    return "".join(out)


def cpuinfo(processors):
    block = ("processor\t: %d\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 85\n"
             "model name\t: Intel(R) Xeon(R) CPU @ 2.20GHz\nstepping\t: 7\ncpu MHz\t\t: 2200.%03d\n"
             "cache size\t: 39424 KB\nphysical id\t: 0\nsiblings\t: %d\ncore id\t\t: %d\n"
             "flags\t\t: fpu vme de pse tsc msr pae mce cx8 apic sep mtrr pge mca cmov pat pse36 "
             "clflush mmx fxsr sse sse2 ss ht syscall nx pdpe1gb rdtscp lm constant_tsc rep_good "
             "nopl xtopology nonstop_tsc cpuid tsc_known_freq pni pclmulqdq ssse3 fma cx16 pcid "
             "sse4_1 sse4_2 x2apic movbe popcnt aes xsave avx f16c rdrand hypervisor lahf_lm abm "
             "3dnowprefetch avx512f avx512dq rdseed adx smap clflushopt clwb avx512cd avx512bw\n"
             "bogomips\t: 4400.%02d\nclflush size\t: 64\naddress sizes\t: 46 bits physical, "
             "48 bits virtual\n\n")
    return "".join(block % (i, i, processors, i, i % 100) for i in range(processors))


def adapter_description():
    with open(os.path.join(ROOT, "corpus", "HostTextFuzz", "adapter_full")) as f:
        full = f.read()
    text = full + lines_up_to(65536 - len(full) - 4, lambda i: "; mode %d tested at %dx%d\n" %
                              (i, 640 + i, 480 + i))
    return text if len(text) % 2 else text + ";\n"


def device_tree(files):
    """An input of AdapterProbeFuzz: the files of a made-up tree of device files."""
    return "".join("@@ %s\n%s" % (path, body) for path, body in files)


def main(corpus):
    def write(target, name, data):
        folder = os.path.join(corpus, target)
        os.makedirs(folder, exist_ok=True)
        if isinstance(data, str):
            data = data.encode("utf-8")
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)

    config_text = lines_up_to(120000, lambda i: "[Sys] Line %d: %s = %d\r\n" %
                              (i, words(3), rng.randint(0, 1 << 20))).encode()
    # An LZO block of a configuration log's size, then the program form's longest.
    write("ClassicBufferFuzz", "long_text_block", b"\x00" + lzo_block(config_text))

    # An enciphered text of 60 KB with the default password (an input of even size).
    text = lines_up_to(60000, lambda i: "%s;\n" % words(8)).encode()
    if len(text) % 2 == 0:
        text += b"\n"
    write("ClassicCipherFuzz", "long_file_default",
          b"\x00" + encipher(text, b"Quiet,lamp42!", struct.pack("<I", 0x01234567)))

    # The first round of a binary script with a 40 KB string and a 20 KB wide string.
    with open(os.path.join(ROOT, "corpus", "ClassicArchiveFuzz", "binary_two_rounds"), "rb") as f:
        rounds = f.read()
    long_string = words(6000).encode()[:40000]
    long_wide = ("\ufeff" + "Résolution écran " * 1200).encode()[:20000]
    first = rounds[:31] + u32(len(long_string)) + long_string + u32(len(long_wide)) + long_wide
    write("ClassicArchiveFuzz", "binary_long_strings", first + rounds[31 + 4 + 12 + 4 + 14:])

    # A GPU table of a released game's size: hundreds of rows, the adapter's own near the end.
    header = ("1\r\nVendor Device Geom Aniso1 Aniso2 Aniso4 Aniso8 Aniso16 PArith11 PTexD11 "
              "PArith20\r\n")
    rows = lines_up_to(65000 - len(header), lambda i: "%04X %04X %s\r\n" % (
        rng.choice((0x1002, 0x10DE, 0x8086, 0x5333)), rng.randint(0, 0xFFFF),
        " ".join("%.1f" % rng.uniform(10, 2000) for _ in range(9))))
    write("GpuPerfTableFuzz", "long_table", struct.pack("<HH", 0x10DE, 0x0322) +
          (header + rows + "10DE 0322 133.2 1794 40.25 854.3 830.4 237.8 1210 1523 755.6\r\n")
          .encode())

    write("HostTextFuzz", "cpuinfo_64", cpuinfo(64)[:65536])
    write("HostTextFuzz", "pci_ids_large", pci_ids())
    write("HostTextFuzz", "adapter_near_limit", adapter_description())

    # A card with a large names database and a connector with more sizes than the probe keeps;
    # a description file at the size of its limit.
    modes = "".join("%dx%d\n" % (640 + 8 * i, 480 + 2 * (i % 50)) for i in range(600))
    write("AdapterProbeFuzz", "large_database_many_modes", device_tree([
        ("class/drm/card0/device/vendor", "0x10de\n"),
        ("class/drm/card0/device/device", "0x0322\n"),
        ("class/drm/card0/device/driver -> nouveau", ""),
        ("class/drm/card0-VGA-1/status", "connected\n"),
        ("class/drm/card0-VGA-1/modes", modes),
        ("pci.ids", pci_ids())]))
    write("AdapterProbeFuzz", "description_near_limit",
          device_tree([("GfxAdapter.txt", adapter_description())]))

    # A settings file just under its limit: a long history in comments, then the keys.
    history = lines_up_to(65536 - 120, lambda i: "# %04d: update server moved to mirror-%d."
                          "example.org for the spring release\n" % (i, i % 7))
    settings = history + "update_host = mirror-3.example.org\nupdate_relaxed_certificates = 1\n"
    write("LauncherSettingsFuzz", "long_history", settings if len(settings) % 2 else "#" + settings)

    with open(os.path.join(ROOT, "..", "apps", "launcher", "demo", "TechnicalFaq_en.html")) as f:
        page = f.read()
    body = lines_up_to(60000, lambda i: "<h2>Question %d</h2>\n<p>%s <b>%s</b>\t%s</p>\n" %
                       (i, words(12), words(2), words(10)))
    write("HtmlToTextFuzz", "long_page", page.replace("<body>", "<body>\n" + body, 1))

    # A script of 4 KB: an answer with a body in pieces of 255 bytes, then requests and passes.
    script = bytearray(b"\x00")  # port 80
    script += bytes((0x00, 0x03, 1)) + u32(14 * 255)  # headers: 200, Content-Length
    for i in range(14):
        script += bytes((0x02, 255)) + bytes((i + j) % 256 for j in range(255))
    script += b"\x04"  # end
    script += bytes((0x07, 0x00, 0x00, 0x00))  # a GET with no body
    while len(script) < 4096:
        script += bytes((0x08,))  # a pass
    write("HttpClientFuzz", "long_script", bytes(script[:4096]))

    block = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 1234\r\n"
    block += lines_up_to(16000, lambda i: "Set-Cookie: c%d=%s; Path=/; HttpOnly\r\n" %
                         (i, "%032x" % rng.getrandbits(128)))
    write("HttpHeadersFuzz", "large_block", block +
          "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\n")

    # A registry version, a language, then a game start's parameters as long as a command line.
    arguments = lines_up_to(32000, lambda i: " /%s=\"%s\"" % (rng.choice(WORDS), words(2)))
    write("LauncherTextFuzz", "long_command_line", "1.0.3.7\nfr\n" + arguments)

    write("MwMemberPathFuzz", "long_value", b"\x06Label=" + words(12000).encode()[:65000])
    write("MwParamVectorFuzz", "long_numbers",
          ("1." + "0" * 30000 + "5 " + "0" * 20000 + "2e1 " + "3" * 10000).encode())

    # A reference buffer listing four thousand nods of the table, some twice, some none.
    entries = b"".join(u32(rng.choice((0, 1, 2, 3, 0xFFFFFFFF))) for _ in range(4000))
    write("MwRefBufferFuzz", "binary-many",
          b"\x00" + u32(0x01026000) + u32(0x01001000) + u32(1) + u32(10) + u32(4000) + entries +
          u32(0xFACADE01))

    host = ".".join("label%02d" % i for i in range(31))[:253]
    write("NetAddressFuzz", "longest_host", host)
    write("NetAddressFuzz", "zeros_and_blanks", " " * 100 + "0" * 120 + "192.168.1." + "0" * 20 + "1:80")

    # A path of 2047 units: the flags byte, then a deep engine path.
    path = "Z:\\GameData\\" + "\\".join(("Tracks", "..", "Media", ".", "Skins")[i % 5] + str(i)
                                        for i in range(400))
    path = (path + "\\x.Solid.Zun")[:2047]
    write("PathHelpersFuzz", "long_path", b"\x15" + path.encode("utf-16-le"))

    write("TextBase63Fuzz", "long_token", bytes((255,)) + bytes(
        rng.choice(b"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_")
        for _ in range(1023)))
    write("TextNumberFuzz", "long_number", "  -" + "0" * 32000 + "1" + "2" * 32000 + ".5d3")
    write("TextTokenFuzz", "long_answer", b"\x04" + ("0;123456;" + words(700)).encode()[:4095])
    with open(os.path.join(ROOT, "..", "apps", "launcher", "demo", "fr.po"), "rb") as f:
        po = f.read()
    write("TextUtf8Fuzz", "long_text", (po * 4)[:65536])

    with open(os.path.join(ROOT, "..", "launcher", "resources", "LauncherPicture.bmp"), "rb") as f:
        write("UiPictureFuzz", "launcher_picture", f.read())

    write("UpdateAnswerFuzz", "long_notes", ("0;123456;" + words(12000))[:65536])

    elements = lines_up_to(63000, lambda i: '  <Model name="Part%d" file="Media\\Solid\\Part%d.'
                           'Solid.Zun" lod="%d">%s</Model>\n' % (i, i, i % 4, words(4)))
    write("XmlDocumentFuzz", "long_header",
          '<?xml version="1.0" encoding="UTF-8"?>\n<Header type="models">\n' + elements +
          "</Header>\n")

    # A data folder's tree of folders: tracks, media and skins, a few levels deep.
    def tree(depth, breadth):
        """The records of a folder with `breadth` sub-folders, `depth` levels deep."""
        out = u32(breadth)
        for i in range(breadth):
            name = ("%s%d" % (rng.choice(("Tracks", "Media", "Skins", "Solid", "Textures",
                                          "Sounds", "Replays")), i)).encode()
            out += u32(len(name)) + name
            out += tree(depth - 1, rng.randint(2, 6)) if depth > 0 else u32(0)
        return out
    write("SystemFidsTreeFuzz", "binary_large_tree", b"\x00" + tree(3, 10))
    records = b"".join(u32(i) + u32(len(n)) + n for i, n in
                       ((i, ("Media\\Solid\\Part%d.Solid.Zun" % i).encode()) for i in range(900)))
    write("SystemFidsTreeFuzz", "cache_large", b"\x04" + u32(900) + records + u32(900) + records)

    # A header-chunk blob with a thumbnail of 16 KB.
    thumbnail = bytes(rng.getrandbits(8) for _ in range(16384))
    chunks = [(0x0B0F0000, b"\xee\xff\xc0\x00"), (0x0B0F0002, u32(len(thumbnail)) + thumbnail)]
    content = u32(len(chunks)) + b"".join(u32(i) + u32(len(d)) for i, d in chunks) + \
        b"".join(d for _, d in chunks)
    write("SystemFidBlobFuzz", "thumbnail_binary", b"\x00" + u32(len(content)) + content)

    # The texture compressor: option records with small pictures (the layout is in
    # PlugCompressorFuzz.cpp), one per road of the entry, and a 64 x 64 picture whose pixels
    # after the first 1000 bytes are the zeros past the input's end (the target's inputs stay
    # below 1100 bytes: a block of random colours costs the encoder a millisecond).
    pictures = random.Random(52)

    def compressor(name, fmt, width, height, channels=4, flags=0, mip_mode=33, mip_count=0,
                   kind=80, rule=0, one_bit=0, alpha_border=0, colour_border=0, swap=0, equal=0,
                   force=0, dither=0, slack=0, pixel_bytes=None):
        options = struct.pack("<iBhhhBBBBB3sBB3siiiBBBBhhB", rule, 0, mip_mode, mip_count, 136,
                              one_bit, 0, 0, alpha_border, colour_border, b"\x10\x20\x30", 0, 0,
                              b"\x00\x00\x00", 255, 0, 0, dither, 0, equal, force, kind, fmt,
                              swap)
        assert len(options) == 45
        pitch = width * channels + slack
        count = pitch * height if pixel_bytes is None else pixel_bytes
        pixels = bytes(pictures.getrandbits(8) for _ in range(count))
        write("PlugCompressorFuzz", name,
              options + bytes((width, height, channels, slack & 0xFF, flags)) + pixels)

    compressor("dxt1_4x4_rgb", 10, 4, 4, channels=3)
    compressor("dxt1_forced_8x8", 10, 8, 8, force=1)
    compressor("dxt1a_8x8_one_bit", 11, 8, 8, one_bit=1)
    compressor("dxt3_2x2", 12, 2, 2)
    compressor("dxt5_64x64_equal", 13, 64, 64, equal=1, pixel_bytes=1000)
    compressor("dxt1_cube_24x4", 10, 24, 4, kind=81)
    compressor("r5g6b5_6x8", 16, 6, 8)
    compressor("a4r4g4b4_borders_swap_5x5", 14, 5, 5, alpha_border=1, colour_border=1, swap=1,
               slack=3)
    compressor("b8g8r8_no_callback", 18, 7, 3, channels=3, flags=2)
    compressor("a1r5g5b5_called_again", 15, 4, 4, flags=4)
    compressor("x1r5g5b5_over_the_limit", 19, 16, 16, flags=1 << 3)
    compressor("copy_21_mip_31", 21, 3, 5, mip_mode=31)
    compressor("copy_22_cube_no_callback", 22, 12, 2, kind=81, flags=2)
    compressor("chain_refused", 17, 8, 8, mip_mode=0)
    compressor("palette_8x8", 20, 8, 8)
    compressor("rescale_refused", 16, 6, 8, rule=1)
    compressor("dither_on_load_dxt1_8x8", 10, 8, 8, dither=1)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: make_long_seeds.py <corpus folder>")
    main(sys.argv[1])
