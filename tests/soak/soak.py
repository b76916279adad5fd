#!/usr/bin/env python3
"""Soak of the built host under the Wine + Xorg rig: in random steps, the driver resets the
screen from outside, switches the display mode or posts a power event, then the scripted user
interface sets ramps (some the driver refuses) and clears. The host must stay up, undo resets
in time, answer, log as expected, keep stderr empty and its resources steady.
With --monitors 2 (the two-monitor rig) the host's gamma calls go to the stand-in engine's
model with a ramp per display: the driver resets one model display at a time and switches
DUMMY1 off and on instead of changing the mode, and the user interface also sets and clears
ramps of their own on veskaro/displays; each display must keep the ramp it is due.

  soak.py [--duration S] [--plan N] [--sample-every S] [--monitors 1|2]
                                                          (--plan N replays a plan's steps)
"""

import argparse
import collections
import json
import os
import random
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # nothing left in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from display_ramps import DIM, DISPLAYS, OWN_CLEARED, OWN_SET, PATH  # noqa: E402
from guard_flow import (ARMED, CLEARED, DISPLAY, FAILED, INIT, OK,  # noqa: E402
                        PERIODIC_RESTORE_S, POWER, SUCCESS)
from host_session import (CHANNEL, IDENTITY, WARM, WM_CLOSE, WM_POWERBROADCAST,  # noqa: E402
                          ZERO, TITLE, Failure, HostSession, expect, gamma_reset, poll,
                          proc_status, ramp_bytes, scaled_ramp, screen, screen_is, set_call)
from standard_codec import encode_call  # noqa: E402

RAMPS = [IDENTITY, WARM, scaled_ramp(0.8, 0.9, 1.0)]
RESUMES, POWER_EVENTS = (18, 7), (18, 7, 4, 10)

# Weights of what the user interface does in a step, and of the driver's outside action; with
# two monitors, the driver resets a model display ("reset") and switches DUMMY1 ("monitor").
UI_ACTIONS = {1: {"set": 24, "set_zero": 3, "clear": 4},
              2: {"set": 12, "set_zero": 3, "clear": 3, "own_set": 10, "own_clear": 6}}
OUTSIDE_ACTIONS = {1: {"none": 10, "xgamma": 40, "probe_reset": 10, "mode": 20, "power": 20},
                   2: {"none": 10, "reset": 50, "monitor": 20, "power": 20}}
IDS = {"DISPLAY1": PATH % 0, "DISPLAY2": PATH % 1}
# A display switched on is served at the guard's next check once Wine's programs see it.
RETURN_S = 10.0
# Resources that must not grow after the warm-up: Windows handles, GDI objects (device contexts
# among them), the host's share of the resident set (under Wine also the working set) and open
# descriptors. The host's share is the resident set less what the stand-in engine, which runs in
# the same process, reports its records and the scenario to hold; "heap" is what all the
# process's Windows heaps have in use (host, stand-in and Wine alike), "heap_free" what they
# hold committed but unused.
STEADY = ("handles", "gdi", "host_kib", "fds")
MEMORY = ("rss_kib", "stand_in_kib", "host_kib", "heap_kib", "heap_free_kib")
# A display change or resume of a guarded ramp starts 20 one-second checks; resets in the first
# 15 s of them must be undone within 2 s.
BURST_S, BURST_RESTORE_S = 15.0, 2.0
# Every run starts by guarding the warm ramp, switching the mode and resetting in the burst;
# with two monitors, by giving DISPLAY2 a ramp of its own and switching DUMMY1 off and on.
OPENING = {1: [("none", ["set"]), ("mode", []), ("xgamma", [])],
           2: [("none", ["set", "own_set"]), ("monitor", []), ("monitor", []), ("reset", [])]}


def slope(xs, ys):
    mx, my = sum(xs) / len(xs), sum(ys) / len(ys)
    return (sum((x - mx) * (y - my) for x, y in zip(xs, ys)) /
            sum((x - mx) ** 2 for x in xs))


