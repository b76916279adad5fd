#!/usr/bin/env python3
"""A slider drag (run by scripts/bench-e2e, inside the rig): the built host receives "set" calls
whose ramps differ at every call by more than the guard's tolerance, one every 8 ms, and the
stand-in engine times each synchronous delivery; then the floor program does only the platform
work the guard must do per call for the same ramps, timed the same way: its two log lines and
the check of every monitor (each one's own device context), the target's reference; beside it,
the whole screen's context as the guard's fallback takes it, and the earlier minimum (one
context, one log line). Prints median, p99 and max of each, the ratios of medians, and whether
the screen holds the last ramp at the end.

  drag_figures.py FLOOR_EXE [ROUNDS]     (default 3 rounds of 300 calls, 2.4 s each)

The four take turns, round after round, and the figures pool the rounds, so that a busy spell
of a shared machine weighs on all three alike.
"""

import os
import statistics
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from host_session import (WINE_EXEC, Failure, HostSession, expect, ramp_bytes,  # noqa: E402
                          run_to_file, scaled_ramp, screen_is, set_call)


def drag_ramps(calls):
    """Blue swept up and down in steps of 0.02 (1,150 units at the guard's last sample, over its
    tolerance of 512), red falling a little at every call, so that no two ramps are alike."""
    ramps = []
    for i in range(calls):
        phase = i % 40
        blue = 0.6 + 0.02 * (phase if phase < 20 else 40 - phase)
        ramps.append(scaled_ramp(1.0 - 0.0005 * i, 0.9, blue))
    return ramps


def host_times(ramps):
    with HostSession("drag") as host:
        host.add("wait 1000")  # let the start settle
        lines = []
        for ramp in ramps:
            lines.append(host.send(set_call(ramp)))
            host.add("wait 8")
        host.start_until_done(120 * 1000)
        expect(host.reply(lines[-1], 60) == ("success", None), "the last set was not a success")
        holds = screen_is(ramps[-1])
        times = {int(f.split()[0]): int(f.split()[1]) for f in host.events("handled")}
        host.finish()
    return [times[line] for line in lines], holds


def floor_times(floor_exe, ramps, work, *options):
    path = os.path.join(work, "ramps.bin")
    with open(path, "wb") as f:
        f.write(b"".join(ramp_bytes(r) for r in ramps))
    code, out = run_to_file([WINE_EXEC, floor_exe, path] + list(options),
                            os.path.join(work, "floor.txt"), 120)
    expect(code == 0, "the floor program failed (%d): %s" % (code, out[-300:]))
    fields = out.split()
    expect(fields and fields[0].startswith("displays="), "the floor printed: %s" % out[-300:])
    times = [int(t) for t in fields[1:]]
    expect(len(times) == len(ramps), "the floor timed %d calls of %d" % (len(times), len(ramps)))
    return times, screen_is(ramps[-1]), int(fields[0].split("=")[1])


def p99(values):
    """Nearest rank."""
    ordered = sorted(values)
    return ordered[max(0, -(-99 * len(ordered) // 100) - 1)]


def main(argv):
    floor_exe = os.path.abspath(argv[1])
    rounds = int(argv[2]) if len(argv) > 2 else 3
    ramps = drag_ramps(300)
    work = os.environ["VESKARO_E2E_WORK"]
    runs = {"host": [], "floor": [], "whole": [], "minimum": []}
    try:
        for _ in range(rounds):
            runs["host"].append(host_times(ramps))
            runs["floor"].append(floor_times(floor_exe, ramps, work))
            runs["whole"].append(floor_times(floor_exe, ramps, work, "--whole-screen"))
            runs["minimum"].append(floor_times(floor_exe, ramps, work, "--minimum"))
    except Failure as error:
        print("FAIL: %s" % error)
        return 1
    displays = runs["floor"][-1][2]
    print("\n| slider drag: %d rounds of %d \"set\" calls, one every 8 ms, %d monitor(s) "
          "| median | p99 | max | screen holds the last ramp |" % (rounds, len(ramps), displays))
    print("| --- | --- | --- | --- | --- |")
    medians = {}
    for key, name in (("host", "host: delivery of the call, handler included"),
                      ("floor", "floor: two log lines, each monitor's context read, written "
                                "nudged and exact"),
                      ("whole", "floor through the whole screen's context, taken twice, two "
                                "log lines"),
                      ("minimum", "earlier floor: one context, one log line")):
        times = [t for run in runs[key] for t in run[0]]
        medians[key] = statistics.median(times)
        holds = sum(run[1] for run in runs[key])
        print("| %s | %d µs | %d µs | %d µs | %d of %d rounds |" % (
            name, medians[key], p99(times), max(times), holds, rounds))
    print("| host / floor, medians (target at most 1.3x) | %.2fx | | | |" %
          (medians["host"] / medians["floor"]))
    print("| host / whole-screen floor, medians | %.2fx | | | |" %
          (medians["host"] / medians["whole"]))
    print("| host / earlier floor, medians | %.2fx | | | |" %
          (medians["host"] / medians["minimum"]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
