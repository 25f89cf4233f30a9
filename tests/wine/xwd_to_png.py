#!/usr/bin/env python3
"""Writes a PNG of an X window dump (XWD), such as the screen file that
Xvfb keeps with -fbdir.  Only the standard library: ZPixmap images of 24 or
32 bits per pixel with true-colour masks, as Xvfb writes them.

    xwd_to_png.py SCREEN.xwd OUT.png
"""
import struct
import sys
import zlib


def read_header(data):
    for order in (">", "<"):
        fields = struct.unpack(order + "25I", data[:100])
        if fields[1] == 7:  # XWD version 7
            return order, fields
    raise ValueError("not an XWD version 7 file")


def shift_of(mask):
    shift = 0
    while mask and not mask & 1:
        mask >>= 1
        shift += 1
    return shift


def convert(xwd, png):
    data = open(xwd, "rb").read()
    _, h = read_header(data)
    header_size, _, pixmap_format, _, width, height = h[:6]
    byte_order, bits_per_pixel, bytes_per_line = h[7], h[11], h[12]
    red_mask, green_mask, blue_mask = h[14], h[15], h[16]
    ncolors = h[19]
    if pixmap_format != 2 or bits_per_pixel not in (24, 32):
        raise ValueError("unsupported XWD image: format %d, %d bits" % (pixmap_format, bits_per_pixel))
    pixel_bytes = bits_per_pixel // 8
    image = data[header_size + 12 * ncolors:]
    endian = "little" if byte_order == 0 else "big"
    shifts = [shift_of(m) for m in (red_mask, green_mask, blue_mask)]
    rows = bytearray()
    for y in range(height):
        rows.append(0)  # filter: none
        line = image[y * bytes_per_line:(y + 1) * bytes_per_line]
        for x in range(width):
            pixel = int.from_bytes(line[x * pixel_bytes:(x + 1) * pixel_bytes], endian)
            for mask, shift in zip((red_mask, green_mask, blue_mask), shifts):
                rows.append((pixel & mask) >> shift & 0xFF)

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    with open(png, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(bytes(rows), 6)))
        out.write(chunk(b"IEND", b""))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: xwd_to_png.py SCREEN.xwd OUT.png")
    convert(sys.argv[1], sys.argv[2])
