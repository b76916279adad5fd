#!/usr/bin/env python3
"""The Windows installer as a user meets it, in a fresh Wine prefix on the rig's display, for all
users (the colour range given back) and only for the current user, proven by what it writes:
nothing outside the profile and HKCU (Wine runs all with full rights). Both modes close and
restart the running app, start at sign-in on request and refuse an install in the other mode."""

import filecmp
import os
import re
import shutil
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from guard_flow import guard_flow, run_case, start_armed  # noqa: E402
from host_session import (IDENTITY, REPO, USER, WARM, Failure, HostSession,  # noqa: E402
                          expect, host_pids, load_rig_env, poll, run, run_to_file, screen,
                          screen_is, set_call, temp_folder, win_path)

ENTRY = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\veskaro_flutter"
RUN = "Software\\Microsoft\\Windows\\CurrentVersion\\Run"
KEY = "HKLM\\" + ENTRY
INSTALLED = "C:\\Program Files\\veskaro_flutter"
SHORTCUT = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\veskaro_flutter.lnk"
PROFILE = "C:\\users\\" + USER
USER_KEY = "HKCU\\" + ENTRY
USER_INSTALLED = PROFILE + "\\AppData\\Local\\Programs\\veskaro_flutter"
USER_SHORTCUT = (PROFILE + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\"
                 "veskaro_flutter.lnk")
# Outside the profile: where an install for one user must write nothing.
MACHINE_FOLDERS = ["C:\\Program Files", "C:\\Program Files (x86)", "C:\\ProgramData"]
CANCELLED, STOPPED = 1, 2
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
# The wizard's first page per display language: NSIS's Cancel button and two of our own texts.
FIRST_PAGES = [("de_DE.UTF-8", ["Abbrechen", "Benutzer auswählen", "Nur für mich"]),
               ("fr_FR.UTF-8", ["Annuler", "Choisir les utilisateurs", "Seulement pour moi"]),
               ("ja_JP.UTF-8", ["キャンセル", "ユーザーの選択", "自分だけ"])]
# Each stops before anything is touched.
BAD_SWITCHES = [
    ("/FULLRANGE=off",),
    ("/STARTATSIGNIN=yes",),
    ("/AllUsers", "/CurrentUser"),
    ("/CurrentUser=1",),
    ("/CurrentUser", "/FULLRANGE=1"),
]


def wine(*args):
    return run_to_file([os.environ["VESKARO_WINE"]] + list(args),
                       os.path.join(WORK, "wine-output.txt"), 120)


def window_texts(*args):
    """The texts of the windows whose title names the app, in z-order (a question first)."""
    probe = os.path.join(os.environ["VESKARO_E2E_TOOLS"], "window_texts.exe")
    return run_to_file([os.environ["VESKARO_WINE"], probe, "veskaro_flutter"] + list(args),
                       os.path.join(WORK, "probe-output.txt"), 60)


def wizard(args, texts, language="C"):
    """A setup program or uninstaller run without /S, once its window shows all `texts`."""
    log = open(os.path.join(WORK, "wizard-output.txt"), "wb")
    process = subprocess.Popen([os.environ["VESKARO_WINE"]] + args, stdin=subprocess.DEVNULL,
                               stdout=log, stderr=log, env=dict(os.environ, LC_ALL=language))
    shown = poll(lambda: all(t in window_texts()[1] for t in texts), 30, 0.3)
    expect(shown is not None, "%s: no window with %s: %s" % (args, texts, window_texts()[1]))
    return process


def click(button, process, code):
    expect(window_texts(button)[0] == 0 and process.wait(30) == code,
           "%s: exit code %s" % (button, process.returncode))


def screenshot(name):
    """The screen once the windows on it are drawn (their text gives many colours)."""
    path = os.path.join(os.environ["VESKARO_E2E_ARTIFACTS"], name + ".png")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    drawn = poll(lambda: run("import", "-window", "root", path).returncode == 0 and
                 int(run("identify", "-format", "%k", path).stdout or 0) >= 64, 10, 0.2)
    expect(drawn is not None, "no screenshot of drawn windows: " + path)
    print("screenshot: " + path)


