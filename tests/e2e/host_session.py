"""Runs the built veskaro_flutter.exe under the Wine + Xorg rig with a scenario for the stand-in
engine's player, and reads what it leaves behind: the reply transcript, the guard's log, stderr,
and the X server's real gamma ramp.

Environment (set by tests/e2e/CMakeLists.txt; the scripts set it themselves):
  VESKARO_E2E_RIG_ENV   KEY=VALUE file from scripts/rig/fixture-up (loaded when present)
  VESKARO_E2E_BUNDLE    folder of veskaro_flutter.exe, flutter_windows.dll, data/
  VESKARO_E2E_TOOLS     folder of ramp_probe.exe, display_mode.exe, post_message.exe
  VESKARO_E2E_WORK      scratch folder (scenarios, transcripts, signal files)
Wine programs never write into a pipe here: their output goes to files.
"""

import json
import os
import re
import shutil
import signal
import subprocess
import time

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
WINE_EXEC = os.path.join(REPO, "scripts", "rig", "wine-exec")
TITLE = "veskaro_flutter"
LOG_NAME = "tarnuvo_gamma.log"
LOG_LINE = re.compile(r"^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}  (.*)$")


class Failure(Exception):
    """An expectation of an end-to-end test did not hold."""


def expect(condition, what):
    if not condition:
        raise Failure(what)


def load_rig_env():
    path = os.environ.get("VESKARO_E2E_RIG_ENV", "")
    if path and os.path.exists(path):
        with open(path, encoding="utf-8") as env:
            for line in env:
                key, sep, value = line.rstrip("\n").partition("=")
                if sep and key != "VESKARO_FIXTURE_STARTED" and value:
                    os.environ[key] = value
    for key in ("DISPLAY", "WINEPREFIX", "VESKARO_RIG"):
        if not os.environ.get(key):
            raise Failure("the rig is not up (no %s): run through ctest's e2e fixture or "
                          "scripts/rig/with-rig" % key)


def win_path(unix_path):
    """The path of a Unix file as Wine programs see it."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def tools_dir():
    return os.environ.get("VESKARO_E2E_TOOLS", os.path.join(REPO, "build", "windows",
                                                            "testbed", "tools"))


def bundle_dir():
    return os.environ.get("VESKARO_E2E_BUNDLE", os.path.join(REPO, "build", "windows", "bundle"))


def run_quiet(args, out_path, timeout=60, env=None, cwd=None):
    """Runs a program with its output in a file (never a pipe); returns (code, output)."""
    with open(out_path, "wb") as out:
        code = subprocess.call(args, stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                               timeout=timeout, env=env, cwd=cwd)
    with open(out_path, encoding="utf-8", errors="replace") as out:
        return code, out.read()


def wine(scratch, program, *args):
    """Runs a Windows program in the rig; returns (code, output)."""
    return run_quiet([WINE_EXEC, program] + [str(a) for a in args],
                     os.path.join(scratch, "wine-output.txt"))


def xramp(*args):
    """The X server's ramp read from Linux, past Wine: (code, output)."""
    exe = os.environ.get("VESKARO_XRAMP") or os.path.join(REPO, "build", "rig-tools", "linux", "xramp")
    done = subprocess.run([exe] + list(args), stdin=subprocess.DEVNULL, capture_output=True,
                          text=True, timeout=10, check=False)
    return done.returncode, (done.stdout + done.stderr).strip()


def screen_is(name):
    return xramp("--expect", name)[0] == 0


def screen_samples():
    return xramp()[1]


def wait_for_screen(name, timeout):
    """Seconds until the screen carries ramp `name` (polled every 20 ms), or None."""
    start = time.monotonic()
    while True:
        if screen_is(name):
            return time.monotonic() - start
        if time.monotonic() - start > timeout:
            return None
        time.sleep(0.02)


def gamma_reset():
    """An outside program resets the screen: xgamma from Linux."""
    subprocess.run(["xgamma", "-quiet", "-gamma", "1.0"], stdin=subprocess.DEVNULL,
                   capture_output=True, timeout=10, check=True)


def current_mode():
    done = subprocess.run(["xrandr"], capture_output=True, text=True, timeout=10, check=False)
    found = re.search(r"current (\d+) x (\d+),", done.stdout)
    return "%sx%s" % found.groups() if found else ""


def display_restore():
    subprocess.run(["xrandr", "-s", "1280x1024"], capture_output=True, timeout=10, check=False)


def window_id(title):
    """The X window of a top-level Wine window (unmanaged, so X knows its title)."""
    done = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True,
                          timeout=10, check=False)
    for row in done.stdout.splitlines():
        if '"%s"' % title in row:
            return row.split()[0]
    return None


