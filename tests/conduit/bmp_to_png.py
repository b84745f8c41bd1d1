#!/usr/bin/env python3
"""Turns the 32-bit bottom-up BMP that the progress-window test draws into a PNG."""
import struct
import sys
import zlib

def main(source, target):
    data = open(source, 'rb').read()
    offset = struct.unpack_from('<I', data, 10)[0]
    width, height = struct.unpack_from('<ii', data, 18)
    bits = struct.unpack_from('<H', data, 28)[0]
    if bits != 32:
        sys.exit('only 32-bit pictures are handled')
    rows = []
    for y in range(abs(height)):
        row_index = abs(height) - 1 - y if height > 0 else y
        start = offset + row_index * width * 4
        row = bytearray(b'\0')  # no filter
        for x in range(width):
            b, g, r, _ = data[start + 4 * x:start + 4 * x + 4]
            row += bytes((r, g, b))
        rows.append(bytes(row))

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body) & 0xffffffff)

    png = b'\x89PNG\r\n\x1a\n'
    png += chunk(b'IHDR', struct.pack('>IIBBBBB', width, abs(height), 8, 2, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(b''.join(rows), 9))
    png += chunk(b'IEND', b'')
    open(target, 'wb').write(png)

if __name__ == '__main__':
    main(sys.argv[1], sys.argv[2])
