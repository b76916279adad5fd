#!/usr/bin/env python3
"""The guard flow end to end, and the demo (scripts/demo): the UI's ramp kept on the dummy Xorg's
real ramp against an outside reset until the UI clears it; a resume then restores nothing.

  guard_flow.py [CPACK CPACK_CONFIG]     from the built bundle, or from cpack's zip unpacked
"""

import os
import re
import shutil
import struct
import subprocess
import sys
import time
import zipfile

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from host_session import (IDENTITY, WARM, WM_POWERBROADCAST, Failure,  # noqa: E402
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


def show(label):
    values = screen().split() + [""] * 21
    for row, channel in enumerate(("red", "green", "blue")):
        print("  %-24s %-5s %s" % (label if row == 0 else "", channel,
                                   " ".join("%5s" % v for v in values[7 * row:7 * row + 7])))


def start_armed(host, line):
    host.start_until_done()
    expect(host.reply(line) == SUCCESS, "set was not answered success")
    # The reply comes after the immediate check, so the ramp is on the screen already.
    expect(poll(lambda: screen_is(WARM), 1.0) is not None, "screen is not warm: " + screen())
    host.wait_log(OK)


def reset_and_time(limit_s):
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
    expect(host.log() == [INIT, ARMED, OK, CLEARED, POWER], "guard log %r" % host.log())
    host.finish()
    print("guard log (%s):\n  %s" % (host.log_path, "\n  ".join(host.log())))


def unpack(cpack, cpack_config, work):
    """The zip unpacked under a path with a space and an "é", its version and manifest checked."""
    packages = os.path.join(work, "packages")
    subprocess.run([cpack, "--config", cpack_config, "-B", packages], check=True,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    zips = [name for name in os.listdir(packages) if name.endswith(".zip")]
    expect(len(zips) == 1, "cpack made %s, wanted one zip" % zips)
    folder = os.path.join(work, "Program Files", "veskaro é")
    shutil.rmtree(folder, ignore_errors=True)
    with zipfile.ZipFile(os.path.join(packages, zips[0])) as package:
        package.extractall(folder)
    with open(os.path.join(folder, "veskaro_flutter.exe"), "rb") as f:
        image = f.read()
    # The fixed record follows its signature: structure version, then the file version's words.
    at = image.find(struct.pack("<I", 0xFEEF04BD))
    version = re.search(r"-(\d+)\.(\d+)\.(\d+)\+(\d+)-", zips[0]).groups()
    major, minor, patch, tweak = map(int, version)
    expect(at > 0 and struct.unpack_from("<4H", image, at + 8) == (minor, major, tweak, patch),
           "the version record does not hold the zip's version")
    for part in (b'level="asInvoker"', b">PerMonitorV2</dpiAwareness>"):
        expect(part in image, "the manifest lacks %r" % part)
    return folder


def run_case(name, case, folder=None):
    start = time.monotonic()
    try:
        with HostSession(name, folder) as host:
            case(host)
    except (Failure, subprocess.SubprocessError, OSError, ValueError) as error:
        print("FAIL %s: %s" % (name, error))
        return 1
    print("ok %s (%.1f s)" % (name, time.monotonic() - start))
    return 0


def main(argv):
    if len(argv) not in (1, 3):
        print("usage: guard_flow.py [CPACK CPACK_CONFIG]", file=sys.stderr)
        return 2
    folder = None
    if len(argv) == 3:
        try:
            work = os.path.join(os.environ["VESKARO_E2E_WORK"], "unpacked")
            folder = unpack(argv[1], argv[2], work)
        except (Failure, subprocess.SubprocessError, OSError) as error:
            print("FAIL package: %s" % error)
            return 1
        print("package unpacked into %s" % folder)
    return run_case("guard_flow", guard_flow, folder)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
