#!/usr/bin/env python3
"""The signed release, on the two unsigned release builds scripts/reproducible made: a bad
certificate, password or half-named pair stops the configure with its message; then both
builds are signed with a throwaway certificate and get the package manager's manifests, and
must be identical; the signatures verify (and fail once a byte changes), the checksums check, the
setup program has its version record, the manifests validate against the published schemas and
carry the setup's hash, and the password is in no file of either build.

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
import urllib.parse
import zipfile

import jsonschema
import yaml

sys.dont_write_bytecode = True  # keep the source tree clean
from throwaway_certificate import make_certificate, signature_ok  # noqa: E402

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SCHEMAS = os.path.join(REPO, "..", "shared", "schemas", "winget-1.10.0")
RELEASE_URL = "https://downloads.example.com/veskaro/"
MANIFESTS = {"": "version", ".installer": "installer", ".locale.en-US": "defaultLocale"}


class Failure(Exception):
    pass


def expect(condition, what):
    if not condition:
        raise Failure(what)


def run(args):
    """The exit code and output, its lines joined as CMake wraps them."""
    result = subprocess.run(args, capture_output=True, text=True, check=False)
    return result.returncode, " ".join((result.stdout + result.stderr).split())


def configure(build, pkcs12, password_file, *more):
    return run(["cmake", "-B", build, "-DVESKARO_SIGN_PKCS12=" + pkcs12,
                "-DVESKARO_SIGN_PASSWORD_FILE=" + password_file] + list(more))


def bad_inputs(build, keys):
    """Each bad input fails with its one message; a wrong password only once it signs, leaving
    no program that could pass for a signed one."""
    wrong = os.path.join(os.path.dirname(keys["password_file"]), "wrong-password.txt")
    with open(wrong, "w", encoding="ascii") as f:
        f.write("not the password\n")
    cases = [
        (keys["pkcs12"], "", "VESKARO_SIGN_PKCS12 is set but VESKARO_SIGN_PASSWORD_FILE is not"),
        ("", keys["password_file"], "VESKARO_SIGN_PASSWORD_FILE is set but VESKARO_SIGN_PKCS12"),
        (keys["pkcs12"] + ".gone", keys["password_file"], ".gone, which is not a file"),
        (keys["pkcs12"], wrong, "Signing: the password in %s does not open" % wrong),
    ]
    for pkcs12, password_file, message in cases:
        code, output = configure(build, pkcs12, password_file)
        if code == 0:
            code, output = run(["cmake", "--build", build, "--target", "package"])
        expect(code != 0 and output.count(message) == 1, "with %s, %s: %s"
               % (pkcs12, password_file, output[-600:]))
    left = [path for pattern in ("app/*.exe", "package/*")
            for path in glob.glob(os.path.join(build, pattern))]
    expect(not left, "left after signing failed: %s" % left)


def version_record(setup, version):
    """The setup program's fixed file version and the strings its record must hold."""
    with open(setup, "rb") as f:
        image = f.read()
    at = image.find(struct.pack("<I", 0xFEEF04BD))
    major, minor, patch, build = map(int, re.split(r"[.+]", version))
    expect(at > 0 and struct.unpack_from("<4H", image, at + 8) == (minor, major, build, patch),
           "the setup program's file version is not " + version)
    for text in (version, "com.veskaro", "veskaro_flutter setup"):
        expect(text.encode("utf-16-le") in image, "the setup's version record lacks " + text)


def manifests(package, setup, version):
    with open(setup, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    found = {}
    for suffix, kind in MANIFESTS.items():
        path = os.path.join(package, "Veskaro.VeskaroFlutter%s.yaml" % suffix)
        with open(path, encoding="utf-8") as f:
            found[kind] = yaml.safe_load(f)
        with open(os.path.join(SCHEMAS, "manifest.%s.1.10.0.json" % kind), encoding="utf-8") as f:
            jsonschema.validate(found[kind], json.load(f))
        expect(found[kind]["PackageVersion"] == version, kind + ": version")
    installer = found["installer"]["Installers"][0]
    expect(installer["InstallerSha256"].lower() == digest, "manifest hash is not the setup's")
    expect(urllib.parse.unquote(installer["InstallerUrl"]) == RELEASE_URL +
           os.path.basename(setup), "installer URL " + installer["InstallerUrl"])


def check_package(build, keys):
    package = os.path.join(build, "package")
    setup = glob.glob(os.path.join(package, "*-setup.exe"))[0]
    with tempfile.TemporaryDirectory() as scratch:
        with zipfile.ZipFile(glob.glob(os.path.join(package, "*.zip"))[0]) as archive:
            exe = archive.extract("veskaro_flutter.exe", scratch)
        for program in (exe, setup):
            ok, output = signature_ok(program, keys["ca"])
            expect(ok, "%s does not verify:\n%s" % (program, output))
        with open(exe, "r+b") as f:
            f.seek(os.path.getsize(exe) // 2)
            byte = f.read(1)
            f.seek(-1, os.SEEK_CUR)
            f.write(bytes([byte[0] ^ 1]))
        expect(not signature_ok(exe, keys["ca"])[0], "a changed program still verifies")
    version = re.search(r"veskaro_flutter-(.+?)-win64", setup).group(1)
    version_record(setup, version)
    sums = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=package, capture_output=True,
                          text=True, check=False)
    expect(sums.returncode == 0 and sums.stdout.count(": OK") == 2, "sha256sum -c: " + sums.stdout)
    manifests(package, setup, version)


def password_nowhere(builds, password):
    for build in builds:
        for root, _, names in os.walk(build):
            for name in names:
                with open(os.path.join(root, name), "rb") as f:
                    expect(password.encode() not in f.read(), "the password is in " +
                           os.path.join(root, name))


def main(a, b):
    keys = make_certificate(os.path.join(os.path.dirname(a), "reproducible-keys"))
    bad_inputs(a, keys)
    for build in (a, b):
        start = time.monotonic()
        code, output = configure(build, keys["pkcs12"], keys["password_file"],
                                 "-DVESKARO_RELEASE_URL=" + RELEASE_URL)
        expect(code == 0, "signed configure failed: " + output[-600:])
        subprocess.run(["cmake", "--build", build, "-j2", "--target", "package"], check=True,
                       stdout=subprocess.DEVNULL)
        print("signed again: %s, %.0f s" % (os.path.basename(build), time.monotonic() - start))
    files = ["app/veskaro_flutter.exe"] + sorted(os.path.relpath(p, a) for p in glob.glob(
        os.path.join(a, "package", "*")) if os.path.isfile(p))
    for name in files:
        with open(os.path.join(a, name), "rb") as f, open(os.path.join(b, name), "rb") as g:
            expect(f.read() == g.read(), "signed builds differ: " + name)
        print("identical, signed: %s (%d bytes)" % (name, os.path.getsize(os.path.join(a, name))))
    check_package(a, keys)
    password_nowhere((a, b), keys["password"])


if __name__ == "__main__":
    try:
        main(*sys.argv[1:3])
    except (Failure, jsonschema.ValidationError, subprocess.SubprocessError, OSError,
            KeyError, IndexError) as error:
        print("FAIL signed release: %s" % error)
        sys.exit(1)
    print("ok signed release")
