#!/usr/bin/env python3
"""End-to-end cases: the built host under Wine shows its window and keeps the UI's gamma ramp
on the dummy Xorg's real ramp, against real outside resets, a driver refusal and real display
and power events. The guard flow is also the demo (scripts/demo): it prints the screen's ramp
as it goes and the guard's log.

  guard_cases.py CASE|--list      runs one case (ctest runs each as e2e_CASE), or lists them
"""

import os
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from host_session import (IDENTITY, WARM, WM_POWERBROADCAST, ZERO, Failure,  # noqa: E402
                          HostSession, expect, gamma_reset, matches, poll, screen,
                          screen_is, set_call)
from standard_codec import encode_call  # noqa: E402

INIT = "init: channel registered"
ARMED = "set: desired ramp received, guard armed"
CLEARED = "clear: guard disarmed"
DISPLAY = "event: displaychange -> burst"
POWER = "event: power resume -> burst"
OK = "reassert: ramp was reset -> rewrite OK"
FAILED = "reassert: ramp was reset -> rewrite FAILED (driver rejected)"
SUCCESS = ("success", None)
PBT_APMRESUMEAUTOMATIC = 18
# The periodic check runs every 3 s; allow for scheduling on a busy machine.
PERIODIC_RESTORE_S = 5.0
BURST_RESTORE_S = 2.0


def expect_log(host, wanted):
    log = host.log()
    expect(log == wanted, "guard log %r, wanted %r" % (log, wanted))


def show(label):
    """The screen's 21 samples (entries 32, 64, .., 224 of each channel) as three rows."""
    values = screen().split() + [""] * 21
    for row, channel in enumerate(("red", "green", "blue")):
        print("  %-24s %-5s %s" % (label if row == 0 else "", channel,
                                   " ".join("%5s" % v for v in values[7 * row:7 * row + 7])))


def start_armed(host, line):
    """Starts the host whose scenario line `line` sets the warm ramp; waits until it shows."""
    host.start_until_done()
    expect(host.reply(line) == SUCCESS, "set was not answered success")
    # The reply comes after the immediate check, so the ramp is on the screen already.
    expect(poll(lambda: screen_is(WARM), 1.0) is not None, "screen is not warm: " + screen())
    host.wait_log(OK)


def reset_and_time(limit_s):
    """An outside reset, which the guard must undo within limit_s."""
    # The guard may win the race against our first read; a reset never seen three times in a
    # row means xgamma did nothing.
    for _ in range(3):
        gamma_reset()
        if screen_is(IDENTITY):
            break
    else:
        raise Failure("xgamma did not reset the screen: " + screen())
    show("reset from outside")
    elapsed = poll(lambda: screen_is(WARM), limit_s)
    expect(elapsed is not None, "warm ramp not restored within %.1f s" % limit_s)
    show("restored %.0f ms later" % (elapsed * 1000))


def guard_flow(host):
    set_line = host.send(set_call(WARM))
    host.await_signal("clear")
    clear_line = host.send(encode_call("clear"))
    host.await_signal("resume")
    # A resume starts a burst whose first check is immediate, had clear left the guard armed.
    host.add("post %d %d 0" % (WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC))
    start_armed(host, set_line)
    show("set: warm")
    png, colours = host.screenshot()
    expect(colours >= 16, "the window titled veskaro_flutter shows %d colours, not the view's "
           "gradient" % colours)
    print("screenshot: %s (%d colours)" % (png, colours))
    code, out = host.tool("ramp_probe")
    expect(code == 0 and matches(out, WARM), "GDI does not read the warm ramp: " + out)
    reset_and_time(PERIODIC_RESTORE_S)
    host.signal("clear")
    expect(host.reply(clear_line) == SUCCESS, "clear was not answered success")
    expect(screen_is(WARM), "clear changed the screen: " + screen())
    gamma_reset()
    host.signal("resume")
    host.wait_log(POWER)
    expect(screen_is(IDENTITY), "the guard restored a ramp after clear: " + screen())
    show("clear, reset, resume")
    expect_log(host, [INIT, ARMED, OK, CLEARED, POWER])
    host.finish()
    print("guard log (%s):\n  %s" % (host.log_path, "\n  ".join(host.log())))


def case_refused_ramp(host):
    set_line = host.send(set_call(ZERO))
    host.start_until_done()
    expect(host.reply(set_line) == SUCCESS, "set was not answered success")
    host.wait_log(FAILED)
    expect(screen_is(IDENTITY), "a refused ramp changed the screen: " + screen())
    expect_log(host, [INIT, ARMED, FAILED])
    host.finish()


def case_display_change(host):
    start_armed(host, host.send(set_call(WARM)))
    host.switch_mode("1024x768")
    host.wait_log(DISPLAY)
    # Whatever the switch did to the ramp, the burst's first check has settled it.
    expect(poll(lambda: screen_is(WARM), 2.0) is not None, "not warm after the mode switch")
    reset_and_time(BURST_RESTORE_S)
    expect_log(host, [INIT, ARMED, OK, DISPLAY])
    host.finish()


def run_case(name, case, folder=None):
    """Runs a case with veskaro_flutter.exe started from `folder` (the built bundle, an unpacked
    archive, an installation); 0 when it passed."""
    start = time.monotonic()
    try:
        with HostSession(name, folder) as host:
            case(host)
    except (Failure, subprocess.SubprocessError, OSError, ValueError) as error:
        print("FAIL %s: %s" % (name, error))
        return 1
    print("ok %s (%.1f s)" % (name, time.monotonic() - start))
    return 0


CASES = dict([("guard_flow", guard_flow)] + [(name[len("case_"):], fn) for name, fn in
                                              globals().items() if name.startswith("case_")])


def main(argv):
    if len(argv) == 2 and argv[1] == "--list":
        print("\n".join(CASES))
        return 0
    if len(argv) != 2 or argv[1] not in CASES:
        print("usage: guard_cases.py CASE|--list  (cases: %s)" % ", ".join(CASES),
              file=sys.stderr)
        return 2
    return run_case(argv[1], CASES[argv[1]])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
