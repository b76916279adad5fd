#!/usr/bin/env python3
"""The soak's growth check, without the rig: one that let a leak through would make the soak
pass whatever the host does."""

import os
import sys
import unittest

sys.dont_write_bytecode = True  # nothing left in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from soak import growth_violations  # noqa: E402


def sample(t, **changes):
    s = {"t": t, "handles": 36, "gdi": 70, "working_set_kib": 40000, "rss_kib": 40000, "fds": 15}
    s.update(changes)
    return s


class GrowthTest(unittest.TestCase):
    def test_growth_limits(self):
        # (case, samples; the first minute is warm-up, violations)
        cases = [
            ("warm-up growth is ignored", [sample(0, handles=10, gdi=10), sample(60),
                                           sample(120)], 0),
            ("handles +5", [sample(60), sample(120, handles=41)], 0),
            ("handles +6", [sample(60), sample(90), sample(120, handles=42)], 1),
            ("gdi -6", [sample(60), sample(120, gdi=64)], 1),
            ("working set +9 %", [sample(60), sample(120, working_set_kib=43600)], 0),
            ("working set +11 %", [sample(60), sample(120, working_set_kib=44400)], 1),
            ("resident set +11 %, descriptors +6",
             [sample(60), sample(120, rss_kib=44400, fds=21)], 2),
            ("too few samples after the warm-up", [sample(0), sample(60)], 1),
        ]
        for name, samples, violations in cases:
            self.assertEqual(len(growth_violations(samples, 60)), violations, name)


if __name__ == "__main__":
    unittest.main()
