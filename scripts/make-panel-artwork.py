#!/usr/bin/env python3
"""Makes the control panel's artwork: the icon group, the about box picture and the arrival
sound. Standard library only; the output is the same on every run.

usage: make-panel-artwork.py OUTDIR   (writes QvK9CPL.ico, about.bmp, arrival.wav)
"""
import math
import os
import struct
import sys

ICON_SIZES = (16, 32, 48, 64, 128, 256)
ABOUT_SIZE = (414, 104)
SOUND_RATE = 44100
SOUND_DATA_BYTES = 100736  # 25184 stereo 16-bit frames, about 0.57 s


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def sd_round_box(px, py, cx, cy, hw, hh, r):
    """Signed distance from (px, py) to a rounded box centred at (cx, cy)."""
    qx = abs(px - cx) - hw + r
    qy = abs(py - cy) - hh + r
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - r


def over(dst, src, alpha):
    """src over dst; dst is (r, g, b, a) premultiplied-free, colours 0..1."""
    if alpha <= 0.0:
        return dst
    dr, dg, db, da = dst
    out_a = alpha + da * (1.0 - alpha)
    if out_a <= 0.0:
        return (0.0, 0.0, 0.0, 0.0)
    k = da * (1.0 - alpha)
    return ((src[0] * alpha + dr * k) / out_a, (src[1] * alpha + dg * k) / out_a,
            (src[2] * alpha + db * k) / out_a, out_a)


def icon_pixels(size):
    """RGBA rows, top row first: a blue badge with white level-meter bars."""
    s = float(size)
    margin = max(0.5, s * 0.05)
    half = s / 2.0 - margin
    radius = s * 0.22
    top = (0.25, 0.62, 0.98)
    bottom = (0.07, 0.20, 0.55)
    if size <= 16:
        # three bars on whole pixels stay crisp at the notification area's size
        bars = ((0.25, 0.38), (0.50, 0.66), (0.75, 0.44))
        bar_w = 2.0
    else:
        bars = ((0.25, 0.30), (0.375, 0.54), (0.50, 0.70), (0.625, 0.46), (0.75, 0.26))
        bar_w = s * 0.085
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            px, py = x + 0.5, y + 0.5
            d = sd_round_box(px, py, s / 2, s / 2, half, half, radius)
            cover = clamp(0.5 - d)
            pixel = (0.0, 0.0, 0.0, 0.0)
            if cover > 0.0:
                t = clamp((py - margin) / (s - 2 * margin))
                colour = mix(top, bottom, t)
                # a darker rim gives the badge an edge on light and dark taskbars alike
                rim = clamp(1.0 - (-d) / max(1.0, s * 0.04))
                colour = mix(colour, (0.03, 0.10, 0.32), 0.55 * rim)
                pixel = over(pixel, colour, cover)
                # soft gloss on the upper half
                gloss = clamp((s * 0.5 - py) / (s * 0.5)) * 0.18
                pixel = over(pixel, (1.0, 1.0, 1.0), gloss * cover)
                for cx, h in bars:
                    bx = cx * s
                    hh = h * s / 2.0
                    bd = sd_round_box(px, py, bx, s * (0.5 if size <= 16 else 0.52), bar_w / 2, hh,
                                      bar_w / 2)
                    bc = clamp(0.5 - bd)
                    if bc > 0.0:
                        shade = mix((1.0, 1.0, 1.0), (0.80, 0.92, 1.0), clamp(py / s))
                        pixel = over(pixel, shade, bc * cover)
            row.append(pixel)
        rows.append(row)
    return rows


def to_byte(v):
    return int(round(clamp(v) * 255.0))


def ico_image(size):
    rows = icon_pixels(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            xor += bytes((to_byte(b), to_byte(g), to_byte(r), to_byte(a)))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 0.5:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + bytes(xor) + bytes(mask)


def write_icon(path):
    images = [ico_image(s) for s in ICON_SIZES]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in zip(ICON_SIZES, images):
        dim = 0 if size >= 256 else size
        out += struct.pack('<BBBBHHII', dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(path, 'wb') as f:
        f.write(out)


def about_pixels():
    width, height = ABOUT_SIZE
    light = (0.97, 0.98, 1.0)
    pale = (0.84, 0.89, 0.96)
    accent_a = (0.25, 0.62, 0.98)
    accent_b = (0.07, 0.20, 0.55)
    logo = icon_pixels(56)
    logo_x, logo_y = 7, 22
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            t = clamp(y / (height - 1.0))
            colour = mix(light, pale, t * t)
            # a band of colour along the top edge
            if y < 5:
                colour = mix(accent_a, accent_b, x / (width - 1.0))
            # a quiet waveform under the text
            wave_y = 86.0 + 6.0 * math.sin(x / 17.0) * math.exp(-((x - 210.0) / 150.0) ** 2)
            dist = abs(y + 0.5 - wave_y)
            if 60 <= x and dist < 1.6:
                colour = mix(colour, (0.55, 0.70, 0.92), clamp(1.6 - dist) * 0.8)
            pixel = (colour[0], colour[1], colour[2], 1.0)
            lx, ly = x - logo_x, y - logo_y
            if 0 <= lx < 56 and 0 <= ly < 56:
                r, g, b, a = logo[ly][lx]
                pixel = over(pixel, (r, g, b), a)
            row.append(pixel)
        rows.append(row)
    return rows


def write_about(path):
    width, height = ABOUT_SIZE
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(about_pixels()):
        line = bytearray()
        for r, g, b, _ in row:
            line += bytes((to_byte(b), to_byte(g), to_byte(r)))
        line += bytes(stride - len(line))
        pixels += line
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, 'wb') as f:
        f.write(header + info + pixels)


def write_sound(path):
    """A short rising two-note chime, the first note a little left, the second a little right."""
    frames = SOUND_DATA_BYTES // 4
    notes = ((0.000, 1046.50, 0.62), (0.110, 1318.51, 0.38))
    data = bytearray()
    for n in range(frames):
        t = n / SOUND_RATE
        left = right = 0.0
        for start, freq, pan in notes:
            u = t - start
            if u < 0.0:
                continue
            envelope = min(1.0, u / 0.004) * math.exp(-u / 0.16)
            tone = math.sin(2 * math.pi * freq * u) + 0.25 * math.sin(4 * math.pi * freq * u)
            left += 0.30 * envelope * tone * (1.0 - pan) * 2.0 * 0.5
            right += 0.30 * envelope * tone * pan * 2.0 * 0.5
        fade = clamp((frames - n) / (0.03 * SOUND_RATE))
        data += struct.pack('<hh', int(round(clamp(left * fade, -1, 1) * 32767)),
                            int(round(clamp(right * fade, -1, 1) * 32767)))
    assert len(data) == SOUND_DATA_BYTES
    fmt = struct.pack('<HHIIHH', 1, 2, SOUND_RATE, SOUND_RATE * 4, 4, 16)
    body = b'WAVE' + b'fmt ' + struct.pack('<I', len(fmt)) + fmt + b'data' + \
        struct.pack('<I', len(data)) + bytes(data)
    with open(path, 'wb') as f:
        f.write(b'RIFF' + struct.pack('<I', len(body)) + body)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_icon(os.path.join(out, 'QvK9CPL.ico'))
    write_about(os.path.join(out, 'about.bmp'))
    write_sound(os.path.join(out, 'arrival.wav'))
    return 0


if __name__ == '__main__':
    sys.exit(main())
