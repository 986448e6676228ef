#!/usr/bin/env python3
"""The product builder: a product folder in, its installer out, written into a copy of the
engine's prebuilt stub. Needs Python 3, 7-Zip (7zz) and the kit's own files; osslsigncode only
to sign.

    qpxbuild <product folder> -o <file.exe> [--arch i686|x86_64] [--strict]
             [--sign-cert <file> --sign-key <file>]
    qpxbuild --new <folder> [--name "My Product"]

The folder is checked first (qpxcheck.py; messages like a compiler's, errors stop the build,
--strict stops on warnings too). A product with scripts/uninstall.lua gets the uninstaller,
made from the uninstaller's stub with the product's icon and pages, in its payload as
Uninstall.exe. The same folder gives the same bytes on every build.

The kit lays its files out around this one: bin/luac52 (this machine's Lua 5.2 compiler),
stubs/<arch>/QPXSetup.exe and Uninstall.exe, engine/ (the engine's default icon and uninstall
pages), starter/ (what --new writes). The engine's own build names its files with the options
below the line in --help.
"""
import argparse
import os
import re
import shutil
import sys
import tempfile
import uuid

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import qpxcheck  # noqa: E402
import qpxpe  # noqa: E402
import qpxres  # noqa: E402
import qpxsign  # noqa: E402

KIT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ARCHES = ("i686", "x86_64")
INSTALLER_STUB, UNINSTALLER_STUB = "QPXSetup.exe", "Uninstall.exe"
# The uninstaller's name in the payload: the file the uninstall entry names.
UNINSTALLER_NAME = "Uninstall.exe"
DEFAULT_NAME = "My Product"
# Files of the starter in which --new fills in the product's names.
STARTER_TEXTS = (".lua", ".xml", ".txt")


def product_build(args):
    product = os.path.abspath(args.product)
    stubs = os.path.abspath(args.stubs or os.path.join(KIT, "stubs", args.arch))
    luac = os.path.abspath(args.luac or os.path.join(KIT, "bin", "luac52"))
    defaults = os.path.abspath(args.defaults or os.path.join(KIT, "engine"))
    out = os.path.abspath(args.output)
    if not os.path.isdir(product):
        qpxres.fail(f"{product}: error: no such product folder")
    installer_stub = os.path.abspath(args.stub or os.path.join(stubs, INSTALLER_STUB))
    for path in (installer_stub, luac):
        if not os.path.isfile(path):
            qpxres.fail(f"{path}: error: missing from the kit")
    size_t = 8 if qpxpe.PeImage(qpxres.read(installer_stub)).is_64bit else 4
    files = [os.path.abspath(path) for path in args.payload_file]
    uninstalls = os.path.exists(os.path.join(product, "scripts", "uninstall.lua"))
    extra = files + ([os.path.join(stubs, UNINSTALLER_STUB)] if uninstalls else [])
    if not args.unchecked and not qpxcheck.run(product, luac, args.strict, extra_payload=extra):
        qpxres.fail(f"{product}: not built, mend the errors above")
    with tempfile.TemporaryDirectory() as scratch:
        work = os.path.abspath(args.work) if args.work else scratch
        os.makedirs(work, exist_ok=True)
        # Both programs carry the same language files: compiled once.
        languages = qpxres.language_resources(product, work, luac, size_t)
        if uninstalls:
            uninstaller = os.path.join(work, UNINSTALLER_NAME)
            write_program(os.path.join(stubs, UNINSTALLER_STUB), uninstaller,
                          qpxres.uninstaller_resources(product, defaults, languages))
            files.append(uninstaller)
        resources = qpxres.installer_resources(product, work, luac, size_t, defaults, files, languages)
        os.makedirs(os.path.dirname(out), exist_ok=True)
        write_program(installer_stub, out, resources)
    qpxsign.sign(product, out, args.sign_cert, args.sign_key)
    print(f"installer: {out}")


def write_program(stub, out, resources):
    """A copy of the stub with the resources; written beside `out` first, so that a failed
    build leaves no half-written program."""
    data = qpxpe.with_resources(qpxres.read(stub), resources)
    partial = out + ".partial"
    with open(partial, "wb") as f:
        f.write(data)
    os.chmod(partial, 0o755)
    os.replace(partial, out)


def product_id(name):
    """The name as a word for files, keys and folders: its letters and digits."""
    return re.sub(r"[^0-9A-Za-z]", "", name) or "MyProduct"


def new_product(args):
    """The starter product written to a new (or empty) folder, with its names filled in."""
    folder = os.path.abspath(args.new)
    starter = os.path.abspath(args.starter or os.path.join(KIT, "starter"))
    if os.path.exists(folder) and (not os.path.isdir(folder) or os.listdir(folder)):
        qpxres.fail(f"{folder}: error: exists and is not an empty folder")
    if '"' in args.name or "\\" in args.name or not args.name.strip():
        qpxres.fail(f'--name: error: "{args.name}" must not be empty nor hold " or \\')
    names = {"@PRODUCT_NAME@": args.name.strip(), "@PRODUCT_ID@": product_id(args.name),
             "@MUTEX_GUID@": "{" + str(uuid.uuid4()).upper() + "}"}
    shutil.copytree(starter, folder, dirs_exist_ok=True)
    for where, _, files in os.walk(folder):
        for name in files:
            if os.path.splitext(name)[1] in STARTER_TEXTS:
                path = os.path.join(where, name)
                text = open(path, encoding="utf-8").read()
                for token, value in names.items():
                    text = text.replace(token, value)
                open(path, "w", encoding="utf-8").write(text)
    print(f"product: {folder} ({names['@PRODUCT_NAME@']}); build it with: qpxbuild {args.new} -o setup.exe")


def main():
    ap = argparse.ArgumentParser(prog="qpxbuild", description="Builds a product's installer.")
    ap.add_argument("product", nargs="?", help="the product folder")
    ap.add_argument("-o", "--output", help="the installer to write")
    ap.add_argument("--arch", choices=ARCHES, default="i686",
                    help="the installer's Windows architecture (default i686)")
    ap.add_argument("--strict", action="store_true", help="warnings of the checks stop the build too")
    ap.add_argument("--sign-cert", default="", help="certificate to sign with (over signing.conf)")
    ap.add_argument("--sign-key", default="", help="its private key")
    ap.add_argument("--new", metavar="FOLDER", help="write the starter product into FOLDER")
    ap.add_argument("--name", default=DEFAULT_NAME, help="the starter's product name")
    engine = ap.add_argument_group("the engine's own build")
    engine.add_argument("--stubs", help="folder of the stubs (instead of the kit's stubs/<arch>)")
    engine.add_argument("--stub", help="the program to write the installer's resources into "
                        "(instead of the stubs' QPXSetup.exe)")
    engine.add_argument("--luac", help="Lua 5.2 compiler (instead of the kit's bin/luac52)")
    engine.add_argument("--defaults", help="the engine's default icon and uninstall pages")
    engine.add_argument("--starter", help="the starter product's template")
    engine.add_argument("--work", help="keep the intermediate files (chunks, archive) here")
    engine.add_argument("--payload-file", action="append", default=[],
                        help="a built file to put at the payload's root (repeatable)")
    engine.add_argument("--unchecked", action="store_true",
                        help="skip the checks: for test products that are broken on purpose")
    args = ap.parse_args()
    if args.new:
        if args.product or args.output:
            ap.error("--new takes no product folder nor -o")
        new_product(args)
    elif args.product and args.output:
        product_build(args)
    else:
        ap.error("give a product folder and -o <file.exe>, or --new <folder>")


if __name__ == "__main__":
    main()
