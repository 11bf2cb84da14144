#!/usr/bin/env python3
"""Draws the rack pictures (GIF) and toolbar pictures (PNG) of NX-4410.

Plain shapes only, written with the standard library: the GIF encoder
emits every pixel as a literal LZW code and restarts the code table before
it would grow, which every GIF reader accepts. Run from any folder; the
pictures land beside this script.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


class Canvas:
    def __init__(self, w, h, fill=(0, 0, 0, 0)):
        self.w, self.h = w, h
        self.px = [[fill] * w for _ in range(h)]

    def put(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        for y in range(max(0, y0), min(self.h, y1 + 1)):
            for x in range(max(0, x0), min(self.w, x1 + 1)):
                self.px[y][x] = c

    def frame(self, x0, y0, x1, y1, c):
        self.rect(x0, y0, x1, y0, c)
        self.rect(x0, y1, x1, y1, c)
        self.rect(x0, y0, x0, y1, c)
        self.rect(x1, y0, x1, y1, c)

    def disc(self, cx, cy, r, c):
        for y in range(int(cy - r) - 1, int(cy + r) + 2):
            for x in range(int(cx - r) - 1, int(cx + r) + 2):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.put(x, y, c)

    def ring(self, cx, cy, r, width, c):
        for y in range(int(cy - r) - 1, int(cy + r) + 2):
            for x in range(int(cx - r) - 1, int(cx + r) + 2):
                d = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
                if r - width <= d <= r:
                    self.put(x, y, c)

    def line(self, x0, y0, x1, y1, c, width=1):
        steps = int(max(abs(x1 - x0), abs(y1 - y0)) * 2) + 1
        half = width / 2.0
        for i in range(steps + 1):
            t = i / steps
            x = x0 + (x1 - x0) * t
            y = y0 + (y1 - y0) * t
            self.disc(x, y, half, c)

    def polygon(self, pts, c):
        ys = [p[1] for p in pts]
        for y in range(int(min(ys)), int(max(ys)) + 1):
            yc = y + 0.5
            xs = []
            for i in range(len(pts)):
                (xa, ya), (xb, yb) = pts[i], pts[(i + 1) % len(pts)]
                if (ya <= yc < yb) or (yb <= yc < ya):
                    xs.append(xa + (yc - ya) * (xb - xa) / (yb - ya))
            xs.sort()
            for i in range(0, len(xs) - 1, 2):
                for x in range(int(round(xs[i])), int(round(xs[i + 1]))):
                    self.put(x, y, c)


# ---- writers -----------------------------------------------------------------


def write_png(canvas, path):
    raw = b"".join(
        b"\x00" + b"".join(struct.pack("BBBB", *p) for p in row) for row in canvas.px
    )

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    ihdr = struct.pack(">IIBBBBB", canvas.w, canvas.h, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
                + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def write_gif(canvas, path):
    colours = []
    index = {}
    pixels = []
    for row in canvas.px:
        for p in row:
            rgb = p[:3]
            if rgb not in index:
                index[rgb] = len(colours)
                colours.append(rgb)
            pixels.append(index[rgb])
    if len(colours) > 126:
        raise ValueError("too many colours for the literal encoder")
    min_code = 7
    clear, end = 1 << min_code, (1 << min_code) + 1
    width = min_code + 1
    codes = [clear]
    run = 0
    for v in pixels:
        if run == (1 << min_code) - 3:
            codes.append(clear)
            run = 0
        codes.append(v)
        run += 1
    codes.append(end)
    bits = 0
    nbits = 0
    out = bytearray()
    for code in codes:
        bits |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8
    if nbits:
        out.append(bits & 0xFF)
    table = bytearray()
    for rgb in colours:
        table += bytes(rgb)
    table += b"\x00" * (3 * 128 - len(table))
    data = bytearray(b"GIF89a")
    data += struct.pack("<HHBBB", canvas.w, canvas.h, 0xF6, 0, 0)  # 128-entry table
    data += table
    data += b"\x2c" + struct.pack("<HHHHB", 0, 0, canvas.w, canvas.h, 0)
    data.append(min_code)
    for i in range(0, len(out), 255):
        block = out[i:i + 255]
        data.append(len(block))
        data += block
    data += b"\x00\x3b"
    with open(path, "wb") as f:
        f.write(data)


# ---- rack pictures (26 x 176) -----------------------------------------------------

W, H = 26, 176
BODY = (74, 80, 88, 255)
EDGE = (40, 43, 48, 255)
LIGHT = (150, 156, 164, 255)
SLOT = (28, 30, 34, 255)
GREEN = (60, 200, 90, 255)
RED = (220, 60, 50, 255)
AMBER = (240, 170, 40, 255)
SCREW = (190, 194, 198, 255)


def module_body(c, accent):
    c.rect(0, 0, W - 1, H - 1, BODY)
    c.frame(0, 0, W - 1, H - 1, EDGE)
    c.rect(2, 2, W - 3, 9, accent)          # colour band of the module kind
    c.rect(2, H - 4, W - 3, H - 3, EDGE)
    c.disc(W / 2 - 0.5, 5.5, 1.5, SCREW)
    c.disc(W / 2 - 0.5, H - 9, 1.5, SCREW)


def terminal_block(c, top, rows):
    c.rect(3, top, W - 4, top + rows * 7 + 1, SLOT)
    for r in range(rows):
        y = top + 2 + r * 7
        c.rect(5, y, 10, y + 4, SCREW)
        c.rect(15, y, 20, y + 4, SCREW)


def front():
    c = Canvas(W, H)
    module_body(c, (70, 130, 190, 255))
    for r in range(8):                        # two columns of channel LEDs
        y = 15 + r * 5
        c.rect(6, y, 9, y + 2, GREEN if r % 3 else (30, 90, 45, 255))
        c.rect(15, y, 18, y + 2, GREEN if r % 2 else (30, 90, 45, 255))
    c.rect(4, 58, W - 5, 70, LIGHT)            # marking strip
    terminal_block(c, 76, 12)
    return c


def mcu():
    c = Canvas(W, H)
    module_body(c, (60, 95, 160, 255))
    c.rect(6, 15, 9, 18, GREEN)
    c.rect(15, 15, 18, 18, AMBER)
    c.rect(6, 22, 9, 25, GREEN)
    c.rect(15, 22, 18, 25, RED)
    for k in range(4):                         # DIP switch
        c.rect(5 + k * 4, 32, 7 + k * 4, 39, (235, 235, 235, 255))
        c.rect(5 + k * 4, 32 + (k % 2) * 4, 7 + k * 4, 35 + (k % 2) * 4, EDGE)
    for y0 in (50, 80):                        # two network ports
        c.rect(4, y0, W - 5, y0 + 20, SLOT)
        c.rect(7, y0 + 4, W - 8, y0 + 16, (110, 110, 110, 255))
        c.rect(10, y0 + 16, W - 11, y0 + 19, SLOT)
        c.rect(5, y0 + 1, 7, y0 + 2, GREEN)
        c.rect(W - 8, y0 + 1, W - 6, y0 + 2, AMBER)
    terminal_block(c, 118, 6)
    return c


def pwm():
    c = Canvas(W, H)
    module_body(c, (210, 150, 40, 255))
    c.disc(W / 2 - 0.5, 20, 3, GREEN)
    c.rect(4, 30, W - 5, 60, (60, 64, 70, 255))   # cooling slots
    for y in range(33, 58, 4):
        c.rect(6, y, W - 7, y + 1, SLOT)
    c.polygon([(13, 66), (8, 78), (12, 78), (10, 88), (17, 74), (13, 74), (15, 66)], AMBER)
    terminal_block(c, 100, 8)
    return c


# ---- toolbar pictures (24 x 24) -----------------------------------------------------

T = 24
INK = (45, 60, 80, 255)
BLUE = (40, 110, 200, 255)
DARKGREEN = (30, 150, 70, 255)


def icon():
    return Canvas(T, T)


def plug(c, x, y, col):
    c.rect(x, y, x + 6, y + 8, col)
    c.rect(x + 1, y - 3, x + 2, y, col)
    c.rect(x + 4, y - 3, x + 5, y, col)


def connect():
    c = icon()
    c.line(2, 12, 8, 12, INK, 2)
    c.rect(8, 8, 11, 16, DARKGREEN)
    c.rect(12, 8, 15, 16, DARKGREEN)
    c.line(15, 12, 21, 12, INK, 2)
    c.rect(11, 10, 12, 10, INK)
    c.rect(11, 13, 12, 13, INK)
    return c


def disconnect():
    c = icon()
    c.line(1, 12, 6, 12, INK, 2)
    c.rect(6, 8, 9, 16, (150, 150, 150, 255))
    c.rect(14, 8, 17, 16, (150, 150, 150, 255))
    c.line(17, 12, 22, 12, INK, 2)
    c.line(9, 4, 14, 20, RED, 2)
    return c


def arrow(c, up, col):
    if up:
        c.polygon([(12, 2), (20, 11), (15, 11), (15, 17), (9, 17), (9, 11), (4, 11)], col)
    else:
        c.polygon([(9, 2), (15, 2), (15, 9), (20, 9), (12, 18), (4, 9), (9, 9)], col)


def tray(c):
    c.rect(3, 19, 20, 21, INK)
    c.rect(3, 15, 4, 21, INK)
    c.rect(19, 15, 20, 21, INK)


def upload():
    c = icon()
    tray(c)
    arrow(c, True, BLUE)
    return c


def download():
    c = icon()
    tray(c)
    arrow(c, False, DARKGREEN)
    return c


def tread():
    c = icon()
    c.rect(2, 2, 21, 21, (250, 250, 250, 255))
    c.frame(2, 2, 21, 21, INK)
    for x in range(6, 20, 4):
        c.rect(x, 3, x, 20, (215, 220, 228, 255))
    pts = [(3, 15), (7, 10), (10, 13), (14, 6), (17, 11), (20, 8)]
    for a, b in zip(pts, pts[1:]):
        c.line(a[0], a[1], b[0], b[1], RED, 1.6)
    return c


def load():
    c = icon()
    c.polygon([(2, 6), (9, 6), (11, 8), (21, 8), (21, 20), (2, 20)], (200, 150, 50, 255))
    c.polygon([(5, 11), (23, 11), (20, 20), (2, 20)], (240, 195, 80, 255))
    return c


def save():
    c = icon()
    c.rect(3, 3, 20, 20, BLUE)
    c.rect(6, 3, 16, 9, (235, 238, 242, 255))
    c.rect(13, 4, 15, 8, INK)
    c.rect(6, 13, 17, 20, (250, 250, 250, 255))
    c.rect(8, 15, 15, 15, (170, 175, 185, 255))
    c.rect(8, 17, 15, 17, (170, 175, 185, 255))
    return c


def exit_():
    c = icon()
    c.rect(4, 2, 15, 21, (150, 105, 60, 255))
    c.frame(4, 2, 15, 21, INK)
    c.disc(13, 12, 1, SCREW)
    c.polygon([(14, 9), (18, 9), (18, 6), (23, 12), (18, 18), (18, 15), (14, 15)], RED)
    return c


def monitor(on):
    c = icon()
    c.rect(2, 3, 21, 17, INK)
    c.rect(4, 5, 19, 15, (20, 30, 35, 255) if on else (120, 125, 130, 255))
    c.rect(10, 18, 13, 19, INK)
    c.rect(6, 20, 17, 21, INK)
    if on:
        pts = [(4, 11), (8, 11), (10, 7), (12, 14), (14, 9), (16, 11), (19, 11)]
        for a, b in zip(pts, pts[1:]):
            c.line(a[0], a[1], b[0], b[1], GREEN, 1.2)
    return c


def main():
    write_gif(front(), os.path.join(HERE, "Module_Front.gif"))
    write_gif(mcu(), os.path.join(HERE, "Module_MCU.gif"))
    write_gif(pwm(), os.path.join(HERE, "Module_PWM.gif"))
    for name, draw in [("Connect", connect), ("Disconnect", disconnect), ("Upload", upload),
                       ("Download", download), ("Tread", tread), ("Load", load), ("Save", save),
                       ("Exit", exit_), ("MonitorOff", lambda: monitor(False)),
                       ("MonitorOn", lambda: monitor(True))]:
        write_png(draw(), os.path.join(HERE, "Toolbar_%s.png" % name))


if __name__ == "__main__":
    main()
