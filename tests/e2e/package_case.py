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
from guard_cases import guard_flow, run_case  # noqa: E402
from host_session import Failure, expect  # noqa: E402


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


def main(argv):
    try:
        folder = unpack(argv[1], argv[2], os.path.join(os.environ["VESKARO_E2E_WORK"], "unpacked"))
    except (Failure, subprocess.SubprocessError, OSError) as error:
        print("FAIL package: %s" % error)
        return 1
    print("package unpacked into %s" % folder)
    return run_case("package", guard_flow, folder)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
