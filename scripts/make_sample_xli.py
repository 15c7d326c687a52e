#!/usr/bin/env python3
"""Writes the XLI files of the demo game directory samples/game/ in the layout Vek Voxa's writer produces.

The header carries the name checksum of the file name; every entry the checksum that ties it to its file and to
the size of its X-file in scenes/xfiles (catalogue/tests checks these numbers against the program's own
arithmetic). Run it again whenever a sample X-file changes.
"""
import os
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "samples", "game")

VEHICLE, OBJECT = "vehicle", "object"

FILES = {
    "base_trains.xli": [
        ("ENGINE_TYPE", 1001, "loco.x", "0.5", "Demo_Loco", ("Demo_Loco_Ref", "0", "120", "8")),
        ("CWAGON_TYPE", 1002, "wagon.x", "0.5", "Demo_Wagon", ("Demo_Wagon_Ref", "0", "100", "0")),
        ("PWAGON_TYPE", 1003, "wagon.x", "0.5", "Demo_Coach", ("Demo_Coach_Ref", "0", "140", "0")),
    ],
    "base_objects.xli": [
        ("HOUSE_TYPE", 2001, "house.x", "0.5", "Demo_House", ("scenes\\textures\\house.bmp", "scenes\\textures\\roof.bmp", "200", "100")),
        ("SIGN_TYPE", 2002, "signal.x", "0.5", "Demo_Signal", ("scenes\\textures\\signal.bmp", "-", "255", "0")),
        ("PLANT_TYPE", 2003, "tree.x", "0.5", "Demo_Tree", ("scenes\\textures\\tree.bmp", "-", "0", "128")),
        ("LAMP_TYPE", 2004, "signal.x", "0.25", "Demo_Lamp", ("-", "-", "255", "255")),
    ],
    # A file composed by a modder: one ID of each base file again.
    "vv_station_set.xli": [
        ("ENGINE_TYPE", 1001, "loco.x", "0.75", "Big_Loco", ("Demo_Loco_Ref", "0", "160", "12")),
        ("HOUSE_TYPE", 2001, "house.x", "1", "Big_House", ("scenes\\textures\\house.bmp", "scenes\\textures\\roof.bmp", "180", "90")),
        ("MISC_TYPE", 3001, "tree.x", "0.3", "Small_Tree", ("scenes\\textures\\tree.bmp", "-", "0", "96")),
    ],
}


def wrap32(v):
    v &= 0xFFFFFFFF
    return v - (1 << 32) if v >= (1 << 31) else v


def ascii_sum(text):
    return wrap32(sum(b - 256 if b >= 128 else b for b in text.encode("cp1252")))


def model_checksum(n):
    return 0 if n <= 0 else wrap32((n - 1) * (n - 1) + 2)


def xli_checksum(n):
    if n <= 0:
        return 578972
    k = n // 2
    r = 4 * k * k + 1516 * k + 578972
    if n % 2 == 1:
        r += 759 + 4 * k
    return wrap32(r)


def name_checksum(file_name):
    stem = file_name.rsplit(".", 1)[0]
    return xli_checksum(ascii_sum(stem))


def last_digits(value, digits):
    sign = -1 if value < 0 else 1
    return sign * (abs(value) % (10 ** digits))


def entry_checksum(file_name, xfile):
    path = os.path.join(ROOT, "scenes", "xfiles", xfile)
    size = os.path.getsize(path) if os.path.exists(path) else -1
    return wrap32(model_checksum(ascii_sum(file_name) + 1) + model_checksum(ascii_sum(xfile) + 1)
                  + last_digits(size, 4) + 1337)


def main():
    for file_name, entries in FILES.items():
        lines = [str(name_checksum(file_name)), str(len(entries))]
        for vek_type, ident, xfile, scale, name, fields in entries:
            lines.append("\t".join([vek_type, str(ident), xfile, scale, name]))
            lines.extend("\t" + f for f in fields)
            lines.append("\t" + str(entry_checksum(file_name, xfile)))
        with open(os.path.join(ROOT, file_name), "wb") as out:
            out.write(("\r\n".join(lines) + "\r\n").encode("utf-8"))
        print("wrote", file_name, file=sys.stderr)


if __name__ == "__main__":
    main()