def running_from(installed):
    """The hosts running from the installed exe (Wine names a process by its Windows path)."""
    def program(pid):
        try:
            with open("/proc/%d/cmdline" % pid, "rb") as f:
                return f.read().split(b"\0")[0].lower()
        except OSError:  # ended meanwhile
            return b""
    exe = (installed + "\\veskaro_flutter.exe").lower().encode()
    return [pid for pid in host_pids() if program(pid) == exe]


def upgrade_while_running(name, folder, installed, setup_exe, *switches):
    """A silent upgrade over the app holding a warm ramp: the old copy closed as by its user,
    a new one started from the folder, the ramp left as it was."""
    with HostSession(name, folder) as host:
        start_armed(host, host.send(set_call(WARM)))
        code = setup(setup_exe, "upgrade while running", *switches)
        expect(code == 0 and host.wait_exit(1) == 0, "upgrade over a running copy: exit codes "
               "%s, %s" % (code, host.process.returncode))
        expect(poll(lambda: running_from(installed), 20) is not None, "not started again")
        expect(screen_is(WARM), "the upgrade changed the ramp: " + screen())


def uninstall_while_running(key, installed, *last_keys):
    """A quiet uninstall over the running app: it ends, and the screen gets the identity."""
    expect(run("xgamma", "-quiet", "-gamma", "0.7").returncode == 0, "xgamma failed")
    expect(running_from(installed) and not screen_is(IDENTITY), "app not running, or the ramp "
           "is the identity already")
    quiet_uninstall(key, unix(installed), *last_keys)
    left = host_pids(), screen_is(IDENTITY)
    expect(left == ([], True), "after the uninstall, hosts %s and identity %s: %s" %
           (left + (screen(),)))


def unix(path):
    return os.path.join(os.environ["WINEPREFIX"], "drive_c", path[3:].replace("\\", "/"))


def tree(folder):
    found = set()
    for root, _, names in os.walk(folder):
        found.update(os.path.relpath(os.path.join(root, n), folder) for n in names)
    return found


def registry(key=KEY, *more):
    code, out = wine("reg", "query", key, *more)
    found = re.findall(r"^\s+(\w+)\s+REG_(\w+)\s+(.*?)\s*$", out, re.M) if code == 0 else []
    return {name: int(text, 16) if kind == "DWORD" else text for name, kind, text in found}


def gamma_range():
    return registry(ICM, "/v", "GdiIcmGammaRange", "/reg:64").get("GdiIcmGammaRange")


def run_value(root):
    return registry(root + "\\" + RUN).get("veskaro_flutter")


def exported(key, *views):
    """{subkey: its value lines} per view; side by side, as HKLM's 64-bit view takes seconds."""
    paths = [os.path.join(WORK, "export-%d.reg" % view) for view in views]
    with open(os.path.join(WORK, "reg-export-output.txt"), "wb") as out:
        exports = [subprocess.Popen([os.environ["VESKARO_WINE"], "reg", "export", key,
                                     win_path(path), "/reg:%d" % view, "/y"],
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=out)
                   for view, path in zip(views, paths)]
        codes = [export.wait(120) for export in exports]
    expect(codes == [0] * len(views), "reg export %s: %s" % (key, codes))
    found = []
    for path in paths:
        with open(path, encoding="utf-16") as f:
            text = f.read().replace("\\\n", "")
        keys, values = {}, None
        for line in text.splitlines():
            if line.startswith("["):
                values = keys.setdefault(line.strip("[]"), [])
            elif line.strip() and values is not None:
                values.append(line.strip())
        found.append(keys)
    return found


def changed(before, after):
    """The keys added, removed or changed; Wine itself rewrites its network cards' keys."""
    return sorted(k for k in set(before) | set(after)
                  if before.get(k) != after.get(k) and "\\NetworkCards" not in k)


def machine():
    state = dict(zip(("HKLM 64", "HKLM 32"), exported("HKLM\\SOFTWARE", 64, 32)))
    state.update((f, {n: None for n in tree(unix(f))}) for f in MACHINE_FOLDERS)
    return state


def profile():
    return {"HKCU": exported("HKCU", 64)[0], "files": {n: None for n in tree(unix(PROFILE))}}


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


