"""A throwaway code-signing certificate made with openssl at test time (nothing secret is
committed), and the signature check the tests share."""

import os
import secrets
import subprocess


def make_certificate(folder):
    """A CA and the PKCS#12 file of a code-signing certificate it issued, with a random password."""
    os.makedirs(folder, exist_ok=True)
    path = lambda name: os.path.join(folder, name)  # noqa: E731
    password = "pw-" + secrets.token_hex(12)
    for name, text in ("password.txt", password), ("leaf.ext", "extendedKeyUsage=codeSigning"):
        with open(path(name), "w", encoding="ascii") as f:
            f.write(text + "\n")
    for args in (
            "req -x509 -newkey rsa:2048 -nodes -days 30 -subj /CN=Throwaway-CA -keyout ca.key "
            "-out ca.pem",
            "req -newkey rsa:2048 -nodes -subj /CN=com.veskaro -keyout leaf.key -out leaf.csr",
            "x509 -req -in leaf.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 "
            "-extfile leaf.ext -out leaf.pem",
            "pkcs12 -export -inkey leaf.key -in leaf.pem -certfile ca.pem "
            "-passout file:password.txt -out signing.p12"):
        subprocess.run(["openssl"] + args.split(), cwd=folder, check=True, capture_output=True)
    return {"ca": path("ca.pem"), "pkcs12": path("signing.p12"),
            "password_file": path("password.txt"), "password": password}


def signature_ok(program, ca):
    result = subprocess.run(["osslsigncode", "verify", "-CAfile", ca, "-in", program],
                            capture_output=True, text=True, check=False)
    output = result.stdout + result.stderr
    return result.returncode == 0 and "Signature verification: ok" in output, output
