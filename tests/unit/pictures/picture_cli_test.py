#!/usr/bin/env python3
"""mora picture against an independent encoder and decoder.

Writes Vint files with its own small encoder (seeded row shuffle, stored and
deflated blocks, two frames), runs `mora picture`, and decodes the PNG with
Python's zlib and a filter decoder written here, comparing every pixel.
Usage: picture_cli_test.py PATH_TO_MORA
"""
import os
import struct
import subprocess
import sys
import tempfile
import zlib


class QsRandom:
    """State := 5 * State + Seed (mod 2^32); Pick removes pool[State mod left]."""

    def __init__(self, seed):
        self.seed = seed & 0xFFFFFFFF
        self.state = 0
        self.pool = []

    def init_pool(self, count):
        self.pool = list(range(count))

    def pick(self):
        self.state = (5 * self.state + self.seed) & 0xFFFFFFFF
        return self.pool.pop(self.state % len(self.pool))


def encode_vint(width, height, frames, seed, shuffled, deflate):
    """frames: lists of rows of (r, g, b); one opaque 24-bit layer each."""
    record = bytearray(40)
    struct.pack_into("<i", record, 0, 105)
    struct.pack_into("<i", record, 16, len(frames))
    record[21] = 1 if shuffled else 0
    record[22] = 0 if deflate else 1
    out = b"Vint105" + struct.pack("<i", 40) + bytes(record)
    stride = (width * 3 + 3) // 4 * 4
    for rows in frames:
        out += struct.pack("<iiiBiiiii", 0, -1, 0, 0, 0, 1, width, height, 24)
        out += bytes(8) + struct.pack("<BiiBi", 1, -1, 255, 0, 0)
        order = list(range(height))
        if shuffled:
            random = QsRandom(seed)
            random.init_pool(height)
            order = [random.pick() for _ in range(height)]
        block = b""
        for y in order:  # block row i holds bitmap row order[i]
            row = b"".join(bytes((b, g, r)) for (r, g, b) in rows[y])
            block += row + bytes(stride - len(row))
        if deflate:
            block = zlib.compress(block)
        out += struct.pack("<i", len(block)) + block
        out += struct.pack("<i", 0)  # no mask
        out += struct.pack("<ii", 0, 0)  # the two record lists
    return out


def decode_png(data):
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    pos = 8
    idat = b""
    width = height = None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert (depth, colour, interlace) == (8, 2, 0), (depth, colour, interlace)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    bpp = 3
    stride = width * bpp
    rows = []
    prev = bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 0xFF
        rows.append([tuple(line[x * 3:x * 3 + 3]) for x in range(width)])
        prev = line
    return rows


def pattern(width, height, salt):
    return [[((x * 37 + salt) & 0xFF, (y * 53 + salt) & 0xFF, (x * y + salt) & 0xFF)
             for x in range(width)] for y in range(height)]


def main():
    mora = sys.argv[1]
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        env = dict(os.environ, MORA_HOME=os.path.join(tmp, "home"))
        os.makedirs(env["MORA_HOME"])

        def run(*args):
            return subprocess.run([mora, "picture", *args], env=env, capture_output=True)

        width, height = 11, 9
        frames = [pattern(width, height, 5), pattern(width, height, 90)]
        for shuffled, deflate, seed, frame in [(True, False, 12345, 0), (False, True, 7, 1),
                                               (True, True, 4000000000, 1)]:
            name = "s%d-d%d-f%d" % (shuffled, deflate, frame)
            vnt = os.path.join(tmp, name + ".vnt")
            png = os.path.join(tmp, name + ".png")
            with open(vnt, "wb") as f:
                f.write(encode_vint(width, height, frames, seed, shuffled, deflate))
            result = run(vnt, "--seed", str(seed), "--frame", str(frame), "-o", png)
            if result.returncode != 0:
                failures.append("%s: exit %d: %s" % (name, result.returncode, result.stderr))
                continue
            with open(png, "rb") as f:
                got = decode_png(f.read())
            if got != frames[frame]:
                failures.append("%s: pixels differ" % name)

        # Another seed unshuffles into other rows but still converts.
        vnt = os.path.join(tmp, "s1-d0-f0.vnt")
        png = os.path.join(tmp, "other.png")
        result = run(vnt, "--seed", "1", "-o", png)
        if result.returncode != 0:
            failures.append("other seed: exit %d" % result.returncode)
        else:
            with open(png, "rb") as f:
                got = decode_png(f.read())
            if got == frames[0] or sorted(got) != sorted(frames[0]):
                failures.append("other seed: rows are not a permutation of the picture's")

        result = run(os.path.join(tmp, "missing.vnt"), "--seed", "0", "-o", png)
        if result.returncode != 4:
            failures.append("missing file: exit %d, expected 4" % result.returncode)
        truncated = os.path.join(tmp, "truncated.vnt")
        with open(vnt, "rb") as f, open(truncated, "wb") as g:
            g.write(f.read()[:120])
        result = run(truncated, "--seed", "12345", "-o", png)
        if result.returncode != 3 or b"truncated.vnt: offset" not in result.stderr:
            failures.append("truncated file: exit %d: %s" % (result.returncode, result.stderr))
        result = run(vnt, "--seed", "12345", "--frame", "5", "-o", png)
        if result.returncode != 2:
            failures.append("frame beyond the picture: exit %d" % result.returncode)

    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
