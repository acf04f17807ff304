#!/usr/bin/env python3
"""The geometry of the scaling benchmark (bench/scaling.sh), as kx text.

  scaling_scenes.py spheres N   N spheres of one size, scattered through the
                                same cube whatever N (radii shrink as N grows)
  scaling_scenes.py mesh Q      a PolySet of Q quadrilaterals: a rippled grid
                                of 20 x 20 units, rows x columns = Q

The commands go to standard output, for a world block. For a mesh, standard
error gets "vertices V quads Q bytes B", B the size of its vertex and index
data as the renderer holds it: 3 floats a vertex, 4 indices and the end mark
a quad, 4 bytes each.
"""
import math
import sys


def spheres(out, n):
    radius = 0.9 * (1000.0 / n) ** (1.0 / 3.0)
    seed = 12345
    for _ in range(n):
        xyz = []
        for _ in range(3):
            seed = (seed * 1103515245 + 12345) % 2147483648
            xyz.append(20.0 * seed / 2147483648.0 - 10.0)
        out.write("XformPush\nTranslate %.4f %.4f %.4f\nSphere %.4f %.4f %.4f 360\nXformPop\n"
                  % (xyz[0], xyz[1], xyz[2], radius, -radius, radius))


def mesh(out, quads):
    # The grid closest to square with exactly that many cells.
    rows = max(d for d in range(1, math.isqrt(quads) + 1) if quads % d == 0)
    cols = quads // rows
    n = cols + 1
    nverts = (rows + 1) * n
    sys.stderr.write("vertices %d quads %d bytes %d\n" % (nverts, quads, 12 * nverts + 20 * quads))
    out.write('PolySet "P" %d %d\n' % (nverts, quads))
    for j in range(rows + 1):
        y = -10.0 + 20.0 * j / rows
        sy = 0.6 * math.sin(0.7 * y)
        out.write("".join("%.4f %.4f %.4f\n" % (x, y, sy * math.sin(0.5 * x))
                          for x in (-10.0 + 20.0 * i / cols for i in range(n))))
    for j in range(rows):
        r = j * n
        out.write("".join("%d %d %d %d -1\n" % (r + i, r + i + 1, r + n + i + 1, r + n + i) for i in range(cols)))


def main(argv):
    if len(argv) == 2 and argv[0] in ("spheres", "mesh") and argv[1].isdigit() and int(argv[1]) > 0:
        (spheres if argv[0] == "spheres" else mesh)(sys.stdout, int(argv[1]))
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
