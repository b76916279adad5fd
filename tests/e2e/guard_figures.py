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
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from host_session import (Failure, HostSession, expect, gamma_reset, host_pids,  # noqa: E402
                          tools_dir, wait_for_screen, wine)

SET_WARM = 'call veskaro/gamma set {"ramp": ramp(warm)}'


def cpu_seconds(pid):
    """User + system time of a process, from /proc/PID/stat."""
    with open("/proc/%d/stat" % pid, encoding="ascii") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # Fields 14 and 15 of the line; the split above starts at field 3.
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def peak_working_set_kib(pid):
    with open("/proc/%d/status" % pid, encoding="ascii") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def time_resets(count, gap_s, limit_s, rng, before=None):
    """Milliseconds from each outside reset to the restored warm ramp (xramp every 20 ms)."""
    times = []
    for _ in range(count):
        if before is not None:
            before()
        expect(wait_for_screen("warm", limit_s) is not None, "screen not warm before a reset")
        # A random point in the check period, so the figures are not all the worst case.
        time.sleep(rng.uniform(0, gap_s))
        gamma_reset()
        elapsed = wait_for_screen("warm", limit_s)
        expect(elapsed is not None, "not restored within %.1f s" % limit_s)
        times.append(elapsed * 1000)
    return times


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--resets", type=int, default=7, help="resets per figure (at least 5)")
    parser.add_argument("--idle", type=float, default=60, help="armed idle period, seconds")
    args = parser.parse_args(argv[1:])
    rng = random.Random(20)
    rows = []
    with HostSession("figures") as host:
        try:
            host.add(SET_WARM)
            # A plain timer while idle: an `await` would poll every 20 ms inside the host.
            host.add("wait %d" % (args.idle * 1000 + 3000))
            host.await_signal("done", 3600 * 1000)
            host.add("close")
            host.start()
            expect(host.reply(1).get("reply") == "success", "set was not answered success")
            expect(wait_for_screen("warm", 2) is not None, "the warm ramp is not on the screen")
            pids = host_pids()
            expect(len(pids) == 1, "expected one host process, found %s" % pids)
            pid = pids[0]

            print("armed idle for %.0f s ..." % args.idle, flush=True)
            time.sleep(1)
            before = cpu_seconds(pid)
            time.sleep(args.idle)
            cpu = cpu_seconds(pid) - before

            print("%d outside resets, periodic check only ..." % args.resets, flush=True)
            periodic = time_resets(args.resets, 3.0, 6.0, rng)

            print("%d outside resets during power-resume bursts ..." % args.resets, flush=True)
            post = os.path.join(tools_dir(), "post_message.exe")

            def resume():
                code, out = wine(host.work, post, "veskaro_flutter", 536, 18, 0)
                expect(code == 0, "post_message.exe failed: " + out)

            burst = time_resets(args.resets, 1.0, 6.0, rng, before=resume)
            peak = peak_working_set_kib(pid)
            host.signal("done")
            expect(host.finish() == 0, "host exit code is not 0")
        except Failure as error:
            print("FAIL: %s" % error)
            print(host.diagnostics())
            return 1

    rows.append(("reset -> restored, periodic check (n=%d)" % len(periodic),
                 "median %4.0f ms, max %4.0f ms" % (statistics.median(periodic),
                                                    max(periodic))))
    rows.append(("reset -> restored, during a burst (n=%d)" % len(burst),
                 "median %4.0f ms, max %4.0f ms" % (statistics.median(burst), max(burst))))
    rows.append(("host CPU over %.0f s armed idle" % args.idle,
                 "%.0f ms (%.3f %% of one core; clock tick %.0f ms)" %
                 (cpu * 1000, 100 * cpu / args.idle, 1000 / os.sysconf("SC_CLK_TCK"))))
    rows.append(("host peak working set (VmHWM)", "%.1f MiB" % (peak / 1024)))
    print()
    header = "end-to-end figure (veskaro_flutter.exe under Wine)"
    width = max([len(header)] + [len(r[0]) for r in rows])
    print("%-*s  %s" % (width, header, "value"))
    print("%s  %s" % ("-" * width, "-" * 31))
    for name, value in rows:
        print("%-*s  %s" % (width, name, value))
    print("\nreset times, ms: periodic %s; burst %s" %
          (" ".join("%.0f" % t for t in periodic), " ".join("%.0f" % t for t in burst)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
