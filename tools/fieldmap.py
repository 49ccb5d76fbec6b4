"""Field map of the demo bending magnet.

Model: two flat poles at y = +-G (G = 15 cm, so the full gap D = 30 cm) whose
normal field follows the product of Enge fringe functions,
    By(u, +-G, w) = B0 f(u, w),
    f(u, w) = E((u - u2)/D) E((u1 - u)/D) E((w - w2)/D) E((w1 - w)/D),
    E(s) = 1 / (1 + exp(c0 + c1 s + ... + c5 s^5)),
with u1..u2 and w1..w2 the edges of the poles. Between the poles the field is
the unique curl- and divergence-free field with that normal component on both
poles: with f^ the 2-D Fourier transform of f and k = |(ku, kw)|,
    By^ = B0 f^ cosh(k y) / cosh(k G)
    Bu^ = i ku B0 f^ sinh(k y) / (k cosh(k G)),   Bw^ likewise with kw,
with the pole-face value B0' chosen so that the midplane field at the magnet
centre (u = -0.2 m, w = 0) is B0 = 1 T. The field is computed with a fast Fourier transform on a 128 x 128 periodic grid
of 5 cm spacing (6.4 m square; the field of the periodic images is below
1e-10 of B0 inside the map). The fringe field is thus the Enge edge seen
through the gap, and it satisfies Maxwell's equations exactly.

Coordinates: u is the magnet's horizontal transverse axis (the map's x), w
runs along the magnet (the map's z), y is up. The grid is the one the
program's look-up implies: node (i, j), 0 <= i, j <= 45, lies at
u = 0.05 (i + j) - 2.45 m and w = 0.05 (i - j) m; line 46 i + j of a plane
after its eight header lines holds that node. Every node is a point of the
Fourier grid, so no interpolation is needed.
"""

import cmath
import math

GAUSS_PER_TESLA = 10000.0
B0 = 1.0  # T at the magnet centre on the midplane; a lattice scales the map with "field"
HALF_GAP = 0.15  # m, pole face height
GAP = 2 * HALF_GAP  # m, the Enge length scale
# The poles are centred on the middle of the map's footprint, u = -0.2 m: the
# footprint reaches 2.45 m towards -u and 2.05 m towards +u, so a beam that
# enters along the w axis at u = 0 and bends towards -u stays well inside.
CENTRE_U = -0.20  # m
U_EDGES = (CENTRE_U - 0.60, CENTRE_U + 0.60)  # m, pole edges across the magnet
W_EDGES = (-0.50, 0.50)  # m, pole edges along the magnet

# Enge coefficients c0..c5 of an unclamped dipole edge, for s in units of
# the full gap (Enge 1964). The effective field boundary lies at s = 0: the
# integrals of 1 - E below and of E above it agree.
ENGE = (0.478959, 1.911289, -1.185953, 1.630554, -1.082657, 0.318111)

PLANES_CM = (0, 5, 10, 13)
GRID = 46
STEP = 0.05  # m, Fourier grid spacing
N = 128  # Fourier grid points per side; index n is at coordinate STEP * (n - N/2)


def enge(s):
    p = sum(c * s**k for k, c in enumerate(ENGE))
    if p > 0:
        e = math.exp(-p)
        return e / (1 + e)
    return 1 / (1 + math.exp(p))


def profile(x, edges):
    lo, hi = edges
    return enge((x - hi) / GAP) * enge((lo - x) / GAP)


def pole_face(u, w):
    """f(u, w): the pole-face field over B0."""
    return profile(u, U_EDGES) * profile(w, W_EDGES)


