#!/usr/bin/env python3
"""The demo (run by scripts/demo, inside the rig): the user interface arms a warm evening ramp,
an outside program resets the screen, the guard puts the ramp back, the user interface clears.
Prints the screen's sampled ramp along the way, the reaction time and the guard's log, and saves
a screenshot of the window.

  guard_demo.py SCREENSHOT.png
"""

import os
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from host_session import (Failure, HostSession, expect, gamma_reset, screen_samples,  # noqa: E402
                          screenshot_window, wait_for_screen)


def show(label, samples=None):
    """The 21 sampled entries (32, 64, .., 224 of each channel) as three rows."""
    values = (samples or screen_samples()).split()
    if len(values) != 21:
        print("  %-26s %s" % (label, " ".join(values)))
        return
    for row, channel in enumerate(("red", "green", "blue")):
        print("  %-26s %-5s %s" % (label if row == 0 else "", channel,
                                   " ".join("%5s" % v for v in values[7 * row:7 * row + 7])))


def step(text):
    print("\n%s" % text, flush=True)


def main(argv):
    if len(argv) != 2:
        print("usage: guard_demo.py SCREENSHOT.png", file=sys.stderr)
        return 2
    screenshot = os.path.abspath(argv[1])
    with HostSession("demo") as host:
        try:
            set_line = host.add('call veskaro/gamma set {"ramp": ramp(warm)}')
            host.add("mark armed")
            host.await_signal("clear", 120000)
            clear_line = host.add("call veskaro/gamma clear")
            host.add("wait 300")
            host.add("close")

            print("The screen: an Xorg server (dummy driver) on %s; its gamma ramp is real." %
                  os.environ["DISPLAY"])
            print("Samples are ramp entries 32, 64, .., 224 of each channel (0..65535).")
            step("Before: the screen's ramp")
            show("before")

            step("Starting veskaro_flutter.exe under Wine; the scripted UI sends \"set\" with a "
                 "warm evening ramp ...")
            host.start()
            reply = host.reply(set_line)
            print("  reply to \"set\": %s" % reply.get("reply"))
            expect(wait_for_screen("warm", 2) is not None, "the warm ramp did not reach the screen")
            show("after set (warm)")
            host.mark("armed")

            os.makedirs(os.path.dirname(screenshot), exist_ok=True)
            screenshot_window(screenshot)

            step("An outside program resets the screen: xgamma -gamma 1.0")
            gamma_reset()
            show("right after the reset")
            print("  the guard checks every 3 s; watching the screen every 20 ms ...", flush=True)
            elapsed = wait_for_screen("warm", 6)
            expect(elapsed is not None, "the guard did not restore the ramp within 6 s")
            show("restored by the guard")
            print("  reaction time: %.2f s after the reset" % elapsed)

            step("The UI sends \"clear\": the guard stops; the screen keeps what it has")
            host.signal("clear")
            print("  reply to \"clear\": %s" % host.reply(clear_line).get("reply"))
            code = host.finish()
            print("  host exited with code %d" % code)

            show("after clear and exit")
            step("The guard's log, %s\\%s in Wine:" % (host.temp_win,
                                                      os.path.basename(host.log_path)))
            with open(host.log_path, encoding="ascii") as f:
                for line in f.read().splitlines():
                    print("  " + line.rstrip("\r"))
        except Failure as error:
            print("\ndemo FAILED: %s" % error)
            print(host.diagnostics())
            return 1
    if os.path.exists(screenshot) and os.path.getsize(screenshot) > 0:
        print("\nScreenshot of the window: %s" % screenshot)
    else:
        print("\nno screenshot could be taken (ImageMagick import)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
