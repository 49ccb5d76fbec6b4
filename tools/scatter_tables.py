"""Scattering tables: what a muon or pion meets per metre of a material, at
a ladder of momenta.

Per momentum row (p in MeV/c, mass M of the species):
- Continuous loss A (MeV/c per m): the restricted Bethe-Bloch energy loss
  below the delta-ray cut Tcut, with the Sternheimer density effect, divided
  by beta (dp = dE / beta).
- Straggling B ((MeV/c)^2 per m): the variance of that restricted loss,
  (K/2) (Z/A) rho / beta^2 * Tcut (1 - beta^2 Tcut / (2 Tmax)), over beta^2.
- Transverse C ((MeV/c)^2 per m, each of the two transverse components):
  (p theta0)^2 / x with theta0 from the Highland formula at the material's
  reference thickness x.
- Discrete events (13-byte records: rate per m, loss and kick in MeV/c,
  process code):
  * code 2 "Hard electron": delta rays with kinetic energy T from Tcut to
    Tmax (spin-0 cross section, (K/2) (Z/A) rho / beta^2 (1 - beta^2 T/Tmax)
    / T^2), in logarithmic bins; each bin is one record at its mean T with
    the electron's transverse momentum as kick and the loss that leaves the
    particle with the momentum it has after giving T away.
  * code 1 "Nuclear", pions only: inelastic interactions at the rate of the
    nuclear interaction length, as one record whose loss is the row momentum
    (the pion is gone); elastic (diffractive) scattering at the rate
    1/lambda_T - 1/lambda_I, as four records at the quartile midpoints of
    the exp(-b |t|) distribution, b = R^2/4 with R = 1.2 A^(1/3) fm, kicks
    capped at 0.7 p, each with the loss that keeps |p| unchanged.
Tcut is 1 MeV, or a quarter of Tmax when that is smaller, so that every row
has delta-ray records and a positive total rate.
"""

import math
import struct

ELECTRON_MASS = 0.510998918  # MeV, as in the program's species table
MUON_MASS = 105.6583568
PION_MASS = 139.5702
K_BETHE = 0.307075  # MeV cm2 / mol, 4 pi N_A r_e^2 m_e c^2 (PDG)
HBARC = 0.1973269804  # GeV fm
HIGHLAND_SCALE = 13.6  # MeV
HIGHLAND_LOG = 0.038

# PDG "Atomic and nuclear properties of materials"; density-effect constants
# of Sternheimer, Berger and Seltzer (1984) as the PDG tables list them.
# Lengths in g/cm2. The tantalum nuclear lengths are tungsten's (collision
# 110.4, interaction 191.9 g/cm2) scaled by (A_Ta/A_W)^(1/3).
MATERIALS = {
    "lh2": dict(name="liquid hydrogen", Z=1, A=1.00794, density=0.0708, I=21.8e-6,
                X0=63.04, lambda_T=42.8, lambda_I=52.0,
                C=3.2632, x0=0.4759, x1=1.9215, a=0.13483, k=5.6249, delta0=0.0,
                reference_thickness=0.35),
    "be": dict(name="beryllium", Z=4, A=9.012182, density=1.848, I=63.7e-6,
               X0=65.19, lambda_T=55.3, lambda_I=77.8,
               C=2.7847, x0=0.0592, x1=1.6922, a=0.80392, k=2.4339, delta0=0.14,
               reference_thickness=0.01),
    "ta": dict(name="tantalum", Z=73, A=180.94788, density=16.654, I=718e-6,
               X0=6.82, lambda_T=110.4 * (180.94788 / 183.84) ** (1 / 3),
               lambda_I=191.9 * (180.94788 / 183.84) ** (1 / 3),
               C=5.5262, x0=0.2117, x1=3.4805, a=0.17798, k=2.7623, delta0=0.14,
               reference_thickness=0.01),
}

SPECIES = {"mu": MUON_MASS, "pi": PION_MASS}

ROWS = 48
P_FIRST = 40.0  # MeV/c
P_LAST = 2400.0  # MeV/c
DELTA_BINS = 8
ELASTIC_RECORDS = 4
T_CUT = 1.0  # MeV

NUCLEAR = 1
HARD_ELECTRON = 2


def row_momenta():
    ratio = (P_LAST / P_FIRST) ** (1 / (ROWS - 1))
    return [P_FIRST * ratio**k for k in range(ROWS)]


def kinematics(p, mass):
    energy = math.hypot(p, mass)
    beta = p / energy
    gamma = energy / mass
    return energy, beta, gamma


def t_max(p, mass):
    _e, _beta, gamma = kinematics(p, mass)
    bg2 = (p / mass) ** 2
    r = ELECTRON_MASS / mass
    return 2 * ELECTRON_MASS * bg2 / (1 + 2 * gamma * r + r * r)


def density_effect(m, betagamma):
    x = math.log10(betagamma)
    if x >= m["x1"]:
        return 2 * math.log(10) * x - m["C"]
    if x >= m["x0"]:
        return 2 * math.log(10) * x - m["C"] + m["a"] * (m["x1"] - x) ** m["k"]
    return m["delta0"] * 10 ** (2 * (x - m["x0"]))


