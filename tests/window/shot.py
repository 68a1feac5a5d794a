#!/usr/bin/env python3
"""Pixel checks on screenshots (PNG), through ImageMagick's PPM output.

  shot.py rgb PNG X Y                      colour of one pixel, as RRGGBB
  shot.py count PNG X0 Y0 X1 Y1 RRGGBB...  pixels in [X0,X1) x [Y0,Y1) of any given colour
  shot.py luma PNG X0 Y0 X1 Y1             the brightest luma (0-255) in the box
  shot.py diff PNG PNG X0 Y0 X1 Y1         pixels that differ between two shots in the box
  shot.py reds PNG X0 Y0 X1 Y1             strongly red pixels in the box (the error icon's disc)
"""
import subprocess
import sys


def load(path):
    data = subprocess.run(["/usr/bin/convert", path, "-depth", "8", "ppm:-"], check=True,
                          stdout=subprocess.PIPE).stdout
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            at = data.index(b"\n", at)
            continue
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[at + 1:]


def pixel(img, x, y):
    width, _, px = img
    i = (y * width + x) * 3
    return px[i], px[i + 1], px[i + 2]


def box(args):
    return [int(a) for a in args]


def main(argv):
    cmd = argv[1]
    if cmd == "rgb":
        img = load(argv[2])
        print("%02X%02X%02X" % pixel(img, int(argv[3]), int(argv[4])))
    elif cmd == "count":
        img = load(argv[2])
        x0, y0, x1, y1 = box(argv[3:7])
        wanted = {tuple(int(h[i:i + 2], 16) for i in (0, 2, 4)) for h in argv[7:]}
        print(sum(1 for y in range(y0, y1) for x in range(x0, x1) if pixel(img, x, y) in wanted))
    elif cmd == "luma":
        img = load(argv[2])
        x0, y0, x1, y1 = box(argv[3:7])
        best = 0
        for y in range(y0, y1):
            for x in range(x0, x1):
                r, g, b = pixel(img, x, y)
                best = max(best, (299 * r + 587 * g + 114 * b) // 1000)
        print(best)
    elif cmd == "diff":
        a, b = load(argv[2]), load(argv[3])
        x0, y0, x1, y1 = box(argv[4:8])
        print(sum(1 for y in range(y0, y1) for x in range(x0, x1) if pixel(a, x, y) != pixel(b, x, y)))
    elif cmd == "reds":
        img = load(argv[2])
        x0, y0, x1, y1 = box(argv[3:7])
        print(sum(1 for y in range(y0, y1) for x in range(x0, x1)
                  if (lambda r, g, b: r >= 192 and g < 96 and b < 96)(*pixel(img, x, y))))
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
