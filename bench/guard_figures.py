#!/usr/bin/env python3
"""End-to-end figures of the gamma guard (run by scripts/bench-e2e, inside the rig): the time
from an outside reset to the restored ramp, with the periodic check alone and during a burst,
and the host's CPU time and peak working set while armed and idle.

  guard_figures.py [--resets N] [--idle SECONDS]
"""

import argparse
import os
import random
import statistics
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree clean
HARNESS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e")
sys.path.insert(0, HARNESS)
from host_session import (WARM, WM_POWERBROADCAST, Failure, HostSession, expect,  # noqa: E402
                          gamma_reset, poll, proc_status, screen_is, set_call)


def cpu_seconds(pid):
    """User + system time of a process: fields 14 and 15 of /proc/PID/stat."""
    with open("/proc/%d/stat" % pid, encoding="ascii") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def time_resets(count, gap_s, rng, before=lambda: None):
    """Milliseconds from each outside reset to the restored warm ramp (xramp every 20 ms)."""
    times = []
    for _ in range(count):
        before()
        expect(poll(lambda: screen_is(WARM), 6) is not None, "not warm before a reset")
        # A random point in the check period, so the figures are not all the worst case.
        time.sleep(rng.uniform(0, gap_s))
        gamma_reset()
        elapsed = poll(lambda: screen_is(WARM), 6)
        expect(elapsed is not None, "not restored within 6 s")
        times.append(elapsed * 1000)
    return times


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--resets", type=int, default=7, help="resets per figure")
    parser.add_argument("--idle", type=float, default=60, help="armed idle period, seconds")
    args = parser.parse_args(argv[1:])
    rng = random.Random(20)
    try:
        with HostSession("figures") as host:
            set_line = host.send(set_call(WARM))
            # A plain timer while idle: an `await` would poll every 20 ms inside the host.
            host.add("wait %d" % (args.idle * 1000 + 3000))
            host.start_until_done(3600 * 1000)
            expect(host.reply(set_line) == ("success", None), "set was not answered success")
            pid = host.pid()
            print("armed idle for %.0f s ..." % args.idle, flush=True)
            time.sleep(1)
            before = cpu_seconds(pid)
            time.sleep(args.idle)
            cpu = cpu_seconds(pid) - before
            print("%d outside resets, periodic check only ..." % args.resets, flush=True)
            periodic = time_resets(args.resets, 3.0, rng)
            print("%d outside resets during power-resume bursts ..." % args.resets, flush=True)
            burst = time_resets(args.resets, 1.0, rng,
                                lambda: host.post_now(WM_POWERBROADCAST, 18))
            peak = proc_status(pid, "VmHWM")
            host.finish()
    except Failure as error:
        print("FAIL: %s" % error)
        return 1
    rows = [("end-to-end figure (veskaro_flutter.exe under Wine)", "value")]
    for label, times in (("periodic check", periodic), ("during a burst", burst)):
        rows.append(("reset -> restored, %s (n=%d)" % (label, len(times)),
                     "median %4.0f ms, max %4.0f ms" % (statistics.median(times), max(times))))
    rows.append(("host CPU over %.0f s armed idle" % args.idle,
                 "%.0f ms (%.3f %% of one core; clock tick %.0f ms)" %
                 (cpu * 1000, 100 * cpu / args.idle, 1000 / os.sysconf("SC_CLK_TCK"))))
    rows.append(("host peak working set (VmHWM)", "%.1f MiB" % (peak / 1024)))
    width = max(len(r[0]) for r in rows)
    rows.insert(1, ("-" * width, "-" * 31))
    print("\n" + "\n".join("%-*s  %s" % (width, name, value) for name, value in rows))
    print("\nreset times, ms: periodic %s; burst %s" %
          (" ".join("%.0f" % t for t in periodic), " ".join("%.0f" % t for t in burst)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