def uninstaller_in_place(switches, installed=INSTALLED):
    """A copy of the uninstaller run in place (_?=), which waits for the work."""
    copy = os.path.join(WORK, "uninstall-copy.exe")
    shutil.copy(unix(installed + "\\uninstall.exe"), copy)
    # _?= counts only unquoted, and the folder has a space: cmd passes the line on as it is.
    return ["cmd", "/c", "%s %s _?=%s" % (copy, switches, installed)]


def quiet_uninstall(key, folder, *last_keys):
    """What a user runs, which returns before the work is done: waits for the folder and for
    the keys the uninstaller removes last (its entry after the shortcut, then `last_keys`)."""
    command = registry(key)["QuietUninstallString"]
    expect(wine(command.split('"')[1], "/S")[0] == 0, "uninstall did not start")
    poll(lambda: not os.path.exists(folder) and
         all(wine("reg", "query", k)[0] != 0 for k in (key,) + last_keys), 30, 0.2)
    expect(not os.path.exists(folder), "left behind: %s" % tree(folder))


def check_installed(folder, stage, key, installed, version, shortcut, root):
    expect(tree(folder) == tree(stage) | {"uninstall.exe"}, "installed files: %s" % tree(folder))
    for name in tree(stage):
        expect(filecmp.cmp(os.path.join(stage, name), os.path.join(folder, name), shallow=False),
               name + " differs from the new build's")
    wanted = {"DisplayName": "veskaro_flutter", "DisplayVersion": version,
              "Publisher": "com.veskaro", "InstallLocation": installed,
              "DisplayIcon": installed + "\\veskaro_flutter.exe,0",
              "QuietUninstallString": '"%s\\uninstall.exe" /S' % installed}
    values = registry(key)
    expect(all(values.get(k) == v for k, v in wanted.items()), "installed-apps entry: %s" % values)
    expect(values.get("EstimatedSize", 0) > 0, "no estimated size: %s" % values)
    with open(unix(shortcut), "rb") as f:
        expect("veskaro_flutter.exe".encode("utf-16-le") in f.read(), "shortcut has no target")
    starts = run_value(root)
    expect(starts == '"%s\\veskaro_flutter.exe"' % installed, "%s Run value: %s" % (root, starts))


def copied_stage(folder):
    shutil.rmtree(folder, ignore_errors=True)
    shutil.copytree(os.environ["VESKARO_E2E_STAGE"], folder)
    return folder


