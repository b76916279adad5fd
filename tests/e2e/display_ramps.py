#!/usr/bin/env python3
"""Ramps of their own per display on the two-monitor rig, run after every_display.py in its
rig: "veskaro/displays" end to end against the stand-in engine's model of the gamma hardware,
which keeps a ramp per display (under Wine every display's context writes the one X-wide ramp).
Each model display must hold the ramp it keeps, get it back after an outside reset, a refusal,
or a switch off and on, and "list" must say so. Prints each model display's samples (entries
32, 64, .., 224 of each channel) as it goes: scripts/demo --monitors 2 shows them."""

import os
import subprocess
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from guard_flow import ARMED, CLEARED, FAILED, INIT, OK, SUCCESS  # noqa: E402
from host_session import (IDENTITY, WARM, Failure, HostSession, expect, poll,  # noqa: E402
                          ramp_bytes, samples, scaled_ramp, set_call)
from standard_codec import encode_call  # noqa: E402

DISPLAYS = "veskaro/displays"
PATH = "\\\\?\\DISPLAY#Default_Monitor#000%d&0000#{E6F07B5F-EE97-4A90-B076-33F57BF4EAA7}"
ID2 = PATH % 1
DIM = scaled_ramp(0.6, 0.55, 0.5)
RESTORE_S = 10.0  # a check every 3 s, on a busy machine
OWN_SET, OWN_CLEARED = "displays: own ramp set for ", "displays: own ramp cleared for "


def call(host, method, arguments=None):
    return host.send(encode_call(method, arguments), DISPLAYS)


def own(host, display_id, ramp):
    return call(host, "set", {"id": display_id, "ramp": ramp_bytes(ramp)})


def expect_list(host, line, *displays):
    """displays: (number, ramp source, states allowed, as "a|b") for each display listed."""
    reply = host.reply(line)
    expect(reply[0] == "success" and isinstance(reply[1], list), "list: %r" % (reply,))
    wanted = [{"id": PATH % (n - 1), "device": "\\\\.\\DISPLAY%d" % n, "name": "Display%d" % n,
               "bounds": [1024 * (n - 1), 0, 1024 * n, 768], "primary": n == 1, "ramp": ramp}
              for n, ramp, _ in displays]
    found = [{k: v for k, v in d.items() if k != "state"} for d in reply[1]]
    states = [d.get("state") for d in reply[1]]
    expect(found == wanted and all(s in allowed.split("|") for s, (_, _, allowed) in
                                   zip(states, displays)),
           "list (line %d): %r, states %r; wanted %r, %r" % (line, found, states, wanted,
                                                             [d[2] for d in displays]))


def holding(host, ramps, what, since=None):
    """Waits until each model display holds its ramp ({name: ramp}); with since (the model's
    state before), each took exactly one rewrite (nudged, then exact) since then."""
    def writes():
        return {name: host.model()[name][1] - since[name][1] for name in ramps} if since else {}

    # The nudged write already shows the samples: a rewrite is whole once its exact one lands.
    expect(poll(lambda: all(host.holds(name, ramp) for name, ramp in ramps.items()) and
                all(n >= 2 for n in writes().values()), RESTORE_S, 0.05) is not None,
           "%s: not held within %.0f s: %s" % (what, RESTORE_S, host.model()))
    expect(set(writes().values()) <= {2}, "%s: writes since %r" % (what, writes()))
    print("display_ramps: %s" % what)
    for display, (values, writes, refused, _) in sorted(host.model().items()):
        for row, channel in enumerate(("red", "green", "blue")):
            print("  %-9s %-5s %s" % (display if row == 0 else "", channel,
                                      " ".join("%5d" % v for v in values[7 * row:7 * row + 7])) +
                  ("   writes %d, refused %d" % (writes, refused) if row == 0 else ""))


