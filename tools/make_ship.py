#!/usr/bin/env python3
"""Generates assets/ship.xxx, the scene's model: a small spacecraft with a hull, a canopy,
swept wings, engine pods at the wing tips and two canted tail fins.

Each part is a closed shell. Faces are wound so that the cross product (b - a) x (c - a)
of a face (a, b, c) points out of the shell: the device draws faces whose corners run
clockwise on the screen and culls the rest, so the outside of every part shows.

The model is built nose along +y with its top toward -z, then tilted so the nose leans away
from -z, the side the scene's camera sees. There is no depth buffer, so the faces are
written farthest first as seen from that side (largest z first).

Usage: make_ship.py [output] [--preview image.ppm]
"""
import math
import sys

SIDES_HULL = 12
TILT_DEGREES = 25.0


class Shell:
    def __init__(self):
        self.points = []
        self.faces = []

    def add(self, p):
        self.points.append(p)
        return len(self.points) - 1

    def ring(self, pts):
        return [self.add(p) for p in pts]

    def band(self, r0, r1):
        n = len(r0)
        for k in range(n):
            a, b = r0[k], r0[(k + 1) % n]
            c, d = r1[k], r1[(k + 1) % n]
            self.faces.append((a, b, d))
            self.faces.append((a, d, c))

    # The closing faces of a ring run around it against the band beside them: `last`
    # tells whether the ring ends the bands (they run the other way round there).
    def fan(self, centre, ring, last=False):
        n = len(ring)
        for k in range(n):
            p, q = ring[(k + 1) % n], ring[k]
            self.faces.append((centre, q, p) if last else (centre, p, q))

    def cap(self, ring, last=False):
        # Closes a flat, convex ring with a fan from its first corner.
        for k in range(1, len(ring) - 1):
            p, q = ring[k + 1], ring[k]
            self.faces.append((ring[0], q, p) if last else (ring[0], p, q))

    def volume(self):
        v = 0.0
        for a, b, c in self.faces:
            v += dot(self.points[a], cross(self.points[b], self.points[c]))
        return v / 6.0

    def orient_outward(self):
        # The construction above is consistent within a shell; flip it whole if inside out.
        if self.volume() < 0:
            self.faces = [(a, c, b) for a, b, c in self.faces]


def sub(p, q):
    return (p[0] - q[0], p[1] - q[1], p[2] - q[2])


def cross(p, q):
    return (p[1] * q[2] - p[2] * q[1], p[2] * q[0] - p[0] * q[2], p[0] * q[1] - p[1] * q[0])


def dot(p, q):
    return p[0] * q[0] + p[1] * q[1] + p[2] * q[2]


def ellipse(y, width, top, bottom, sides, cx=0.0, cz=0.0):
    """A cross-section across y: half-width `width`, reaching `top` toward -z and `bottom`
    toward +z."""
    pts = []
    for k in range(sides):
        t = 2 * math.pi * k / sides
        s = math.sin(t)
        z = -top * s if s > 0 else -bottom * s
        pts.append((cx + width * math.cos(t), y, cz + z))
    return pts


def hull():
    s = Shell()
    stations = [  # y, half-width, height above, depth below
        (-44.0, 8.0, 5.0, 4.0),
        (-36.0, 11.0, 7.5, 5.5),
        (-16.0, 12.5, 9.0, 6.5),
        (6.0, 11.0, 8.5, 6.0),
        (24.0, 8.0, 6.0, 4.5),
        (40.0, 4.0, 3.0, 2.5),
    ]
    rings = [s.ring(ellipse(y, w, t, b, SIDES_HULL)) for y, w, t, b in stations]
    for r0, r1 in zip(rings, rings[1:]):
        s.band(r0, r1)
    s.fan(s.add((0.0, 54.0, 0.5)), rings[-1], last=True)
    s.fan(s.add((0.0, -47.0, 0.0)), rings[0])
    return s


def canopy():
    s = Shell()
    stations = [(2.0, 2.5, 2.0), (12.0, 4.0, 3.5), (24.0, 3.0, 2.5)]
    rings = [s.ring(ellipse(y, w, h, 0.5, 8, cz=-7.0)) for y, w, h in stations]
    for r0, r1 in zip(rings, rings[1:]):
        s.band(r0, r1)
    s.fan(s.add((0.0, 32.0, -5.5)), rings[-1], last=True)
    s.fan(s.add((0.0, -3.0, -6.0)), rings[0])
    return s


def airfoil(lead, trail, thickness, at, axis):
    """Six corners of a wing section whose chord runs along y from `trail` to `lead`.
    `axis` 'x': the section lies in the plane x = at (z is the thickness);
    `axis` 'z': the section lies in the plane z = at (x is the thickness)."""
    chord = lead - trail
    ys = [lead, trail + 0.7 * chord, trail + 0.25 * chord, trail]
    half = [0.0, thickness * 0.5, thickness * 0.35, 0.0]
    corners = [(ys[0], 0.0), (ys[1], -half[1]), (ys[2], -half[2]), (ys[3], 0.0),
               (ys[2], half[2]), (ys[1], half[1])]
    if axis == 'x':
        return [(at[0], y, at[1] + d) for y, d in corners]
    return [(at[0] + d, y, at[1]) for y, d in corners]


