#!/usr/bin/env python3
"""Writes skarvel.ico, tray.ico, pointer.cur and move.cur.

Icons come from the pixel art in art/icon<size>.txt, one drawing for each size of the small
icon at every common scale (16 to 48 px), so none is a blur of another; the program's larger
sizes are the 32 px art resampled by area (each new pixel the coverage-weighted mean of the
art's pixels under it), whole multiples that stay crisp. Cursors are drawn here in code.
Usage: make_images.py OUTPUT_DIR
"""
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

ICON, CURSOR = 1, 2  # container types in the file header

# Cursor colours; the rest of the 16-entry palette is unused.
BLACK, GREY, WHITE = 0, 8, 15
PALETTE16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
# The small icon at 100, 125, 150, 175, 200, 225, 250 and 300 %: each has its own art.
SMALL_ICON_SIZES = [16, 20, 24, 28, 32, 36, 40, 48]
CURSOR_SIZE = 32
HOT_SPOT = (12, 12)


# ---- containers ----------------------------------------------------------

def write_container(path, kind, entries):
    """Writes an .ico (kind ICON) or .cur (kind CURSOR) file.

    entries: (width, height, colour_count, field1, field2, dib) tuples, where
    field1/field2 are planes/bit count for icons and the hot spot for cursors.
    """
    header = struct.pack("<HHH", 0, kind, len(entries))
    offset = len(header) + 16 * len(entries)
    directory, images = b"", b""
    for width, height, colours, field1, field2, dib in entries:
        # 0 stands for 256 in the one-byte size fields
        directory += struct.pack("<BBBBHHII", width % 256, height % 256, colours % 256, 0,
                                 field1, field2, len(dib), offset)
        images += dib
        offset += len(dib)
    with open(path, "wb") as f:
        f.write(header + directory + images)


def row_bytes(bits):
    """Bytes in one bitmap row of `bits` bits: rows are padded to 4 bytes."""
    return (bits + 31) // 32 * 4


def and_mask(width, height, transparent):
    """1-bit mask, bottom-up; a set bit leaves the screen pixel as it is."""
    out = b""
    for y in reversed(range(height)):
        row = bytearray(row_bytes(width))
        for x in range(width):
            if transparent(x, y):
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return out


def bitmap_header(width, height, bit_count, image_size, colours):
    # Height counts the colour image and the mask stacked on top of each other.
    return struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bit_count, 0,
                       image_size, 0, 0, colours, 0)


def dib_32(pixels):
    """32-bit BGRA image plus mask from rows of (r, g, b, a)."""
    height, width = len(pixels), len(pixels[0])
    colour = b"".join(struct.pack("<BBBB", b, g, r, a)
                      for row in reversed(pixels) for (r, g, b, a) in row)
    mask = and_mask(width, height, lambda x, y: pixels[y][x][3] == 0)
    return bitmap_header(width, height, 32, len(colour) + len(mask), 0) + colour + mask


def dib_4(indices, opaque):
    """16-colour image plus mask; indices[y][x] is a palette index."""
    height, width = len(indices), len(indices[0])
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE16)
    colour = b""
    for y in reversed(range(height)):
        row = bytearray(row_bytes(width * 4))
        for x in range(width):
            row[x // 2] |= indices[y][x] << (0 if x % 2 else 4)
        colour += row
    mask = and_mask(width, height, lambda x, y: not opaque[y][x])
    return (bitmap_header(width, height, 4, len(colour) + len(mask), 16)
            + palette + colour + mask)


# ---- icons -------------------------------------------------------------

def read_art(name):
    """Reads art/<name>: 'c = r,g,b,a' legend lines, then one row per line; the size in the
    name must be the art's."""
    legend, rows = {}, []
    with open(os.path.join(HERE, "art", name), encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            if line[1:4] == " = ":
                legend[line[0]] = tuple(int(v) for v in line[4:].split(","))
            else:
                rows.append([legend[c] for c in line])
    if any(len(row) != len(rows) for row in rows):
        sys.exit(f"{name}: the art must be square")
    if f"icon{len(rows)}.txt" != name:
        sys.exit(f"{name}: the art is {len(rows)} px")
    return rows


def resample(pixels, size):
    """The square art at size x size px by area, with colours weighted by their alpha."""
    n = len(pixels)

    def spans(i):
        # the art's pixels under new pixel i, each with the share of it that they cover
        start, end = i * n / size, (i + 1) * n / size
        return [(k, min(end, k + 1) - max(start, k)) for k in range(int(start), n)
                if k < end and min(end, k + 1) > max(start, k)]

    out = []
    for y in range(size):
        row = []
        for x in range(size):
            r = g = b = a = weight = 0.0
            for sy, wy in spans(y):
                for sx, wx in spans(x):
                    pr, pg, pb, pa = pixels[sy][sx]
                    w = wx * wy
                    r, g, b = r + pr * pa * w, g + pg * pa * w, b + pb * pa * w
                    a += pa * w
                    weight += w
            alpha = a / weight
            row.append((0, 0, 0, 0) if a == 0 else
                       (round(r / a), round(g / a), round(b / a), round(alpha)))
        out.append(row)
    return out


def png(pixels):
    """A PNG image of rows of (r, g, b, a): icon files hold the 256 px image as one."""
    height, width = len(pixels), len(pixels[0])
    raw = b"".join(b"\0" + bytes(v for px in row for v in px) for row in pixels)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data)))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def icon_entry(pixels):
    size = len(pixels)
    image = png(pixels) if size >= 256 else dib_32(pixels)
    return (size, size, 0, 1, 32, image)