def distinct_colours(png):
    done = subprocess.run(["identify", "-format", "%k", png], capture_output=True, text=True,
                          timeout=30, check=False)
    return int(done.stdout) if done.returncode == 0 and done.stdout.isdigit() else 0


def screenshot_window(png, title=TITLE, timeout=5):
    """A PNG of the window (of the whole screen when it has none); returns its colour count.
    Retries until the view's gradient shows, since painting lags the first frame a little."""
    colours = 0
    deadline = time.monotonic() + timeout
    while True:
        if os.path.exists(png):
            os.remove(png)
        subprocess.run(["import", "-window", window_id(title) or "root", png],
                       capture_output=True, timeout=30, check=False)
        colours = distinct_colours(png) if os.path.exists(png) else 0
        if colours >= 16 or time.monotonic() > deadline:
            return colours
        time.sleep(0.2)


def host_pids():
    """Ids of this prefix's processes running veskaro_flutter.exe."""
    prefix = os.environ.get("WINEPREFIX", "")
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                program = f.read().split(b"\0")[0]
            # Wine names a process by its Windows program (envrun.exe only passes the name on).
            if not program.lower().endswith(b"veskaro_flutter.exe"):
                continue
            with open("/proc/%s/environ" % entry, "rb") as f:
                environ = f.read().split(b"\0")
        except OSError:
            continue
        if ("WINEPREFIX=" + prefix).encode() in environ:
            pids.append(int(entry))
    return pids


