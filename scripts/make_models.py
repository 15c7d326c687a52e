#!/usr/bin/env python3
"""Makes our own .x models and their DDS textures (Python 3 standard library and scripts/make_dds.py).

    python3 scripts/make_models.py            writes every model and texture below the source tree

Models (z is up, the game's models stand on z = 0, sizes of 2 to 6 units, every material opaque, at least one material textured with a name
written the game's way, "scenes\\textures\\NAME.bmp", which the viewer looks for as ..\\TEXTURES\\NAME.DDS):

    samples/game/scenes/xfiles/loco.x    binary   locomotive: chassis, boiler, cab, chimney, wheels
    samples/game/scenes/xfiles/wagon.x   text     goods wagon: floor, plank walls, wheels
    samples/game/scenes/xfiles/house.x   binary   house: brick walls, roof, door, chimney
    samples/game/scenes/xfiles/signal.x  text     signal: striped mast, head, two lamps
    samples/game/scenes/xfiles/tree.x    text     tree: trunk and three cones of leaves (texels with alpha 0)
    app/resources/scenes/xfiles/VekVoxa.x text    the default model: the letters V V on a round plate

Textures go to samples/game/scenes/textures/ and app/resources/scenes/textures/.
"""

import math
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
from make_dds import write_dds  # noqa: E402  (written beside this script)


# ------------------------------------------------------------------------------------------------------------------
# Geometry: each primitive adds its own vertices (position, normal, uv) and faces with one material.

class Mesh:
    def __init__(self):
        self.pos, self.nrm, self.uv = [], [], []
        self.faces, self.face_mat = [], []
        self.materials = []  # (name, (r, g, b, a), power, (sr, sg, sb), (er, eg, eb), texture or None)

    def material(self, name, rgba, texture=None, power=8.0, specular=(0.2, 0.2, 0.2), emissive=(0, 0, 0)):
        self.materials.append((name, rgba, power, specular, emissive, texture))
        return len(self.materials) - 1

    def vertex(self, p, n, uv):
        self.pos.append(tuple(p))
        self.nrm.append(tuple(n))
        self.uv.append(tuple(uv))
        return len(self.pos) - 1

    def face(self, idx, mat):
        self.faces.append(list(idx))
        self.face_mat.append(mat)


def _sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def _cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def _norm(a):
    length = math.sqrt(a[0] ** 2 + a[1] ** 2 + a[2] ** 2) or 1.0
    return (a[0] / length, a[1] / length, a[2] / length)


def quad(m, corners, mat, uvs=((0, 1), (1, 1), (1, 0), (0, 0))):
    """A flat polygon (3 or 4 corners, counter-clockwise seen from outside)."""
    n = _norm(_cross(_sub(corners[1], corners[0]), _sub(corners[2], corners[0])))
    idx = [m.vertex(c, n, uvs[i]) for i, c in enumerate(corners)]
    m.face(idx, mat)


def box(m, lo, hi, mat, repeat=(1, 1)):
    x0, y0, z0 = lo
    x1, y1, z1 = hi
    u, v = repeat
    uvs = ((0, v), (u, v), (u, 0), (0, 0))
    quad(m, [(x0, y0, z0), (x0, y1, z0), (x1, y1, z0), (x1, y0, z0)], mat, uvs)  # bottom
    quad(m, [(x0, y0, z1), (x1, y0, z1), (x1, y1, z1), (x0, y1, z1)], mat, uvs)  # top
    quad(m, [(x0, y0, z0), (x1, y0, z0), (x1, y0, z1), (x0, y0, z1)], mat, uvs)  # -y
    quad(m, [(x1, y1, z0), (x0, y1, z0), (x0, y1, z1), (x1, y1, z1)], mat, uvs)  # +y
    quad(m, [(x0, y1, z0), (x0, y0, z0), (x0, y0, z1), (x0, y1, z1)], mat, uvs)  # -x
    quad(m, [(x1, y0, z0), (x1, y1, z0), (x1, y1, z1), (x1, y0, z1)], mat, uvs)  # +x


def _axis_frame(axis):
    """Unit vectors (a, b, c): c along the axis, (a, b, c) right-handed."""
    return {"x": ((0, 1, 0), (0, 0, 1), (1, 0, 0)),
            "y": ((0, 0, 1), (1, 0, 0), (0, 1, 0)),
            "z": ((1, 0, 0), (0, 1, 0), (0, 0, 1))}[axis]


def _point(center, a, b, c, pa, pb, pc):
    return tuple(center[i] + a[i] * pa + b[i] * pb + c[i] * pc for i in range(3))


