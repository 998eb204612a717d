#!/usr/bin/env python3
"""Draws the program's pictures: the splash picture (splash.bmp, 160 x 156)
and the program icon (Folionex.ico, 16 x 16 and 32 x 32). Run it again after
a change; the results are committed beside it."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def folder_pixel(x, y, w, h):
    """A case folder on a dark ground: (r, g, b)."""
    u, v = x / w, y / h
    ground = (64, 64, 64)
    # tab of the folder
    if 0.14 <= u <= 0.45 and 0.20 <= v <= 0.30:
        return (222, 160, 40)
    # body of the folder, lighter towards the top
    if 0.14 <= u <= 0.86 and 0.28 <= v <= 0.80:
        shade = int(40 * (v - 0.28) / 0.52)
        # a sheet of paper sticking out of the folder
        if 0.22 <= u <= 0.78 and 0.28 <= v <= 0.40:
            return (245, 245, 240)
        return (240 - shade, 185 - shade, 60 - shade // 2)
    # lines of the paper inside
    return ground


def write_bmp(path, w, h, pixel):
    row = (w * 3 + 3) & ~3
    data = bytearray()
    for y in range(h - 1, -1, -1):
        line = bytearray()
        for x in range(w):
            r, g, b = pixel(x, y, w, h)
            line += bytes((b, g, r))
        line += b"\0" * (row - w * 3)
        data += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def icon_image(size):
    """One BMP-in-ICO image, 32-bit with its AND mask."""
    xor = bytearray()
    for y in range(size - 1, -1, -1):
        for x in range(size):
            r, g, b = folder_pixel(x, y, size, size)
            alpha = 0 if (r, g, b) == (64, 64, 64) else 255
            xor += bytes((b, g, r, alpha))
    mask_row = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        bits = bytearray(mask_row)
        for x in range(size):
            if folder_pixel(x, y, size, size) == (64, 64, 64):
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def write_ico(path, sizes):
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, img in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    for img in images:
        out += img
    with open(path, "wb") as f:
        f.write(out)


def refresh_pixel(state):
    """The refresh button's pictures, 20 x 20: a light arrow ring on the
    button ground; state 0 up, 1 down, 2 focused, 3 disabled."""
    ground = [(64, 64, 64), (40, 40, 40), (80, 80, 80), (64, 64, 64)][state]
    ink = [(230, 230, 230), (200, 200, 200), (255, 255, 255), (128, 128, 128)][state]

    def pixel(x, y, w, h):
        dx, dy = x - w / 2 + 0.5, y - h / 2 + 0.5
        r2 = dx * dx + dy * dy
        if 20 <= r2 <= 49 and not (dx > 0 and dy < 0 and dx > -dy * 0.3):
            return ink
        if 6 <= x <= 9 and 2 <= y <= 5 and x - 6 <= y - 2:
            return ink
        return ground
    return pixel


if __name__ == "__main__":
    os.makedirs(os.path.join(HERE, "images"), exist_ok=True)
    write_bmp(os.path.join(HERE, "images", "splash.bmp"), 160, 156, folder_pixel)
    write_ico(os.path.join(HERE, "images", "Folionex.ico"), [16, 32])
    for i, name in enumerate(("refresh_up", "refresh_down", "refresh_focus", "refresh_disabled")):
        write_bmp(os.path.join(HERE, "images", name + ".bmp"), 20, 20, refresh_pixel(i))
