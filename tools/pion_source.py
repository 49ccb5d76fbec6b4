"""Pions produced in the tantalum target rod, as particle lists for the rod
and MARS sources.

Model (see tools/README.md for the sources):
- An 8 GeV kinetic-energy proton beam (8.89 GeV/c) runs along the rod axis,
  Gaussian in x and y (sigma 2 mm), entering at the upstream face z = 0.
- Protons interact at depth z with probability exp(-z / lambda_I) per unit
  depth, lambda_I being the nuclear interaction length of tantalum; depths
  are drawn from that exponential cut off at the rod length.
- Each interaction gives one pi+ or pi- whose momentum p and polar angle
  theta to the proton direction follow the Sanford-Wang parametrisation
  d2N/dp dOmega with the published coefficients; the azimuth is uniform.
- The pion starts at the interaction point at the time the proton got there.

Randomness comes from random.Random(seed).random() only, so a seed gives the
same files on every run and every Python version.
"""

import math
import random

PION_MASS = 139.5702  # MeV, as in the program's species table
PROTON_MASS = 938.272029  # MeV
SPEED_OF_LIGHT = 299792458.0  # m/s

ROD_RADIUS = 0.01  # m
ROD_LENGTH = 0.20  # m
BEAM_SIGMA = 0.002  # m, proton spot size in x and y
PROTON_KINETIC = 8.0  # GeV
PROTON_MOMENTUM = math.sqrt(PROTON_KINETIC * (PROTON_KINETIC + 2 * PROTON_MASS / 1000))

# Tantalum nuclear interaction length: the PDG value for tungsten,
# 191.9 g/cm2, scaled by (A_Ta / A_W)^(1/3) as nuclear lengths in g/cm2 go,
# over the density of tantalum, 16.654 g/cm3.
TANTALUM_LAMBDA_I = 191.9 * (180.94788 / 183.84) ** (1 / 3) / 16.654 / 100  # m

# Sanford-Wang coefficients c1..c9 for p + Be at 8.89 GeV/c, fitted to the
# HARP data (MiniBooNE flux paper, Phys. Rev. D 79, 072002 (2009), table V).
SANFORD_WANG = {
    "pi+": (220.7, 1.080, 1.000, 1.978, 1.32, 5.572, 0.0868, 9.686, 1.0),
    "pi-": (213.7, 0.9379, 5.454, 1.210, 1.284, 4.781, 0.07338, 8.329, 1.0),
}

# The part of phase space written to the files: the forward hemisphere, and
# momenta that the scattering tables cover.
P_MIN = 0.05  # GeV/c
P_MAX = 2.0  # GeV/c
THETA_MAX = math.pi / 2


def sanford_wang(species, p, theta, p_beam=PROTON_MOMENTUM):
    """d2sigma/(dp dOmega) in mb/(GeV/c sr); p and p_beam in GeV/c, theta in rad."""
    c1, c2, c3, c4, c5, c6, c7, c8, c9 = SANFORD_WANG[species]
    falloff = 1 - p / (p_beam - c9)
    if p <= 0 or falloff <= 0:
        return 0.0
    cos_t = max(math.cos(theta), 0.0)
    exponent = -c3 * p**c4 / p_beam**c5 - c6 * theta * (p - c7 * p_beam * cos_t**c8)
    return c1 * p**c2 * falloff * math.exp(exponent)


def momentum_spectrum(species, p, steps=400):
    """dN/dp at p (GeV/c) integrated over the written angles (midpoint rule)."""
    h = THETA_MAX / steps
    total = 0.0
    for k in range(steps):
        theta = (k + 0.5) * h
        total += sanford_wang(species, p, theta) * 2 * math.pi * math.sin(theta) * h
    return total


def total_yield(species, steps=300):
    """Integral of the spectrum over the written momenta."""
    h = (P_MAX - P_MIN) / steps
    return sum(momentum_spectrum(species, P_MIN + (k + 0.5) * h) for k in range(steps)) * h


def envelope(species):
    """An upper bound of the density in (p, cos theta) for rejection sampling."""
    best = 0.0
    for i in range(201):
        p = P_MIN + (P_MAX - P_MIN) * i / 200
        for k in range(201):
            theta = THETA_MAX * k / 200
            best = max(best, sanford_wang(species, p, theta))
    return 1.25 * best


