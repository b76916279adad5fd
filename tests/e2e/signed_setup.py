#!/usr/bin/env python3
"""The build's stage signed with a throwaway certificate, as a release build signs it: installed
in the rig's prefix, the program and its uninstaller verify and the app runs the guard flow."""

import os
import subprocess
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "..", "release")]
from guard_flow import guard_flow, run_case  # noqa: E402
from host_session import (REPO, Failure, expect, load_rig_env, poll,  # noqa: E402
                          run_to_file)
from installer_cases import INSTALLED, copied_stage, make_setup, setup_version, unix  # noqa: E402
from throwaway_certificate import make_certificate, signature_ok  # noqa: E402

def signed_setup(work, keys):
    stage = copied_stage(os.path.join(work, "stage"))
    signing = ["-DSIGN_PKCS12=" + keys["pkcs12"], "-DSIGN_PASSWORD_FILE=" + keys["password_file"]]
    subprocess.run([os.environ["VESKARO_E2E_CMAKE"]] + signing +
                   ["-P", os.path.join(REPO, "cmake", "sign.cmake"),
                    os.path.join(stage, "veskaro_flutter.exe")], check=True)
    setup = os.environ["VESKARO_E2E_SETUP"]
    return make_setup(stage, setup_version(setup), os.path.join(work, os.path.basename(setup)),
                      *signing)


def main(work):
    keys = make_certificate(os.path.join(work, "keys"))
    setup = signed_setup(work, keys)
    wine = os.environ["VESKARO_WINE"]
    output = os.path.join(work, "wine-output.txt")
    code, out = run_to_file([wine, setup, "/S"], output, 120)
    expect(code == 0, "signed setup exit code %s: %s" % (code, out))
    folder = unix(INSTALLED)
    for program in ("veskaro_flutter.exe", "uninstall.exe"):
        ok, out = signature_ok(os.path.join(folder, program), keys["ca"])
        expect(ok, "installed %s does not verify:\n%s" % (program, out))
    print("installed and verified: veskaro_flutter.exe, uninstall.exe")
    expect(run_case("signed", guard_flow, folder) == 0, "the signed app's guard failed")
    run_to_file([wine, os.path.join(folder, "uninstall.exe"), "/S"], output, 60)
    expect(poll(lambda: not os.path.exists(folder), 30, 0.2) is not None, "not uninstalled")


if __name__ == "__main__":
    load_rig_env()
    try:
        main(os.path.join(os.environ["VESKARO_E2E_WORK"], "signed_setup"))
    except (Failure, subprocess.SubprocessError, OSError, KeyError) as error:
        print("FAIL signed setup: %s" % error)
        sys.exit(1)
    print("ok signed setup")
