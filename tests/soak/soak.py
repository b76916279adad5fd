#!/usr/bin/env python3
"""Soak of the built host under the Wine + Xorg rig: for a given time, at random intervals, the
driver resets the screen from outside, switches the display mode, posts power events, and has
the scripted user interface send good, refused, bad and undecodable messages. It checks that the
host stays up and exits 0 when closed, that every outside reset while armed is undone within its
bound, that the guard's log holds exactly the expected lines, that every message gets one reply
of the expected kind, and that the host's resources stay steady.

  soak.py [--duration S] [--plan N] [--sample-every S]

The scenario is generated from a plan number as numbered steps, each held by an `await` until
the driver has done its outside action for that step; the driver then checks the step's replies
and the log before the next one. A failure prints the plan number: run again with --plan to
replay the same plan (the timing differs).
"""

import argparse
import json
import os
import random
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True  # nothing left in the source tree
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
from guard_model import RAMPS, GuardModel  # noqa: E402
from host_session import (Failure, HostSession, current_mode, expect, gamma_reset,  # noqa: E402
                          host_pids, tools_dir, wine, xramp)
from resource_samples import growth_violations, table, take_sample  # noqa: E402

UNDECODABLE_LINE = "Unable to construct method call from message on channel veskaro/gamma"
# Diagnostics the codec and the channel may write for the messages sent here; anything else on
# stderr (a missing or duplicate reply, for one) is a fault.
EXPECTED_STDERR = (
    UNDECODABLE_LINE,
    "Invalid read in StandardCodecByteStreamReader",
    "Invalid method call; method name is not a string.",
    "Unknown type in StandardCodecSerializer::ReadValueOfType: ",
)

SUCCESS = {"reply": "success"}
BAD_ARGS = {"reply": "error", "code": "bad_args", "message": "ramp must be 1536 bytes"}
EMPTY = {"reply": "empty"}

VALID_RAMPS = [name for name, (_, _, accepted) in RAMPS.items() if accepted]
BAD_SET_ARGUMENTS = [
    "", "null", '{"ramp": bytes(len=1535)}', '{"ramp": bytes(len=1537, fill=255)}',
    '{"Ramp": ramp(warm)}', '{"ramp": i32list(1, 2, 3)}', "ramp(warm)", '{"ramp": "warm"}',
    "{1: ramp(warm)}", "{bytes(72616D70): ramp(warm)}", '{"ramp ": ramp(warm)}', "[ramp(warm)]",
]
UNKNOWN_METHODS = ["reset", "SET", "Clear", "get", "setRamp"]
UNDECODABLE = ["03 01 00 00 00", "-", "0F", "0C 00", "00", "08 03 73 65 74"]
POWER_EVENTS = (18, 7, 4, 10)

# Weights of what the user interface does in a step, and of the driver's outside action.
UI_ACTIONS = [("set", 24), ("set_zero", 4), ("clear", 8), ("bad_set", 18), ("unknown", 10),
              ("undecodable", 14), ("power", 14), ("wait", 8)]
OUTSIDE_ACTIONS = [("none", 30), ("xgamma", 32), ("probe_reset", 10), ("mode", 12),
                   ("power", 8)]


def pick(rng, weighted):
    return rng.choices([w[0] for w in weighted], [w[1] for w in weighted])[0]


