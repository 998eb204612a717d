#!/usr/bin/env python3
"""Signs copies of the stand-in installer for the self-update tests.

  sign_installers.py --installer EXE --authority DIR --out DIR

DIR of --authority holds the web-service stand-in's test authority (ca.pem,
ca.key), which the test's Wine prefix trusts. Written into --out:
  signed.exe     signed by a code-signing certificate of that authority
  tampered.exe   signed.exe with one byte of its code changed afterwards
  untrusted.exe  signed through an authority the prefix does not trust
  selfsigned.exe signed by a self-signed code-signing certificate
  expired.exe    signed by a certificate of the trusted authority that
                 expired years ago, without a timestamp
  unsigned.exe   the installer as built
"""

import argparse
import os
import shutil
import subprocess
import sys


def run(cmd):
    result = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if result.returncode != 0:
        sys.exit("%s failed:\n%s" % (" ".join(cmd[:2]), result.stdout.decode(errors="replace")))


CODE_SIGNING_EXT = ("basicConstraints=critical,CA:FALSE\n"
                    "keyUsage=critical,digitalSignature\n"
                    "extendedKeyUsage=codeSigning\n")


def expired_cert(work, pem, csr, ca_pem, ca_key):
    """A certificate of the authority valid through 2020 only: "openssl x509"
    of this OpenSSL cannot date one back, "openssl ca" can."""
    ca_dir = os.path.join(work, "expired-ca")
    os.makedirs(os.path.join(ca_dir, "new"), exist_ok=True)
    open(os.path.join(ca_dir, "index.txt"), "w").close()
    with open(os.path.join(ca_dir, "serial"), "w") as f:
        f.write("1000\n")
    config = os.path.join(ca_dir, "ca.cnf")
    with open(config, "w") as f:
        f.write("[ca]\ndefault_ca=test\n[test]\ndir=%s\ndatabase=$dir/index.txt\nnew_certs_dir=$dir/new\n"
                "serial=$dir/serial\ndefault_md=sha256\npolicy=any\nunique_subject=no\n[any]\n"
                "commonName=supplied\n[codesign]\n%s" % (ca_dir, CODE_SIGNING_EXT))
    run(["openssl", "ca", "-config", config, "-batch", "-notext", "-cert", ca_pem, "-keyfile", ca_key,
         "-in", csr, "-out", pem, "-startdate", "20200101000000Z", "-enddate", "20210101000000Z",
         "-extensions", "codesign"])


def code_signing_cert(work, name, ca_pem, ca_key, expired=False):
    """A key and a code-signing certificate issued by the authority, and the
    chain file (certificate, then the authority) to embed."""
    key = os.path.join(work, name + ".key")
    csr = os.path.join(work, name + ".csr")
    pem = os.path.join(work, name + ".pem")
    ext = os.path.join(work, name + ".ext")
    with open(ext, "w") as f:
        f.write(CODE_SIGNING_EXT)
    run(["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-sha256", "-keyout", key, "-out", csr,
         "-subj", "/CN=Folionex Test Publisher " + name])
    if expired:
        expired_cert(work, pem, csr, ca_pem, ca_key)
    else:
        run(["openssl", "x509", "-req", "-in", csr, "-CA", ca_pem, "-CAkey", ca_key, "-CAcreateserial",
             "-sha256", "-days", "3650", "-out", pem, "-extfile", ext])
    chain = os.path.join(work, name + ".chain.pem")
    with open(chain, "w") as out:
        for part in (pem, ca_pem):
            with open(part) as f:
                out.write(f.read())
    return key, chain


def sign(source, target, key, chain):
    if os.path.exists(target):
        os.remove(target)
    run(["osslsigncode", "sign", "-certs", chain, "-key", key, "-h", "sha256", "-n", "Folionex Setup",
         "-in", source, "-out", target])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--installer", required=True)
    parser.add_argument("--authority", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    for tool in ("openssl", "osslsigncode"):
        if not shutil.which(tool):
            sys.exit("%s is missing (tools/setup-debian.sh installs it)" % tool)
    out = args.out
    work = os.path.join(out, "keys")
    os.makedirs(work, exist_ok=True)
    ca_pem = os.path.join(args.authority, "ca.pem")
    ca_key = os.path.join(args.authority, "ca.key")

    shutil.copyfile(args.installer, os.path.join(out, "unsigned.exe"))
    key, chain = code_signing_cert(work, "trusted", ca_pem, ca_key)
    signed = os.path.join(out, "signed.exe")
    sign(args.installer, signed, key, chain)

    # One byte of the code (well before the signature at the end) changed.
    with open(signed, "rb") as f:
        data = bytearray(f.read())
    data[0x400] ^= 0x01
    with open(os.path.join(out, "tampered.exe"), "wb") as f:
        f.write(data)

    # An authority of its own, never put into the prefix's root store.
    other_pem = os.path.join(work, "other-ca.pem")
    other_key = os.path.join(work, "other-ca.key")
    run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "3650",
         "-keyout", other_key, "-out", other_pem, "-subj", "/CN=Folionex Untrusted Authority",
         "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign"])
    key, chain = code_signing_cert(work, "untrusted", other_pem, other_key)
    sign(args.installer, os.path.join(out, "untrusted.exe"), key, chain)

    # A certificate that is its own authority.
    self_pem = os.path.join(work, "selfsigned.pem")
    self_key = os.path.join(work, "selfsigned.key")
    run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "3650",
         "-keyout", self_key, "-out", self_pem, "-subj", "/CN=Folionex Self-Signed Publisher",
         "-addext", "keyUsage=critical,digitalSignature", "-addext", "extendedKeyUsage=codeSigning"])
    sign(args.installer, os.path.join(out, "selfsigned.exe"), self_key, self_pem)

    key, chain = code_signing_cert(work, "expired", ca_pem, ca_key, expired=True)
    sign(args.installer, os.path.join(out, "expired.exe"), key, chain)


if __name__ == "__main__":
    main()
