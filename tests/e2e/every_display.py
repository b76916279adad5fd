#!/usr/bin/env python3
"""The guard on two monitors (run by scripts/rig/with-rig with VESKARO_RIG_MONITORS=2): every
check opens each monitor's own context by name and deletes it, a reset ramp is rewritten through
a monitor's context, and a monitor switched off and on while the host runs is followed. Under
Wine every context writes the one X-wide ramp, so the evidence is the calls, from Wine's dc
trace channel: the device each context is opened for, where each gamma write goes."""

import os
import re
import subprocess
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from host_session import (WARM, Failure, HostSession, expect, gamma_reset,  # noqa: E402
                          poll, screen, screen_is, set_call)

OPEN = re.compile(r'NtGdiOpenDCW \(device=L"\\\\\\\\.\\\\(DISPLAY\d+)".*returning (0x[0-9a-f]+)')
WRITE = re.compile(r"NtGdiSetDeviceGammaRamp (0x[0-9a-f]+)")
DELETE = re.compile(r"DC_DeleteObject (0x[0-9a-f]+)")
BOTH, FIRST = ["DISPLAY1", "DISPLAY2"], ["DISPLAY1"]
CHECKS_S = 10.0  # a check every 3 s, on a busy machine


def checks(path):
    """One list per check, in order, of [device, gamma writes, deleted] per monitor opened."""
    with open(path, encoding="utf-8", errors="replace") as f:
        lines = f.read().splitlines()
    found, by_dc = [], {}
    for line in lines:
        opened, written, deleted = OPEN.search(line), WRITE.search(line), DELETE.search(line)
        if opened:
            if opened.group(1) == FIRST[0] or not found:
                found.append([])
            by_dc[opened.group(2)] = [opened.group(1), 0, False]
            found[-1].append(by_dc[opened.group(2)])
        elif written:
            expect(written.group(1) in by_dc, "a gamma write not to a monitor's context: " + line)
            by_dc[written.group(1)][1] += 1
        elif deleted and deleted.group(1) in by_dc:
            by_dc.pop(deleted.group(1))[2] = True
    return found


def devices(check):
    return [device for device, _, _ in check]


def follows(host, monitors):
    """Waits for a whole check (another began since) that opened just `monitors`; then resets
    the ramp from outside and checks it is rewritten through one monitor's context by a check
    that opened the same."""
    def done():
        return checks(host.stderr_path)[:-1]
    expect(poll(lambda: done() and devices(done()[-1]) == monitors, CHECKS_S, 0.1) is not None,
           "no check opened just %s: %s" % (monitors, [devices(c) for c in done()[-3:]]))
    since = len(done())

    def rewrites():
        return [c for c in checks(host.stderr_path)[since:] if any(w for _, w, _ in c)]
    gamma_reset()
    # Waits for the rewriting check to end too: a reset that reached the X server after
    # xramp's read would otherwise look restored at once, with no check having written yet.
    expect(poll(lambda: screen_is(WARM) and any(len(c) == len(monitors) and all(d for *_, d in c)
                                                for c in rewrites()), CHECKS_S, 0.1) is not None,
           "not restored through a monitor's context: %s, screen %s" % (rewrites(), screen()))
    writing = rewrites()
    # Nudged, then exact, through one context; the one X-wide ramp is then intact for the other.
    expect(len(writing) == 1 and devices(writing[0]) == monitors and
           sorted(w for _, w, _ in writing[0]) == [0] * (len(monitors) - 1) + [2],
           "the rewriting check: %s" % writing)


def main():
    expect(os.environ.get("VESKARO_RIG_MONITORS") == "2", "needs the two-monitor rig")
    os.environ["WINEDEBUG"] = "-all,err+module,+dc"
    with HostSession("every_display") as host:
        line = host.send(set_call(WARM))
        host.start_until_done(60000)
        expect(host.reply(line) == ("success", None), "set was not answered success")
        first = checks(host.stderr_path)[:1]
        expect(first and devices(first[0]) == BOTH, "the first check: %s" % first)
        follows(host, BOTH)
        for on, monitors in ((False, FIRST), (True, BOTH)):
            host.switch_second(on)
            follows(host, monitors)
            print("every_display: DISPLAY2 %s, followed" % ("on" if on else "off"))
        kept = [c for c in checks(host.stderr_path)[:-1] for d in c if not d[2]]
        expect(not kept, "contexts not deleted after their check: %s" % kept)
        host.finish()
        expect(host.log() == ["init: channel registered", "set: desired ramp received, guard "
                              "armed", "reassert: ramp was reset -> rewrite OK"],
               "log: %r" % host.log())
    print("every_display: passed")


if __name__ == "__main__":
    try:
        main()
    except (Failure, subprocess.TimeoutExpired) as failure:
        print("every_display: FAILED: %s" % failure)
        sys.exit(1)
