#!/usr/bin/env python3
"""Makes the gzip fixtures of the dmscore tests with Python's gzip and zlib modules.

Run from this folder; the outputs are committed. Each *.gz inflates to the matching
*.txt (when the fixture is meant to inflate at all).
"""
import gzip
import struct
import zlib


def body(n):
    # Deterministic XML-ish text of exactly n bytes.
    unit = b'<Station id="%05d"><Name>Station %05d</Name></Station>\n'
    out = bytearray()
    i = 0
    while len(out) < n:
        out += unit % (i, i)
        i += 1
    return bytes(out[:n])


def raw_deflate(data):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


def member(data, flags=0, extra=b"", name=b"", comment=b""):
    header = bytearray(b"\x1f\x8b\x08" + bytes([flags]) + b"\x00\x00\x00\x00\x00\x03")
    if flags & 4:
        header += struct.pack("<H", len(extra)) + extra
    if flags & 8:
        header += name + b"\x00"
    if flags & 16:
        header += comment + b"\x00"
    if flags & 2:
        header += struct.pack("<H", zlib.crc32(bytes(header)) & 0xFFFF)
    trailer = struct.pack("<II", zlib.crc32(data) & 0xFFFFFFFF, len(data) & 0xFFFFFFFF)
    return bytes(header) + raw_deflate(data) + trailer


def write(name, data):
    with open(name, "wb") as f:
        f.write(data)


small = b'<?xml version="1.0"?><Status code="OK"/>\n'
large = body(30000)
exact = body(10240)

write("small.txt", small)
write("large.txt", large)
write("exact10240.txt", exact)

# Python's own writer: FNAME, and none.
write("small_plain.gz", gzip.compress(small, mtime=0))
with open("small_fname.gz", "wb") as raw:
    with gzip.GzipFile(filename="response.xml", mode="wb", fileobj=raw, mtime=0) as f:
        f.write(small)
write("large.gz", gzip.compress(large, compresslevel=9, mtime=0))
write("exact10240.gz", gzip.compress(exact, mtime=0))

# Every optional header field at once.
write("small_allflags.gz", member(small, flags=2 | 4 | 8 | 16, extra=b"AB\x04\x00data",
                                  name=b"response.xml", comment=b"made for the tests"))
write("small_fextra.gz", member(small, flags=4, extra=b"XY\x02\x00hi"))
write("small_fcomment.gz", member(small, flags=16, comment=b"a comment"))
write("small_fhcrc.gz", member(small, flags=2))

# Damaged variants of large.gz.
good = open("large.gz", "rb").read()
write("large_truncated_data.gz", good[: len(good) // 2])
write("large_truncated_trailer.gz", good[:-4])
bad = bytearray(good)
bad[len(bad) // 2] ^= 0x55
write("large_corrupt.gz", bytes(bad))
bad_crc = bytearray(good)
bad_crc[-8] ^= 0x01
write("large_badcrc.gz", bytes(bad_crc))