class Desk:
    """What the displays are due, as the planner follows the user interface: the shared ramp,
    the ramps of their own, and whether DUMMY1 is on."""

    def __init__(self, monitors):
        self.displays = list(IDS) if monitors == 2 else ["screen"]
        self.shared, self.own, self.second_on = None, {}, True

    def guarded(self, display):
        """The ramp the display must hold; None when it has none, or one every driver refuses."""
        ramp = self.own.get(display, self.shared)
        return None if ramp is ZERO else ramp

    def armed(self):
        return self.shared is not None or bool(self.own)

    def failing(self):
        # DISPLAY1 is always on; the planner never lets a refused ramp rest on DISPLAY2 alone.
        return self.shared is ZERO and self.displays[0] not in self.own

    def unsettled(self):
        """Whether the guard's outcome would hang on when it sees DUMMY1 go or come."""
        return self.shared is ZERO and self.displays[0] in self.own and \
            any(d not in self.own for d in self.displays)


def plan_step(rng, desk, monitors, forced=None):
    """((outside action, its display), [(ui action, channel, message, log lines, desk's state
    after)]), following the user interface in desk. A plan of one monitor draws as it always
    did, so that its number replays the same steps."""
    outside, actions = forced or (None, rng.choices(*zip(*UI_ACTIONS[monitors].items()),
                                                    k=rng.randint(1, 4)))
    commands = []
    for action in actions:
        if forced:
            ramp, note, clear_arguments, display = WARM, {}, None, "DISPLAY2"
        else:
            ramp, note = rng.choice(RAMPS), {"note": "soak"} if rng.random() < 0.2 else {}
            clear_arguments = rng.choice([None, 5])
            display = rng.choice(desk.displays) if monitors == 2 else None
        before, failing = (desk.shared, dict(desk.own)), desk.failing()
        channel, log = CHANNEL, [ARMED]
        if action in ("set", "set_zero"):
            desk.shared = ramp if action == "set" else ZERO
            message = encode_call("set", dict(note if action == "set" else {},
                                              ramp=ramp_bytes(desk.shared)))
        elif action == "clear":
            desk.shared, desk.own, log = None, {}, [CLEARED]
            message = encode_call("clear", clear_arguments)
        else:
            channel, arguments = DISPLAYS, {"id": IDS[display]}
            if action == "own_set":
                desk.own[display] = DIM if forced else rng.choice(RAMPS[1:])
                arguments["ramp"] = ramp_bytes(desk.own[display])
            else:
                desk.own.pop(display, None)
            log = [(OWN_SET if action == "own_set" else OWN_CLEARED) + IDS[display]]
            message = encode_call(action[4:], arguments)
        if desk.unsettled():
            desk.shared, desk.own = before
            continue
        # A set resets the last outcome; a refusal is logged once until then.
        if desk.failing() and (action in ("set", "set_zero", "own_set") or not failing):
            log.append(FAILED)
        commands.append((action, channel, message, log, (desk.shared, dict(desk.own))))
    outside = outside or rng.choices(*zip(*OUTSIDE_ACTIONS[monitors].items()))[0]
    target = None
    if outside == "reset":
        target = rng.choice(desk.displays if desk.second_on else desk.displays[:1])
    elif outside == "monitor":
        desk.second_on = not desk.second_on
        target = "DISPLAY2" if not desk.second_on else None  # reset while it is off
    return (outside, target), commands


