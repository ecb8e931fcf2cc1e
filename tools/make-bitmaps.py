#!/usr/bin/env python3
"""Draws the band's bitmaps into resources/bitmaps/ as 24-bit BMP files, and the
uninstaller's icon into uninstaller/vmuninst.ico.

Pure green, RGB(0, 255, 0), is the transparent colour of every image. The
.bmp files are committed, so building needs no Python; run this again after
changing a drawing: python3 tools/make-bitmaps.py
"""
import os
import struct

GREEN = (0, 255, 0)
NAVY = (31, 58, 147)
WHITE = (255, 255, 255)
ORANGE = (242, 140, 40)
DARK = (48, 48, 64)

FONT = {
    'V': ["#...#", "#...#", "#...#", "#...#", ".#.#.", ".#.#.", "..#.."],
    'e': [".....", ".....", ".###.", "#...#", "#####", "#....", ".###."],
    'l': [".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    'm': [".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"],
    'o': [".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."],
    'r': [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    'a': [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
}


class Image:
    def __init__(self, width, height):
        self.width, self.height = width, height
        self.pixels = [[GREEN] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def box(self, left, top, right, bottom, colour, radius=0):
        """Fills left..right-1, top..bottom-1, with cut corners of the radius."""
        for y in range(top, bottom):
            for x in range(left, right):
                dx = max(left + radius - x, x - (right - 1 - radius), 0)
                dy = max(top + radius - y, y - (bottom - 1 - radius), 0)
                if dx * dx + dy * dy <= radius * radius:
                    self.put(x, y, colour)

    def text(self, x, y, string, colour):
        for ch in string:
            for row, line in enumerate(FONT[ch]):
                for col, cell in enumerate(line):
                    if cell == '#':
                        self.put(x + col, y + row, colour)
            x += 6

    def feed_symbol(self, left, top, size, background, foreground):
        """A rounded square with a dot and two arcs around its lower left corner."""
        self.box(left, top, left + size, top + size, background, radius=3)
        cx, cy = left + 3.5, top + size - 3.5
        for y in range(top, top + size):
            for x in range(left, left + size):
                d = ((x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2) ** 0.5
                inside = x + 0.5 >= cx - 0.5 and y + 0.5 <= cy + 0.5
                scale = size / 18.0
                if d <= 1.6 * scale or (inside and (5.5 * scale <= d <= 7.5 * scale
                                                     or 10 * scale <= d <= 12 * scale)):
                    self.put(x, y, foreground)

    def save(self, path):
        stride = (self.width * 3 + 3) & ~3
        data = bytearray()
        for row in reversed(self.pixels):
            line = bytearray()
            for r, g, b in row:
                line += bytes((b, g, r))
            data += line + bytes(stride - len(line))
        header = struct.pack('<2sIHHI', b'BM', 54 + len(data), 0, 0, 54)
        info = struct.pack('<IiiHHIIiiII', 40, self.width, self.height, 1, 24, 0, len(data),
                           2835, 2835, 0, 0)
        with open(path, 'wb') as out:
            out.write(header + info + data)

    def save_icon(self, path):
        """One 32-bit image with its AND mask; green becomes transparent."""
        pixels = bytearray()
        mask = bytearray()
        mask_stride = ((self.width + 31) // 32) * 4
        for row in reversed(self.pixels):
            bits = 0
            line = bytearray(mask_stride)
            for x, (r, g, b) in enumerate(row):
                clear = (r, g, b) == GREEN
                pixels += bytes((b, g, r, 0 if clear else 255))
                if clear:
                    line[x // 8] |= 0x80 >> (x % 8)
            mask += line
        info = struct.pack('<IiiHHIIiiII', 40, self.width, self.height * 2, 1, 32, 0,
                           len(pixels) + len(mask), 0, 0, 0, 0)
        image = info + pixels + mask
        directory = struct.pack('<HHH', 0, 1, 1)
        entry = struct.pack('<BBBBHHII', self.width, self.height, 0, 0, 1, 32, len(image), 22)
        with open(path, 'wb') as out:
            out.write(directory + entry + image)


def logo():
    image = Image(73, 22)
    image.box(0, 1, 73, 21, NAVY, radius=4)
    image.feed_symbol(4, 4, 14, ORANGE, WHITE)
    image.text(24, 8, "Velmora", WHITE)
    return image


def speed_buttons():
    image = Image(44, 22)
    image.box(4, 9, 18, 13, DARK)       # plus: faster
    image.box(9, 4, 13, 18, DARK)
    image.box(22 + 4, 9, 22 + 18, 13, DARK)   # minus: slower
    return image


def feed():
    image = Image(18, 18)
    image.feed_symbol(0, 0, 18, ORANGE, WHITE)
    return image


def uninstaller_icon():
    """The feed symbol with a red bar across: the toolbar going away."""
    image = Image(32, 32)
    image.feed_symbol(2, 2, 28, ORANGE, WHITE)
    image.box(4, 13, 28, 19, (200, 30, 30), radius=2)
    return image


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'resources', 'bitmaps')
    os.makedirs(folder, exist_ok=True)
    logo().save(os.path.join(folder, 'logo.bmp'))
    speed_buttons().save(os.path.join(folder, 'speed.bmp'))
    feed().save(os.path.join(folder, 'feed.bmp'))
    uninstaller = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'uninstaller')
    os.makedirs(uninstaller, exist_ok=True)
    uninstaller_icon().save_icon(os.path.join(uninstaller, 'vmuninst.ico'))


if __name__ == '__main__':
    main()
