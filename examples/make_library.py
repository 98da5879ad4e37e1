#!/usr/bin/env python3
"""Makes the sample photo library in examples/library: small images (PNG, BMP) and short
uncompressed AVI videos, drawn here from simple patterns, in three albums and the root.
The output is the same on every run, so the files can be committed and their digests kept."""
import os
import struct
import zlib

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "library")


def pixels(width, height, phase):
    """Rows of RGB bytes: a moving diagonal gradient."""
    rows = []
    for y in range(height):
        row = bytearray()
        for x in range(width):
            row += bytes(((x * 4 + phase) % 256, (y * 5 + phase * 2) % 256, ((x + y) * 3) % 256))
        rows.append(bytes(row))
    return rows


def png(width, height, phase):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\x00" + row for row in pixels(width, height, phase))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bmp_rows(width, height, phase):
    """Bottom-up BGR rows padded to four bytes, as BMP and AVI frames store them."""
    pad = (4 - width * 3 % 4) % 4
    out = bytearray()
    for row in reversed(pixels(width, height, phase)):
        for x in range(width):
            r, g, b = row[3 * x:3 * x + 3]
            out += bytes((b, g, r))
        out += b"\x00" * pad
    return bytes(out)


def bitmap_info(width, height):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(bmp_rows(width, 1, 0)) * height, 2835, 2835, 0, 0)


def bmp(width, height, phase):
    data = bmp_rows(width, height, phase)
    return b"BM" + struct.pack("<IHHI", 14 + 40 + len(data), 0, 0, 54) + bitmap_info(width, height) + data


def avi(width, height, frames, fps=12):
    def chunk(kind, data):
        return kind + struct.pack("<I", len(data)) + data + (b"\x00" if len(data) % 2 else b"")

    def listing(kind, data):
        return b"LIST" + struct.pack("<I", len(data) + 4) + kind + data
    frame_data = [bmp_rows(width, height, 7 * i) for i in range(frames)]
    size = len(frame_data[0])
    avih = struct.pack("<IIIIIIIIII4I", 1000000 // fps, size * fps, 0, 0x10, frames, 0, 1, size, width, height, 0, 0, 0, 0)
    strh = struct.pack("<4s4sIHHIIIIIIIIhhhh", b"vids", b"DIB ", 0, 0, 0, 0, 1, fps, 0, frames, size, 0xFFFFFFFF, 0,
                       0, 0, width, height)
    hdrl = listing(b"hdrl", chunk(b"avih", avih) + listing(b"strl", chunk(b"strh", strh) + chunk(b"strf", bitmap_info(width, height))))
    movi = listing(b"movi", b"".join(chunk(b"00db", f) for f in frame_data))
    index, offset = b"", 4
    for f in frame_data:
        index += b"00db" + struct.pack("<III", 0x10, offset, len(f))
        offset += 8 + len(f)
    body = b"AVI " + hdrl + movi + chunk(b"idx1", index)
    return b"RIFF" + struct.pack("<I", len(body)) + body


FILES = {
    "Holidays/beach.png": lambda: png(96, 64, 10),
    "Holidays/sunset.png": lambda: png(80, 60, 140),
    "Holidays/sea waves.avi": lambda: avi(64, 48, 24),
    "Family/portrait.bmp": lambda: bmp(40, 50, 60),
    "Family/birthday.avi": lambda: avi(32, 24, 12),
    "Screenshots/café menu.png": lambda: png(120, 40, 200),
    "welcome.png": lambda: png(48, 48, 30),
}


def main():
    for name, make in FILES.items():
        path = os.path.join(ROOT, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(make())
        print(f"{os.path.getsize(path):8d}  {name}")


if __name__ == "__main__":
    main()