def make_setup(stage, version, output, *options):
    subprocess.run([os.environ["VESKARO_E2E_CMAKE"], "-DSTAGE=" + stage, "-DVERSION=" + version,
                    "-DOUTPUT=" + output, "-DHELPER=" + os.environ["VESKARO_E2E_HELPER"]] +
                   list(options) +
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


def all_users(setup_exe, stage, version):
    folder = unix(INSTALLED)
    code = setup(older_setup(), "first install", "/STARTATSIGNIN=1")
    retired = os.path.join("data", "flutter_assets", "retired.json")
    expect(code == 0 and retired in tree(folder), "older build not installed (%s)" % code)
    expect(run_case("installed", guard_flow, folder) == 0, "the installed app's guard failed")
    upgrade_while_running("running", folder, INSTALLED, setup_exe, "/STARTATSIGNIN=1")
    expect(gamma_range() == FULL_RANGE, "upgrade: gamma range %s" % gamma_range())
    check_installed(folder, stage, KEY, INSTALLED, version, SHORTCUT, "HKLM")

    # One copy per user: an install for the current user alone would be a second entry.
    code = setup(setup_exe, "install only for me beside it", "/CurrentUser")
    expect(code == STOPPED and not os.path.exists(unix(USER_INSTALLED)) and
           registry(USER_KEY) == {}, "/CurrentUser beside an all-users copy: %s" % code)

    log = os.path.join(temp_folder("installed")[0], "tarnuvo_gamma.log")

    # The uninstaller asks before it closes the app; cancelled, it changes nothing.
    before = {n: os.stat(os.path.join(folder, n)).st_mtime_ns for n in tree(folder)}
    asking = wizard(uninstaller_in_place(""), ["Uninstall"])
    expect(window_texts("Uninstall")[0] == 0 and
           poll(lambda: "is running from" in window_texts()[1], 30, 0.3) is not None,
           "no question: " + window_texts()[1])
    screenshot("uninstall-running-app")
    click("Cancel", asking, STOPPED)
    after = {n: os.stat(os.path.join(folder, n)).st_mtime_ns for n in tree(folder)}
    expect(after == before and registry() and running_from(INSTALLED), "cancelled: changed")

    uninstall_while_running(KEY, INSTALLED)
    left = os.path.exists(unix(SHORTCUT)), registry(), run_value("HKLM"), gamma_range()
    expect(left == (False, {}, None, None) and os.path.exists(log), "after the uninstall "
           "(shortcut, entry, Run value, range; the guard's log must stay): %s" % (left,))

    for before, switches, installed, since, after in GAMMA_RANGE_CASES:
        set_gamma_range(before)
        seen = [setup(setup_exe, "install, range %r" % before, *switches), gamma_range()]
        if since is not None:
            set_gamma_range(since)
        seen += [wine(*uninstaller_in_place("/S"))[0], gamma_range()]
        expect(seen == [0, installed, 0, after], "range %r %s, then %s: exit codes and ranges %s"
               % (before, switches, since, seen))


def per_user(setup_exe, stage, version):
    folder = unix(USER_INSTALLED)
    machine_before, profile_before = machine(), profile()
    code = setup(setup_exe, "install only for me", "/CurrentUser", "/STARTATSIGNIN=1")
    expect(code == 0, "install only for me: exit code %s" % code)
    check_installed(folder, stage, USER_KEY, USER_INSTALLED, version, USER_SHORTCUT, "HKCU")
    # Nor may it go machine-wide beside this copy, by default or by request.
    for switches in ((), ("/AllUsers",)):
        code = setup(setup_exe, "install for all users beside it", *switches)
        expect(code == STOPPED, "%s beside a copy only for me: %s" % (switches, code))
    machine_after = machine()
    changes = {k: changed(v, machine_after[k]) for k, v in machine_before.items()}
    expect(not any(changes.values()), "written outside the profile: %s" % changes)
    print("outside the profile: nothing written")

    expect(run_case("per-user", guard_flow, folder) == 0, "the per-user app's guard failed")
    # An upgrade keeps start at sign-in only when chosen again.
    upgrade_while_running("per-user-running", folder, USER_INSTALLED, setup_exe, "/CurrentUser")
    expect(registry(USER_KEY) and run_value("HKCU") is None,
           "upgrade only for me without start at sign-in")

    uninstall_while_running(USER_KEY, USER_INSTALLED, USER_KEY.rsplit("\\", 1)[0])
    after = profile()
    # The guard's logs stay: the sessions' and the one of the copy Setup started again.
    logs = {os.path.join("Temp", name, "tarnuvo_gamma.log")
            for name in ("per-user", "per-user-running", "")}
    left = {"HKCU": changed(profile_before["HKCU"], after["HKCU"]),
            "files": set(after["files"]) - set(profile_before["files"]) - logs,
            "removed": set(profile_before["files"]) - set(after["files"])}
    expect(not any(left.values()), "the profile is not as it was: %s" % left)


def main():
    setup_exe, stage = os.environ["VESKARO_E2E_SETUP"], os.environ["VESKARO_E2E_STAGE"]
    version = setup_version(setup_exe)
    print("installer: %s, %d bytes" % (setup_exe, os.path.getsize(setup_exe)))
    fresh_prefix()
    for phase in all_users, per_user:
        start = time.monotonic()
        phase(setup_exe, stage, version)
        print("%s: %.1f s" % (phase.__name__, time.monotonic() - start))
    for language, texts in FIRST_PAGES:
        page = wizard([setup_exe], texts + ["veskaro_flutter " + version], language)
        screenshot("setup-" + language[:2])
        click(texts[0], page, CANCELLED)
    for switches in BAD_SWITCHES:
        code = setup(setup_exe, "bad switches %s" % (switches,), *switches)
        expect(code == STOPPED and not os.path.exists(unix(INSTALLED)) and
               not os.path.exists(unix(USER_INSTALLED)) and
               registry() == registry(USER_KEY) == {}, "%s: exit code %s" % (switches, code))


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
