#!/usr/bin/env python3
"""End-to-end cases: the built host under Wine keeps the UI's gamma ramp on the dummy Xorg's
real ramp, against real outside resets, a driver refusal and real display and power events.

  guard_cases.py CASE       runs one case (ctest runs each as e2e_CASE)
  guard_cases.py --list     prints the case names
"""

import os
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from host_session import (Failure, HostSession, current_mode, display_restore,  # noqa: E402
                          expect, gamma_reset, screen_is, screen_samples, screenshot_window,
                          wait_for_screen, window_id)

INIT = "init: channel registered"
ARMED = "set: desired ramp received, guard armed"
CLEARED = "clear: guard disarmed"
DISPLAY = "event: displaychange -> burst"
POWER = "event: power resume -> burst"
OK = "reassert: ramp was reset -> rewrite OK"
FAILED = "reassert: ramp was reset -> rewrite FAILED (driver rejected)"

SET_WARM = 'call veskaro/gamma set {"ramp": ramp(warm)}'
DIAGNOSTIC = "Unable to construct method call from message on channel veskaro/gamma"
# The periodic check runs every 3 s; allow for scheduling on a busy machine.
PERIODIC_RESTORE_S = 5.0
BURST_RESTORE_S = 2.0


def expect_reply(event, kind, **fields):
    expect(event.get("reply") == kind, "reply %s, wanted %s" % (event, kind))
    for key, value in fields.items():
        expect(event.get(key) == value, "reply %s: %s is not %r" % (event, key, value))
    if kind == "success" and "value" not in fields:
        expect("value" not in event, "success carries a value: %s" % event)


def expect_log(host, wanted):
    log = host.log()
    expect(log == wanted, "guard log %r, wanted %r" % (log, wanted))


def armed_warm(host):
    """Starts a host whose scenario armed the warm ramp and now waits for signal "done"."""
    host.start()
    expect_reply(host.reply(1), "success")
    # The reply comes after the immediate check, so the ramp is on the screen already.
    expect(wait_for_screen("warm", 1.0) is not None, "screen is not warm: " + screen_samples())
    host.wait_log(OK)


def reset_and_time(limit_s):
    """An outside reset; returns the seconds until the guard put the warm ramp back."""
    # The guard may win the race against our first read; a reset never seen three times in a
    # row means xgamma did nothing.
    for _ in range(3):
        gamma_reset()
        if screen_is("identity"):
            break
    else:
        raise Failure("xgamma did not reset the screen: " + screen_samples())
    elapsed = wait_for_screen("warm", limit_s)
    expect(elapsed is not None, "warm ramp not restored within %.1f s" % limit_s)
    print("restored %.0f ms after the reset" % (elapsed * 1000))
    return elapsed


def case_set_warm(host):
    host.add(SET_WARM)
    host.await_signal("done")
    host.add("close")
    armed_warm(host)
    code, out = host.probe("--expect", "warm")
    expect(code == 0, "ramp_probe does not read the warm ramp through GDI: " + out)
    expect_log(host, [INIT, ARMED, OK])
    host.signal("done")
    expect(host.finish() == 0, "host exit code is not 0")


def case_outside_reset(host):
    host.add(SET_WARM)
    host.await_signal("done")
    host.add("close")
    armed_warm(host)
    for _ in range(2):
        reset_and_time(PERIODIC_RESTORE_S)
    # Same outcome again and again: nothing more to log.
    expect_log(host, [INIT, ARMED, OK])
    host.signal("done")
    expect(host.finish() == 0, "host exit code is not 0")


def case_refused_ramp(host):
    set_line = host.add('call veskaro/gamma set {"ramp": ramp(zero)}')
    host.await_signal("done")
    host.add("close")
    host.start()
    expect_reply(host.reply(set_line), "success")
    host.wait_log(FAILED)
    # Two more periodic checks, each refused again, must not log again.
    time.sleep(6.5)
    expect_log(host, [INIT, ARMED, FAILED])
    expect(screen_is("identity"), "a refused ramp changed the screen: " + screen_samples())
    host.signal("done")
    expect(host.finish() == 0, "host exit code is not 0")


def case_display_change(host):
    host.add(SET_WARM)
    host.await_signal("done")
    host.add("close")
    armed_warm(host)
    code, out = host.change_mode(1024, 768)
    expect(code == 0, "display_mode.exe failed: " + out)
    expect(current_mode() == "1024x768", "X mode is %s, not 1024x768" % current_mode())
    host.wait_log(DISPLAY)
    # Whatever the switch did to the ramp, the burst's first check has settled it.
    expect(wait_for_screen("warm", 2.0) is not None, "not warm after the mode switch")
    elapsed = reset_and_time(PERIODIC_RESTORE_S)
    expect(elapsed < BURST_RESTORE_S, "restore took %.2f s during a burst" % elapsed)
    display_restore()
    expect(current_mode() == "1280x1024", "X mode not restored: %s" % current_mode())
    host.mode_changed = False
    expect_log(host, [INIT, ARMED, OK, DISPLAY])
    host.signal("done")
    expect(host.finish() == 0, "host exit code is not 0")