def icon_sizes(drawn, sizes):
    """Entries for every size, largest first: drawn art where there is some, else the 32 px
    art resampled."""
    return [icon_entry(drawn[size] if size in drawn else resample(drawn[32], size))
            for size in sorted(sizes, reverse=True)]


# ---- cursors -----------------------------------------------------------

class Cursor:
    """White one-pixel lines with a black shadow, on a transparent ground."""

    def __init__(self):
        self.ink = {}  # (x, y) -> palette index

    def dot(self, x, y, colour=WHITE):
        self.ink[(x, y)] = colour

    def line(self, x0, y0, x1, y1):
        """Straight or 45-degree line, both ends included."""
        steps = max(abs(x1 - x0), abs(y1 - y0))
        dx, dy = (x1 > x0) - (x1 < x0), (y1 > y0) - (y1 < y0)
        for i in range(steps + 1):
            self.dot(x0 + i * dx, y0 + i * dy)

    def square(self, x0, y0, x1, y1):
        self.line(x0, y0, x1, y0)
        self.line(x0, y1, x1, y1)
        self.line(x0, y0, x0, y1)
        self.line(x1, y0, x1, y1)

    def entry(self):
        # Shadows last, so they never cover a drawn pixel; right and below,
        # so white lines stay visible on a white ground.
        for (x, y), colour in list(self.ink.items()):
            if colour == WHITE:
                self.ink.setdefault((x + 1, y), BLACK)
                self.ink.setdefault((x, y + 1), BLACK)
        n = CURSOR_SIZE
        indices = [[self.ink.get((x, y), BLACK) for x in range(n)] for y in range(n)]
        opaque = [[(x, y) in self.ink for x in range(n)] for y in range(n)]
        return (n, n, 16, HOT_SPOT[0], HOT_SPOT[1], dib_4(indices, opaque))


def pointer_cursor():
    c = Cursor()
    # crosshair arms stopping short of the square around the hot spot
    c.line(0, 12, 5, 12)
    c.line(18, 12, 23, 12)
    c.line(12, 0, 12, 5)
    c.line(12, 18, 12, 23)
    c.square(9, 9, 15, 15)
    # small window badge below right
    c.square(17, 17, 23, 23)
    for y in (19, 21):
        for x in range(19, 22):
            c.dot(x, y, GREY)
    return c.entry()


def move_cursor():
    c = Cursor()
    c.square(10, 10, 14, 14)
    # tip, and the unit step from the tip towards the square
    for (tx, ty), (dx, dy) in (((12, 0), (0, 1)), ((12, 24), (0, -1)),
                               ((0, 12), (1, 0)), ((24, 12), (-1, 0))):
        c.line(tx, ty, tx + 9 * dx, ty + 9 * dy)  # shaft up to the square
        for side in (-1, 1):
            # head: three pixels going back from the tip and sideways
            for i in range(1, 4):
                c.dot(tx + i * dx + i * side * dy, ty + i * dy + i * side * dx)
    return c.entry()


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    drawn = {size: read_art(f"icon{size}.txt") for size in SMALL_ICON_SIZES}
    # the small icon at 100 to 300 %, and the program's icon from lists up to Explorer's tiles
    write_container(os.path.join(out, "skarvel.ico"), ICON,
                    icon_sizes(drawn, [16, 20, 24, 32, 48, 64, 128, 256]))
    write_container(os.path.join(out, "tray.ico"), ICON, icon_sizes(drawn, SMALL_ICON_SIZES))
    write_container(os.path.join(out, "pointer.cur"), CURSOR, [pointer_cursor()])
    write_container(os.path.join(out, "move.cur"), CURSOR, [move_cursor()])


if __name__ == "__main__":
    main()
