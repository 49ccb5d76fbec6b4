"""Checks of the demo data generators, run by CTest: the committed files are
exactly what the generators write, and the models keep the properties that
the files' readers cannot see."""

import math
import os
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import fieldmap  # noqa: E402
import make_demo_data  # noqa: E402
import pion_source  # noqa: E402
import scatter_tables  # noqa: E402

DATAFILES = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "demo",
                         "datafiles")
# Names the generators own; any other file of these shapes would be stale
# (a scattering table is read row file after row file while they exist).
GENERATED = re.compile(r"^(rod_.*\.csv|ta_target_mars\.txt|dipole_y\d+\.txt|"
                       r"(lh2|be|ta)_(mu|pi)_\d+\.dat)$")


class CommittedFiles(unittest.TestCase):
    def test_regenerated_files_are_identical(self):
        generated = make_demo_data.generate()
        committed = {n for n in os.listdir(DATAFILES) if GENERATED.match(n)}
        self.assertEqual(committed, set(generated), "stale or missing files in demo/datafiles")
        for name, contents in sorted(generated.items()):
            with open(os.path.join(DATAFILES, name), "rb") as f:
                self.assertEqual(f.read(), contents, name)


class Models(unittest.TestCase):
    def test_highland_angle(self):
        # 1 % of a radiation length at 200 MeV/c for a fast particle.
        self.assertAlmostEqual(scatter_tables.highland(200.0, 1.0, 0.01), 5.6e-3, delta=0.05e-3)

    def test_enge_coefficients_put_the_effective_edge_at_zero(self):
        h = 1e-3
        inside = sum(1 - fieldmap.enge(-(k + 0.5) * h) for k in range(6000)) * h
        outside = sum(fieldmap.enge((k + 0.5) * h) for k in range(6000)) * h
        self.assertAlmostEqual(inside, outside, delta=2e-3)

    def test_gap_field_meets_the_poles(self):
        magnet = fieldmap.Magnet()
        bu, by, bw = magnet.plane(fieldmap.HALF_GAP)
        for a in range(0, fieldmap.N, 7):
            for b in range(0, fieldmap.N, 5):
                face = magnet.pole * fieldmap.pole_face(fieldmap.coordinate(a),
                                                        fieldmap.coordinate(b))
                self.assertAlmostEqual(by[a][b], face, delta=1e-9)
        bu, by, bw = magnet.plane(0.0)
        self.assertLess(max(abs(v) for row in bu + bw for v in row), 1e-12)

    def test_production_depths_fit_in_the_rod(self):
        sampler = pion_source.PionSampler(7)
        for _ in range(2000):
            x, y, z = sampler.production_point()
            self.assertLess(math.hypot(x, y), pion_source.ROD_RADIUS)
            self.assertTrue(0 <= z <= pion_source.ROD_LENGTH)

    def test_same_seed_same_pions(self):
        first = pion_source.rod_file_nine("pi+", 50, 42)
        self.assertEqual(first, pion_source.rod_file_nine("pi+", 50, 42))
        self.assertNotEqual(first, pion_source.rod_file_nine("pi+", 50, 43))


if __name__ == "__main__":
    unittest.main()
