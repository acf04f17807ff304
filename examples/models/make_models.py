#!/usr/bin/env python3
"""Writes the gallery's models, one of each kind kxrender-import reads, made
here from formulas (nothing downloaded): a torus in OBJ with two MTL
materials, a textured crate in glTF with its PNG, a ball in GLB, a spring in
binary PLY, a column in ASCII PLY, a gem in ASCII STL and a vase in binary
STL. Run from anywhere: python3 examples/models/make_models.py"""
import base64, json, math, os, struct, zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def out(name, data, mode="w"):
    with open(os.path.join(HERE, name), mode) as f:
        f.write(data)


def r(v):
    return round(v, 5)


def torus():
    R, a, n, m = 1.0, 0.38, 32, 16
    vs, vns, vts, faces = [], [], [], []
    for i in range(n + 1):
        for j in range(m + 1):
            u, v = 2 * math.pi * i / n, 2 * math.pi * j / m
            cx, cy = math.cos(u), math.sin(u)
            vs.append((r((R + a * math.cos(v)) * cx), r((R + a * math.cos(v)) * cy), r(a * math.sin(v))))
            vns.append((r(math.cos(v) * cx), r(math.cos(v) * cy), r(math.sin(v))))
            vts.append((r(i / n), r(j / m)))
    text = "# A torus in two materials, written by make_models.py\nmtllib torus.mtl\n"
    text += "".join("v %g %g %g\n" % p for p in vs)
    text += "".join("vt %g %g\n" % t for t in vts)
    text += "".join("vn %g %g %g\n" % p for p in vns)
    for half, mat in ((0, "copper"), (1, "jade")):
        text += "usemtl %s\n" % mat
        for i in range(half * n // 2, (half + 1) * n // 2):
            for j in range(m):
                a0 = i * (m + 1) + j + 1
                q = (a0, a0 + m + 1, a0 + m + 2, a0 + 1)
                text += "f " + " ".join("%d/%d/%d" % (k, k, k) for k in q) + "\n"
    out("torus.obj", text)
    out("torus.mtl", "newmtl copper\nKd 0.85 0.45 0.2\nKs 0.7 0.6 0.5\nNs 40\n"
                     "newmtl jade\nKd 0.2 0.65 0.45\nKs 0.3 0.3 0.3\nNs 12\n")


def png(width, height, pixel):
    raw = b"".join(b"\0" + bytes(c for x in range(width) for c in pixel(x, y)) for y in range(height))
    chunk = lambda t, d: struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def gltf_document(positions, normals, uvs, indices, material, images=None):
    blob = b"".join(struct.pack("<I", i) for i in indices)
    offsets = [0, len(blob)]
    for arr, k in ((positions, 3), (normals, 3), (uvs, 2)):
        blob += b"".join(struct.pack("<%df" % k, *v) for v in arr)
        offsets.append(len(blob))
    views = [{"buffer": 0, "byteOffset": offsets[i], "byteLength": offsets[i + 1] - offsets[i]} for i in range(4)]
    lo = [min(p[k] for p in positions) for k in range(3)]
    hi = [max(p[k] for p in positions) for k in range(3)]
    doc = {
        "asset": {"version": "2.0", "generator": "make_models.py"},
        "scene": 0, "scenes": [{"nodes": [0]}],
        "nodes": [{"name": "root", "rotation": [0, 0, 0.3826834, 0.9238795], "children": [1]},
                  {"name": "body", "mesh": 0, "scale": [1, 1, 1]}],
        "meshes": [{"primitives": [{"attributes": {"POSITION": 1, "NORMAL": 2, "TEXCOORD_0": 3},
                                    "indices": 0, "material": 0}]}],
        "materials": [material],
        "accessors": [{"bufferView": 0, "componentType": 5125, "count": len(indices), "type": "SCALAR"},
                      {"bufferView": 1, "componentType": 5126, "count": len(positions), "type": "VEC3",
                       "min": lo, "max": hi},
                      {"bufferView": 2, "componentType": 5126, "count": len(normals), "type": "VEC3"},
                      {"bufferView": 3, "componentType": 5126, "count": len(uvs), "type": "VEC2"}],
        "bufferViews": views,
        "buffers": [{"byteLength": len(blob)}],
    }
    if images:
        doc["textures"] = [{"source": 0}]
        doc["images"] = images
    return doc, blob


def crate():
    positions, normals, uvs, indices = [], [], [], []
    for axis in range(3):
        for sign in (1, -1):
            n = [0, 0, 0]
            n[axis] = sign
            u = [0, 0, 0]
            u[(axis + 1) % 3] = 1
            v = [0, 0, 0]
            v[(axis + 2) % 3] = 1
            if sign < 0:
                u, v = v, u
            base = len(positions)
            for cu, cv in ((-1, -1), (1, -1), (1, 1), (-1, 1)):
                positions.append([n[k] + cu * u[k] + cv * v[k] for k in range(3)])
                normals.append(n)
                uvs.append([(cu + 1) / 2, (1 - cv) / 2])
            indices += [base, base + 1, base + 2, base, base + 2, base + 3]
    doc, blob = gltf_document(positions, normals, uvs, indices,
                              {"name": "crate", "pbrMetallicRoughness": {"baseColorTexture": {"index": 0}}},
                              [{"uri": "crate.png"}])
    doc["buffers"][0]["uri"] = "data:application/octet-stream;base64," + base64.b64encode(blob).decode()
    out("crate.gltf", json.dumps(doc, indent=1) + "\n")

    def wood(x, y):
        edge = x < 3 or y < 3 or x > 28 or y > 28 or abs(x - y) < 2
        grain = 20 * math.sin(y * 0.9 + 3 * math.sin(x * 0.3))
        return (90, 55, 25) if edge else (int(190 + grain), int(140 + grain * 0.7), int(80 + grain * 0.4))
    out("crate.png", png(32, 32, wood), "wb")


def ball():
    rows, cols = 16, 32
    positions, normals, uvs, indices = [], [], [], []
    for i in range(rows + 1):
        for j in range(cols + 1):
            t, p = math.pi * i / rows, 2 * math.pi * j / cols
            q = [math.sin(t) * math.cos(p), math.cos(t), math.sin(t) * math.sin(p)]
            positions.append(q)
            normals.append(q)
            uvs.append([j / cols, i / rows])
    for i in range(rows):
        for j in range(cols):
            a = i * (cols + 1) + j
            b = a + cols + 1
            indices += [a, a + 1, b, a + 1, b + 1, b]
    doc, blob = gltf_document(positions, normals, uvs, indices,
                              {"name": "blue glass",
                               "pbrMetallicRoughness": {"baseColorFactor": [0.2, 0.35, 0.9, 1]}})
    doc["nodes"][0]["rotation"] = [0, 0, 0, 1]
    js = json.dumps(doc).encode()
    js += b" " * (-len(js) % 4)
    blob += b"\0" * (-len(blob) % 4)
    glb = struct.pack("<4sII", b"glTF", 2, 12 + 8 + len(js) + 8 + len(blob))
    glb += struct.pack("<I4s", len(js), b"JSON") + js + struct.pack("<I4s", len(blob), b"BIN\0") + blob
    out("ball.glb", glb, "wb")


def ply(name, vertices, faces, binary):
    head = "ply\nformat %s 1.0\ncomment written by make_models.py\nelement vertex %d\n" % (
        "binary_little_endian" if binary else "ascii", len(vertices))
    head += "".join("property float %s\n" % c for c in ("x", "y", "z", "nx", "ny", "nz"))
    head += "element face %d\nproperty list uchar int vertex_indices\nend_header\n" % len(faces)
    if binary:
        body = b"".join(struct.pack("<6f", *v) for v in vertices)
        body += b"".join(struct.pack("<B%di" % len(f), len(f), *f) for f in faces)
        out(name, head.encode() + body, "wb")
    else:
        body = "".join(" ".join("%g" % r(c) for c in v) + "\n" for v in vertices)
        body += "".join("%d %s\n" % (len(f), " ".join(map(str, f))) for f in faces)
        out(name, head + body)


def tube(path, radius, n, m):
    """A tube of radius(t) around a curve path(t), t in 0..1."""
    vs, faces = [], []
    for i in range(n + 1):
        t = i / n
        c, c2 = path(t), path(min(t + 1e-3, 1) if t < 1 else t)
        if t >= 1:
            c, c2 = path(t - 1e-3), path(t)
        d = [c2[k] - c[k] for k in range(3)]
        dl = math.sqrt(sum(x * x for x in d))
        d = [x / dl for x in d]
        side = [d[1], -d[0], 0] if abs(d[2]) < 0.9 else [0, d[2], -d[1]]
        sl = math.sqrt(sum(x * x for x in side))
        side = [x / sl for x in side]
        up = [d[1] * side[2] - d[2] * side[1], d[2] * side[0] - d[0] * side[2], d[0] * side[1] - d[1] * side[0]]
        p = path(t)
        for j in range(m):
            a = 2 * math.pi * j / m
            nrm = [math.cos(a) * side[k] + math.sin(a) * up[k] for k in range(3)]
            vs.append([p[k] + radius(t) * nrm[k] for k in range(3)] + nrm)
    for i in range(n):
        for j in range(m):
            a, b = i * m + j, i * m + (j + 1) % m
            faces.append([a, a + m, b + m, b])
    return vs, faces


def spring():
    vs, faces = tube(lambda t: (0.7 * math.cos(t * 8 * math.pi), 0.7 * math.sin(t * 8 * math.pi), 2.4 * t - 1.2),
                     lambda t: 0.14, 160, 10)
    ply("spring.ply", vs, faces, True)


def column():
    # A fluted column: a lathe profile with 16 grooves.
    n, m = 24, 48
    vs, faces = [], []
    for i in range(n + 1):
        z = -1.2 + 2.4 * i / n
        base = 0.55 + (0.25 if abs(z) > 1.0 else 0)
        for j in range(m):
            a = 2 * math.pi * j / m
            rr = base - 0.05 * (1 + math.cos(16 * a)) * (abs(z) <= 1.0)
            vs.append([rr * math.cos(a), rr * math.sin(a), z, math.cos(a), math.sin(a), 0])
    for i in range(n):
        for j in range(m):
            a, b = i * m + j, i * m + (j + 1) % m
            faces.append([a, b, b + m, a + m])
    ply("column.ply", vs, faces, False)


def normal(a, b, c):
    u = [b[k] - a[k] for k in range(3)]
    v = [c[k] - a[k] for k in range(3)]
    n = [u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]]
    ln = math.sqrt(sum(x * x for x in n)) or 1
    return [x / ln for x in n]