def plan_step(rng, calm):
    """(outside action, [(ui action, scenario command, expected reply or None, argument)]).
    A calm step has no display or power event, so that resets are also timed against the
    periodic check once the last burst is over."""
    commands = []
    for _ in range(rng.randint(1, 4)):
        action = pick(rng, UI_ACTIONS)
        if calm and action == "power":
            continue
        if action == "set":
            ramp = rng.choice(VALID_RAMPS)
            extra = ', "note": "soak"' if rng.random() < 0.2 else ""
            commands.append((action, 'call veskaro/gamma set {"ramp": %s%s}' %
                             (RAMPS[ramp][0], extra), SUCCESS, ramp))
        elif action == "set_zero":
            commands.append(("set", 'call veskaro/gamma set {"ramp": ramp(zero)}', SUCCESS,
                             "zero"))
        elif action == "clear":
            argument = rng.choice(["", " null", " 5"])
            commands.append((action, "call veskaro/gamma clear" + argument, SUCCESS, None))
        elif action == "bad_set":
            commands.append((action, ("call veskaro/gamma set " +
                                      rng.choice(BAD_SET_ARGUMENTS)).rstrip(), BAD_ARGS, None))
        elif action == "unknown":
            commands.append((action, "call veskaro/gamma " + rng.choice(UNKNOWN_METHODS), EMPTY,
                             None))
        elif action == "undecodable":
            commands.append((action, "send veskaro/gamma " + rng.choice(UNDECODABLE), EMPTY,
                             None))
        elif action == "power":
            event = rng.choice(POWER_EVENTS)
            commands.append((action, "post powerbroadcast %d 0" % event, None, event))
        elif action == "wait" and not commands:
            # Only first in a step, so the step's posted messages all follow its calls.
            commands.append((action, "wait %d" % rng.randint(50, 1500), None, None))
    outside = pick(rng, OUTSIDE_ACTIONS)
    if calm and outside in ("mode", "power"):
        outside = "xgamma"
    return outside, commands


class SoakSession(HostSession):
    """HostSession whose transcript is read incrementally: it grows to thousands of lines."""

    def __init__(self, name):
        super().__init__(name)
        self._offset = 0
        self._events = []

    def events(self):
        try:
            with open(self.transcript_path, "rb") as f:
                f.seek(self._offset)
                chunk = f.read()
        except OSError:
            return self._events
        complete = chunk.rfind(b"\n") + 1
        for raw in chunk[:complete].decode("utf-8").split("\n"):
            if raw.strip():
                try:
                    self._events.append(json.loads(raw))
                except ValueError as error:
                    raise Failure("transcript line is not JSON: %r (%s)" % (raw, error))
        self._offset += complete
        return self._events

    def wait_log_equal(self, wanted, timeout=5):
        deadline = time.monotonic() + timeout
        while True:
            log = self.log()
            if log == wanted:
                return
            if len(log) > len(wanted) or time.monotonic() > deadline:
                raise Failure("guard log differs from the expected one:\n  got    %r\n  wanted %r"
                              % (log[-8:], wanted[-8:]) + "\n  (last 8 lines; %d vs %d lines)" %
                              (len(log), len(wanted)))
            time.sleep(0.05)


def screen_is(ramp):
    return xramp(*RAMPS[ramp][1])[0] == 0


def wait_screen(ramp, timeout):
    start = time.monotonic()
    while True:
        if screen_is(ramp):
            return time.monotonic() - start
        if time.monotonic() - start > timeout:
            return None
        time.sleep(0.02)