def restricted_loss(m, p, mass, cut):
    """Mean energy loss to collisions below `cut`, MeV per cm."""
    _e, beta, _gamma = kinematics(p, mass)
    bg = p / mass
    tm = t_max(p, mass)
    w = min(cut, tm)
    b2 = beta * beta
    factor = K_BETHE * m["Z"] / m["A"] * m["density"] / b2
    log_term = 0.5 * math.log(2 * ELECTRON_MASS * bg * bg * w / m["I"] ** 2)
    return factor * (log_term - 0.5 * b2 * (1 + w / tm) - 0.5 * density_effect(m, bg))


def highland(p, beta, thickness_over_x0):
    """Highland's width of the projected scattering angle, radians."""
    return (HIGHLAND_SCALE / (beta * p) * math.sqrt(thickness_over_x0) *
            (1 + HIGHLAND_LOG * math.log(thickness_over_x0 / (beta * beta))))


def delta_rate_factor(m, beta):
    """(K/2)(Z/A) rho / beta^2 in MeV per m."""
    return 100 * 0.5 * K_BETHE * m["Z"] / m["A"] * m["density"] / (beta * beta)


def delta_records(m, p, mass, cut):
    energy, beta, _gamma = kinematics(p, mass)
    tm = t_max(p, mass)
    factor = delta_rate_factor(m, beta)
    b2 = beta * beta
    ratio = (tm / cut) ** (1 / DELTA_BINS)
    records = []
    for k in range(DELTA_BINS):
        t1, t2 = cut * ratio**k, cut * ratio ** (k + 1)
        rate = factor * ((1 / t1 - 1 / t2) - b2 / tm * math.log(t2 / t1))
        mean_t = factor * (math.log(t2 / t1) - b2 * (t2 - t1) / tm) / rate
        # The electron's momentum and angle fix the recoil kick; the final
        # momentum follows from the energy given away.
        pe2 = mean_t * mean_t + 2 * mean_t * ELECTRON_MASS
        longitudinal = mean_t * (energy + ELECTRON_MASS) / p
        kick = math.sqrt(max(pe2 - longitudinal**2, 0.0))
        final = math.sqrt((energy - mean_t) ** 2 - mass * mass)
        loss = p - math.sqrt(final * final - kick * kick)
        records.append((rate, loss, kick, HARD_ELECTRON))
    return records


def nuclear_records(m, p):
    inelastic = 100 * m["density"] / m["lambda_I"]
    elastic = 100 * m["density"] * (1 / m["lambda_T"] - 1 / m["lambda_I"])
    records = [(inelastic, p, 0.0, NUCLEAR)]
    radius = 1.2 * m["A"] ** (1 / 3)  # fm
    slope = radius * radius / 4 / HBARC**2  # (GeV/c)^-2
    for k in range(ELASTIC_RECORDS):
        # Midpoint of the k-th quartile of |t| ~ exp(-slope |t|).
        q = (k + 0.5) / ELASTIC_RECORDS
        t = -math.log(1 - q) / slope
        kick = min(1000 * math.sqrt(t), 0.7 * p)
        loss = p - math.sqrt(p * p - kick * kick)
        records.append((elastic / ELASTIC_RECORDS, loss, kick, NUCLEAR))
    return records


def row(m, species, p):
    """(A, B, C, records) of one momentum row."""
    mass = SPECIES[species]
    _e, beta, _gamma = kinematics(p, mass)
    cut = min(T_CUT, 0.25 * t_max(p, mass))
    continuous = 100 * restricted_loss(m, p, mass, cut) / beta
    straggling = (delta_rate_factor(m, beta) * cut * (1 - beta * beta * cut / (2 * t_max(p, mass)))
                  / (beta * beta))
    x = m["reference_thickness"]
    x0 = m["X0"] / m["density"] / 100
    theta0 = highland(p, beta, x / x0)
    transverse = (p * theta0) ** 2 / x
    records = delta_records(m, p, mass, cut)
    if species == "pi":
        records += nuclear_records(m, p)
    return continuous, straggling, transverse, records


def pack_records(records):
    return b"".join(struct.pack("<fffb", *r) for r in records)


def table_files(material, species):
    """{file name: contents}: row files 1..ROWS and the coefficient file 0."""
    m = MATERIALS[material]
    stem = "%s_%s_" % (material, species)
    files = {}
    lines = []
    for k, p in enumerate(row_momenta(), start=1):
        a, b, c, records = row(m, species, p)
        files["%s%d.dat" % (stem, k)] = pack_records(records)
        lines.append("%.9g\t%.9g\t%.9g\t%.9g\n" % (p, a, b, c))
    files[stem + "0.dat"] = "".join(lines).encode()
    return files


def write_all(folder):
    files = {}
    for material in MATERIALS:
        for species in SPECIES:
            files.update(table_files(material, species))
    return files