def stl(name, triangles, binary):
    if binary:
        data = b"binary STL written by make_models.py".ljust(80, b" ") + struct.pack("<I", len(triangles))
        for t in triangles:
            data += struct.pack("<12fH", *normal(*t), *t[0], *t[1], *t[2], 0)
        out(name, data, "wb")
    else:
        text = "solid %s\n" % name
        for t in triangles:
            text += " facet normal %g %g %g\n  outer loop\n" % tuple(r(x) for x in normal(*t))
            text += "".join("   vertex %g %g %g\n" % tuple(r(x) for x in p) for p in t)
            text += "  endloop\n endfacet\n"
        out(name, text + "endsolid %s\n" % name)


def gem():
    # A brilliant-like gem: a table, a crown and a pavilion of 8 facets each.
    k = 8
    ring = lambda rr, z, off: [[rr * math.cos(2 * math.pi * (i + off) / k), rr * math.sin(2 * math.pi * (i + off) / k), z]
                               for i in range(k)]
    table, girdle = ring(0.55, 0.45, 0.5), ring(1.0, 0.0, 0)
    top, tip = [0, 0, 0.45], [0, 0, -1.1]
    tris = []
    for i in range(k):
        j = (i + 1) % k
        tris.append([top, table[i], table[j]])
        tris.append([table[i], girdle[i], girdle[j]])
        tris.append([table[i], girdle[j], table[j]])
        tris.append([girdle[j], girdle[i], tip])
    stl("gem.stl", tris, False)


def vase():
    n, m = 28, 40
    prof = lambda t: 0.35 + 0.45 * math.sin(math.pi * (0.15 + 0.8 * t)) ** 2 - 0.15 * t
    pts = [[[prof(i / n) * math.cos(2 * math.pi * j / m), prof(i / n) * math.sin(2 * math.pi * j / m),
             -1.2 + 2.4 * i / n] for j in range(m)] for i in range(n + 1)]
    tris = []
    for i in range(n):
        for j in range(m):
            a, b, c, d = pts[i][j], pts[i][(j + 1) % m], pts[i + 1][(j + 1) % m], pts[i + 1][j]
            tris += [[a, b, c], [a, c, d]]
    stl("vase.stl", tris, True)


if __name__ == "__main__":
    torus(); crate(); ball(); spring(); column(); gem(); vase()