def cone(m, center, axis, length, r0, r1, mat, segments=16, caps=True, u_repeat=1.0):
    """A cylinder (r0 == r1) or a cone frustum from `center` along `axis` ('x', 'y', 'z')."""
    a, b, c = _axis_frame(axis)
    ring = []
    for i in range(segments + 1):
        t = 2 * math.pi * i / segments
        ca, sb = math.cos(t), math.sin(t)
        slope = (r0 - r1) / length
        n = _norm(tuple(a[k] * ca + b[k] * sb + c[k] * slope for k in range(3)))
        p0 = _point(center, a, b, c, r0 * ca, r0 * sb, 0)
        p1 = _point(center, a, b, c, r1 * ca, r1 * sb, length)
        ring.append((m.vertex(p0, n, (u_repeat * i / segments, 1)), m.vertex(p1, n, (u_repeat * i / segments, 0))))
    for i in range(segments):
        (b0, t0), (b1, t1) = ring[i], ring[i + 1]
        if r1 > 0:
            m.face([b0, b1, t1, t0], mat)
        else:
            m.face([b0, b1, t0], mat)
    if not caps:
        return
    for at, r, sign in ((0.0, r0, -1), (length, r1, 1)):
        if r <= 0:
            continue
        n = tuple(c[k] * sign for k in range(3))
        mid = m.vertex(_point(center, a, b, c, 0, 0, at), n, (0.5, 0.5))
        rim = []
        for i in range(segments):
            t = 2 * math.pi * i / segments
            rim.append(m.vertex(_point(center, a, b, c, r * math.cos(t), r * math.sin(t), at), n,
                                (0.5 + 0.5 * math.cos(t), 0.5 - 0.5 * math.sin(t))))
        for i in range(segments):
            j = (i + 1) % segments
            m.face([mid, rim[i], rim[j]] if sign > 0 else [mid, rim[j], rim[i]], mat)


def prism(m, outline_yz, x0, x1, mat):
    """A convex outline in the y-z plane (counter-clockwise seen from +x), extruded from x0 to x1."""
    front = [(x1, y, z) for y, z in outline_yz]
    back = [(x0, y, z) for y, z in reversed(outline_yz)]
    ys = [p[0] for p in outline_yz]
    zs = [p[1] for p in outline_yz]
    y_lo, y_span = min(ys), (max(ys) - min(ys)) or 1
    z_lo, z_span = min(zs), (max(zs) - min(zs)) or 1

    def cap(points, n):
        idx = [m.vertex(p, n, ((p[1] - y_lo) / y_span, 1 - (p[2] - z_lo) / z_span)) for p in points]
        m.face(idx, mat)
    cap(front, (1, 0, 0))
    cap(back, (-1, 0, 0))
    count = len(outline_yz)
    for i in range(count):
        (ya, za), (yb, zb) = outline_yz[i], outline_yz[(i + 1) % count]
        quad(m, [(x0, ya, za), (x0, yb, zb), (x1, yb, zb), (x1, ya, za)], mat)


# ------------------------------------------------------------------------------------------------------------------
# Writers

def _f(x):
    return ("%.6f" % x).rstrip("0").rstrip(".") if x != 0 else "0.000000"


def text_x(m, frame_name):
    out = ["xof 0303txt 0032", "", "Frame %s {" % frame_name,
           "  FrameTransformMatrix {", "    1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0;;", "  }",
           "  Mesh %sMesh {" % frame_name, "    %d;" % len(m.pos)]
    out += ["    %s;%s;%s;%s" % (_f(p[0]), _f(p[1]), _f(p[2]), "," if i + 1 < len(m.pos) else ";")
            for i, p in enumerate(m.pos)]
    out.append("    %d;" % len(m.faces))
    out += ["    %d;%s;%s" % (len(f), ",".join(str(i) for i in f), "," if k + 1 < len(m.faces) else ";")
            for k, f in enumerate(m.faces)]
    out += ["    MeshMaterialList {", "      %d;" % len(m.materials), "      %d;" % len(m.faces),
            "      " + ",".join(str(i) for i in m.face_mat) + ";"]
    for name, rgba, power, specular, emis, tex in m.materials:
        out += ["      Material %s {" % name, "        %s;%s;%s;%s;;" % tuple(_f(x) for x in rgba),
                "        %s;" % _f(power), "        %s;%s;%s;;" % tuple(_f(x) for x in specular),
                "        %s;%s;%s;;" % tuple(_f(x) for x in emis)]
        if tex:
            out += ["        TextureFilename {", '          "%s";' % tex, "        }"]
        out.append("      }")
    out.append("    }")
    out += ["    MeshNormals {", "      %d;" % len(m.nrm)]
    out += ["      %s;%s;%s;%s" % (_f(n[0]), _f(n[1]), _f(n[2]), "," if i + 1 < len(m.nrm) else ";")
            for i, n in enumerate(m.nrm)]
    out.append("      %d;" % len(m.faces))
    out += ["      %d;%s;%s" % (len(f), ",".join(str(i) for i in f), "," if k + 1 < len(m.faces) else ";")
            for k, f in enumerate(m.faces)]
    out.append("    }")
    out += ["    MeshTextureCoords {", "      %d;" % len(m.uv)]
    out += ["      %s;%s;%s" % (_f(t[0]), _f(t[1]), "," if i + 1 < len(m.uv) else ";") for i, t in enumerate(m.uv)]
    out += ["    }", "  }", "}", ""]
    return "\r\n".join(out).encode("latin-1")


