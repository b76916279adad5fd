#!/usr/bin/env python3
"""The demo (run by scripts/demo, inside the rig): the user interface arms a warm evening ramp,
an outside program resets the screen, the guard puts the ramp back, the user interface clears.
Prints the screen's sampled ramp along the way, the reaction time and the guard's log, and saves
a screenshot of the window.

  guard_demo.py SCREENSHOT.png
"""

import os
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from host_session import (WARM, Failure, HostSession, expect, gamma_reset, poll,  # noqa: E402
                          screen, screen_is, screenshot_window, set_call)
from standard_codec import encode_call  # noqa: E402


def show(label):
    """The 21 sampled entries (32, 64, .., 224 of each channel) as three rows."""
    values = screen().split() + [""] * 21
    for row, channel in enumerate(("red", "green", "blue")):
        print("  %-26s %-5s %s" % (label if row == 0 else "", channel,
                                   " ".join("%5s" % v for v in values[7 * row:7 * row + 7])))


def main(argv):
    if len(argv) != 2:
        print("usage: guard_demo.py SCREENSHOT.png", file=sys.stderr)
        return 2
    screenshot = os.path.abspath(argv[1])
    with HostSession("demo") as host:
        try:
            set_line = host.send(set_call(WARM))
            host.await_signal("clear", 120000)
            clear_line = host.send(encode_call("clear"))
            host.add("wait 300")
            host.add("close")
            print("The screen: an Xorg server (dummy driver) on %s; its gamma ramp is real.\n"
                  "Samples are ramp entries 32, 64, .., 224 of each channel (0..65535).\n" %
                  os.environ["DISPLAY"])
            show("before")
            print("\nStarting veskaro_flutter.exe under Wine; the scripted UI sends \"set\" with a "
                  "warm evening ramp ...")
            host.start()
            print("  reply to \"set\": %s" % (host.reply(set_line),))
            expect(poll(lambda: screen_is(WARM), 2) is not None, "the warm ramp did not show")
            show("after set (warm)")
            os.makedirs(os.path.dirname(screenshot), exist_ok=True)
            screenshot_window(screenshot)
            print("\nAn outside program resets the screen: xgamma -gamma 1.0")
            gamma_reset()
            show("right after the reset")
            print("  the guard checks every 3 s; watching the screen every 20 ms ...", flush=True)
            elapsed = poll(lambda: screen_is(WARM), 6)
            expect(elapsed is not None, "the guard did not restore the ramp within 6 s")
            show("restored by the guard")
            print("  reaction time: %.2f s after the reset" % elapsed)
            print("\nThe UI sends \"clear\": the guard stops; the screen keeps what it has")
            host.signal("clear")
            print("  reply to \"clear\": %s" % (host.reply(clear_line),))
            print("  host exited with code %d" % host.finish())
            show("after clear and exit")
            print("\nThe guard's log, %s\\tarnuvo_gamma.log in Wine:" % host.temp_win)
            print("\n".join("  " + line for line in host.log()))
        except Failure as error:
            print("\ndemo FAILED: %s\n%s" % (error, host.diagnostics()))
            return 1
    print("\nScreenshot of the window: %s" % screenshot if os.path.exists(screenshot) else
          "\nno screenshot could be taken (ImageMagick import)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