class PionSampler:
    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.bounds = {s: envelope(s) for s in SANFORD_WANG}
        self.cos_min = math.cos(THETA_MAX)

    def uniform(self):
        return self.rng.random()

    def gauss(self):
        # Box-Muller from two uniforms; u1 is kept away from 0.
        u1 = 1.0 - self.uniform()
        u2 = self.uniform()
        return math.sqrt(-2 * math.log(u1)) * math.cos(2 * math.pi * u2)

    def momentum_and_angle(self, species):
        bound = self.bounds[species]
        while True:
            p = P_MIN + (P_MAX - P_MIN) * self.uniform()
            cos_t = self.cos_min + (1 - self.cos_min) * self.uniform()
            theta = math.acos(cos_t)
            density = sanford_wang(species, p, theta)
            if density > bound:
                raise RuntimeError("Sanford-Wang envelope too low")
            if self.uniform() * bound < density:
                return p, theta

    def production_point(self):
        while True:
            x = BEAM_SIGMA * self.gauss()
            y = BEAM_SIGMA * self.gauss()
            if x * x + y * y < 0.98 * ROD_RADIUS**2:
                break
        reach = 1 - math.exp(-ROD_LENGTH / TANTALUM_LAMBDA_I)
        z = -TANTALUM_LAMBDA_I * math.log(1 - self.uniform() * reach)
        return x, y, z

    def pion(self, species):
        """(kinetic energy MeV, position m, unit direction, time s)."""
        x, y, z = self.production_point()
        p, theta = self.momentum_and_angle(species)
        phi = 2 * math.pi * self.uniform()
        direction = (math.sin(theta) * math.cos(phi), math.sin(theta) * math.sin(phi),
                     math.cos(theta))
        p_mev = 1000 * p
        kinetic = math.sqrt(p_mev**2 + PION_MASS**2) - PION_MASS
        beta = PROTON_MOMENTUM / math.sqrt(PROTON_MOMENTUM**2 + (PROTON_MASS / 1000) ** 2)
        time = z / (beta * SPEED_OF_LIGHT)
        return kinetic, (x, y, z), direction, time


def g6(value):
    text = "%.6g" % value
    return "0" if text == "-0" else text


def rod_file_nine(species, count, seed):
    """The nine-column form: header beginning with "k", positions in metres."""
    sampler = PionSampler(seed)
    lines = ["kinetic energy (MeV),weight,x (m),y (m),z (m),dx,dy,dz,t (s)"]
    for _ in range(count):
        kinetic, pos, d, t = sampler.pion(species)
        values = (kinetic, 1, *pos, *d, t)
        lines.append(",".join(g6(v) for v in values))
    return "\n".join(lines) + "\n"


def rod_file_eight(species, count, seed):
    """The eight-column form: direction first, then positions in centimetres."""
    sampler = PionSampler(seed)
    lines = ["T (MeV),weight,dx,dy,dz,x (cm),y (cm),z (cm)"]
    for _ in range(count):
        kinetic, pos, d, _t = sampler.pion(species)
        values = (kinetic, 1, *d, *(100 * c for c in pos))
        lines.append(",".join(g6(v) for v in values))
    return "\n".join(lines) + "\n"


MARS_IDS = {"pi+": 3, "pi-": 4}


def mars_file(count, seed):
    """Both signs in one list, in the ratio of their yields; energies in GeV,
    positions in cm in the rod frame (origin at the centre of the upstream
    face, z along the proton beam)."""
    sampler = PionSampler(seed)
    plus_share = total_yield("pi+") / (total_yield("pi+") + total_yield("pi-"))
    lines = ["# seq id T(GeV) weight x(cm) y(cm) z(cm) dx dy dz t(s); pions from 8 GeV p on Ta"]
    for seq in range(1, count + 1):
        species = "pi+" if sampler.uniform() < plus_share else "pi-"
        kinetic, pos, d, t = sampler.pion(species)
        values = (kinetic / 1000, 1, *(100 * c for c in pos), *d, t)
        lines.append("%d %d " % (seq, MARS_IDS[species]) + " ".join(g6(v) for v in values))
    return "\n".join(lines) + "\n"


def write_all(folder, count=4000):
    """Returns {file name: contents} of every source file."""
    return {
        "rod_piplus.csv": rod_file_nine("pi+", count, 1001),
        "rod_piminus.csv": rod_file_nine("pi-", count, 1002),
        "rod_piplus_cm.csv": rod_file_eight("pi+", count, 1003),
        "ta_target_mars.txt": mars_file(count, 1004),
    }
