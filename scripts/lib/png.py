"""Reads and writes the PNG files of the screenshots without any library beyond Python's own:
8-bit RGB or RGBA, not interlaced (what Qt writes)."""

import struct
import zlib


class Picture:
    def __init__(self, width, height, rows, channels):
        self.width = width
        self.height = height
        self.rows = rows
        self.channels = channels

    def pixel(self, x, y):
        row = self.rows[y]
        i = x * self.channels
        return (row[i], row[i + 1], row[i + 2])

    def count(self, predicate, area=None):
        """How many pixels of the area (x, y, width, height) satisfy predicate((r, g, b))."""
        x0, y0, w, h = area or (0, 0, self.width, self.height)
        return sum(1 for y in range(y0, y0 + h) for x in range(x0, x0 + w)
                   if predicate(self.pixel(x, y)))


def read_png(path):
    with open(path, "rb") as file:
        data = file.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG file")
    pos = 8
    idat = b""
    width = height = color_type = None
    while pos < len(data):
        (length,) = struct.unpack(">I", data[pos:pos + 4])
        kind = data[pos + 4:pos + 8]
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height, depth, color_type, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or color_type not in (2, 6) or interlace != 0:
                raise ValueError(f"{path}: unsupported PNG form")
        elif kind == b"IDAT":
            idat += body
    channels = 3 if color_type == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    rows = []
    previous = bytearray(stride)
    pos = 0
    for _ in range(height):
        kind = raw[pos]
        line = bytearray(raw[pos + 1:pos + 1 + stride])
        pos += 1 + stride
        if kind == 1:
            for i in range(channels, stride):
                line[i] = (line[i] + line[i - channels]) & 0xFF
        elif kind == 2:
            for i in range(stride):
                line[i] = (line[i] + previous[i]) & 0xFF
        elif kind == 3:
            for i in range(stride):
                left = line[i - channels] if i >= channels else 0
                line[i] = (line[i] + ((left + previous[i]) >> 1)) & 0xFF
        elif kind == 4:
            for i in range(stride):
                a = line[i - channels] if i >= channels else 0
                b = previous[i]
                c = previous[i - channels] if i >= channels else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        rows.append(line)
        previous = line
    return Picture(width, height, rows, channels)
