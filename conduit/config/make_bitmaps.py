#!/usr/bin/env python3
"""Draws the settings dialog's five bitmaps as 24-bit BMP files.

Pure green (0, 255, 0) is the colour the picture buttons treat as transparent, so every
pixel left at the background colour shows the button face through it.

Run from anywhere: python3 make_bitmaps.py  (writes into res/ beside this script).
"""
import os
import struct

GREEN = (0, 255, 0)
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
GREY = (128, 128, 128)
LIGHT = (192, 192, 192)
SCREEN = (0, 96, 160)
HANDHELD = (64, 64, 72)
HH_SCREEN = (170, 200, 150)
ARROW = (0, 0, 160)
RED = (200, 0, 0)
CARD = (232, 200, 40)
INK = (16, 48, 112)


class Image:
    def __init__(self, width, height):
        self.width, self.height = width, height
        self.pixels = [[GREEN] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        """Filled rectangle, both corners inclusive."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        for x in range(x0, x1 + 1):
            self.put(x, y0, colour)
            self.put(x, y1, colour)
        for y in range(y0, y1 + 1):
            self.put(x0, y, colour)
            self.put(x1, y, colour)

    def save(self, path):
        row_bytes = (self.width * 3 + 3) & ~3
        data = bytearray()
        for y in range(self.height - 1, -1, -1):  # BMP rows run bottom-up
            row = bytearray()
            for (r, g, b) in self.pixels[y]:
                row += bytes((b, g, r))
            row += b"\0" * (row_bytes - len(row))
            data += row
        header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 24, 0,
                           len(data), 2835, 2835, 0, 0)
        with open(path, "wb") as f:
            f.write(header + info + data)


def monitor(img, x, y):
    """A desktop monitor 18 x 16 with its top-left corner at (x, y)."""
    img.rect(x, y, x + 17, y + 12, BLACK)
    img.rect(x + 1, y + 1, x + 16, y + 11, LIGHT)
    img.rect(x + 3, y + 3, x + 14, y + 9, SCREEN)
    img.rect(x + 7, y + 13, x + 10, y + 14, GREY)
    img.rect(x + 4, y + 15, x + 13, y + 15, BLACK)


def handheld(img, x, y):
    """A handheld 11 x 18 with its top-left corner at (x, y)."""
    img.rect(x, y, x + 10, y + 17, BLACK)
    img.rect(x + 1, y + 1, x + 9, y + 16, HANDHELD)
    img.rect(x + 2, y + 2, x + 8, y + 10, HH_SCREEN)
    for bx in (x + 2, x + 5, x + 8):
        img.put(bx, y + 13, LIGHT)
        img.put(bx, y + 14, LIGHT)


def arrow(img, x0, x1, y, colour, head_right):
    """A horizontal arrow 5 pixels high between x0 and x1 on row y (its centre)."""
    img.rect(x0, y, x1, y, colour)
    for i in range(1, 3):
        if head_right:
            img.put(x1 - i, y - i, colour)
            img.put(x1 - i, y + i, colour)
        else:
            img.put(x0 + i, y - i, colour)
            img.put(x0 + i, y + i, colour)
    if head_right:
        img.put(x1 - 1, y, colour)
    else:
        img.put(x0 + 1, y, colour)


def action_picture(kind):
    img = Image(48, 24)
    monitor(img, 2, 4)
    handheld(img, 35, 3)
    if kind == "sync":
        arrow(img, 22, 32, 9, ARROW, True)
        arrow(img, 22, 32, 15, ARROW, False)
    elif kind == "desktop":
        arrow(img, 21, 32, 12, ARROW, True)
        arrow(img, 21, 32, 11, ARROW, True)
    elif kind == "handheld":
        arrow(img, 21, 32, 12, ARROW, False)
        arrow(img, 21, 32, 11, ARROW, False)
    elif kind == "nothing":
        for i in range(-3, 4):
            for w in (0, 1):
                img.put(27 + i + w, 12 + i, RED)
                img.put(27 + i + w, 12 - i, RED)
    return img


# 5 x 7 capitals and lower case letters for the word mark, one string per row.
FONT = {
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "a": [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    "r": [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    "n": [".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#"],
    "w": [".....", ".....", "#...#", "#...#", "#.#.#", "#.#.#", ".#.#."],
    "i": ["..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###."],
    "c": [".....", ".....", ".###.", "#....", "#....", "#...#", ".###."],
    "k": ["#....", "#....", "#..#.", "#.#..", "##...", "#.#..", "#..#."],
}


def text(img, x, y, word, colour, height_scale):
    """Tall letters: every pixel of the font is one wide and height_scale high."""
    for ch in word:
        glyph = FONT[ch]
        for row, bits in enumerate(glyph):
            for col, bit in enumerate(bits):
                if bit == "#":
                    img.rect(x + col, y + row * height_scale,
                             x + col, y + row * height_scale + height_scale - 1, colour)
        x += 7
    return x


def logo():
    img = Image(85, 30)
    # A memory card with a clipped top-right corner and contacts, then the word mark.
    def on_card(x, y, inset):
        return (1 + inset <= x <= 14 - inset and 5 + inset <= y <= 24 - inset
                and (x - 10) <= (y - 5) - inset)
    for y in range(30):
        for x in range(16):
            if on_card(x, y, 1):
                img.put(x, y, CARD)
            elif on_card(x, y, 0):
                img.put(x, y, BLACK)
    for cx in (3, 6, 9):
        img.rect(cx, 8, cx + 1, 11, GREY)
    text(img, 23, 8, "Tarnwick", INK, 2)
    return img


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "res")
    os.makedirs(out, exist_ok=True)
    action_picture("sync").save(os.path.join(out, "sync.bmp"))
    action_picture("desktop").save(os.path.join(out, "desktop.bmp"))
    action_picture("handheld").save(os.path.join(out, "handheld.bmp"))
    action_picture("nothing").save(os.path.join(out, "nothing.bmp"))
    logo().save(os.path.join(out, "logo.bmp"))


if __name__ == "__main__":
    main()
