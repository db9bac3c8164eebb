#!/usr/bin/env python3
"""Turns uncompressed 24-bit BMP files into PNG files beside them, or cuts an area out of an X
server's screen dump (xwd, 24 or 32 bits per pixel) into a PNG file (standard library only).

usage: bmp-to-png.py FILE.bmp...
       bmp-to-png.py --xwd SCREEN.xwd X Y WIDTH HEIGHT OUT.png
"""
import struct
import sys
import zlib


def write_png(target, width, height, rows):
    """rows: `height` byte strings of `width` RGB pixels each."""
    raw = b''.join(b'\x00' + bytes(row) for row in rows)

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))

    png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')
    with open(target, 'wb') as f:
        f.write(png)
    return target


def convert(path):
    with open(path, 'rb') as f:
        data = f.read()
    offset, = struct.unpack_from('<I', data, 10)
    width, height, _, bits = struct.unpack_from('<iiHH', data, 18)
    if bits != 24:
        raise ValueError(f'{path}: {bits} bits per pixel')
    stride = (width * 3 + 3) & ~3
    lines = range(abs(height)) if height < 0 else range(height - 1, -1, -1)
    rows = []
    for y in lines:
        line = data[offset + y * stride: offset + y * stride + width * 3]
        row = bytearray()
        for x in range(0, len(line), 3):
            row += bytes((line[x + 2], line[x + 1], line[x]))
        rows.append(row)
    return write_png(path[:-4] + '.png', width, abs(height), rows)


def cut_from_xwd(path, left, top, width, height, target):
    with open(path, 'rb') as f:
        data = f.read()
    header = struct.unpack_from('>25I', data, 0)
    header_size, pixmap_format, screen_width, screen_height = header[0], header[2], header[4], header[5]
    byte_order, bits_per_pixel, bytes_per_line, colours = header[7], header[11], header[12], header[19]
    if pixmap_format != 2 or bits_per_pixel not in (24, 32) or byte_order != 0:
        raise ValueError(f'{path}: not a 24 or 32-bit LSB-first Z pixmap')
    left, top = max(0, left), max(0, top)
    width, height = min(width, screen_width - left), min(height, screen_height - top)
    pixels = header_size + colours * 12
    step = bits_per_pixel // 8
    rows = []
    for y in range(top, top + height):
        start = pixels + y * bytes_per_line
        row = bytearray()
        for x in range(left, left + width):
            blue, green, red = data[start + x * step: start + x * step + 3]
            row += bytes((red, green, blue))
        rows.append(row)
    return write_png(target, width, height, rows)


if __name__ == '__main__':
    if sys.argv[1:2] == ['--xwd']:
        path, left, top, width, height, target = sys.argv[2:8]
        print(cut_from_xwd(path, int(left), int(top), int(width), int(height), target))
    else:
        for name in sys.argv[1:]:
            print(convert(name))