def case_power_events(host):
    host.add(SET_WARM)
    # Suspend (4) and power status change (10) are not resumes; they come first in the queue.
    for code in (4, 10, 18, 7):
        host.add("post powerbroadcast %d 0" % code)
    host.await_signal("done")
    host.add("close")
    armed_warm(host)
    host.wait_log(POWER, 2)
    time.sleep(0.3)
    expect_log(host, [INIT, ARMED, OK, POWER, POWER])
    elapsed = reset_and_time(PERIODIC_RESTORE_S)
    expect(elapsed < BURST_RESTORE_S, "restore took %.2f s during a burst" % elapsed)
    host.signal("done")
    expect(host.finish() == 0, "host exit code is not 0")


def case_clear(host):
    host.add(SET_WARM)
    clear_line = host.add("call veskaro/gamma clear")
    host.await_signal("done")
    host.add("close")
    host.start()
    expect_reply(host.reply(clear_line), "success")
    expect_log(host, [INIT, ARMED, OK, CLEARED])
    expect(screen_is("warm"), "clear changed the screen: " + screen_samples())
    gamma_reset()
    time.sleep(PERIODIC_RESTORE_S - 1)
    expect(screen_is("identity"), "the reset did not stay after clear: " + screen_samples())
    expect_log(host, [INIT, ARMED, OK, CLEARED])
    host.signal("done")
    expect(host.finish() == 0, "host exit code is not 0")


BAD_ARGUMENTS = {"reply": "error", "code": "bad_args", "message": "ramp must be 1536 bytes"}
NOT_IMPLEMENTED = {"reply": "empty"}
# (scenario command, expected reply fields, undecodable?)
BAD_INPUT = [
    ("call veskaro/gamma set", BAD_ARGUMENTS, False),
    ('call veskaro/gamma set {"ramp": bytes(len=1535)}', BAD_ARGUMENTS, False),
    ('call veskaro/gamma set {"ramp": bytes(len=1537, fill=255)}', BAD_ARGUMENTS, False),
    ('call veskaro/gamma set {"Ramp": ramp(identity)}', BAD_ARGUMENTS, False),
    ('call veskaro/gamma set {"ramp": i32list(1, 2, 3)}', BAD_ARGUMENTS, False),
    ("call veskaro/gamma set ramp(identity)", BAD_ARGUMENTS, False),
    ('call veskaro/gamma SET {"ramp": ramp(identity)}', NOT_IMPLEMENTED, False),
    ("call veskaro/gamma reset", NOT_IMPLEMENTED, False),
    ("send veskaro/gamma 03 01 00 00 00", NOT_IMPLEMENTED, True),
    ("send veskaro/gamma -", NOT_IMPLEMENTED, True),
]


def case_bad_input(host):
    host.add(SET_WARM)
    lines = [(host.add(command), command, fields, bad)
             for command, fields, bad in BAD_INPUT]
    host.await_signal("done")
    host.add("close")
    armed_warm(host)
    for line, command, fields, _ in lines:
        event = host.reply(line)
        for key, value in fields.items():
            expect(event.get(key) == value, "%s: reply %s, wanted %s=%r" %
                   (command, event, key, value))
    # Nothing changed: the guard still keeps the warm ramp and logged nothing more.
    expect(screen_is("warm"), "bad input changed the screen: " + screen_samples())
    expect_log(host, [INIT, ARMED, OK])
    reset_and_time(PERIODIC_RESTORE_S)
    host.signal("done")
    expect(host.finish() == 0, "host exit code is not 0")
    undecodable = sum(1 for _, _, _, bad in lines if bad)
    diagnostics = host.stderr().splitlines().count(DIAGNOSTIC)
    expect(diagnostics == undecodable, "%d diagnostic lines on stderr, wanted %d:\n%s" %
           (diagnostics, undecodable, host.stderr()))


def case_screenshot(host):
    host.add("mark first frame")
    host.await_signal("done")
    host.add("close")
    host.start()
    host.mark("first frame")
    artifacts = os.environ.get("VESKARO_E2E_ARTIFACTS", host.work)
    os.makedirs(artifacts, exist_ok=True)
    png = os.path.join(artifacts, "first_frame.png")
    expect(window_id("veskaro_flutter") is not None, "no X window titled veskaro_flutter")
    colours = screenshot_window(png)
    expect(os.path.exists(png) and os.path.getsize(png) > 0, "no screenshot at " + png)
    with open(png, "rb") as f:
        expect(f.read(8) == b"\x89PNG\r\n\x1a\n", png + " is not a PNG")
    expect(colours >= 16, "window shows %d colours, not the view's gradient" % colours)
    print("screenshot: %s (%d colours)" % (png, colours))
    expect_log(host, [INIT])
    host.signal("done")
    expect(host.finish() == 0, "host exit code is not 0")


CASES = {name[len("case_"):]: fn for name, fn in globals().items() if name.startswith("case_")}


def main(argv):
    if len(argv) == 2 and argv[1] == "--list":
        print("\n".join(CASES))
        return 0
    if len(argv) != 2 or argv[1] not in CASES:
        print("usage: guard_cases.py CASE|--list  (cases: %s)" % ", ".join(CASES),
              file=sys.stderr)
        return 2
    name = argv[1]
    start = time.monotonic()
    host = None
    try:
        with HostSession(name) as host:
            try:
                CASES[name](host)
            except (Failure, subprocess.SubprocessError, OSError) as error:
                print("FAIL %s: %s" % (name, error))
                print(host.diagnostics())
                return 1
    except Failure as error:
        print("FAIL %s: %s" % (name, error))
        return 1
    print("ok %s (%.1f s)" % (name, time.monotonic() - start))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