# Binary tokens of the format.
TOK_NAME, TOK_STRING, TOK_INTEGER_LIST, TOK_FLOAT_LIST = 1, 2, 6, 7
TOK_OBRACE, TOK_CBRACE, TOK_SEMICOLON = 10, 11, 20


class _Bin:
    def __init__(self):
        self.parts = [b"xof 0303bin 0032"]

    def tok(self, t):
        self.parts.append(struct.pack("<H", t))

    def name(self, s):
        raw = s.encode("latin-1")
        self.parts.append(struct.pack("<HI", TOK_NAME, len(raw)) + raw)

    def string(self, s):
        raw = s.encode("latin-1")
        self.parts.append(struct.pack("<HI", TOK_STRING, len(raw)) + raw + struct.pack("<H", TOK_SEMICOLON))

    def ints(self, values):
        self.parts.append(struct.pack("<HI%dI" % len(values), TOK_INTEGER_LIST, len(values), *values))

    def floats(self, values):
        self.parts.append(struct.pack("<HI%df" % len(values), TOK_FLOAT_LIST, len(values), *values))

    def open(self, template, name=None):
        self.name(template)
        if name:
            self.name(name)
        self.tok(TOK_OBRACE)

    def close(self):
        self.tok(TOK_CBRACE)


def binary_x(m, frame_name):
    w = _Bin()
    w.open("Frame", frame_name)
    w.open("FrameTransformMatrix")
    w.floats([1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1])
    w.close()
    w.open("Mesh", frame_name + "Mesh")
    w.ints([len(m.pos)])
    w.floats([c for p in m.pos for c in p])
    faces = [len(m.faces)]
    for f in m.faces:
        faces += [len(f)] + f
    w.ints(faces)
    w.open("MeshMaterialList")
    w.ints([len(m.materials), len(m.faces)] + m.face_mat)
    for name, rgba, power, specular, emis, tex in m.materials:
        w.open("Material", name)
        w.floats(list(rgba) + [power] + list(specular) + list(emis))
        if tex:
            w.open("TextureFilename")
            w.string(tex)
            w.close()
        w.close()
    w.close()
    w.open("MeshNormals")
    w.ints([len(m.nrm)])
    w.floats([c for n in m.nrm for c in n])
    w.ints(faces)
    w.close()
    w.open("MeshTextureCoords")
    w.ints([len(m.uv)])
    w.floats([c for t in m.uv for c in t])
    w.close()
    w.close()
    w.close()
    return b"".join(w.parts)


# ------------------------------------------------------------------------------------------------------------------
# Textures: RGBA rows, top row first

def texture(width, height, texel):
    out = bytearray()
    for y in range(height):
        for x in range(width):
            out += bytes(texel(x, y))
    return bytes(out)


def loco_texture(x, y):  # dark red paint with a yellow lining and two windows
    if y in (6, 7) or y in (56, 57):
        return (230, 190, 40, 255)
    if 18 <= y < 36 and (8 <= x < 24 or 40 <= x < 56):
        return (150, 190, 220, 255)
    shade = 120 + (x * 7 + y * 3) % 12
    return (shade, 20, 25, 255)


