#!/usr/bin/env python3
"""Checks that an icon file holds exactly a 32 x 32 and a 16 x 16 image, each a
16-colour bitmap (BITMAPINFOHEADER, 4 bits per pixel, uncompressed, with its
AND mask), not a PNG image.  usage: check_icon.py FILE.ico"""
import struct
import sys

ICONDIR = "<HHH"                # reserved 0, type 1 (icon), image count
ICONDIRENTRY = "<BBBBHHII"      # width, height, colours, reserved, planes, bits, size, offset
BITMAPINFOHEADER = "<IiiHHIIiiII"
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def row_bytes(width, bits):
    return (width * bits + 31) // 32 * 4    # bitmap rows are padded to 32 bits


def problems(data):
    if len(data) < 6:
        return ["too short for an icon directory"]
    reserved, kind, count = struct.unpack_from(ICONDIR, data, 0)
    if reserved != 0 or kind != 1:
        return ["not an icon file (reserved %d, type %d)" % (reserved, kind)]
    found, sizes = [], []
    for i in range(count):
        at = 6 + 16 * i
        if at + 16 > len(data):
            return ["the directory is cut short"]
        w, h, colours, _, planes, bits, size, offset = struct.unpack_from(ICONDIRENTRY, data, at)
        w, h = w or 256, h or 256
        sizes.append((w, h))
        name = "image %d (%d x %d)" % (i, w, h)
        image = data[offset:offset + size]
        if len(image) != size or size < 40:
            found.append("%s lies outside the file" % name)
            continue
        if image.startswith(PNG_SIGNATURE):
            found.append("%s is a PNG image, not a bitmap" % name)
            continue
        header, bw, bh, bplanes, bbits, compression = struct.unpack_from(BITMAPINFOHEADER, image)[:6]
        if header != 40:
            found.append("%s does not start with a BITMAPINFOHEADER" % name)
            continue
        if (bw, bh) != (w, 2 * h) or bplanes != 1 or compression != 0:
            found.append("%s: header %d x %d, %d planes, compression %d" % (name, bw, bh, bplanes, compression))
        if bbits != 4 or bits != 4 or colours != 16 or planes != 1:
            found.append("%s: %d bits per pixel (directory: %d bits, %d colours, %d planes), not 16 colours"
                         % (name, bbits, bits, colours, planes))
        elif size != 40 + 16 * 4 + (row_bytes(w, 4) + row_bytes(w, 1)) * h:
            found.append("%s: %d bytes, not a 16-colour palette, the pixels and the AND mask" % (name, size))
    if sorted(sizes) != [(16, 16), (32, 32)]:
        found.append("the images are %s, not one 16 x 16 and one 32 x 32" % sorted(sizes))
    return found


def main():
    with open(sys.argv[1], "rb") as f:
        found = problems(f.read())
    for problem in found:
        print("%s: %s" % (sys.argv[1], problem))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
