#!/usr/bin/env python3
"""Writes the binary and compressed forms of text .x fixtures.

For each text file NAME.x given, writes NAME_bin.x (binary, 32-bit floats), NAME_bin64.x (binary, 64-bit floats),
NAME_tzip.x (compressed text) and NAME_bzip.x (compressed binary) beside it. Numbers written with a '.' or an
exponent become float lists, the others integer lists; runs of numbers of one kind share one list, as exporters
write them. Compressed files use small chunks so that the deflate history crosses chunk boundaries.

Usage: make_x_variants.py x/box.x x/triangle.x ...
"""
import re
import struct
import sys
import zlib

TOKEN = re.compile(rb"""
    (?P<space>[\s;,]+|//[^\n]*|\#[^\n]*)
  | (?P<string>"[^"]*")
  | (?P<guid><[0-9A-Fa-f-]+>)
  | (?P<float>[-+]?(?:\d+\.\d*|\.\d+|\d+)[eE][-+]?\d+|[-+]?(?:\d+\.\d*|\.\d+))
  | (?P<int>\d+)
  | (?P<name>[A-Za-z0-9_-]+)
  | (?P<punct>[{}\[\]<>.])
""", re.X)

TYPES = {b"WORD": 40, b"DWORD": 41, b"FLOAT": 42, b"DOUBLE": 43, b"CHAR": 44, b"UCHAR": 45, b"SWORD": 46,
         b"SDWORD": 47, b"VOID": 48, b"LPSTR": 49, b"UNICODE": 50, b"CSTRING": 51, b"ARRAY": 52}
PUNCT = {b"{": 10, b"}": 11, b"[": 14, b"]": 15, b"<": 16, b">": 17, b".": 18}


def guid_bytes(text):
    h = text.strip(b"<>").replace(b"-", b"").decode()
    d1, d2, d3, rest = int(h[0:8], 16), int(h[8:12], 16), int(h[12:16], 16), bytes.fromhex(h[16:])
    return struct.pack("<IHH", d1, d2, d3) + rest


def to_binary(text, doubles):
    out = bytearray()
    run_kind, run = None, []

    def flush():
        nonlocal run_kind, run
        if run_kind == "int":
            out.extend(struct.pack("<HI", 6, len(run)) + struct.pack("<%dI" % len(run), *run))
        elif run_kind == "float":
            out.extend(struct.pack("<HI", 7, len(run)) + struct.pack("<%d%s" % (len(run), "d" if doubles else "f"),
                                                                     *run))
        run_kind, run = None, []

    template_depth = None  # brace depth inside a template declaration
    depth = 0
    pos = 0
    while pos < len(text):
        m = TOKEN.match(text, pos)
        if not m:
            raise SystemExit("cannot convert byte %d: %r" % (pos, text[pos:pos + 20]))
        pos = m.end()
        kind, value = m.lastgroup, m.group()
        if kind == "space":
            if template_depth is not None and b";" in value:
                flush()
                out.extend(struct.pack("<H", 20))
            continue
        if kind in ("int", "float"):
            if template_depth is not None:
                flush()
                out.extend(struct.pack("<HI", 3, int(value)))
                continue
            if run_kind != kind:
                flush()
                run_kind = kind
            run.append(int(value) if kind == "int" else float(value))
            continue
        flush()
        if kind == "string":
            body = value[1:-1]
            out.extend(struct.pack("<HI", 2, len(body)) + body + struct.pack("<H", 20))
        elif kind == "guid":
            out.extend(struct.pack("<H", 5) + guid_bytes(value))
        elif kind == "name":
            if value.lower() == b"template":
                out.extend(struct.pack("<H", 31))
                template_depth = depth
            elif template_depth is not None and value.upper() in TYPES:
                out.extend(struct.pack("<H", TYPES[value.upper()]))
            else:
                out.extend(struct.pack("<HI", 1, len(value)) + value)
        else:
            out.extend(struct.pack("<H", PUNCT[value]))
            if value == b"{":
                depth += 1
            elif value == b"}":
                depth -= 1
                if template_depth is not None and depth == template_depth:
                    template_depth = None
    flush()
    return bytes(out)


def mszip(header, payload, chunk=512):
    out = bytearray(header + struct.pack("<I", 16 + len(payload)))
    previous = b""
    for start in range(0, len(payload), chunk):
        piece = payload[start:start + chunk]
        z = zlib.compressobj(9, zlib.DEFLATED, -15, zdict=previous) if previous else \
            zlib.compressobj(9, zlib.DEFLATED, -15)
        packed = z.compress(piece) + z.flush()
        out.extend(struct.pack("<HH", len(piece), len(packed) + 2) + b"CK" + packed)
        previous = piece
    return bytes(out)


def main():
    for path in sys.argv[1:]:
        data = open(path, "rb").read()
        if data[8:12] != b"txt ":
            raise SystemExit(path + " is not a text .x file")
        version, body = data[4:8], data[16:]
        binary32 = to_binary(body, False)
        stem = path[:-2]
        variants = {
            "_bin.x": b"xof " + version + b"bin 0032" + binary32,
            "_bin64.x": b"xof " + version + b"bin 0064" + to_binary(body, True),
            "_tzip.x": mszip(b"xof " + version + b"tzip0032", body),
            "_bzip.x": mszip(b"xof " + version + b"bzip0032", binary32),
        }
        for suffix, content in variants.items():
            with open(stem + suffix, "wb") as f:
                f.write(content)


if __name__ == "__main__":
    main()
