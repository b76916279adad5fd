"""Runs the built veskaro_flutter.exe under the Wine + Xorg rig with a scenario for the stand-in
engine's player, and reads what it leaves behind: the replies, the guard's log, stderr, and the
X server's real gamma ramp. The VESKARO_E2E_* variables are tests/e2e/CMakeLists.txt's."""

import os
import re
import shutil
import signal
import struct
import subprocess
import time

import standard_codec

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
WINE_EXEC = os.path.join(REPO, "scripts", "rig", "wine-exec")
TITLE = "veskaro_flutter"
CHANNEL = "veskaro/gamma"
LOG_LINE = re.compile(r"\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}  ([^\r\n]*)")
WM_CLOSE, WM_POWERBROADCAST = 16, 536
# The guard's own tolerance; Wine's read-back is quantised by up to ~200.
TOLERANCE = 512


class Failure(Exception):
    """An expectation of an end-to-end test did not hold."""


def expect(condition, what):
    if not condition:
        raise Failure(what)


def scaled_ramp(red, green, blue):
    return [round(257 * i * scale) for scale in (red, green, blue) for i in range(256)]


IDENTITY = scaled_ramp(1.0, 1.0, 1.0)
WARM = scaled_ramp(1.0, 0.85, 0.65)
ZERO = [0] * 768  # drivers refuse it


def ramp_bytes(ramp):
    return struct.pack("<768H", *ramp)


def set_call(ramp):
    return standard_codec.encode_call("set", {"ramp": ramp_bytes(ramp)})


def poll(condition, timeout, every=0.02):
    start = time.monotonic()
    while not condition():
        if time.monotonic() - start > timeout:
            return None
        time.sleep(every)
    return time.monotonic() - start


def run(*args):
    return subprocess.run(args, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                          timeout=30, check=False)


def run_to_file(args, path, timeout):
    """(code, output): into a file, as a Wine program's pipe would wait for wineserver's copy."""
    with open(path, "wb") as out:
        code = subprocess.call(args, stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                               timeout=timeout)
    with open(path, encoding="utf-8", errors="replace") as out:
        return code, out.read()


def proc_status(pid, field):
    with open("/proc/%d/status" % pid, encoding="ascii") as f:
        return int(next(line.split()[1] for line in f if line.startswith(field + ":")))


def win_path(unix_path):
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def screen():
    """The X server's ramp read from Linux, past Wine: entries 32, 64, .., 224 per channel."""
    return run(os.environ["VESKARO_XRAMP"]).stdout.strip()


def samples(ramp):
    """Entries 32, 64, .., 224 of each channel: what the probes and the display model print."""
    return [ramp[c * 256 + e] for c in range(3) for e in range(32, 256, 32)]


def matches(values, ramp):
    values = values.split()
    return len(values) == 21 and all(abs(int(v) - w) <= TOLERANCE
                                     for v, w in zip(values, samples(ramp)))


def screen_is(ramp):
    return matches(screen(), ramp)


def gamma_reset():
    expect(run("xgamma", "-quiet", "-gamma", "1.0").returncode == 0, "xgamma failed")


def host_pids():
    prefix = ("WINEPREFIX=" + os.environ.get("WINEPREFIX", "")).encode()
    pids = []
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                program = f.read().split(b"\0")[0]
            # Wine names a process by its Windows program (envrun.exe only passes the name on).
            if program.lower().endswith(b"veskaro_flutter.exe"):
                with open("/proc/%s/environ" % entry, "rb") as f:
                    if prefix in f.read().split(b"\0"):
                        pids.append(int(entry))
        except OSError:
            continue
    return pids


def load_rig_env():
    """Once: a case may then point WINEPREFIX at a prefix of its own."""
    path = os.environ.pop("VESKARO_E2E_RIG_ENV", "")
    if os.path.exists(path):
        with open(path, encoding="utf-8") as env:
            pairs = [line.rstrip("\n").split("=", 1) for line in env if "=" in line]
            os.environ.update((k, v) for k, v in pairs if v and k != "VESKARO_FIXTURE_STARTED")
    for key in ("DISPLAY", "WINEPREFIX", "VESKARO_RIG"):
        expect(os.environ.get(key), "the rig is not up (no %s): run through ctest's e2e "
               "fixture or scripts/rig/with-rig" % key)


USER = os.environ.get("USER") or run("id", "-un").stdout.strip()


def temp_folder(name):
    """The Unix and Windows paths of a session's temporary folder, where the guard logs."""
    return (os.path.join(os.environ["WINEPREFIX"], "drive_c", "users", USER, "Temp", name),
            "C:\\users\\%s\\Temp\\%s" % (USER, name))


