"""What the soak expects of the host: the guard's state, the screen's ramp and the guard's log,
updated step by step as the driver and the scripted user interface act.

On this rig a display-mode switch leaves the X ramp as it was, and Wine refuses only the
all-zero ramp among those used here, so the log can be predicted line by line.
"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from guard_cases import (ARMED, BURST_RESTORE_S, CLEARED, DISPLAY, FAILED, INIT,  # noqa: E402
                         OK, PERIODIC_RESTORE_S, POWER)

# name: (scenario value, xramp arguments that recognise it on the screen, accepted by Wine)
RAMPS = {
    "identity": ("ramp(identity)", ("--expect", "identity"), True),
    "warm": ("ramp(warm)", ("--expect", "warm"), True),
    "gamma 0.6": ("ramp(gamma=0.6)", ("--expect-gamma", "0.6"), True),
    "gamma 1.6": ("ramp(gamma=1.6)", ("--expect-gamma", "1.6"), True),
    "gamma 2.2": ("ramp(gamma=2.2)", ("--expect-gamma", "2.2"), True),
    "zero": ("ramp(zero)", ("--expect", "zero"), False),
}

BURST_S = 20.0
RESUME_EVENTS = (18, 7)


class GuardModel:
    """The guard as its owner sees it from outside: armed or not, the ramp it wants, the last
    outcome it logged, what the screen holds, and until when a burst of 1-second checks runs."""

    def __init__(self):
        self.armed = False
        self.desired = None
        self.last_outcome = -1
        self.screen = "identity"
        self.log = [INIT]
        self.burst_start = 0.0
        self.burst_until = 0.0

    def _reassert(self):
        if not self.armed or self.screen == self.desired:
            return
        outcome = 1 if RAMPS[self.desired][2] else 0
        if outcome == 1:
            self.screen = self.desired
        if outcome != self.last_outcome:
            self.last_outcome = outcome
            self.log.append(OK if outcome == 1 else FAILED)

    def set(self, ramp):
        self.desired = ramp
        self.armed = True
        self.last_outcome = -1
        self.log.append(ARMED)
        self._reassert()

    def clear(self):
        self.armed = False
        self.burst_until = 0.0
        self.log.append(CLEARED)

    def outside_reset(self):
        """xgamma or a Windows program put the identity ramp on the screen; the guard's next
        check (which the caller waits for) answers it."""
        self.screen = "identity"
        self._reassert()

    def _burst(self, now):
        if self.armed:
            if now > self.burst_until:
                self.burst_start = now
            self.burst_until = now + BURST_S
            self._reassert()

    def display_change(self, now):
        self.log.append(DISPLAY)
        self._burst(now)

    def power(self, event, now):
        if event in RESUME_EVENTS:
            self.log.append(POWER)
            self._burst(now)

    def restore_expected(self):
        """True when an outside reset must be undone by the guard."""
        return self.armed and RAMPS[self.desired][2] and self.desired != "identity"

    def restore_bound(self, now):
        """(seconds, in a burst?) allowed from an outside reset at `now` to the restored ramp."""
        # Leave a tick's margin at both ends of the burst's 20 seconds.
        if self.armed and self.burst_start + 0.5 < now < self.burst_until - 1.5:
            return BURST_RESTORE_S, True
        return PERIODIC_RESTORE_S, False
