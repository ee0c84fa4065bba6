#!/usr/bin/env python3
"""Writes quelmar.ico: the application icon (resource 128), a balance scale
in the 16 standard colours, as a 32 x 32 and a 16 x 16 image.

Run it again after changing the drawing:  python3 ui/win32/make_icon.py
"""
import os
import struct

# The 16 colours of the standard VGA palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_RED, OLIVE, NAVY, GRAY, RED, YELLOW, WHITE = 0, 1, 3, 4, 8, 9, 11, 15
CLEAR = None  # transparent pixel


def draw(size):
    """The drawing on a 32-unit grid, scaled to size x size pixels."""
    pixels = [[CLEAR] * size for _ in range(size)]
    scale = size / 32

    def at(value):
        return min(size - 1, int(value * scale))

    def rect(x0, y0, x1, y1, colour):
        for y in range(at(y0), max(at(y0), at(y1 - 1)) + 1):
            for x in range(at(x0), max(at(x0), at(x1 - 1)) + 1):
                pixels[y][x] = colour

    def line(x0, y0, x1, y1, colour):
        x0, y0, x1, y1 = at(x0), at(y0), at(x1), at(y1)
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            pixels[round(y0 + (y1 - y0) * i / steps)][round(x0 + (x1 - x0) * i / steps)] = colour

    # foot and pillar
    rect(8, 28, 24, 31, NAVY)
    rect(11, 26, 21, 28, NAVY)
    rect(15, 6, 17, 26, NAVY)
    # knob on top and the beam
    rect(14, 3, 18, 6, YELLOW)
    rect(3, 8, 29, 10, BLACK)
    # hangers
    line(6, 10, 2, 18, GRAY)
    line(6, 10, 10, 18, GRAY)
    line(26, 10, 22, 18, GRAY)
    line(26, 10, 30, 18, GRAY)
    # pans
    for left in (0, 20):
        rect(left + 1, 18, left + 12, 20, OLIVE)
        rect(left + 2, 20, left + 11, 22, YELLOW)
        rect(left + 4, 22, left + 9, 23, OLIVE)
    # an item on the right pan
    rect(23, 14, 28, 18, RED)
    rect(23, 14, 28, 15, DARK_RED)
    return pixels


def bitmap(pixels):
    """One icon image: BITMAPINFOHEADER, palette, 4-bit colours, AND mask."""
    size = len(pixels)
    colour_row = (size * 4 + 31) // 32 * 4
    mask_row = (size + 31) // 32 * 4
    colours = bytearray()
    mask = bytearray()
    for row in reversed(pixels):  # bottom-up
        line = bytearray(colour_row)
        bits = bytearray(mask_row)
        for x, colour in enumerate(row):
            index = 0 if colour is CLEAR else colour
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if colour is CLEAR:
                bits[x // 8] |= 0x80 >> (x % 8)
        colours += line
        mask += bits
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, len(colours) + len(mask), 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(colours) + bytes(mask)


def main():
    images = [bitmap(draw(32)), bitmap(draw(16))]
    sizes = [32, 16]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    out += b''.join(images)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'quelmar.ico')
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
