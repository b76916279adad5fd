#!/usr/bin/env python3
"""The two release builds of scripts/reproducible, signed with a throwaway certificate and given
the package manager's manifests: bad signing input fails with its message and leaves no program,
the signed builds are identical, what ships verifies, and the password is in no file.

  signed_release.py BUILD_A BUILD_B
"""

import glob
import hashlib
import json
import os
import re
import struct
import subprocess
import sys
import tempfile
import time
import zipfile

import jsonschema
import yaml

sys.dont_write_bytecode = True  # keep the source tree clean
from throwaway_certificate import make_certificate, signature_ok  # noqa: E402

# Kept in the repository (with their licence) so that any clone validates on its own.
SCHEMAS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "schemas", "winget-1.10.0",
                       "manifest.%s.1.10.0.json")
RELEASE_URL = "https://downloads.example.com/veskaro/"


def expect(condition, what):
    if not condition:
        sys.exit("FAIL signed release: " + what)


def run(args, cwd=None):
    """The output's lines joined as CMake wraps them."""
    result = subprocess.run(args, cwd=cwd, capture_output=True, text=True, check=False)
    return result.returncode, " ".join((result.stdout + result.stderr).split())


def configure(build, pkcs12, password_file, *more):
    return run(["cmake", "-B", build, "-DVESKARO_SIGN_PKCS12=" + pkcs12,
                "-DVESKARO_SIGN_PASSWORD_FILE=" + password_file] + list(more))


def bad_inputs(build, keys):
    """A wrong password fails only once something is signed."""
    wrong = keys["password_file"] + ".wrong"
    with open(wrong, "w", encoding="ascii") as f:
        f.write("not the password\n")
    for pkcs12, password_file, message in [
            (keys["pkcs12"], "", "VESKARO_SIGN_PKCS12 is set but VESKARO_SIGN_PASSWORD_FILE is not"),
            ("", wrong, "VESKARO_SIGN_PASSWORD_FILE is set but VESKARO_SIGN_PKCS12 is not"),
            (keys["pkcs12"] + ".gone", wrong, ".p12.gone, which is not a file"),
            (keys["pkcs12"], wrong, "Signing: the password in %s does not open" % wrong)]:
        code, output = configure(build, pkcs12, password_file)
        if code == 0:
            code, output = run(["cmake", "--build", build, "--target", "package"])
        expect(code != 0 and output.count(message) == 1, "%s: %s" % (message, output[-600:]))
    left = glob.glob(build + "/app/*.exe") + glob.glob(build + "/package/*")
    expect(not left, "left after signing failed: %s" % left)


def check_package(package, keys):
    setup = glob.glob(package + "/*-setup.exe")[0]
    with tempfile.TemporaryDirectory() as scratch:
        with zipfile.ZipFile(glob.glob(package + "/*.zip")[0]) as archive:
            exe = archive.extract("veskaro_flutter.exe", scratch)
        for program in (exe, setup):
            ok, output = signature_ok(program, keys["ca"])
            expect(ok, "%s does not verify:\n%s" % (program, output))
        with open(exe, "r+b") as f:
            f.seek(os.path.getsize(exe) // 2)
            byte = f.read(1)[0]
            f.seek(-1, os.SEEK_CUR)
            f.write(bytes([byte ^ 1]))
        expect(not signature_ok(exe, keys["ca"])[0], "a changed program still verifies")
    code, output = run(["sha256sum", "-c", "SHA256SUMS"], package)
    expect(code == 0 and output.count(": OK") == 2, "sha256sum -c: " + output)

    # The version record: the fixed part's file version words, then the strings.
    with open(setup, "rb") as f:
        image = f.read()
    version = re.search(r"veskaro_flutter-(.+?)-win64", setup).group(1)
    major, minor, patch, build = map(int, re.split(r"[.+]", version))
    at = image.find(struct.pack("<I", 0xFEEF04BD))
    expect(at > 0 and struct.unpack_from("<4H", image, at + 8) == (minor, major, build, patch)
           and all(t.encode("utf-16-le") in image for t in (version, "com.veskaro", " setup")),
           "the setup program's version record")

    manifests = {}
    for suffix, kind in ("", "version"), (".installer", "installer"), (".locale.en-US",
                                                                      "defaultLocale"):
        with open("%s/Veskaro.VeskaroFlutter%s.yaml" % (package, suffix), encoding="utf-8") as f:
            manifests[kind] = yaml.safe_load(f)
        with open(SCHEMAS % kind, encoding="utf-8") as f:
            jsonschema.validate(manifests[kind], json.load(f))
        expect(manifests[kind]["PackageVersion"] == version, kind + " manifest: version")
    installers = manifests["installer"]["Installers"]
    expect(sorted((i["Scope"], i["InstallerSwitches"]["Custom"]) for i in installers) ==
           [("machine", "/AllUsers"), ("user", "/CurrentUser")] and
           manifests["installer"]["UpgradeBehavior"] == "install",
           "installer scopes and upgrade: %s" % manifests["installer"])
    for installer in installers:
        expect(installer["InstallerSha256"].lower() == hashlib.sha256(image).hexdigest() and
               installer["InstallerUrl"] ==
               RELEASE_URL + os.path.basename(setup).replace("+", "%2B"),
               "installer manifest: %s" % installer)


def main(a, b):
    keys = make_certificate(os.path.join(os.path.dirname(a), "reproducible-keys"))
    bad_inputs(a, keys)
    for build in (a, b):
        start = time.monotonic()
        code, output = configure(build, keys["pkcs12"], keys["password_file"],
                                 "-DVESKARO_RELEASE_URL=" + RELEASE_URL)
        expect(code == 0, "signed configure: " + output[-600:])
        subprocess.run(["cmake", "--build", build, "-j2", "--target", "package"], check=True,
                       stdout=subprocess.DEVNULL)
        print("signed: %s in %.0f s" % (build, time.monotonic() - start))
    for name in ["app/veskaro_flutter.exe"] + sorted(
            os.path.relpath(p, a) for p in glob.glob(a + "/package/*") if os.path.isfile(p)):
        with open(os.path.join(a, name), "rb") as f, open(os.path.join(b, name), "rb") as g:
            expect(f.read() == g.read(), "signed builds differ: " + name)
        print("identical, signed: %s (%d bytes)" % (name, os.path.getsize(os.path.join(a, name))))
    check_package(os.path.join(a, "package"), keys)
    for root, _, names in (entry for build in (a, b) for entry in os.walk(build)):
        for name in names:
            with open(os.path.join(root, name), "rb") as f:
                expect(keys["password"].encode() not in f.read(), "password in " + name)
    print("ok signed release")


if __name__ == "__main__":
    main(*map(os.path.abspath, sys.argv[1:]))