def wing(side):
    s = Shell()
    root = s.ring(airfoil(12.0, -30.0, 5.0, (side * 6.0, 1.0), 'x'))
    mid = s.ring(airfoil(-8.0, -34.0, 3.0, (side * 30.0, 0.0), 'x'))
    tip = s.ring(airfoil(-22.0, -38.0, 1.8, (side * 46.0, -1.5), 'x'))
    s.band(root, mid)
    s.band(mid, tip)
    s.cap(root)
    s.cap(tip, last=True)
    return s


def pod(side):
    s = Shell()
    x = side * 48.0
    stations = [(-46.0, 3.0), (-42.0, 4.5), (-22.0, 4.5), (-14.0, 2.5)]
    rings = [s.ring(ellipse(y, r, r, r, 10, cx=x, cz=-1.5)) for y, r in stations]
    for r0, r1 in zip(rings, rings[1:]):
        s.band(r0, r1)
    s.fan(s.add((x, -8.0, -1.5)), rings[-1], last=True)
    s.fan(s.add((x, -44.0, -1.5)), rings[0])
    return s


def fin(side):
    s = Shell()
    root = s.ring(airfoil(-20.0, -44.0, 3.0, (side * 4.0, -5.0), 'z'))
    tip = s.ring(airfoil(-37.0, -47.0, 1.2, (side * 13.0, -24.0), 'z'))
    s.band(root, tip)
    s.cap(root)
    s.cap(tip, last=True)
    return s


def build():
    shells = [hull(), canopy(), wing(1), wing(-1), pod(1), pod(-1), fin(1), fin(-1)]
    a = math.radians(TILT_DEGREES)
    ca, sa = math.cos(a), math.sin(a)
    points, faces = [], []
    for s in shells:
        s.orient_outward()
        base = len(points)
        for x, y, z in s.points:
            points.append((x, y * ca - z * sa, y * sa + z * ca))
        faces += [(base + p, base + q, base + r) for p, q, r in s.faces]
    # Centre the model on the origin.
    lo = [min(p[i] for p in points) for i in range(3)]
    hi = [max(p[i] for p in points) for i in range(3)]
    mid = [(lo[i] + hi[i]) / 2 for i in range(3)]
    points = [tuple(round(p[i] - mid[i], 3) for i in range(3)) for p in points]
    # Farthest first as seen from -z: painted over by whatever lies nearer.
    faces.sort(key=lambda f: -sum(points[i][2] for i in f))
    return points, faces


def write_mesh(path, points, faces):
    with open(path, 'w', newline='\n') as out:
        out.write('%d\n' % len(points))
        for p in points:
            out.write('%.3f %.3f %.3f\n' % p)
        out.write('-\n')
        out.write('%d\n' % len(faces))
        for f in faces:
            out.write('%d %d %d\n' % f)


def preview(path, points, faces):
    """Rough picture of the start pose: camera 200 units along -z looking toward +z, the
    scene's projection and viewport, colour from the point light at (0, 100, 100) with every
    normal (0, 0, 1), no depth test, faces turning anticlockwise on screen skipped."""
    w, h = 640, 480
    img = [[(0, 0, 0)] * w for _ in range(h)]

    def shade(p):
        l = sub((0.0, 100.0, 100.0), p)
        n = math.sqrt(dot(l, l))
        v = 0.5 + 0.5 * max(0.0, l[2] / n)
        return v

    scr = []
    for x, y, z in points:
        zv = z + 200.0
        scr.append((320 + 640 * x / zv, 240 - 360 * y / zv, shade((x, y, z))))
    for f in faces:
        (x0, y0, c0), (x1, y1, c1), (x2, y2, c2) = (scr[i] for i in f)
        area = (x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0)
        if area <= 0:
            continue
        for py in range(max(0, int(min(y0, y1, y2))), min(h, int(max(y0, y1, y2)) + 2)):
            for px in range(max(0, int(min(x0, x1, x2))), min(w, int(max(x0, x1, x2)) + 2)):
                w0 = (x1 - px) * (y2 - py) - (x2 - px) * (y1 - py)
                w1 = (x2 - px) * (y0 - py) - (x0 - px) * (y2 - py)
                w2 = (x0 - px) * (y1 - py) - (x1 - px) * (y0 - py)
                if w0 >= 0 and w1 >= 0 and w2 >= 0:
                    c = (w0 * c0 + w1 * c1 + w2 * c2) / area
                    v = int(255 * c)
                    img[py][px] = (v, 0, v)
    with open(path, 'wb') as out:
        out.write(b'P6 %d %d 255\n' % (w, h))
        out.write(bytes(v for row in img for px in row for v in px))


def main():
    args = sys.argv[1:]
    prev = None
    if '--preview' in args:
        i = args.index('--preview')
        prev = args[i + 1]
        del args[i:i + 2]
    out = args[0] if args else 'assets/ship.xxx'
    points, faces = build()
    assert len(faces) <= 666, len(faces)
    write_mesh(out, points, faces)
    lo = [min(p[i] for p in points) for i in range(3)]
    hi = [max(p[i] for p in points) for i in range(3)]
    print('%s: %d vertices, %d faces, extent %s' %
          (out, len(points), len(faces), ' x '.join('%.1f' % (hi[i] - lo[i]) for i in range(3))))
    if prev:
        preview(prev, points, faces)


if __name__ == '__main__':
    main()
