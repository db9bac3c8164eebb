#!/usr/bin/env python3
"""Turns uncompressed 24-bit BMP files into PNG files beside them (standard library only).

usage: bmp-to-png.py FILE.bmp...
"""
import struct
import sys
import zlib


def convert(path):
    with open(path, 'rb') as f:
        data = f.read()
    offset, = struct.unpack_from('<I', data, 10)
    width, height, _, bits = struct.unpack_from('<iiHH', data, 18)
    if bits != 24:
        raise ValueError(f'{path}: {bits} bits per pixel')
    stride = (width * 3 + 3) & ~3
    rows = range(abs(height)) if height < 0 else range(height - 1, -1, -1)
    raw = bytearray()
    for y in rows:
        line = data[offset + y * stride: offset + y * stride + width * 3]
        raw.append(0)
        for x in range(0, len(line), 3):
            raw += bytes((line[x + 2], line[x + 1], line[x]))

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))

    png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, abs(height), 8, 2, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b'')
    target = path[:-4] + '.png'
    with open(target, 'wb') as f:
        f.write(png)
    return target


if __name__ == '__main__':
    for name in sys.argv[1:]:
        print(convert(name))
