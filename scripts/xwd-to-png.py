#!/usr/bin/env python3
"""Turns an X window dump of a 24-bit screen (xwd -root) into a PNG, optionally cropped.

usage: xwd-to-png.py IN.xwd OUT.png [X Y WIDTH HEIGHT]
"""
import struct
import sys
import zlib


def main():
    source, target = sys.argv[1], sys.argv[2]
    with open(source, 'rb') as f:
        data = f.read()
    fields = struct.unpack_from('>25I', data, 0)
    header_size, _, pixmap_format, _, width, height = fields[:6]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    ncolors = fields[19]
    if pixmap_format != 2 or bits_per_pixel != 32:
        raise SystemExit(f'{source}: only 32-bit ZPixmap dumps are read')
    offset = header_size + 12 * ncolors
    x0, y0, w, h = 0, 0, width, height
    if len(sys.argv) == 7:
        x0, y0, w, h = (int(v) for v in sys.argv[3:7])
        x0, y0 = max(0, x0), max(0, y0)
        w, h = min(w, width - x0), min(h, height - y0)
    raw = bytearray()
    for y in range(y0, y0 + h):
        row = data[offset + y * bytes_per_line + 4 * x0: offset + y * bytes_per_line + 4 * (x0 + w)]
        raw.append(0)
        for i in range(0, len(row), 4):
            b0, b1, b2, b3 = row[i:i + 4]
            raw += bytes((b2, b1, b0)) if byte_order == 0 else bytes((b1, b2, b3))

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))

    png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b'')
    with open(target, 'wb') as f:
        f.write(png)
    print(target)


if __name__ == '__main__':
    main()
