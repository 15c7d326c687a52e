#!/usr/bin/env python3
"""Writes DDS textures for our samples and tests (Python 3 standard library only).

    write_dds(path, width, height, rgba_bytes, fmt)   fmt: "A8R8G8B8" or "DXT1"

rgba_bytes holds width * height * 4 bytes, rows top to bottom, each texel R, G, B, A. DXT1 blocks use the two
texels of the block farthest apart as end points (three colours and transparent black where a texel's alpha is
below 128), and each texel takes the nearest colour of the block's palette.

Command line:  python3 scripts/make_dds.py OUT.dds WIDTH HEIGHT FORMAT PATTERN
PATTERN: checker (8-texel squares, white and red), stripes (vertical 2-texel stripes, blue and yellow),
gradient (red grows to the right, green downwards, blue 128), all three opaque; cutout (6-texel squares, opaque
green and transparent black: DXT1's one-bit alpha).
"""

import struct
import sys

DDSD_CAPS, DDSD_HEIGHT, DDSD_WIDTH, DDSD_PITCH, DDSD_PIXELFORMAT, DDSD_LINEARSIZE = 0x1, 0x2, 0x4, 0x8, 0x1000, 0x80000
DDPF_ALPHAPIXELS, DDPF_FOURCC, DDPF_RGB = 0x1, 0x4, 0x40
DDSCAPS_TEXTURE = 0x1000

FORMATS = ("A8R8G8B8", "DXT1")
PATTERNS = ("checker", "stripes", "gradient", "cutout")


def _header(width, height, flags, pitch, pf_flags, fourcc, bits, masks):
    pixel_format = struct.pack("<II4sIIIII", 32, pf_flags, fourcc, bits, *masks)
    header = struct.pack("<IIIIIII", 124, flags, height, width, pitch, 0, 0) + bytes(44)
    header += pixel_format + struct.pack("<IIIII", DDSCAPS_TEXTURE, 0, 0, 0, 0)
    assert len(header) == 124
    return b"DDS " + header


def _to565(r, g, b):
    return (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)


def _from565(c):
    r, g, b = (c >> 11) & 31, (c >> 5) & 63, c & 31
    return (r << 3 | r >> 2, g << 2 | g >> 4, b << 3 | b >> 2)


def _blend(x, w0, y, w1):
    return (w0 * x + w1 * y + (w0 + w1) // 2) // (w0 + w1)


def _encode_block(texels):
    """texels: 16 (r, g, b, a) tuples, row by row. Returns the 8 bytes of a DXT1 block."""
    opaque = [t[:3] for t in texels if t[3] >= 128]
    transparent = len(opaque) < 16
    if not opaque:
        return struct.pack("<HHI", 0, 0, 0xFFFFFFFF)
    best, e0, e1 = -1, opaque[0], opaque[0]
    for i, a in enumerate(opaque):
        for b in opaque[i + 1:]:
            d = sum((p - q) ** 2 for p, q in zip(a, b))
            if d > best:
                best, e0, e1 = d, a, b
    c0, c1 = _to565(*e0), _to565(*e1)
    if transparent:
        c0, c1 = min(c0, c1), max(c0, c1)  # c0 <= c1: three colours and transparent black
    elif c0 < c1:
        c0, c1 = c1, c0  # c0 > c1: four colours (equal end points leave one colour, index 0)
    p0, p1 = _from565(c0), _from565(c1)
    if c0 > c1:
        palette = [p0, p1, tuple(_blend(x, 2, y, 1) for x, y in zip(p0, p1)),
                   tuple(_blend(x, 1, y, 2) for x, y in zip(p0, p1))]
    else:
        palette = [p0, p1, tuple(_blend(x, 1, y, 1) for x, y in zip(p0, p1))]
    indices = 0
    for i, t in enumerate(texels):
        if t[3] < 128:
            index = 3
        else:
            index = min(range(len(palette)), key=lambda k: sum((p - q) ** 2 for p, q in zip(palette[k], t[:3])))
        indices |= index << (2 * i)
    return struct.pack("<HHI", c0, c1, indices)


def _dxt1_data(width, height, rgba):
    out = bytearray()
    for by in range(0, height, 4):
        for bx in range(0, width, 4):
            texels = []
            for y in range(4):
                for x in range(4):
                    sx, sy = min(bx + x, width - 1), min(by + y, height - 1)  # edge blocks repeat the last texel
                    i = (sy * width + sx) * 4
                    texels.append(tuple(rgba[i:i + 4]))
            out += _encode_block(texels)
    return bytes(out)


def dds_bytes(width, height, rgba_bytes, fmt):
    if width < 1 or height < 1:
        raise ValueError("width and height must be at least 1")
    if len(rgba_bytes) != width * height * 4:
        raise ValueError("expected %d RGBA bytes, got %d" % (width * height * 4, len(rgba_bytes)))
    rgba = bytes(rgba_bytes)
    if fmt == "A8R8G8B8":
        header = _header(width, height, DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT | DDSD_PITCH,
                         width * 4, DDPF_RGB | DDPF_ALPHAPIXELS, bytes(4), 32,
                         (0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000))
        data = bytearray(len(rgba))
        data[0::4], data[1::4], data[2::4], data[3::4] = rgba[2::4], rgba[1::4], rgba[0::4], rgba[3::4]
        return header + bytes(data)
    if fmt == "DXT1":
        data = _dxt1_data(width, height, rgba)
        header = _header(width, height, DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT | DDSD_LINEARSIZE,
                         len(data), DDPF_FOURCC, b"DXT1", 0, (0, 0, 0, 0))
        return header + data
    raise ValueError("unknown format %r (expected one of %s)" % (fmt, ", ".join(FORMATS)))


def write_dds(path, width, height, rgba_bytes, fmt):
    data = dds_bytes(width, height, rgba_bytes, fmt)
    with open(path, "wb") as f:
        f.write(data)


def pattern_rgba(name, width, height):
    out = bytearray()
    for y in range(height):
        for x in range(width):
            if name == "checker":
                out += bytes((255, 255, 255, 255) if (x // 8 + y // 8) % 2 == 0 else (255, 0, 0, 255))
            elif name == "stripes":
                out += bytes((0, 0, 255, 255) if (x // 2) % 2 == 0 else (255, 255, 0, 255))
            elif name == "cutout":
                out += bytes((0, 255, 0, 255) if (x // 6 + y // 6) % 2 == 0 else (0, 0, 0, 0))
            elif name == "gradient":
                r = x * 255 // (width - 1) if width > 1 else 0
                g = y * 255 // (height - 1) if height > 1 else 0
                out += bytes((r, g, 128, 255))
            else:
                raise ValueError("unknown pattern %r (expected one of %s)" % (name, ", ".join(PATTERNS)))
    return bytes(out)


def main(argv):
    if len(argv) != 6:
        sys.stderr.write("usage: make_dds.py OUT.dds WIDTH HEIGHT FORMAT PATTERN\n"
                         "  FORMAT: %s   PATTERN: %s\n" % (" ".join(FORMATS), " ".join(PATTERNS)))
        return 2
    out, width, height, fmt, pattern = argv[1], argv[2], argv[3], argv[4], argv[5]
    try:
        width, height = int(width), int(height)
        if not (1 <= width <= 16384 and 1 <= height <= 16384):
            raise ValueError("width and height must be between 1 and 16384")
        write_dds(out, width, height, pattern_rgba(pattern, width, height), fmt)
    except (ValueError, OSError) as e:
        sys.stderr.write("Error: %s\n" % e)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
