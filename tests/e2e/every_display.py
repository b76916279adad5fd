#!/usr/bin/env python3
"""The guard on a desktop of two monitors (scripts/rig/with-rig with VESKARO_RIG_MONITORS=2):
every check opens a device context of each monitor's own, by its device name, and frees it
again; a reset ramp is rewritten through a monitor's context, never through the whole
screen's; and a monitor switched off and on while the host runs is followed at the next check.

Every context under Wine reads and writes the one X-wide ramp, so the screen cannot tell a
per-monitor host from a whole-screen one: the calls are the evidence, as Wine's dc trace
channel reports them (the device each context is opened for, the context each gamma write
and each deletion goes to)."""

import os
import re
import subprocess
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from host_session import (WARM, Failure, HostSession, expect, gamma_reset,  # noqa: E402
                          poll, run, screen, screen_is, set_call)

OPEN = re.compile(r'NtGdiOpenDCW \(device=L"\\\\\\\\.\\\\(DISPLAY\d+)".*returning (0x[0-9a-f]+)')
WRITE = re.compile(r"NtGdiSetDeviceGammaRamp (0x[0-9a-f]+)")
DELETE = re.compile(r"DC_DeleteObject (0x[0-9a-f]+)")
BOTH, FIRST = ["DISPLAY1", "DISPLAY2"], ["DISPLAY1"]
# The periodic check runs every 3 s; a check begins and ends within two of them.
CHECKS_S = 10.0


class Trace:
    """The host's gamma work read from its stderr: one entry per check, each a list of
    [device, gamma writes, deleted] for the monitors it opened, in order."""

    def __init__(self, path):
        self.path = path

    def checks(self):
        try:
            with open(self.path, encoding="utf-8", errors="replace") as f:
                lines = f.read().splitlines()
        except OSError:
            return []
        checks, by_dc = [], {}
        for line in lines:
            opened, written, deleted = OPEN.search(line), WRITE.search(line), DELETE.search(line)
            if opened:
                device, dc = opened.groups()
                if device == FIRST[0] or not checks:
                    checks.append([])
                by_dc[dc] = [device, 0, False]
                checks[-1].append(by_dc[dc])
            elif written:
                expect(written.group(1) in by_dc,
                       "a gamma write through a context not opened for a monitor: " + line)
                by_dc[written.group(1)][1] += 1
            elif deleted and deleted.group(1) in by_dc:
                by_dc.pop(deleted.group(1))[2] = True
        return checks


def devices(check):
    return [device for device, _, _ in check]


def wait_for_checks(trace, monitors):
    """Waits until a whole check (one the next has followed) opened exactly `monitors`;
    returns the number of checks by then."""
    def seen():
        done = trace.checks()[:-1]
        return bool(done) and devices(done[-1]) == monitors
    expect(poll(seen, CHECKS_S, 0.1) is not None, "no check opened just %s: %s" %
           (monitors, [devices(c) for c in trace.checks()[-3:]]))
    return len(trace.checks())


def restored_by(trace, since, monitors):
    """Resets the ramp from outside; waits until it is back and returns the check that
    rewrote it, which must have opened `monitors` and written through one of them."""
    gamma_reset()
    expect(poll(lambda: screen_is(WARM), CHECKS_S, 0.1) is not None,
           "the reset was not undone: " + screen())
    writing = [c for c in trace.checks()[since:] if any(w for _, w, _ in c)]
    expect(len(writing) == 1, "expected one rewriting check, got %s" % writing)
    check = writing[0]
    expect(devices(check) == monitors, "the rewrite's check opened %s" % devices(check))
    # Nudged, then exact, through one monitor's context (the first, unless the reset came
    # between the two reads); the one X-wide ramp is then intact for the other.
    writes = sorted(w for _, w, _ in check)
    expect(writes == [0] * (len(monitors) - 1) + [2], "gamma writes per monitor: %s" % check)
    return check


def switch_second_monitor(on):
    args = ["--auto", "--right-of", "DUMMY0"] if on else ["--off"]
    result = run("xrandr", "--output", "DUMMY1", *args)
    expect(result.returncode == 0, "xrandr failed: " + result.stderr)


def main():
    expect(os.environ.get("VESKARO_RIG_MONITORS") == "2",
           "run on the two-monitor rig (VESKARO_RIG_MONITORS=2 scripts/rig/with-rig)")
    os.environ["WINEDEBUG"] = "-all,err+module,+dc"
    with HostSession("every_display") as host:
        trace = Trace(host.stderr_path)
        line = host.send(set_call(WARM))
        host.start_until_done(60000)
        expect(host.reply(line) == ("success", None), "set was not answered success")
        first = trace.checks()
        expect(first and devices(first[0]) == BOTH, "the first check: %s" % first[:1])
        print("every_display: two monitors, each opened by name at every check")

        since = wait_for_checks(trace, BOTH)
        restored_by(trace, since - 1, BOTH)
        print("every_display: a reset rewritten through DISPLAY1's own context")

        switch_second_monitor(False)
        since = wait_for_checks(trace, FIRST)
        restored_by(trace, since - 1, FIRST)
        print("every_display: DISPLAY2 switched off, no longer opened; the reset rewritten")

        switch_second_monitor(True)
        since = wait_for_checks(trace, BOTH)
        restored_by(trace, since - 1, BOTH)
        print("every_display: DISPLAY2 back, opened again at the next check")

        undeleted = [c for c in trace.checks()[:-1] for d in c if not d[2]]
        expect(not undeleted, "contexts not deleted after their check: %s" % undeleted)
        host.finish()
        expect(host.log() == ["init: channel registered",
                              "set: desired ramp received, guard armed",
                              "reassert: ramp was reset -> rewrite OK"],
               "log: %r" % host.log())
    print("every_display: passed")


if __name__ == "__main__":
    try:
        main()
    except (Failure, subprocess.TimeoutExpired) as failure:
        print("every_display: FAILED: %s" % failure)
        sys.exit(1)