def fft(values, inverse=False):
    """Radix-2 complex FFT (unnormalised both ways)."""
    n = len(values)
    out = list(values)
    j = 0
    for i in range(1, n):
        bit = n >> 1
        while j & bit:
            j ^= bit
            bit >>= 1
        j |= bit
        if i < j:
            out[i], out[j] = out[j], out[i]
    sign = 1 if inverse else -1
    length = 2
    while length <= n:
        twiddles = [cmath.exp(sign * 2j * math.pi * k / length) for k in range(length // 2)]
        for start in range(0, n, length):
            for k in range(length // 2):
                a = out[start + k]
                b = out[start + k + length // 2] * twiddles[k]
                out[start + k] = a + b
                out[start + k + length // 2] = a - b
        length <<= 1
    return out


def fft2(grid, inverse=False):
    rows = [fft(row, inverse) for row in grid]
    columns = [fft([rows[r][c] for r in range(N)], inverse) for c in range(N)]
    return [[columns[c][r] for c in range(N)] for r in range(N)]


def wave_number(n):
    m = n if n < N // 2 else n - N
    return 2 * math.pi * m / (N * STEP)


def coordinate(n):
    return STEP * (n - N // 2)


class Magnet:
    """The gap field on the Fourier grid; grid[a][b] is at u = coordinate(a),
    w = coordinate(b)."""

    def __init__(self):
        face = [[complex(pole_face(coordinate(a), coordinate(b))) for b in range(N)]
                for a in range(N)]
        self.spectrum = fft2(face)
        self.pole = 1.0
        self.pole = B0 / self.plane(0.0)[1][grid_index(CENTRE_U)][grid_index(0.0)]

    def plane(self, y):
        """(Bu, By, Bw) grids in tesla at height y (0 <= y <= HALF_GAP)."""
        by_hat = [[0j] * N for _ in range(N)]
        bu_hat = [[0j] * N for _ in range(N)]
        bw_hat = [[0j] * N for _ in range(N)]
        for a in range(N):
            ku = wave_number(a)
            for b in range(N):
                kw = wave_number(b)
                k = math.hypot(ku, kw)
                f = self.pole * self.spectrum[a][b]
                by_hat[a][b] = f * math.cosh(k * y) / math.cosh(k * HALF_GAP)
                # sinh(k y)/k tends to y as k goes to 0.
                ratio = math.sinh(k * y) / k if k > 0 else y
                transverse = 1j * f * ratio / math.cosh(k * HALF_GAP)
                bu_hat[a][b] = ku * transverse
                bw_hat[a][b] = kw * transverse
        scale = 1.0 / (N * N)
        return tuple([[v.real * scale for v in row] for row in fft2(g, inverse=True)]
                     for g in (bu_hat, by_hat, bw_hat))


def grid_index(x):
    return round(x / STEP) + N // 2


def node_position(i, j):
    return 0.05 * (i + j) - 2.45, 0.05 * (i - j)


def gauss_text(tesla):
    value = tesla * GAUSS_PER_TESLA
    return "%.3f" % (0.0 if abs(value) < 0.0005 else value)


def plane_file(magnet, height_cm):
    bu, by, bw = magnet.plane(height_cm / 100)
    lines = [
        "Demo bending magnet field map, plane y = %d cm" % height_cm,
        "Dipole: poles at y = +-%.0f cm, %.2f m wide (u) x %.2f m long (w), centre u = %.0f cm,"
        " %.1f T there" % (100 * HALF_GAP, U_EDGES[1] - U_EDGES[0], W_EDGES[1] - W_EDGES[0],
                           100 * CENTRE_U, B0),
        "Pole-face field: Enge product, coefficients " + " ".join("%g" % c for c in ENGE),
        "Grid: 46 x 46 nodes; data line 46*i + j holds node (i, j)",
        "Node (i, j) at u = 5*(i + j) - 245 cm, w = 5*(i - j) cm",
        "Columns: u (cm), y (cm), w (cm), By (G), Bw (G), Bu (G)",
        "Generated by tools/make_demo_data.py; do not edit",
        "u(cm) y(cm) w(cm) By(G) Bw(G) Bu(G)",
    ]
    for i in range(GRID):
        for j in range(GRID):
            u, w = node_position(i, j)
            a, b = grid_index(u), grid_index(w)
            lines.append("%.1f %.1f %.1f %s %s %s" % (100 * u, height_cm, 100 * w,
                                                      gauss_text(by[a][b]), gauss_text(bw[a][b]),
                                                      gauss_text(bu[a][b])))
    return "\n".join(lines) + "\n"


def plane_name(height_cm):
    return "dipole_y%02d.txt" % height_cm


def write_all(folder):
    magnet = Magnet()
    return {plane_name(h): plane_file(magnet, h) for h in PLANES_CM}