def wagon_texture(x, y):  # brown planks with dark seams
    if y % 8 == 0:
        return (60, 35, 20, 255)
    grain = ((x * 5 + (y // 8) * 11) % 17) * 2
    return (140 + grain, 95 + grain // 2, 55, 255)


def house_texture(x, y):  # bricks with mortar
    row = y // 8
    shift = 8 if row % 2 else 0
    if y % 8 == 7 or (x + shift) % 16 == 15:
        return (200, 195, 185, 255)
    tone = ((x + shift) // 16 * 13 + row * 7) % 30
    return (160 + tone, 70 + tone // 2, 50, 255)


def signal_texture(x, y):  # red and white bands round the mast
    return (220, 30, 30, 255) if (y // 8) % 2 == 0 else (240, 240, 240, 255)


def tree_texture(x, y):  # leaves: green blobs with holes (alpha 0) between them
    cx, cy = (x % 16) - 7.5, (y % 16) - 7.5
    if cx * cx + cy * cy > 60:
        return (0, 0, 0, 0)
    tone = ((x * 3 + y * 5) % 40)
    return (40 + tone, 120 + tone, 40, 255)


def vekvoxa_texture(x, y):  # the plate: the overlay's green above an orange line, the background's grey below
    if 28 <= y < 36:
        return (242, 128, 20, 255)
    if y < 28:
        return (0, 126 - (x % 8), 78, 255)
    return (150 - (x % 8), 146, 140, 255)


# ------------------------------------------------------------------------------------------------------------------
# Models

OPAQUE_WHITE = (1.0, 1.0, 1.0, 1.0)


def make_loco():
    m = Mesh()
    black = m.material("Black", (0.08, 0.08, 0.08, 1.0))
    paint = m.material("Paint", OPAQUE_WHITE, "scenes\\textures\\loco.bmp")
    metal = m.material("Metal", (0.35, 0.35, 0.38, 1.0))
    box(m, (-2.6, -0.7, 0.5), (2.6, 0.7, 0.8), black)                    # chassis
    cone(m, (-2.3, 0.0, 1.45), "x", 3.0, 0.65, 0.65, paint, 20)          # boiler
    box(m, (0.8, -0.8, 0.8), (2.4, 0.8, 2.6), paint)                      # cab
    box(m, (0.6, -0.9, 2.6), (2.6, 0.9, 2.75), metal)                     # cab roof
    cone(m, (-1.9, 0.0, 2.0), "z", 0.8, 0.18, 0.26, black, 12)            # chimney
    cone(m, (-2.75, 0.0, 1.45), "x", 0.45, 0.5, 0.5, metal, 20)           # smoke box door
    for x in (-1.7, -0.4, 0.9, 2.0):
        for y in (-0.75, 0.6):
            cone(m, (x, y, 0.5), "y", 0.15, 0.45, 0.45, black, 16)        # wheels
    return m


def make_wagon():
    m = Mesh()
    wood = m.material("Planks", OPAQUE_WHITE, "scenes\\textures\\wagon.bmp")
    black = m.material("Iron", (0.1, 0.1, 0.1, 1.0))
    box(m, (-2.2, -0.75, 0.5), (2.2, 0.75, 0.7), black)                   # floor frame
    box(m, (-2.2, -0.75, 0.7), (2.2, -0.6, 1.9), wood, (3, 1))            # side walls
    box(m, (-2.2, 0.6, 0.7), (2.2, 0.75, 1.9), wood, (3, 1))
    box(m, (-2.2, -0.6, 0.7), (-2.05, 0.6, 1.9), wood)                     # end walls
    box(m, (2.05, -0.6, 0.7), (2.2, 0.6, 1.9), wood)
    for x in (-1.4, 1.4):
        for y in (-0.7, 0.55):
            cone(m, (x, y, 0.45), "y", 0.15, 0.42, 0.42, black, 16)
    box(m, (-2.5, -0.5, 0.55), (-2.2, -0.3, 0.65), black)                 # buffers
    box(m, (-2.5, 0.3, 0.55), (-2.2, 0.5, 0.65), black)
    box(m, (2.2, -0.5, 0.55), (2.5, -0.3, 0.65), black)
    box(m, (2.2, 0.3, 0.55), (2.5, 0.5, 0.65), black)
    return m


def make_house():
    m = Mesh()
    brick = m.material("Bricks", OPAQUE_WHITE, "scenes\\textures\\house.bmp")
    roof = m.material("Roof", (0.55, 0.12, 0.1, 1.0))
    door = m.material("Door", (0.3, 0.2, 0.1, 1.0))
    box(m, (-2.0, -1.5, 0.0), (2.0, 1.5, 2.4), brick, (2, 1))
    prism_x = [(-1.8, 2.4), (1.8, 2.4), (0.0, 3.8)]
    for outline in [prism_x]:
        prism(m, [(y, z) for y, z in outline], -2.2, 2.2, roof)
    box(m, (-2.05, -0.4, 0.0), (-2.0, 0.4, 1.5), door)
    box(m, (1.0, 0.5, 2.8), (1.4, 0.9, 3.9), brick)                       # chimney
    return m


def make_signal():
    m = Mesh()
    stripes = m.material("Mast", OPAQUE_WHITE, "scenes\\textures\\signal.bmp")
    black = m.material("Head", (0.05, 0.05, 0.05, 1.0))
    red = m.material("RedLamp", (1.0, 0.1, 0.05, 1.0), emissive=(0.3, 0.0, 0.0))
    green = m.material("GreenLamp", (0.1, 0.9, 0.2, 1.0))
    grey = m.material("Base", (0.45, 0.45, 0.45, 1.0))
    box(m, (-0.4, -0.4, 0.0), (0.4, 0.4, 0.3), grey)
    cone(m, (0.0, 0.0, 0.3), "z", 2.4, 0.12, 0.1, stripes, 12, u_repeat=2.0)
    box(m, (-0.25, -0.35, 2.4), (0.25, 0.35, 3.6), black)
    cone(m, (-0.3, 0.0, 3.25), "x", 0.06, 0.18, 0.18, red, 16)
    cone(m, (-0.3, 0.0, 2.75), "x", 0.06, 0.18, 0.18, green, 16)
    return m


def make_tree():
    m = Mesh()
    bark = m.material("Bark", (0.4, 0.26, 0.13, 1.0))
    leaves = m.material("Leaves", OPAQUE_WHITE, "scenes\\textures\\tree.bmp")
    cone(m, (0.0, 0.0, 0.0), "z", 1.2, 0.25, 0.2, bark, 10)
    for z, r, h in ((0.9, 1.5, 1.4), (1.7, 1.15, 1.2), (2.4, 0.8, 1.1)):
        cone(m, (0.0, 0.0, z), "z", h, r, 0.0, leaves, 18, u_repeat=4.0)
    return m


def letter_v(m, y_mid, mat, x0=-0.3, x1=0.3, z0=-1.0, z1=1.6, half_top=1.05, stroke=0.42):
    """A V in the y-z plane (seen from -x it reads as V), two slanted bars meeting at the bottom."""
    bottom_half = stroke * 0.6
    prism(m, [(y_mid - bottom_half, z0), (y_mid, z0), (y_mid - half_top + stroke, z1), (y_mid - half_top, z1)],
          x0, x1, mat)
    prism(m, [(y_mid, z0), (y_mid + bottom_half, z0), (y_mid + half_top, z1), (y_mid + half_top - stroke, z1)],
          x0, x1, mat)


def make_vekvoxa():
    m = Mesh()
    green = m.material("VekGreen", (0.0, 0.494, 0.306, 1.0), power=16.0)
    orange = m.material("VoxaOrange", (0.95, 0.5, 0.08, 1.0), power=16.0)
    plate = m.material("Plate", OPAQUE_WHITE, "scenes\\textures\\VekVoxa.bmp")
    # Seen from the camera on -x, +y is on the left: the first V (green) stands at +y, the second at -y.
    letter_v(m, 1.15, green)
    letter_v(m, -1.15, orange)
    # The model stands around the origin, where the camera looks.
    cone(m, (0.0, 0.0, -1.6), "z", 0.6, 2.6, 2.4, plate, 32)
    return m


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    print("wrote", os.path.relpath(path, ROOT))


def main():
    xdir = os.path.join(ROOT, "samples", "game", "scenes", "xfiles")
    tdir = os.path.join(ROOT, "samples", "game", "scenes", "textures")
    models = [("loco", make_loco, binary_x, loco_texture, "A8R8G8B8"),
              ("wagon", make_wagon, text_x, wagon_texture, "DXT1"),
              ("house", make_house, binary_x, house_texture, "DXT1"),
              ("signal", make_signal, text_x, signal_texture, "A8R8G8B8"),
              ("tree", make_tree, text_x, tree_texture, "DXT1")]
    for name, build, writer, texel, fmt in models:
        write(os.path.join(xdir, name + ".x"), writer(build(), name.capitalize()))
        path = os.path.join(tdir, name + ".dds")
        os.makedirs(tdir, exist_ok=True)
        write_dds(path, 64, 64, texture(64, 64, texel), fmt)
        print("wrote", os.path.relpath(path, ROOT))

    rdir = os.path.join(ROOT, "app", "resources", "scenes")
    write(os.path.join(rdir, "xfiles", "VekVoxa.x"), text_x(make_vekvoxa(), "VekVoxa"))
    path = os.path.join(rdir, "textures", "vekvoxa.dds")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    write_dds(path, 64, 64, texture(64, 64, vekvoxa_texture), "A8R8G8B8")
    print("wrote", os.path.relpath(path, ROOT))


if __name__ == "__main__":
    main()
