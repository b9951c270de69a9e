#!/usr/bin/env python3
"""Draws the installer's artwork: the 64x64 32-bit window icon (a TV with a download arrow) and
the 24x24 16-bit picture of the Install button. Run once; the outputs are committed."""
import struct
import sys
from pathlib import Path

out = Path(sys.argv[1] if len(sys.argv) > 1 else "resources")


def tv_with_arrow(size):
    """RGBA rows, top row first."""
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]
    s = size / 64.0

    def rect(x0, y0, x1, y1, c):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = c

    rect(4, 8, 60, 46, (40, 44, 52, 255))       # bezel
    rect(8, 12, 56, 42, (30, 110, 200, 255))    # screen
    rect(26, 46, 38, 52, (40, 44, 52, 255))     # stand
    rect(16, 52, 48, 56, (40, 44, 52, 255))     # foot
    rect(28, 16, 36, 30, (255, 255, 255, 255))  # arrow shaft
    for i in range(8):                          # arrow head
        rect(22 + i, 30 + i, 42 - i, 31 + i, (255, 255, 255, 255))
    return px


def write_ico(path, size=64):
    px = tv_with_arrow(size)
    xor = b"".join(struct.pack("<BBBB", b, g, r, a) for row in reversed(px) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    mask = b"".join(
        bytes(
            sum((1 << (7 - k)) for k in range(8) if x * 8 + k < size and row[x * 8 + k][3] == 0)
            for x in range(mask_row)
        )
        for row in reversed(px)
    )
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), 6 + 16)
    path.write_bytes(icondir + entry + image)


def write_bmp16(path, size=24):
    px = tv_with_arrow(size)
    face = (240, 240, 240)  # the button face shows where the picture is empty
    rows = []
    for row in reversed(px):
        data = b""
        for (r, g, b, a) in row:
            if a == 0:
                r, g, b = face
            data += struct.pack("<H", ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3))
        data += b"\0" * ((4 - len(data) % 4) % 4)
        rows.append(data)
    pixels = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 16, 0, len(pixels), 2835, 2835, 0, 0)
    filehdr = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    path.write_bytes(filehdr + info + pixels)


write_ico(out / "kavorin.ico")
write_bmp16(out / "install24.bmp")
