#!/usr/bin/env python3
"""Converts an uncompressed 24- or 32-bit BMP into a PNG, optionally scaled up by a whole
factor. Used to turn the dialog snapshot that the configuration tests write into the
picture in docs/, on machines without an image toolkit.

    python3 bmp_to_png.py IN.bmp OUT.png [SCALE]
"""
import struct
import sys
import zlib


def read_bmp(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM":
        raise ValueError("not a BMP file")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if bits not in (24, 32) or compression not in (0, 3):
        raise ValueError("only uncompressed 24/32-bit BMP files are handled")
    bottom_up = height > 0
    height = abs(height)
    step = bits // 8
    row_bytes = (width * step + 3) & ~3
    rows = []
    for y in range(height):
        src = offset + (height - 1 - y if bottom_up else y) * row_bytes
        row = bytearray()
        for x in range(width):
            b, g, r = data[src + x * step: src + x * step + 3]
            row += bytes((r, g, b))
        rows.append(row)
    return width, height, rows


def write_png(path, width, height, rows, scale):
    raw = bytearray()
    for row in rows:
        wide = bytearray()
        for x in range(width):
            wide += row[x * 3: x * 3 + 3] * scale
        for _ in range(scale):
            raw += b"\0" + wide

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    ihdr = struct.pack(">IIBBBBB", width * scale, height * scale, 8, 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
                chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    scale = int(sys.argv[3]) if len(sys.argv) == 4 else 1
    width, height, rows = read_bmp(sys.argv[1])
    write_png(sys.argv[2], width, height, rows, scale)


if __name__ == "__main__":
    main()
