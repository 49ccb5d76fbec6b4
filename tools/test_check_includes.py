"""The include checker finds each kind of violation and passes a clean tree."""
import os
import tempfile
import unittest

import check_includes

CLEAN = {
    "platform/files.hpp": "#include <unistd.h>\n",
    "app/common/text.hpp": '#include "platform/files.hpp"\n',
    "store/digest.hpp": '#include "app/common/text.hpp"\n',
    "lattice/units.cpp": '#include "store/digest.hpp"\n',
    "app/settings.hpp": "",
    "app/config.cpp": '#include "app/settings.hpp"\n#include "lattice/units.cpp"\n',
}


class CheckIncludes(unittest.TestCase):
    def violations(self, extra):
        with tempfile.TemporaryDirectory() as src:
            for path, text in {**CLEAN, **extra}.items():
                os.makedirs(os.path.join(src, os.path.dirname(path)), exist_ok=True)
                with open(os.path.join(src, path), "w") as f:
                    f.write(text)
            return check_includes.violations(src)

    def test_clean_tree_passes(self):
        self.assertEqual(self.violations({}), [])

    def test_each_rule(self):
        cases = [
            ("platform/clock.cpp", '#include "app/common/text.hpp"\n', "must not include"),
            ("app/common/list.hpp", '#include "store/digest.hpp"\n', "must not include"),
            ("store/cache.cpp", '#include "lattice/units.cpp"\n', "must not include"),
            ("lattice/dir.cpp", '#include "app/settings.hpp"\n', "pass the setting in"),
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


if __name__ == "__main__":
    unittest.main()
