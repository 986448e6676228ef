"""Product build time: the sample's installer built by the kit's command, from the unpacked
tarball, beside `make installer` of the checkout (the same command behind the tree's stub
check), each the median of a few runs in this one run; both must give the same bytes.
    kitbuild.py --kit <tarball> --source <checkout> --build <i686 tree> --summary <file>"""
import argparse
import glob
import os
import shutil
import statistics
import subprocess
import tempfile
import time

import summary

ROUNDS = 3
# A product build "takes seconds".
TARGET_SECONDS = 10


def timed(command, **kwargs):
    start = time.monotonic()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, **kwargs)
    return time.monotonic() - start


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--kit", required=True)
    ap.add_argument("--source", required=True)
    ap.add_argument("--build", required=True)
    ap.add_argument("--summary")
    args = ap.parse_args()
    work = tempfile.mkdtemp(prefix="qpx-bench-kit-")
    try:
        subprocess.run(["tar", "xzf", args.kit, "-C", work], check=True)
        [kit] = glob.glob(os.path.join(work, "qpx-kit-*"))
        product = os.path.join(work, "sample")
        shutil.copytree(os.path.join(args.source, "resources"), product)
        programs = open(os.path.join(args.build, "sample-payload.txt")).read().split()
        extra = [word for path in programs for word in ("--payload-file", path)]
        kit_out, make_out = os.path.join(work, "kit.exe"), os.path.join(work, "make.exe")
        kit_times = [timed([os.path.join(kit, "bin", "qpxbuild"), product, "-o", kit_out, *extra])
                     for _ in range(ROUNDS)]
        make_times = [timed(["make", "--no-print-directory", "installer", "ARCH=i686", "OUT=" + make_out],
                            cwd=args.source) for _ in range(ROUNDS)]
        same = open(kit_out, "rb").read() == open(make_out, "rb").read()
    finally:
        shutil.rmtree(work)
    kit_s, make_s = statistics.median(kit_times), statistics.median(make_times)
    print(f"  the sample with the kit: {kit_s:.2f} s; make installer: {make_s:.2f} s "
          f"({kit_s / make_s:.2f}x); the same bytes: {'yes' if same else 'NO'}")
    summary.add(args.summary, "product build: the sample with the kit", f"{kit_s:.2f} s",
                f"<= {TARGET_SECONDS} s, same bytes as make installer", kit_s <= TARGET_SECONDS and same)
    summary.add(args.summary, "product build: make installer of the sample", f"{make_s:.2f} s")


if __name__ == "__main__":
    main()