def scenario(host):
    """The scenario's lines; returns those whose replies are checked."""
    own(host, "monitor 0", DIM)  # not connected: kept, and forgotten by the shared clear
    host.send(encode_call("clear"))
    lines = {"forgotten": call(host, "list")}
    lines["shared"] = host.send(set_call(WARM))
    lines["own"] = own(host, ID2, DIM)
    lines["served"] = call(host, "list")
    for step in ("reset", "refuse", "refused", "off", "on"):
        host.await_signal(step, 120000)
        if step == "refuse":
            host.gamma("DISPLAY2", "refuse")
        if step in ("reset", "refuse", "off"):
            host.gamma("DISPLAY1", "reset")
            host.gamma("DISPLAY2", "reset")
            host.add("mark " + step)
        if step in ("refused", "off", "on"):
            lines[step] = call(host, "list")
        if step == "refused":
            host.gamma("DISPLAY2", "accept")
    lines["cleared"] = call(host, "clear", {"id": ID2})
    return lines


def display_ramps(host):
    lines = scenario(host)
    host.start_until_done(120000)
    expect([host.reply(lines[k]) for k in ("shared", "own")] == [SUCCESS] * 2, "set replies")
    expect_list(host, lines["forgotten"], (1, "none", "unchecked"), (2, "none", "unchecked"))
    holding(host, {"DISPLAY1": WARM, "DISPLAY2": DIM}, "the shared ramp and DISPLAY2's own")
    expect_list(host, lines["served"], (1, "shared", "intact"), (2, "own", "rewritten"))

    def outside(step):
        before = host.model()
        host.signal(step)
        host.wait_event("mark", step.__eq__, "the resets", 10)
        return before
    holding(host, {"DISPLAY1": WARM, "DISPLAY2": DIM}, "both reset, each restored with its "
            "own", outside("reset"))
    outside("refuse")
    holding(host, {"DISPLAY1": WARM, "DISPLAY2": IDENTITY}, "DISPLAY2 refusing, DISPLAY1 "
            "served")
    expect(poll(lambda: host.model()["DISPLAY2"][2] >= 2, RESTORE_S) is not None,
           "DISPLAY2 refused no write: %s" % host.model())
    host.signal("refused")
    expect_list(host, lines["refused"], (1, "shared", "intact|rewritten"), (2, "own", "refused"))
    holding(host, {"DISPLAY2": DIM}, "DISPLAY2 accepting again")
    host.switch_second(False)
    before = outside("off")
    expect_list(host, lines["off"], (1, "shared", "intact|rewritten"))
    holding(host, {"DISPLAY1": WARM}, "DUMMY1 off, DISPLAY1 reset and restored", before)
    expect(host.model()["DISPLAY2"][:2] == (samples(IDENTITY), before["DISPLAY2"][1]),
           "DISPLAY2 written while off: %s" % host.model())
    host.switch_second(True)
    holding(host, {"DISPLAY2": DIM}, "DUMMY1 on, DISPLAY2's own ramp applied again")
    host.signal("on")
    expect_list(host, lines["on"], (1, "shared", "intact|rewritten"), (2, "own", "intact|rewritten"))
    expect(host.reply(lines["cleared"]) == SUCCESS, "clear was not answered success")
    holding(host, {"DISPLAY2": WARM}, "DISPLAY2's own cleared, the shared ramp kept")
    host.finish()
    expect(host.log() == [INIT, OWN_SET + "monitor 0", CLEARED, ARMED, OK, OWN_SET + ID2, OK, FAILED, OK, OWN_CLEARED + ID2],
           "log: %r" % host.log())


def main():
    expect(os.environ.get("VESKARO_RIG_MONITORS") == "2", "needs the two-monitor rig")
    with HostSession("display_ramps", model=True) as host:
        display_ramps(host)
        with open(host.stderr_path, encoding="utf-8", errors="replace") as f:
            stderr = f.read()
        expect(not stderr, "stderr: " + stderr)
    print("display_ramps: passed")


if __name__ == "__main__":
    try:
        main()
    except (Failure, subprocess.TimeoutExpired, ValueError) as failure:
        print("display_ramps: FAILED: %s" % failure)
        sys.exit(1)