class Soak:
    def __init__(self, args):
        self.args = args
        self.rng = random.Random(args.plan)
        self.desk = Desk(args.monitors)  # what the guard keeps now, as the replies came
        # Expected count of each kind of log line, bar the outcomes of checks that succeed: a
        # refused ramp fails once, at its first check, and stays failed until the next set.
        self.log = collections.Counter({INIT: 1, ARMED: 0, CLEARED: 0, DISPLAY: 0, POWER: 0,
                                        FAILED: 0})
        self.log.update({prefix + i: 0 for i in IDS.values() for prefix in (OWN_SET, OWN_CLEARED)
                         if args.monitors == 2})
        self.counts = collections.Counter()
        self.violations, self.samples = [], []
        self.mode = "1280x1024"
        self.burst_end = 0.0

    def violate(self, text):
        print("soak: VIOLATION: %s" % text, flush=True)
        self.violations.append(text)

    def check_log(self, host):
        counts = lambda: collections.Counter({k: host.log().count(k) for k in self.log})
        if poll(lambda: counts() == self.log, 5, 0.05) is None:
            self.violate("guard log counts %s, wanted %s" % (dict(counts()), dict(self.log)))
            self.log = counts()  # each fault once
        strange = set(host.log()) - set(self.log) - {OK}
        expect(not strange, "unexpected guard log lines: %r" % strange)

    def holds(self, host, display):
        ramp = self.desk.guarded(display)
        return ramp is None or (host.holds(display, ramp) if self.args.monitors == 2 else
                                screen_is(ramp))

    def restored(self, host, display, limit=None):
        limit = limit or (BURST_RESTORE_S if time.monotonic() < self.burst_end else
                          PERIODIC_RESTORE_S)
        if poll(lambda: self.holds(host, display), limit) is None:
            self.violate("%s not restored within %.1f s" % (display, limit))

    def outside(self, host, k, action, target):
        self.counts["outside: " + action] += 1
        if action in ("reset", "monitor"):
            if action == "monitor":
                self.desk.second_on = target is None
                host.switch_second(self.desk.second_on)
            if target is not None:
                host.signal("outside-%d" % k, 30)
                host.wait_event("mark", ("outside-%d" % k).__eq__, "the model's reset", 30)
            if action == "reset":
                self.restored(host, target)
            elif target is None:
                self.restored(host, "DISPLAY2", RETURN_S)
        elif action in ("xgamma", "probe_reset"):
            if action == "xgamma":
                gamma_reset()
            else:
                code, out = host.tool("ramp_probe", "--reset")
                expect(code == 0, "ramp_probe.exe --reset failed: " + out)
            self.restored(host, "screen")
        elif action == "mode":
            self.mode = "1024x768" if self.mode == "1280x1024" else "1280x1024"
            host.switch_mode(self.mode)
            self.log[DISPLAY] += 1
            self.burst()
        elif action == "power":
            event = self.rng.choice(POWER_EVENTS)
            host.post_now(WM_POWERBROADCAST, event)
            self.log[POWER] += event in RESUMES
            if event in RESUMES:
                self.burst()

    def burst(self):
        self.burst_end = time.monotonic() + BURST_S if self.desk.armed() else 0.0

    def check_replies(self, host, lines):
        for line, (action, _, _, log, after) in lines:
            self.counts["ui: " + action] += 1
            reply = host.reply(line, 5)
            if reply != SUCCESS:
                self.violate("line %d (%s): reply %r" % (line, action, reply))
            self.log.update(log)
            self.desk.shared, self.desk.own = after
            if action == "clear" or not self.desk.armed():
                self.burst_end = 0.0  # disarmed, the burst stops

    def run(self):
        steps = []
        done = 0
        try:
            with HostSession("soak", model=self.args.monitors == 2) as host:
                # More steps than the time allows; the driver closes the host when time is up.
                desk, opening = Desk(self.args.monitors), OPENING[self.args.monitors]
                for k in range(self.args.duration * 2 + 20):
                    outside, commands = plan_step(self.rng, desk, self.args.monitors,
                                                  opening[k] if k < len(opening) else None)
                    host.add("memory")
                    if outside[1] is not None:  # the model's display reset from outside
                        host.await_signal("outside-%d" % k, 3600 * 1000)
                        host.gamma(outside[1], "reset")
                        host.add("mark outside-%d" % k)
                    host.await_signal("step-%d" % k, 3600 * 1000)
                    lines = [(host.send(c[2], c[1]), c) for c in commands]
                    host.add("mark step-%d" % k)
                    steps.append((outside, lines))
                host.start()
                host.wait_event("start", "".__eq__, "start of the scenario", 60)
                pid = host.pid()
                start = next_sample = time.monotonic()
                for k, (outside, lines) in enumerate(steps):
                    if time.monotonic() - start >= self.args.duration:
                        break
                    if time.monotonic() >= next_sample:
                        self.sample(host, pid, start, done)
                        next_sample += self.args.sample_every
                    expect(host.running(), "the host exited during the soak")
                    for display in self.desk.displays[:2 if self.desk.second_on else 1]:
                        if not self.holds(host, display):
                            self.violate("before step %d %s does not hold its ramp: %s" % (
                                k, display, host.model() if host.model_path else screen()))
                    self.outside(host, k, *outside)
                    host.signal("step-%d" % k, 30)
                    host.wait_event("mark", ("step-%d" % k).__eq__, "end of step %d" % k, 30)
                    self.check_replies(host, lines)
                    self.check_log(host)
                    done += 1
                    time.sleep(self.rng.uniform(0, 2.0))  # a random phase against the timers
                self.sample(host, pid, start, done)
                self.finish(host)
        except (Failure, subprocess.SubprocessError, OSError, ValueError, KeyError) as error:
            self.violate(str(error))
        self.report(done)
        return 1 if self.violations else 0

    def sample(self, host, pid, start, steps):
        code, out = host.tool("process_stats", TITLE)
        lines = [l for l in out.splitlines() if l.startswith("{")]
        expect(code == 0 and lines, "process_stats.exe failed (%d): %s" % (code, out.strip()))
        windows = json.loads(lines[-1])
        # The stand-in reports before each step's await, so the latest report is current.
        expect(poll(lambda: host.events("memory"), 10) is not None, "no memory report")
        stand_in, heap, free = (int(n) // 1024 for n in host.events("memory")[-1].split())
        rss = proc_status(pid, "VmRSS")
        self.samples.append({
            "t": round(time.monotonic() - start), "steps": steps, "rss_kib": rss,
            "stand_in_kib": stand_in, "host_kib": rss - stand_in, "heap_kib": heap,
            "heap_free_kib": free,
            "fds": len(os.listdir("/proc/%d/fd" % pid)), "handles": windows["handles"],
            "gdi": windows["gdi"]})
        fields = ", ".join("%s %s" % item for item in self.samples[-1].items())
        print("soak: %s  violations %d" % (fields, len(self.violations)), flush=True)

    def finish(self, host):
        # The driver closes the window, as a user would; the host must exit 0.
        host.post_now(WM_CLOSE)
        expect(host.wait_exit(30) == 0, "host exit code %s, not 0" % host.process.poll())
        with open(host.stderr_path, encoding="utf-8", errors="replace") as f:
            stderr = f.read().splitlines()
        if stderr:
            self.violate("stderr lines: %r" % stderr[:5])
        self.check_log(host)

    def check_growth(self):
        settled = [s for s in self.samples if s["t"] >= self.args.sample_every]
        if len(settled) < 2:
            self.violate("too few samples after the warm-up to judge growth (%d)" % len(settled))
            return
        first, last = settled[0], settled[-1]
        minutes = [(s["t"] - first["t"]) / 60 for s in settled]
        print("\nafter the warm-up (KiB, counts):")
        for field in MEMORY + ("handles", "gdi"):
            print("  %-12s %6d at %4d s -> %6d at %4d s, slope %+7.1f a minute" % (
                field, first[field], first["t"], last[field], last["t"],
                slope(minutes, [s[field] for s in settled])))
        for field in STEADY:
            allowed = first[field] // 10 if field.endswith("_kib") else 5
            if last[field] - first[field] > allowed:
                self.violate("%s grew from %d (t=%d s) to %d (t=%d s), more than %d" % (
                    field, first[field], first["t"], last[field], last["t"], allowed))

    def report(self, done):
        print("\nsoak summary (plan %d, %d s, %d steps)" % (self.args.plan, self.args.duration,
                                                            done))
        print("\n".join("  %-40s %6d" % item for item in sorted(self.counts.items())))
        self.check_growth()
        print("\nFAIL: %d violated checks (replay with --plan %d):\n  - %s" % (
            len(self.violations), self.args.plan, "\n  - ".join(self.violations))
              if self.violations else "\nok: no violated check")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--duration", type=int, default=60, help="seconds of soak")
    parser.add_argument("--plan", type=int, default=random.SystemRandom().randrange(1 << 31),
                        help="plan number: replays a plan")
    parser.add_argument("--sample-every", type=int, default=60,
                        help="seconds between resource samples")
    parser.add_argument("--monitors", type=int, choices=(1, 2), default=1,
                        help="2: the two-monitor rig, with the display model")
    args = parser.parse_args(argv[1:])
    if args.monitors == 2 and os.environ.get("VESKARO_RIG_MONITORS") != "2":
        parser.error("--monitors 2 needs the two-monitor rig (VESKARO_RIG_MONITORS=2)")
    print("soak: plan %d (replay: --plan %d), %d s, samples every %d s, %d monitor(s)" %
          (args.plan, args.plan, args.duration, args.sample_every, args.monitors), flush=True)
    return Soak(args).run()


if __name__ == "__main__":
    sys.exit(main(sys.argv))
