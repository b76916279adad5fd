#!/usr/bin/env python3
"""The package as a user gets it: cpack's zip of this build, unpacked into a fresh folder whose
path has a space and an "é", started from there under the rig; the guard keeps the ramp.

  package_case.py CPACK CPACK_CONFIG
"""

import os
import shutil
import subprocess
import sys
import zipfile

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from guard_cases import (ARMED, CLEARED, INIT, OK, PERIODIC_RESTORE_S, SET_WARM,  # noqa: E402
                         armed_warm, expect_log, expect_reply, reset_and_time)
from host_session import Failure, HostSession, expect  # noqa: E402


def unpack(cpack, cpack_config, work):
    """Packs the build with cpack and unpacks the zip into a fresh folder; returns the folder."""
    packages = os.path.join(work, "packages")
    subprocess.run([cpack, "--config", cpack_config, "-B", packages], check=True,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    zips = [name for name in os.listdir(packages) if name.endswith(".zip")]
    expect(len(zips) == 1, "cpack made %s, wanted one zip" % zips)
    folder = os.path.join(work, "Program Files", "veskaro é")
    shutil.rmtree(folder, ignore_errors=True)
    with zipfile.ZipFile(os.path.join(packages, zips[0])) as package:
        package.extractall(folder)
    return folder


def guard_flow(host):
    """Set, an outside reset restored, clear, exit 0."""
    host.add(SET_WARM)
    host.await_signal("restored")
    clear_line = host.add("call veskaro/gamma clear")
    host.await_signal("done")
    host.add("close")
    armed_warm(host)
    reset_and_time(PERIODIC_RESTORE_S)
    host.signal("restored")
    expect_reply(host.reply(clear_line), "success")
    expect_log(host, [INIT, ARMED, OK, CLEARED])
    host.signal("done")
    expect(host.finish() == 0, "host exit code is not 0")


def main(argv):
    work = os.path.join(os.environ["VESKARO_E2E_WORK"], "unpacked")
    try:
        os.environ["VESKARO_E2E_BUNDLE"] = unpack(argv[1], argv[2], work)
        with HostSession("package") as host:
            try:
                guard_flow(host)
            except Failure:
                print(host.diagnostics())
                raise
    except (Failure, subprocess.SubprocessError, OSError) as error:
        print("FAIL package: %s" % error)
        return 1
    print("ok package: ran from %s" % os.environ["VESKARO_E2E_BUNDLE"])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
