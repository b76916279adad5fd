"""A throwaway code-signing certificate, made with openssl at test time so that nothing secret is
committed: a CA, a code-signing certificate it issued, and that certificate with its key in a
PKCS#12 file locked with a random password. Also the signature check the tests share."""

import os
import secrets
import subprocess


def make_certificate(folder):
    """Writes the files into `folder`; returns their paths (ca, pkcs12, password_file) and the
    password."""
    os.makedirs(folder, exist_ok=True)
    path = lambda name: os.path.join(folder, name)  # noqa: E731
    password = "pw-" + secrets.token_hex(12)
    with open(path("password.txt"), "w", encoding="ascii") as f:
        f.write(password + "\n")
    openssl = [
        ["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30", "-subj",
         "/CN=Throwaway test CA", "-keyout", path("ca.key"), "-out", path("ca.pem")],
        ["req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=com.veskaro",
         "-keyout", path("leaf.key"), "-out", path("leaf.csr")],
        ["x509", "-req", "-in", path("leaf.csr"), "-CA", path("ca.pem"), "-CAkey", path("ca.key"),
         "-CAcreateserial", "-days", "30", "-extfile", path("leaf.ext"), "-out", path("leaf.pem")],
        ["pkcs12", "-export", "-inkey", path("leaf.key"), "-in", path("leaf.pem"),
         "-certfile", path("ca.pem"), "-passout", "file:" + path("password.txt"),
         "-out", path("signing.p12")],
    ]
    with open(path("leaf.ext"), "w", encoding="ascii") as f:
        f.write("extendedKeyUsage=codeSigning\nkeyUsage=critical,digitalSignature\n")
    for args in openssl:
        subprocess.run(["openssl"] + args, check=True, capture_output=True)
    return {"ca": path("ca.pem"), "pkcs12": path("signing.p12"),
            "password_file": path("password.txt"), "password": password}


def signature_ok(program, ca):
    """osslsigncode's verdict on `program`'s signature against the CA, and what it printed."""
    result = subprocess.run(["osslsigncode", "verify", "-CAfile", ca, "-in", program],
                            capture_output=True, text=True, check=False)
    output = result.stdout + result.stderr
    return result.returncode == 0 and "Signature verification: ok" in output, output
