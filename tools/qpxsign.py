#!/usr/bin/env python3
"""Authenticode-signs a built installer with osslsigncode when a certificate and key are named.

They are named on the command line (qpxbuild --sign-cert <file> --sign-key <file>), which
wins, or in the product folder's signing.conf:
    cert = <certificate file, PEM or DER>
    key = <private key file>
    password = <file holding the key's password>     (optional)
Paths in signing.conf are relative to the product folder. Without either the installer stays
unsigned. The signing time is the date given by SOURCE_DATE_EPOCH or date.conf
(qpxres.given_time), which keeps a signed build reproducible; without one it is the time of
signing, since a fixed default date would lie before the certificate's validity.
"""
import argparse
import os
import subprocess
import sys

import qpxres


def read_conf(product):
    """signing.conf as {name: absolute path}; empty when the product has none."""
    conf = os.path.join(product, "signing.conf")
    if not os.path.exists(conf):
        return {}
    values = {}
    with open(conf, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            name, sep, value = (part.strip() for part in line.partition("="))
            if not sep or name not in ("cert", "key", "password") or not value:
                qpxres.fail(f"{conf}:{number}: error: expected cert = <file>, key = <file> "
                            "or password = <file>")
            values[name] = os.path.join(product, value)
    return values


def sign(product, installer, cert="", key=""):
    """Signs the installer in place with the given certificate and key, else with those of the
    product's signing.conf; leaves it unsigned when neither names any."""
    conf = read_conf(product)
    if cert or key:
        conf = {"cert": os.path.abspath(cert), "key": os.path.abspath(key)}
    if not conf:
        return
    for name in ("cert", "key"):
        if not os.path.isfile(conf.get(name, "")):
            qpxres.fail(f"signing: error: {name} file {conf.get(name) or '(not named)'} not found")
    signed = installer + ".signed"
    command = ["osslsigncode", "sign", "-certs", conf["cert"], "-key", conf["key"], "-h", "sha256"]
    seconds = qpxres.given_time(product)
    if seconds is not None:
        command += ["-time", str(seconds)]
    if "password" in conf:
        command += ["-readpass", conf["password"]]
    result = subprocess.run(command + ["-in", installer, "-out", signed],
                            capture_output=True, text=True)
    if result.returncode != 0:
        if os.path.exists(signed):
            os.remove(signed)
        qpxres.fail(f"signing: error: osslsigncode failed\n{result.stdout}{result.stderr}".strip())
    os.replace(signed, installer)
    print(f"signed {installer} with {conf['cert']}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--product", required=True)
    ap.add_argument("--cert", default="")
    ap.add_argument("--key", default="")
    ap.add_argument("installer")
    args = ap.parse_args()
    sign(os.path.abspath(args.product), args.installer, args.cert, args.key)


if __name__ == "__main__":
    sys.exit(main())
