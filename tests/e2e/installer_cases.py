#!/usr/bin/env python3
"""The Windows installer as a user meets it, in a fresh Wine prefix on the rig's display: an older
build installed and upgraded, the installed app's guard, install and uninstall refused while the
app runs, and a silent uninstall that leaves only the guard's log; then the full colour range
given back as it was before the install, whatever it was.

Environment: as guard_flow.py, plus VESKARO_E2E_SETUP (the setup program), VESKARO_E2E_STAGE
(the folder it ships) and VESKARO_E2E_CMAKE (to build the older installer).
"""

import filecmp
import os
import re
import shutil
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from guard_flow import (PERIODIC_RESTORE_S, guard_flow, reset_and_time, run_case,  # noqa: E402
                        start_armed)
from host_session import (REPO, WARM, Failure, HostSession, expect, load_rig_env,  # noqa: E402
                          poll, run_to_file, set_call, temp_folder)

KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\veskaro_flutter"
INSTALLED = "C:\\Program Files\\veskaro_flutter"
SHORTCUT = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\veskaro_flutter.lnk"
STOPPED = 2
ICM = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\ICM"
FULL_RANGE = 256
# GdiIcmGammaRange before the install, setup switches, after the install, set by someone else
# while installed, after the uninstall (None: absent; text: a REG_SZ).
GAMMA_RANGE_CASES = [
    (128, (), FULL_RANGE, None, 128),
    (None, (), FULL_RANGE, 300, 300),
    (128, ("/FULLRANGE=0",), 128, None, 128),
    ("256", (), "256", None, "256"),
]


def wine(*args):
    return run_to_file([os.environ["VESKARO_WINE"]] + list(args),
                       os.path.join(WORK, "wine-output.txt"), 120)


def unix(path):
    return os.path.join(os.environ["WINEPREFIX"], "drive_c", path[3:].replace("\\", "/"))


def tree(folder):
    found = set()
    for root, _, names in os.walk(folder):
        found.update(os.path.relpath(os.path.join(root, n), folder) for n in names)
    return found


def registry():
    code, out = wine("reg", "query", KEY)
    return dict(re.findall(r"^\s+(\w+)\s+REG_\w+\s+(.*?)\s*$", out, re.M)) if code == 0 else {}


def gamma_range():
    """GdiIcmGammaRange in the 64-bit view: a number (DWORD), text (REG_SZ) or None (absent)."""
    code, out = wine("reg", "query", ICM, "/v", "GdiIcmGammaRange", "/reg:64")
    found = re.search(r"REG_(DWORD|SZ)\s+(\S+)", out) if code == 0 else None
    return found and (int(found.group(2), 16) if found.group(1) == "DWORD" else found.group(2))


def set_gamma_range(value):
    kind = "REG_SZ" if isinstance(value, str) else "REG_DWORD"
    change = ["delete"] if value is None else ["add", "/t", kind, "/d", str(value)]
    code = wine("reg", change[0], ICM, "/v", "GdiIcmGammaRange", *change[1:], "/f", "/reg:64")[0]
    expect(code == 0, "could not set GdiIcmGammaRange to %r" % value)


def fresh_prefix():
    os.environ["WINEPREFIX"] = PREFIX
    # No Linux menu entries for the shortcut.
    os.environ["WINEDLLOVERRIDES"] = os.getenv("WINEDLLOVERRIDES", "") + ";winemenubuilder.exe=d"
    shutil.rmtree(os.environ["WINEPREFIX"], ignore_errors=True)
    expect(wine("wineboot", "-i")[0] == 0, "wineboot failed")
    wine("reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/d", "N", "/f")


def setup(program, what, *switches):
    start = time.monotonic()
    code = wine(program, "/S", *switches)[0]
    print("%s took %.1f s" % (what, time.monotonic() - start))
    return code


def uninstall_and_wait():
    """Runs a copy of the uninstaller in place (_?=), which waits and returns its exit code."""
    copy = os.path.join(WORK, "uninstall-copy.exe")
    shutil.copy(unix(INSTALLED + "\\uninstall.exe"), copy)
    # _?= counts only unquoted, and the folder has a space: cmd passes the line on as it is.
    return wine("cmd", "/c", "%s /S _?=%s" % (copy, INSTALLED))[0]


def copied_stage(folder):
    """A fresh copy of the folder the setup program ships."""
    shutil.rmtree(folder, ignore_errors=True)
    shutil.copytree(os.environ["VESKARO_E2E_STAGE"], folder)
    return folder


def make_setup(stage, version, output, *options):
    subprocess.run([os.environ["VESKARO_E2E_CMAKE"], "-DSTAGE=" + stage, "-DVERSION=" + version,
                    "-DOUTPUT=" + output] + list(options) +
                   ["-P", os.path.join(REPO, "cmake", "make_installer.cmake")], check=True)
    return output


def older_setup():
    """The same installer from an older build: other versions of the files and one file more."""
    old_stage = copied_stage(os.path.join(WORK, "old-stage"))
    with open(os.path.join(old_stage, "data", "app.so"), "ab") as f:
        f.write(b"older build")
    with open(os.path.join(old_stage, "data", "flutter_assets", "retired.json"), "w") as f:
        f.write("{}")
    return make_setup(old_stage, "1.0.29+1",
                      os.path.join(WORK, "veskaro_flutter-1.0.29+1-win64-setup.exe"))