class Soak:
    def __init__(self, args):
        self.args = args
        self.rng = random.Random(args.plan)
        self.model = GuardModel()
        self.counts = {}
        self.restores = {"periodic": [], "burst": []}
        self.violations = []
        self.samples = []
        self.mode = "1280x1024"
        self.undecodable_sent = 0

    def count(self, what, n=1):
        self.counts[what] = self.counts.get(what, 0) + n

    def violate(self, text):
        print("soak: VIOLATION: %s" % text, flush=True)
        self.violations.append(text)

    # Outside actions, while the scenario waits at the step's await.
    def outside(self, host, action, now):
        if action in ("xgamma", "probe_reset"):
            if action == "xgamma":
                gamma_reset()
            else:
                code, out = host.probe("--reset")
                expect(code == 0, "ramp_probe.exe --reset failed: " + out)
            self.count("reset (%s)" % action)
            restore = self.model.restore_expected()
            bound, in_burst = self.model.restore_bound(time.monotonic())
            self.model.outside_reset()
            if restore:
                elapsed = wait_screen(self.model.desired, bound + 5)
                kind = "burst" if in_burst else "periodic"
                if elapsed is None:
                    self.violate("%s ramp not restored within %.1f s of a reset (%s)" %
                                 (self.model.desired, bound + 5, kind))
                    return
                self.restores[kind].append(elapsed)
                if elapsed > bound:
                    self.violate("%s ramp restored %.2f s after a reset, bound %.1f s (%s)" %
                                 (self.model.desired, elapsed, bound, kind))
        elif action == "mode":
            width, height = (1024, 768) if self.mode == "1280x1024" else (1280, 1024)
            code, out = host.change_mode(width, height)
            expect(code == 0, "display_mode.exe %d %d failed: %s" % (width, height, out))
            self.mode = "%dx%d" % (width, height)
            expect(current_mode() == self.mode, "X mode is %s, not %s" % (current_mode(),
                                                                         self.mode))
            self.model.display_change(time.monotonic())
            self.count("display mode change")
        elif action == "power":
            event = self.rng.choice(POWER_EVENTS)
            code, out = wine(host.work, os.path.join(tools_dir(), "post_message.exe"),
                             "veskaro_flutter", 536, event, 0)
            expect(code == 0, "post_message.exe failed: " + out)
            self.model.power(event, time.monotonic())
            self.count("power event %d (outside)" % event)

    def check_replies(self, host, lines):
        for line, (action, command, wanted, argument) in lines:
            replies = [e for e in host.events() if e.get("event") == "reply" and
                       e.get("line") == line]
            if wanted is not None:
                if len(replies) != 1:
                    self.violate("line %d (%s): %d replies" % (line, command, len(replies)))
                    continue
                for key, value in wanted.items():
                    if replies[0].get(key) != value:
                        self.violate("line %d (%s): reply %s, wanted %s=%r" %
                                     (line, command, json.dumps(replies[0]), key, value))
                if wanted is SUCCESS and "value" in replies[0]:
                    self.violate("line %d (%s): success carries a value" % (line, command))
            now = time.monotonic()
            if action == "set":
                self.model.set(argument)
                self.count("set %s" % argument)
            elif action == "clear":
                self.model.clear()
                self.count("clear")
            elif action == "power":
                self.count("power event %d (posted)" % argument)
            else:
                self.count(action)
                if action == "undecodable":
                    self.undecodable_sent += 1
        # Posted power messages are handled after the step's calls, in order.
        for _, (action, _, _, argument) in lines:
            if action == "power":
                self.model.power(argument, time.monotonic())

    def sample(self, host, pid, start, steps):
        try:
            s = take_sample(host.work, pid, time.monotonic() - start, steps)
        except (OSError, ValueError, KeyError) as error:
            self.violate("resource sample failed: %s" % error)
            return
        self.samples.append(s)
        periodic, burst = self.restores["periodic"], self.restores["burst"]
        print("soak: t=%4d s  steps %4d  resets restored %3d (median %4.0f ms)  handles %d  "
              "gdi %d  user %d  working set %.1f MiB  rss %.1f MiB  fds %d  violations %d" %
              (s["t"], steps, len(periodic) + len(burst),
               1000 * statistics.median(periodic + burst) if periodic + burst else 0,
               s["handles"], s["gdi"], s["user"], s["working_set_kib"] / 1024,
               s["rss_kib"] / 1024, s["fds"], len(self.violations)), flush=True)

    def run(self):
        args = self.args
        steps = []
        done = 0
        with SoakSession("soak") as host:
            try:
                # More steps than the time allows; the driver closes the host when time is up.
                for k in range(int(args.duration * 2) + 20):
                    # Blocks of 20 steps (about 30 s), calm and eventful in turn.
                    outside, commands = plan_step(self.rng, calm=(k // 20) % 2 == 0)
                    host.await_signal("step-%d" % k, 3600 * 1000)
                    lines = [(host.add(c[1]), c) for c in commands]
                    host.add("mark step-%d" % k)
                    steps.append((outside, lines))
                host.start()
                host.wait_event(lambda e: e.get("event") == "start", "start of the scenario", 60)
                pids = host_pids()
                expect(len(pids) == 1, "expected one host process, found %s" % pids)
                pid = pids[0]
                start = time.monotonic()
                next_sample = start
                for k, (outside, lines) in enumerate(steps):
                    now = time.monotonic()
                    if now - start >= args.duration:
                        break
                    if now >= next_sample:
                        self.sample(host, pid, start, done)
                        next_sample += args.sample_every
                    expect(host.running(), "the host exited (code %s) during the soak" %
                           host.process.returncode)
                    if not screen_is(self.model.screen):
                        self.violate("before step %d the screen is not %s: %s" %
                                     (k, self.model.screen, xramp()[1]))
                    self.outside(host, outside, now)
                    host.wait_log_equal(self.model.log)
                    host.signal("step-%d" % k, 30)
                    host.mark("step-%d" % k, 30)
                    self.check_replies(host, lines)
                    host.wait_log_equal(self.model.log)
                    done += 1
                    time.sleep(self.rng.uniform(0, 2.0))
                expect(done == len(steps) or time.monotonic() - start >= args.duration,
                       "the plan ran out before the time")
                self.sample(host, pid, start, done)
                self.finish(host)
            except Failure as error:
                self.violate(str(error))
                print(host.diagnostics()[-6000:])
        self.report(done)
        return 1 if self.violations else 0

    def finish(self, host):
        if self.mode != "1280x1024":
            self.outside(host, "mode", time.monotonic())
            host.wait_log_equal(self.model.log)
        host.mode_changed = False
        # The driver closes the window, as a user would; the host must exit 0.
        code, out = wine(host.work, os.path.join(tools_dir(), "post_message.exe"),
                         "veskaro_flutter", 16, 0, 0)
        expect(code == 0, "post_message.exe WM_CLOSE failed: " + out)
        exit_code = host.wait_exit(30)
        expect(exit_code is not None, "host still running 30 s after WM_CLOSE")
        expect(exit_code == 0, "host exit code %s, not 0" % exit_code)
        self.count("host exit 0")
        errors = [e for e in host.events() if e.get("event") == "error"]
        if errors:
            self.violate("scenario errors: %s" % errors[:3])
        stderr = host.stderr().splitlines()
        unexpected = [l for l in stderr if not l.startswith(EXPECTED_STDERR)]
        if unexpected:
            self.violate("unexpected stderr lines: %r" % unexpected[:5])
        if stderr.count(UNDECODABLE_LINE) != self.undecodable_sent:
            self.violate("%d undecodable-message lines on stderr for %d undecodable messages" %
                         (stderr.count(UNDECODABLE_LINE), self.undecodable_sent))
        self.count("stderr lines", len(stderr))
        if self.model.log != host.log():
            self.violate("final guard log differs from the expected one")

    def report(self, done):
        args = self.args
        print("\nsoak summary (plan %d, %d s, %d steps)" % (args.plan, args.duration, done))
        width = max([len(k) for k in self.counts] + [30])
        for key in sorted(self.counts):
            print("  %-*s %6d" % (width, key, self.counts[key]))
        print("  %-*s %6d" % (width, "guard log lines", len(self.model.log)))
        for kind, times in self.restores.items():
            if times:
                print("  %-*s n=%d median %.0f ms max %.0f ms" %
                      (width, "restore after reset, " + kind, len(times),
                       1000 * statistics.median(times), 1000 * max(times)))
            else:
                print("  %-*s none" % (width, "restore after reset, " + kind))
        print("\nresource samples:\n" + table(self.samples))
        self.violations += growth_violations(self.samples, args.sample_every)
        if self.samples:
            s = self.samples[-1]
            print("(Wine's own answers: GetProcessHandleCount %d, GetGuiResources GDI %d, USER "
                  "%d)" % (s["api_handles"], s["api_gdi"], s["user"]))
        if self.violations:
            print("\nFAIL: %d violated checks (replay with --plan %d):" %
                  (len(self.violations), args.plan))
            for v in self.violations:
                print("  - " + v)
        else:
            print("\nok: no violated check")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--duration", type=int, default=60, help="seconds of soak")
    parser.add_argument("--plan", type=int, default=None, help="plan number: replays a plan")
    parser.add_argument("--sample-every", type=int, default=60,
                        help="seconds between resource samples")
    args = parser.parse_args(argv[1:])
    if args.plan is None:
        args.plan = random.SystemRandom().randrange(1 << 31)
    print("soak: plan %d (replay: --plan %d), %d s, samples every %d s" %
          (args.plan, args.plan, args.duration, args.sample_every), flush=True)
    try:
        return Soak(args).run()
    except (Failure, subprocess.SubprocessError, OSError) as error:
        print("FAIL (plan %d): %s" % (args.plan, error))
        return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