class HostSession:
    """One run of the host from `folder` (the built bundle by default) with a scenario, in a
    fresh log folder; send() / add() / await_signal() return the scenario's line number."""

    def __init__(self, name, folder=None, model=False):
        """model: the host's gamma calls go to the stand-in engine's display model."""
        load_rig_env()
        self.folder = folder or os.environ["VESKARO_E2E_BUNDLE"]
        self.work = os.path.join(os.environ["VESKARO_E2E_WORK"], name)
        temp, self.temp_win = temp_folder(name)
        for fresh in (self.work, temp):
            shutil.rmtree(fresh, ignore_errors=True)
            os.makedirs(fresh)
        self.log_path = os.path.join(temp, "tarnuvo_gamma.log")
        self.transcript_path = os.path.join(self.work, "transcript.txt")
        self.stderr_path = os.path.join(self.work, "host-stderr.txt")
        self.model_path = os.path.join(self.work, "display-gamma.txt") if model else None
        self.lines = []
        self.process = None
        self.mode_changed = False
        self._offset, self._events = 0, []

    def add(self, command):
        self.lines.append(command)
        return len(self.lines)

    def send(self, message, channel=CHANNEL):
        return self.add("send %s %s" % (channel, message.hex() or "-"))

    def gamma(self, display, action):
        """An outside action on a display of the model: reset, refuse or accept."""
        return self.add("gamma %s %s" % (display, action))

    def await_signal(self, name, timeout_ms=30000):
        path = win_path(os.path.join(self.work, "signal-" + name))
        return self.add("await %s %d" % (path, timeout_ms))

    def __enter__(self):
        return self

    def __exit__(self, kind, *_):
        if kind is not None:
            print(self.diagnostics())
        if self.running():
            for pid in host_pids():
                os.kill(pid, signal.SIGKILL)
            if self.wait_exit(5) is None:
                os.killpg(self.process.pid, signal.SIGKILL)
        if self.mode_changed:
            # The physical size too, which each switch of Wine's shrinks (see rig_display_restore).
            run("xrandr", "-s", "1280x1024")
            run("xrandr", "--dpi", "96")
        gamma_reset()

    def start(self):
        for pid in host_pids():
            # A host left over by an earlier run would make ours exit as the second instance.
            print("e2e: stopping a leftover host, pid %d" % pid)
            os.kill(pid, signal.SIGKILL)
        poll(lambda: not host_pids(), 5)
        gamma_reset()
        scenario = os.path.join(self.work, "scenario.txt")
        with open(scenario, "w", encoding="utf-8") as f:
            f.write("\n".join(self.lines) + "\n")
        env = dict(os.environ, TMP=self.temp_win, TEMP=self.temp_win,
                   TESTBED_SCENARIO=win_path(scenario),
                   TESTBED_TRANSCRIPT=win_path(self.transcript_path))
        if self.model_path:
            env["TESTBED_DISPLAY_GAMMA"] = win_path(self.model_path)
        with open(os.path.join(self.work, "host-stdout.txt"), "wb") as out, \
                open(self.stderr_path, "wb") as err:
            self.process = subprocess.Popen(
                [WINE_EXEC, "veskaro_flutter.exe"], cwd=self.folder, env=env,
                stdin=subprocess.DEVNULL, stdout=out, stderr=err, start_new_session=True)

    def start_until_done(self, timeout_ms=30000):
        self.await_signal("done", timeout_ms)
        self.add("close")
        self.start()

    def running(self):
        return self.process is not None and self.process.poll() is None

    def wait_exit(self, timeout=20):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def events(self, kind):
        """The fields of every `kind` event so far: "T EVENT FIELDS" lines."""
        try:
            with open(self.transcript_path, "rb") as f:
                f.seek(self._offset)
                chunk = f.read()
        except OSError:
            chunk = b""
        complete = chunk.rfind(b"\n") + 1  # the last piece may be a line being written
        for raw in chunk[:complete].decode("utf-8").splitlines():
            self._events.append((raw.split(" ", 2) + [""])[1:3])
        self._offset += complete
        errors = [f for e, f in self._events if e == "error"]
        expect(not errors, "scenario error (line, text): %s" % errors[:1])
        return [f for e, f in self._events if e == kind]

    def wait_event(self, kind, test, what, timeout=20):
        poll(lambda: any(map(test, self.events(kind))) or not self.running(), timeout)
        found = [f for f in self.events(kind) if test(f)]
        expect(found, "no %s within %d s (host %s)" % (
            what, timeout, "running" if self.running() else "exited"))
        return found[0]

    def reply(self, line, timeout=20):
        prefix = "%d " % line
        reply = self.wait_event("reply", lambda f: f.startswith(prefix), "reply to line %d" %
                                line, timeout).split(" ")[2]
        expect(reply != "none", "line %d was not answered" % line)
        return standard_codec.decode_reply(bytes.fromhex(reply) if reply != "empty" else b"")

    def model(self):
        """The display model's state: {display: (samples, writes, refused, refusing)}."""
        try:
            with open(self.model_path, encoding="ascii") as f:
                rows = [line.split() for line in f]
        except FileNotFoundError:
            return {}
        return {r[0]: ([int(v) for v in r[8:]], int(r[2]), int(r[4]), r[6] == "1") for r in rows}

    def holds(self, display, ramp):
        return self.model().get(display, [None])[0] == samples(ramp)

    def signal(self, name, timeout=10):
        """Releases an `await` of the scenario and waits until the player took the signal."""
        path = os.path.join(self.work, "signal-" + name)
        open(path, "w", encoding="utf-8").close()
        self.wait_event("await", win_path(path).__eq__, "await of %r" % name, timeout)

    def finish(self, timeout=20):
        self.signal("done")
        self.wait_event("close", "".__eq__, "close event", timeout)
        code = self.wait_exit(timeout)
        expect(code == 0, "host exit code %s %d s after close" % (code, timeout))

    def log(self):
        """The messages; every line well formed and ended by CR LF, as a text-mode file's."""
        try:
            with open(self.log_path, "rb") as f:
                text = f.read().decode("ascii")
        except OSError:
            return []
        lines = text.split("\r\n")
        expect(lines.pop() == "", "the log does not end in CR LF: %r" % text[-80:])
        found = [LOG_LINE.fullmatch(line) for line in lines]
        expect(all(found), "malformed log line, or one not ended by CR LF, in %r" % lines)
        return [f.group(1) for f in found]

    def wait_log(self, message, count=1, timeout=5):
        expect(poll(lambda: self.log().count(message) >= count, timeout, 0.05) is not None,
               "log has %r fewer than %d times: %r" % (message, count, self.log()))

    def tool(self, name, *args):
        self.mode_changed |= name == "display_mode"
        tools = os.environ["VESKARO_E2E_TOOLS"]
        return run_to_file([WINE_EXEC, os.path.join(tools, name + ".exe")] +
                           [str(a) for a in args], os.path.join(self.work, "tool-output.txt"), 60)

    def post_now(self, message, wparam=0):
        code, out = self.tool("post_message", TITLE, message, wparam, 0)
        expect(code == 0, "post_message.exe failed: " + out)

    def switch_second(self, on):
        """DUMMY1 of the two-monitor rig off or on; returns once Windows programs see it."""
        where = ["--auto", "--right-of", "DUMMY0"] if on else ["--off"]  # a bare --auto clones
        result = run("xrandr", "--output", "DUMMY1", *where)
        expect(result.returncode == 0, "xrandr failed: " + result.stderr)
        code, out = self.tool("monitors", "--until", 2 if on else 1)
        expect(code == 0, "Windows programs do not follow DUMMY1: " + out)

    def switch_mode(self, mode):
        code, out = self.tool("display_mode", *mode.split("x"))
        found = re.search(r"current (\d+) x (\d+),", run("xrandr").stdout)
        current = "%sx%s" % found.groups() if found else ""
        expect(code == 0 and current == mode, "mode switch to %s failed (%s): %s" %
               (mode, current, out))

    def pid(self):
        pids = host_pids()
        expect(len(pids) == 1, "expected one host process, found %s" % pids)
        return pids[0]

    def screenshot(self):
        """A PNG of the unmanaged window once the view's gradient shows, and its colour count."""
        artifacts = os.environ.get("VESKARO_E2E_ARTIFACTS") or self.work
        os.makedirs(artifacts, exist_ok=True)
        png = os.path.join(artifacts, os.path.basename(self.work) + ".png")

        def colours():
            tree = run("xwininfo", "-root", "-tree").stdout.splitlines()
            window = [row.split()[0] for row in tree if '"%s"' % TITLE in row]
            if not window:
                return 0
            run("import", "-window", window[0], png)
            count = run("identify", "-format", "%k", png).stdout
            return int(count) if count.isdigit() else 0
        poll(lambda: colours() >= 16, 5, 0.2)
        return png, colours()

    def diagnostics(self):
        listing = ["%3d  %s" % (i + 1, l[:100]) for i, l in enumerate(self.lines)]
        parts = ["scenario (its end):"] + listing[-60:]
        for path in (self.transcript_path, self.stderr_path, self.log_path):
            try:
                with open(path, encoding="utf-8", errors="replace") as f:
                    parts.append("%s:\n%s" % (path, f.read().rstrip()[-6000:]))
            except OSError:
                parts.append("no %s" % path)
        if self.model_path:
            parts.append("display model: %s" % self.model())
        return "\n".join(parts + ["screen (xramp): " + screen()])
