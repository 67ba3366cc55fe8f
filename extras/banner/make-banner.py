#!/usr/bin/env python3
"""Writes banner.swf: the editor's banner movie, a compressed SWF ("CWS", version 7) of
257 x 65 pixels on the banner's #99CCFF, with the program's mark drawn as shapes: a dark
blue bar and a waveform of five steps. Run it after changing the picture; the result is
stored beside it and built into the program."""
import struct
import zlib


class Bits:
    def __init__(self):
        self.bits = []

    def u(self, value, n):
        self.bits += [(value >> (n - 1 - i)) & 1 for i in range(n)]

    def s(self, value, n):
        self.u(value & ((1 << n) - 1), n)

    def bytes(self):
        bits = self.bits + [0] * (-len(self.bits) % 8)
        return bytes(int("".join(map(str, bits[i:i + 8])), 2) for i in range(0, len(bits), 8))


def nbits(*values):
    return max(max(abs(v).bit_length() for v in values) + 1, 1)


def rect(xmin, xmax, ymin, ymax):
    b = Bits()
    n = nbits(xmin, xmax, ymin, ymax)
    b.u(n, 5)
    for v in (xmin, xmax, ymin, ymax):
        b.s(v, n)
    return b.bytes()


def tag(code, body):
    if len(body) < 0x3F:
        return struct.pack("<H", (code << 6) | len(body)) + body
    return struct.pack("<HI", (code << 6) | 0x3F, len(body)) + body


def shape(shape_id, colour, points):
    """DefineShape: one solid fill, a closed polygon through `points` (twips)."""
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    body = struct.pack("<H", shape_id) + rect(min(xs), max(xs), min(ys), max(ys))
    body += bytes([1, 0]) + bytes(colour)  # one solid fill style
    body += bytes([0])                      # no line styles
    b = Bits()
    b.u(1, 4)  # fill bits
    b.u(0, 4)  # line bits
    # Style change: move to the first point, fill style 1.
    b.u(0, 1)
    b.u(0b00011, 5)  # StateFillStyle0, StateMoveTo
    n = nbits(*points[0])
    b.u(n, 5)
    b.s(points[0][0], n)
    b.s(points[0][1], n)
    b.u(1, 1)  # fill style 0 = 1
    x, y = points[0]
    for px, py in points[1:] + [points[0]]:
        dx, dy = px - x, py - y
        b.u(1, 1)  # edge
        b.u(1, 1)  # straight
        n = max(nbits(dx, dy), 2)
        b.u(n - 2, 4)
        b.u(1, 1)  # general line
        b.s(dx, n)
        b.s(dy, n)
        x, y = px, py
    b.u(0, 6)  # end of shape
    return tag(2, body + b.bytes())


def place(shape_id, depth):
    return tag(26, bytes([0x02]) + struct.pack("<HH", depth, shape_id))


def box(x, y, w, h):
    return [(x, y), (x + w, y), (x + w, y + h), (x, y + h)]


T = 20  # twips per pixel
tags = tag(9, bytes([0x99, 0xCC, 0xFF]))  # SetBackgroundColor
tags += shape(1, (0x00, 0x33, 0x99), box(8 * T, 8 * T, 6 * T, 49 * T))
for i, height in enumerate((14, 30, 44, 24, 10)):
    tags += shape(2 + i, (0x00, 0x80, 0x00), box((20 + 8 * i) * T, (32 - height // 2) * T, 5 * T, height * T))
for depth in range(1, 7):
    tags += place(depth, depth)
tags += tag(1, b"")  # ShowFrame
tags += tag(0, b"")  # End

body = rect(0, 257 * T, 0, 65 * T) + struct.pack("<HH", 12 << 8, 1) + tags
movie = b"CWS" + bytes([7]) + struct.pack("<I", 8 + len(body)) + zlib.compress(body, 9)
with open(__file__.rsplit("/", 1)[0] + "/banner.swf", "wb") as f:
    f.write(movie)
print(len(movie), "bytes")