def setup_version(setup_exe):
    return re.search(r"veskaro_flutter-([^-]+)-win64", setup_exe).group(1)


def main():
    setup_exe, stage = os.environ["VESKARO_E2E_SETUP"], os.environ["VESKARO_E2E_STAGE"]
    version = setup_version(setup_exe)
    print("installer: %s, %d bytes" % (setup_exe, os.path.getsize(setup_exe)))
    fresh_prefix()
    folder = unix(INSTALLED)

    code = setup(older_setup(), "first install")
    retired = os.path.join("data", "flutter_assets", "retired.json")
    expect(code == 0 and retired in tree(folder), "older build not installed (%s)" % code)
    outcome = setup(setup_exe, "upgrade"), gamma_range()
    expect(outcome == (0, FULL_RANGE), "upgrade: exit code and gamma range %s" % (outcome,))
    expect(tree(folder) == tree(stage) | {"uninstall.exe"}, "installed files: %s" % tree(folder))
    for name in tree(stage):
        expect(filecmp.cmp(os.path.join(stage, name), os.path.join(folder, name), shallow=False),
               name + " differs from the new build's")
    wanted = {"DisplayName": "veskaro_flutter", "DisplayVersion": version,
              "Publisher": "com.veskaro", "InstallLocation": INSTALLED,
              "DisplayIcon": INSTALLED + "\\veskaro_flutter.exe,0",
              "QuietUninstallString": '"%s\\uninstall.exe" /S' % INSTALLED}
    values = registry()
    expect(all(values.get(k) == v for k, v in wanted.items()), "installed-apps entry: %s" % values)
    expect(int(values.get("EstimatedSize", "0"), 16) > 0, "no estimated size: %s" % values)
    with open(unix(SHORTCUT), "rb") as f:
        expect("veskaro_flutter.exe".encode("utf-16-le") in f.read(), "shortcut has no target")

    expect(run_case("installed", guard_flow, folder) == 0, "the installed app's guard failed")
    log = os.path.join(temp_folder("installed")[0], "tarnuvo_gamma.log")

    # A running copy: nothing is replaced or removed, and the app keeps its ramp.
    with HostSession("running", folder) as host:
        start_armed(host, host.send(set_call(WARM)))
        before = {n: os.stat(os.path.join(folder, n)).st_mtime_ns for n in tree(folder)}
        codes = setup(setup_exe, "install while running"), uninstall_and_wait()
        expect(codes == (STOPPED, STOPPED), "install, uninstall of a running app: %s" % (codes,))
        after = {n: os.stat(os.path.join(folder, n)).st_mtime_ns for n in tree(folder)}
        expect(after == before and registry(), "files or entry changed while the app ran")
        reset_and_time(PERIODIC_RESTORE_S)
        host.finish()

    # What a user runs: the quiet uninstall command, which returns before the work is done.
    command = registry()["QuietUninstallString"]
    expect(wine(command.split('"')[1], "/S")[0] == 0, "uninstall did not start")
    poll(lambda: not os.path.exists(folder), 30, 0.2)
    expect(not os.path.exists(folder), "left behind: %s" % tree(folder))
    expect(not os.path.exists(unix(SHORTCUT)), "shortcut left behind")
    expect(registry() == {}, "installed-apps entry left behind")
    expect(os.path.exists(log), "the guard's log was removed")
    left = gamma_range()
    expect(left is None, "gamma range not given back: %s" % left)

    for before, switches, installed, since, after in GAMMA_RANGE_CASES:
        set_gamma_range(before)
        seen = [setup(setup_exe, "install, range %r" % before, *switches), gamma_range()]
        if since is not None:
            set_gamma_range(since)
        seen += [uninstall_and_wait(), gamma_range()]
        expect(seen == [0, installed, 0, after], "range %r %s, then %s: exit codes and ranges %s"
               % (before, switches, since, seen))
    code = setup(setup_exe, "a bad switch", "/FULLRANGE=off")
    expect(code == STOPPED and not os.path.exists(folder), "/FULLRANGE=off: exit code %s" % code)


if __name__ == "__main__":
    load_rig_env()  # once: the sessions then keep our own prefix
    WORK = os.path.join(os.environ["VESKARO_E2E_WORK"], "installer")
    PREFIX = os.path.join(WORK, "prefix")
    os.makedirs(WORK, exist_ok=True)
    try:
        main()
    except (Failure, subprocess.SubprocessError, OSError, KeyError) as error:
        print("FAIL installer: %s" % error)
        sys.exit(1)
    finally:
        if os.environ["WINEPREFIX"] == PREFIX:  # never the rig's own
            wineserver = os.path.join(os.path.dirname(os.environ["VESKARO_WINE"]), "wineserver")
            subprocess.run([shutil.which("wineserver") or wineserver, "-k"], check=False)
    shutil.rmtree(PREFIX, ignore_errors=True)  # about 700 MB
    print("ok installer")