class HostSession:
    """One run of the host with a scenario, in a fresh log folder, with its registry values.

    Build the scenario with add() / await_signal() (each returns its scenario line number),
    then start(); the context exit stops the host if it still runs and restores the screen's
    ramp, the display mode and the registry values.
    """

    REGISTRY = [
        ("HKCU\\Control Panel\\Desktop", "LogPixels", "REG_DWORD", "96"),
        ("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
         "AppsUseLightTheme", "REG_DWORD", "1"),
    ]

    def __init__(self, name):
        load_rig_env()
        self.name = name
        work = os.environ.get("VESKARO_E2E_WORK", os.path.join(REPO, "build", "e2e-work"))
        self.work = os.path.join(work, name)
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        user = os.environ.get("USER") or subprocess.run(
            ["id", "-un"], capture_output=True, text=True, check=True).stdout.strip()
        self.temp_unix = os.path.join(os.environ["WINEPREFIX"], "drive_c", "users", user,
                                      "Temp", "e2e-" + name)
        self.temp_win = "C:\\users\\%s\\Temp\\e2e-%s" % (user, name)
        shutil.rmtree(self.temp_unix, ignore_errors=True)
        os.makedirs(self.temp_unix)
        self.log_path = os.path.join(self.temp_unix, LOG_NAME)
        self.scenario_path = os.path.join(self.work, "scenario.txt")
        self.transcript_path = os.path.join(self.work, "transcript.jsonl")
        self.stdout_path = os.path.join(self.work, "host-stdout.txt")
        self.stderr_path = os.path.join(self.work, "host-stderr.txt")
        self.lines = []
        self.process = None
        self.mode_changed = False
        self.registry_set = False

    # Scenario.
    def add(self, command):
        self.lines.append(command)
        return len(self.lines)

    def signal_path(self, name):
        return os.path.join(self.work, "signal-" + name)

    def await_signal(self, name, timeout_ms=30000):
        return self.add("await %s %d" % (win_path(self.signal_path(name)), timeout_ms))

    # Run.
    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        return False

    def start(self):
        for pid in host_pids():
            # A host left over by an earlier run would make ours exit as the second instance.
            print("e2e: stopping a leftover host, pid %d" % pid)
            os.kill(pid, signal.SIGKILL)
        deadline = time.monotonic() + 5
        while host_pids() and time.monotonic() < deadline:
            time.sleep(0.05)
        gamma_reset()
        for key, value_name, kind, data in self.REGISTRY:
            wine(self.work, "reg", "add", key, "/v", value_name, "/t", kind, "/d", data, "/f")
        self.registry_set = True
        with open(self.scenario_path, "w", encoding="utf-8") as f:
            f.write("\n".join(self.lines) + "\n")
        env = dict(os.environ, TMP=self.temp_win, TEMP=self.temp_win,
                   TESTBED_SCENARIO=win_path(self.scenario_path),
                   TESTBED_TRANSCRIPT=win_path(self.transcript_path))
        with open(self.stdout_path, "wb") as out, open(self.stderr_path, "wb") as err:
            self.process = subprocess.Popen(
                [WINE_EXEC, "veskaro_flutter.exe"], cwd=bundle_dir(), env=env,
                stdin=subprocess.DEVNULL, stdout=out, stderr=err, start_new_session=True)

    def running(self):
        return self.process is not None and self.process.poll() is None

    def wait_exit(self, timeout=20):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def stop(self):
        if self.running():
            for pid in host_pids():
                os.kill(pid, signal.SIGKILL)
            if self.wait_exit(5) is None:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.wait_exit(5)
        if self.mode_changed:
            display_restore()
        gamma_reset()
        if self.registry_set:
            for key, value_name, _, _ in self.REGISTRY:
                wine(self.work, "reg", "delete", key, "/v", value_name, "/f")
            self.registry_set = False

    # Transcript.
    def events(self):
        try:
            with open(self.transcript_path, encoding="utf-8") as f:
                text = f.read()
        except OSError:
            return []
        events = []
        for raw in text.split("\n")[:-1]:  # the last piece may be a line being written
            if raw.strip():
                try:
                    events.append(json.loads(raw))
                except ValueError as error:
                    raise Failure("transcript line is not JSON: %r (%s)" % (raw, error))
        return events

    def wait_event(self, matches, what, timeout=20):
        deadline = time.monotonic() + timeout
        while True:
            for event in self.events():
                if event.get("event") == "error":
                    raise Failure("scenario error: %s" % json.dumps(event))
                if matches(event):
                    return event
            if not self.running():
                # One last look: the host may have written the event and then exited.
                for event in self.events():
                    if matches(event):
                        return event
                raise Failure("host exited (code %s) before %s" % (self.process.returncode, what))
            if time.monotonic() > deadline:
                raise Failure("no %s within %d s" % (what, timeout))
            time.sleep(0.02)

    def reply(self, number, timeout=20):
        return self.wait_event(lambda e: e.get("event") == "reply" and e.get("line") == number,
                               "reply to scenario line %d" % number, timeout)

    def mark(self, text, timeout=20):
        return self.wait_event(lambda e: e.get("event") == "mark" and e.get("text") == text,
                               "mark %r" % text, timeout)

    def signal(self, name, timeout=10):
        """Releases an `await` of the scenario and waits until the player took the signal."""
        path = self.signal_path(name)
        with open(path, "w", encoding="utf-8"):
            pass
        wanted = win_path(path).lower()
        self.wait_event(lambda e: e.get("event") == "await" and
                        str(e.get("path", "")).lower() == wanted,
                        "await of signal %r" % name, timeout)

    def finish(self, timeout=20):
        """Waits for the scenario's close and the host's exit; returns the exit code."""
        self.wait_event(lambda e: e.get("event") == "close", "close event", timeout)
        code = self.wait_exit(timeout)
        expect(code is not None, "host still running %d s after close" % timeout)
        return code

    # The guard's log and stderr.
    def log(self):
        """The log's messages without their time stamps; every line must be well formed."""
        try:
            with open(self.log_path, "rb") as f:
                raw = f.read().decode("ascii")
        except OSError:
            return []
        messages = []
        for line in raw.split("\n"):
            if line == "":
                continue
            found = LOG_LINE.match(line.rstrip("\r"))
            expect(found is not None, "malformed log line %r" % line)
            messages.append(found.group(1))
        return messages

    def wait_log(self, message, count=1, timeout=5):
        """Waits until `message` appears `count` times in the log; returns the log."""
        deadline = time.monotonic() + timeout
        while True:
            log = self.log()
            if log.count(message) >= count:
                return log
            if time.monotonic() > deadline:
                raise Failure("log has %r %d times, not %d, after %d s: %r" %
                              (message, log.count(message), count, timeout, log))
            time.sleep(0.05)

    def stderr(self):
        with open(self.stderr_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def change_mode(self, width, height):
        """A real mode switch through ChangeDisplaySettingsExW (sends WM_DISPLAYCHANGE)."""
        self.mode_changed = True
        return wine(self.work, os.path.join(tools_dir(), "display_mode.exe"), width, height)

    def probe(self, *args):
        """ramp_probe.exe: the screen's ramp as Windows programs read it, through GDI."""
        return wine(self.work, os.path.join(tools_dir(), "ramp_probe.exe"), *args)

    def diagnostics(self):
        parts = ["scenario:\n" + "\n".join("%3d  %s" % (i + 1, l)
                                           for i, l in enumerate(self.lines))]
        for label, path in (("transcript", self.transcript_path), ("host stderr",
                                                                   self.stderr_path),
                            ("guard log", self.log_path)):
            try:
                with open(path, encoding="utf-8", errors="replace") as f:
                    parts.append("%s (%s):\n%s" % (label, path, f.read().rstrip()))
            except OSError:
                parts.append("%s: none at %s" % (label, path))
        parts.append("screen (xramp): " + screen_samples())
        return "\n".join(parts)
