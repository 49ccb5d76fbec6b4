"""The include checker finds each kind of violation and passes a clean tree."""
import os
import tempfile
import unittest

import check_includes

ORDER = ["platform", "common", "store", "lattice", "beamline", "app"]
CLEAN = {
    "platform/files.hpp": "#include <unistd.h>\n",
    "common/text.hpp": '#include "platform/files.hpp"\n',
    "store/digest.hpp": '#include "common/text.hpp"\n',
    "lattice/units.cpp": '#include "store/digest.hpp"\n',
    "beamline/tracking/step.cpp": '#include "lattice/units.cpp"\n',
    "app/settings.hpp": "",
    "app/config.cpp": '#include "app/settings.hpp"\n#include "beamline/tracking/step.cpp"\n',
    "tool/main.cpp": '#include "app/config.cpp"\n',
}


class CheckIncludes(unittest.TestCase):
    def violations(self, extra):
        with tempfile.TemporaryDirectory() as src:
            for path, text in {**CLEAN, **extra}.items():
                os.makedirs(os.path.join(src, os.path.dirname(path)), exist_ok=True)
                with open(os.path.join(src, path), "w") as f:
                    f.write(text)
            return check_includes.violations(src, ORDER)

    def test_clean_tree_passes(self):
        self.assertEqual(self.violations({}), [])

    def test_each_rule(self):
        cases = [
            ("platform/clock.cpp", '#include "common/text.hpp"\n', "not below it"),
            ("common/list.hpp", '#include "store/digest.hpp"\n', "not below it"),
            ("store/cache.cpp", '#include "lattice/units.cpp"\n', "not below it"),
            ("lattice/dir.cpp", '#include "app/settings.hpp"\n', "not below it"),
            ("beamline/build/x.cpp", '#include "tool/main.cpp"\n', "not below it"),
            ("server/main.cpp", '#include "tool/main.cpp"\n', "not below it"),
            ("attic/old.cpp", '#include "common/text.hpp"\n', "not in the folder order"),
            ("results/x.cpp", "#include <sys/stat.h>\n", "belongs in platform"),
            ("results/y.cpp", '#include "results/missing.hpp"\n', "not a file"),
            ("results/a.hpp", '#include "results/b.hpp"\n', "include cycle"),
        ]
        for path, text, expected in cases:
            with self.subTest(path=path):
                extra = {path: text}
                if path == "results/a.hpp":
                    extra["results/b.hpp"] = '#include "results/a.hpp"\n'
                found = self.violations(extra)
                self.assertEqual(len(found), 1, found)
                self.assertIn(expected, found[0])

    def test_order_is_read_from_the_build(self):
        root = os.path.join(os.path.dirname(__file__), "..")
        order = check_includes.layer_order(os.path.join(root, "src"))
        self.assertEqual(order[0], "platform")
        self.assertLess(order.index("model"), order.index("beamline"))


if __name__ == "__main__":
    unittest.main()
