#!/usr/bin/env python3
"""The soak's own judges, without the rig: a model that predicts the wrong log or a growth
check that lets a leak through would make the soak pass whatever the host does."""

import os
import sys
import unittest

sys.dont_write_bytecode = True  # nothing left in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from guard_model import (ARMED, BURST_RESTORE_S, CLEARED, DISPLAY, FAILED, INIT,  # noqa: E402
                         OK, PERIODIC_RESTORE_S, POWER, GuardModel)
from resource_samples import growth_violations  # noqa: E402


class GuardModelTest(unittest.TestCase):
    def test_log_lines_follow_outcome_changes_only(self):
        # (operation, argument, log lines it adds)
        steps = [
            ("set", "warm", [ARMED, OK]),
            ("reset", None, []),  # rewritten, same outcome: nothing logged
            ("set", "zero", [ARMED, FAILED]),
            ("reset", None, []),
            ("set", "warm", [ARMED, OK]),
            ("set", "warm", [ARMED]),  # screen already warm: no rewrite
            ("reset", None, [OK]),  # first rewrite since that set
            ("set", "identity", [ARMED, OK]),
            ("reset", None, []),  # identity was wanted: nothing to undo
            ("clear", None, [CLEARED]),
            ("reset", None, []),
            ("display", None, [DISPLAY]),
            ("power", 4, []),
            ("power", 10, []),
            ("power", 7, [POWER]),
        ]
        model = GuardModel()
        for operation, argument, added in steps:
            before = len(model.log)
            if operation == "set":
                model.set(argument)
            elif operation == "reset":
                model.outside_reset()
            elif operation == "clear":
                model.clear()
            elif operation == "display":
                model.display_change(100.0)
            else:
                model.power(argument, 100.0)
            self.assertEqual(model.log[before:], added, "%s %s" % (operation, argument))
        self.assertEqual(model.log[0], INIT)

    def test_restore_expected_only_for_an_accepted_ramp_other_than_identity(self):
        model = GuardModel()
        self.assertFalse(model.restore_expected())
        for ramp, expected in (("warm", True), ("zero", False), ("identity", False),
                               ("gamma 1.6", True)):
            model.set(ramp)
            self.assertEqual(model.restore_expected(), expected, ramp)
        model.clear()
        self.assertFalse(model.restore_expected())

    def test_restore_bound_is_the_burst_one_only_inside_a_running_burst(self):
        model = GuardModel()
        model.display_change(0.0)  # not armed: no burst
        self.assertEqual(model.restore_bound(5.0), (PERIODIC_RESTORE_S, False))
        model.set("warm")
        model.power(18, 10.0)
        for now, in_burst in ((10.2, False), (11.0, True), (28.0, True), (29.0, False)):
            self.assertEqual(model.restore_bound(now)[1], in_burst, now)
        self.assertEqual(model.restore_bound(15.0)[0], BURST_RESTORE_S)
        model.power(7, 20.0)  # a new event during the burst extends it
        self.assertTrue(model.restore_bound(35.0)[1])
        model.clear()
        model.set("warm")
        self.assertFalse(model.restore_bound(25.0)[1])


def sample(t, **changes):
    s = {"t": t, "handles": 36, "gdi": 70, "working_set_kib": 40000, "rss_kib": 40000, "fds": 15}
    s.update(changes)
    return s


class GrowthTest(unittest.TestCase):
    def test_growth_limits(self):
        # (case, samples; the first minute is warm-up, violations)
        cases = [
            ("steady", [sample(60), sample(120)], 0),
            ("warm-up growth is ignored", [sample(0, handles=10, gdi=10), sample(60),
                                           sample(120)], 0),
            ("handles +5", [sample(60), sample(120, handles=41)], 0),
            ("handles +6", [sample(60), sample(90), sample(120, handles=42)], 1),
            ("gdi +6 (leaked device contexts)", [sample(60), sample(120, gdi=76)], 1),
            ("gdi -6", [sample(60), sample(120, gdi=64)], 1),
            ("working set +9 %", [sample(60), sample(120, working_set_kib=43600)], 0),
            ("working set +11 %", [sample(60), sample(120, working_set_kib=44400)], 1),
            ("resident set +11 %, descriptors +6",
             [sample(60), sample(120, rss_kib=44400, fds=21)], 2),
        ]
        for name, samples, violations in cases:
            self.assertEqual(len(growth_violations(samples, 60)), violations, name)

    def test_too_few_samples_is_a_violation(self):
        self.assertEqual(len(growth_violations([sample(0), sample(60)], 60)), 1)


if __name__ == "__main__":
    unittest.main()
