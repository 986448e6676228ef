#!/usr/bin/env python3
"""Extraction benchmark: Lua_UnCompress7z against the LZMA SDK's reference 7z extractor and
an NSIS installer (all three under Wine, timed by the same Windows-side driver, all built for
the engine's architecture) and native 7zz, on an 8 MB and a 200 MB payload of real executables
and text from this machine."""
import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import time

import summary

MB = 1_000_000
MIB = 1 << 20
JOURNALED = "Lua_UnCompress7z, journal"  # the same extraction recorded, as an installation does it
# The anchors' compiler and NSIS target, by the engine's architecture.
COMPILERS = {"i686": "i686-w64-mingw32-gcc", "x86_64": "x86_64-w64-mingw32-gcc"}
NSIS_TARGETS = {"i686": "x86-unicode", "x86_64": "amd64-unicode"}
NSIS_STUBS = "/usr/share/nsis/Stubs"
# The flags the project builds its own copy of the decoder with (cmake/ThirdParty.cmake).
CFLAGS = ["-O2", "-DNDEBUG", "-ffunction-sections", "-fdata-sections", "-static", "-s",
          "-Wl,--gc-sections", "-w"]
SDK_SOURCES = ["Util/7z/7zMain.c", "7zAlloc.c", "7zArcIn.c", "7zBuf.c", "7zBuf2.c", "7zCrc.c",
               "7zCrcOpt.c", "7zDec.c", "7zFile.c", "7zStream.c", "Bcj2.c", "Bra.c", "Bra86.c",
               "BraIA64.c", "CpuArch.c", "Delta.c", "Lzma2Dec.c", "LzmaDec.c"]
SAFE = set("<>:\"|?*\\")
TEXT_EXTENSIONS = {".txt", ".html", ".py", ".pl", ".pm", ".h", ".xml", ".js", ".css", ".md",
                   ".lua", ".c", ".tcl", ".rb", ".sh"}


def windows_safe(relative):
    return all(not (set(part) & SAFE) and part[-1] not in ". " for part in relative.split("/"))


def candidates(roots, wanted):
    for root in roots:
        for folder, dirs, files in os.walk(root):
            dirs.sort()
            for name in sorted(files):
                path = os.path.join(folder, name)
                if os.path.islink(path) or not os.path.isfile(path):
                    continue
                if wanted(path):
                    yield path


def is_executable(path):
    try:
        with open(path, "rb") as f:
            return f.read(4) == b"\x7fELF" and os.path.getsize(path) > 4096
    except OSError:
        return False


def is_text(path):
    return os.path.splitext(path)[1] in TEXT_EXTENSIONS


def make_payload(target, size):
    """About `size` bytes: 60 % executables, 40 % text, in their folders."""
    marker = os.path.join(target, ".complete")
    if os.path.exists(marker):
        return
    shutil.rmtree(target, ignore_errors=True)
    taken = set()
    for roots, wanted, share in ((["/usr/lib/x86_64-linux-gnu", "/usr/bin", "/usr/lib"],
                                  is_executable, 0.6),
                                 (["/usr/share"], is_text, 0.4)):
        budget = size * share
        for path in candidates(roots, wanted):
            if budget <= 0:
                break
            relative = path.lstrip("/")
            if not windows_safe(relative) or relative.lower() in taken:
                continue
            file_size = os.path.getsize(path)
            if file_size > 16 * MIB:
                continue
            taken.add(relative.lower())
            os.makedirs(os.path.join(target, os.path.dirname(relative)), exist_ok=True)
            shutil.copyfile(path, os.path.join(target, relative))
            budget -= file_size
    open(marker, "w").close()


def split_payload(source, target, count):
    """The bytes of `source`'s files, in their order, cut into `count` files of near equal
    size, a hundred to a folder: the same bytes as `source` in another number of files."""
    marker = os.path.join(target, ".complete")
    if os.path.exists(marker):
        return
    shutil.rmtree(target, ignore_errors=True)
    total = payload_stats(source)[0]
    ends = [total * (i + 1) // count for i in range(count)]
    index, written, out = 0, 0, None
    for path in sorted(candidates([source], lambda p: not p.endswith(".complete"))):
        with open(path, "rb") as f:
            view = memoryview(f.read())
        while view:
            if out is None:
                folder = os.path.join(target, f"d{index // 100:03}")
                os.makedirs(folder, exist_ok=True)
                out = open(os.path.join(folder, f"f{index:05}.bin"), "wb")
            take = min(len(view), ends[index] - written)
            out.write(view[:take])
            view = view[take:]
            written += take
            if written == ends[index]:
                out.close()
                out, index = None, index + 1
    open(marker, "w").close()


def payload_stats(folder):
    total = files = 0
    for dirpath, _, names in os.walk(folder):
        for name in names:
            if name != ".complete":
                total += os.path.getsize(os.path.join(dirpath, name))
                files += 1
    return total, files


def pack(folder, archive, switches):
    """Packs once per set of switches; the archive's name carries them."""
    tag = hashlib.md5(" ".join(switches).encode()).hexdigest()[:8]
    archive = f"{archive[:-3]}-{tag}.7z"
    if not os.path.exists(archive):
        subprocess.run(["7zz", "a", "-t7z", "-bd", "-bso0", "-bsp0", *switches, "-x!.complete",
                        archive + ".part", "."], cwd=folder, check=True)
        os.replace(archive + ".part", archive)
    return archive


def largest_block(archive):
    """Unpacked size of the archive's largest solid block."""
    listing = subprocess.run(["7zz", "l", "-slt", archive], capture_output=True, text=True,
                             check=True).stdout
    blocks, size = {}, 0
    for line in listing.splitlines():
        if line.startswith("Size = "):
            size = int(line[7:] or 0)
        elif line.startswith("Block = ") and line[8:]:
            blocks[line[8:]] = blocks.get(line[8:], 0) + size
    return max(blocks.values(), default=0)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def build_tools(source, work, arch):
    cc = COMPILERS[arch]
    sdk = os.path.join(work, f"7zDec-{arch}.exe")
    if not os.path.exists(sdk) or os.path.getmtime(sdk) < os.path.getmtime(__file__):
        c = os.path.join(source, "third_party", "7zip", "C")
        subprocess.run([cc, *CFLAGS, "-o", sdk, *[os.path.join(c, s) for s in SDK_SOURCES]],
                       check=True)
    measure = os.path.join(work, f"qpxmeasure-{arch}.exe")
    if not os.path.exists(measure) or os.path.getmtime(measure) < os.path.getmtime(
            os.path.join(source, "bench", "qpxmeasure.c")):
        subprocess.run([cc, "-O2", "-municode", "-static", "-s", "-o", measure,
                        os.path.join(source, "bench", "qpxmeasure.c"), "-lpsapi"], check=True)
    return sdk, measure


def nsis_missing(arch):
    """Why NSIS cannot make an installer of the engine's architecture here, or None."""
    stub = os.path.join(NSIS_STUBS, "lzma_solid-" + NSIS_TARGETS[arch])
    return None if os.path.exists(stub) else f"this NSIS has no {NSIS_TARGETS[arch]} stub ({stub})"


def nsis_installer(folder, exe, arch):
    if os.path.exists(exe):
        return
    script = exe[:-4] + ".nsi"
    with open(script, "w") as f:
        f.write(f"""Target {NSIS_TARGETS[arch]}
SetCompressor /SOLID lzma
Name "bench"
OutFile "{exe}.part"
InstallDir "C:\\bench"
RequestExecutionLevel user
SilentInstall silent
Section
  SetOutPath "$INSTDIR"
  File /r /x .complete "{folder}/*.*"
SectionEnd
""")
    subprocess.run(["makensis", "-V1", script], check=True)
    os.replace(exe + ".part", exe)


def under_wine(measure, work, command, folder):
    results = os.path.join(work, "measure.txt")
    if os.path.exists(results):
        os.remove(results)
    log = os.path.join(work, "wine-output.txt")
    with open(log, "ab") as out:
        subprocess.run(["wine", measure, windows_path(results), windows_path(folder), command],
                       stdout=out, stderr=out, check=True)
    seconds, working_set, pagefile, code = open(results).read().split()
    return float(seconds), int(working_set), int(pagefile), int(code)


def native_7zz(archive, folder):
    results = subprocess.run(["/usr/bin/time", "-f", "%e %M", "7zz", "x", "-mmt1", "-bd",
                              "-bso0", "-bsp0", "-y", archive, "-o" + folder],
                             capture_output=True, text=True, check=True)
    seconds, kib = results.stderr.split()[-2:]
    return float(seconds), int(kib) * 1024, 0, 0


def fresh(folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)


def extracted_size(folder):
    return payload_stats(folder)[0]


def extract_once(tools, work, archive, out):
    """Seconds ours and the SDK extractor each take for `archive` (one fresh run each), or
    None for a run that did not extract every byte."""
    measure, probe, sdk = tools
    lua = os.path.join(work, "extract.lua")
    with open(lua, "w") as f:
        f.write(f"os.exit(Lua_UnCompress7z([[{windows_path(archive)}]], "
                f"[[{windows_path(out)}]], true) and 1 or 0)\n")
    total = None
    times = []
    for command, expected in ((f'"{windows_path(probe)}" chunk "{windows_path(lua)}"', 1),
                              (f'"{windows_path(sdk)}" x "{windows_path(archive)}"', 0)):
        fresh(out)
        seconds, _, _, code = under_wine(measure, work, command, out)
        size = extracted_size(out)
        total = size if total is None else total
        times.append(seconds if code == expected and size == total else None)
    shutil.rmtree(out, ignore_errors=True)
    return times


def growth(work, out, tools, measured, switches):
    """Extraction time against payload size, and against the number of files for the same
    bytes, ours beside the SDK extractor: the cost per byte and per file."""
    print("\ngrowth (one run each; 8 and 200 MB are the fastest rounds above):")
    print(f"  {'payload':34} {'files':>6} {'ours s':>7} {'SDK s':>7} {'ours MB/s':>9} {'ours/SDK':>8}")
    base = os.path.join(work, "payload50")
    make_payload(base, 50 * MB)
    table = []
    for label, folder in (("8 MB", os.path.join(work, "payload8")), ("50 MB", base),
                          ("200 MB", os.path.join(work, "payload200")),
                          ("50 MB cut into 100 files", os.path.join(work, "split100")),
                          ("50 MB cut into 3500 files", os.path.join(work, "split3500")),
                          ("50 MB cut into 20000 files", os.path.join(work, "split20000"))):
        if label.startswith("50 MB cut"):
            split_payload(base, folder, int(label.split()[4]))
        total, files = payload_stats(folder)
        if label in measured:
            ours, ref = measured[label]
        else:
            archive = pack(folder, os.path.join(work, f"{os.path.basename(folder)}.7z"), switches)
            ours, ref = extract_once(tools, work, archive, out)
        table.append((label, total, files, ours, ref))
        shown = lambda v: f"{v:7.2f}" if v is not None else "  ERROR"
        print(f"  {label:34} {files:6} {shown(ours)} {shown(ref)} "
              f"{total / MB / ours if ours else 0:9.1f} {ours / ref if ours and ref else 0:8.2f}")
    by_count = {files: (ours, ref) for label, _, files, ours, ref in table if "cut" in label}
    if len(by_count) >= 2 and all(o and r for o, r in by_count.values()):
        few, many = min(by_count), max(by_count)
        per_file = [(by_count[many][i] - by_count[few][i]) / (many - few) * 1000 for i in (0, 1)]
        print(f"  cost of a file (50 MB in {many} files against {few}): ours {per_file[0]:.2f} ms, "
              f"SDK {per_file[1]:.2f} ms")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--source", required=True)
    ap.add_argument("--arch", choices=sorted(COMPILERS), required=True, help="the engine's")
    ap.add_argument("--summary", help="file of the results table bench/run.sh prints")
    args = ap.parse_args()
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    sys.path.insert(0, os.path.join(args.source, "tools"))
    from qpxres import PACK_SWITCHES
    probe = os.path.join(os.path.abspath(args.build), "tests", "scriptprobe.exe")
    sdk, measure = build_tools(args.source, work, args.arch)
    no_nsis = nsis_missing(args.arch)
    if no_nsis:
        print(f"NSIS: not run: {no_nsis}")
    out = os.path.join(work, "out")
    # What each program takes before it extracts anything: our probe running an empty chunk,
    # the SDK extractor printing its usage.
    idle_lua = os.path.join(work, "idle.lua")
    with open(idle_lua, "w") as f:
        f.write("os.exit(1)\n")
    fresh(out)
    idle = {"Lua_UnCompress7z": under_wine(
                measure, work, f'"{windows_path(probe)}" chunk "{windows_path(idle_lua)}"', out)[1],
            "LZMA SDK 7zDec": under_wine(measure, work, f'"{windows_path(sdk)}"', out)[1]}
    print("idle peak working set (the program before extracting): " +
          ", ".join(f"{name} {value / MIB:.1f} MiB" for name, value in idle.items()))

    print(f"payload packing: 7zz {' '.join(PACK_SWITCHES)} (the installer's default)")
    rows = []
    for label, size in (("8 MB", 8 * MB), ("200 MB", 200 * MB)):
        payload = os.path.join(work, f"payload{size // MB}")
        make_payload(payload, size)
        total, files = payload_stats(payload)
        archive = os.path.join(work, f"payload{size // MB}.7z")
        archive = pack(payload, archive, PACK_SWITCHES)
        packed = os.path.getsize(archive)
        block = largest_block(archive)
        nsis = os.path.join(work, f"nsis{size // MB}-{args.arch}.exe")
        if not no_nsis:
            nsis_installer(payload, nsis, args.arch)
        lua = os.path.join(work, "extract.lua")
        with open(lua, "w") as f:
            f.write(f"os.exit(Lua_UnCompress7z([[{windows_path(archive)}]], "
                    f"[[{windows_path(out)}]], true) and 1 or 0)\n")
        # The same extraction recorded in an install journal, as an installation does it.
        journaled = os.path.join(work, "extract-journaled.lua")
        with open(journaled, "w") as f:
            f.write(f"result = Lua_UnCompress7z([[{windows_path(archive)}]], [[{windows_path(out)}]], true)\n")
        contenders = [
            ("Lua_UnCompress7z", lambda: under_wine(
                measure, work, f'"{windows_path(probe)}" chunk "{windows_path(lua)}"', out), 1),
            (JOURNALED, lambda: under_wine(
                measure, work, f'"{windows_path(probe)}" journaled "{windows_path(out)}" "{windows_path(journaled)}"',
                out), 1),
            ("LZMA SDK 7zDec", lambda: under_wine(
                measure, work, f'"{windows_path(sdk)}" x "{windows_path(archive)}"', out), 0),
            ("NSIS /SOLID lzma", lambda: under_wine(
                measure, work, f'"{windows_path(nsis)}" /S /D={windows_path(out)}', out), 0),
            ("7zz x -mmt1 (native)", lambda: native_7zz(archive, out), 0),
        ]
        if no_nsis:
            contenders = [c for c in contenders if not c[0].startswith("NSIS")]
        print(f"\n{label} payload: {total / MB:.1f} MB in {files} files, archive "
              f"{packed / MB:.1f} MB, largest solid block {block / MIB:.1f} MiB")
        # Rounds take every contender in turn, so a change in the machine's load touches all
        # of them alike; each keeps its fastest round.
        results = {}
        for _ in range(3 if size < 50 * MB else 2):
            for name, run, expected_code in contenders:
                fresh(out)
                seconds, working_set, pagefile, code = run()
                # The journal is the installation's own file beside the payload.
                journal = os.path.join(out, "Uninst.jnl")
                journal_size = os.path.getsize(journal) if name == JOURNALED and os.path.exists(journal) else 0
                ok = code == expected_code and extracted_size(out) - journal_size == total
                # The fastest round's time; the highest peaks and every round's check.
                seen = results.get(name, (seconds, 0, 0, True))
                results[name] = (min(seen[0], seconds), max(seen[1], working_set),
                                 max(seen[2], pagefile), seen[3] and ok)
        for name, _, _ in contenders:
            seconds, working_set, pagefile, ok = results[name]
            print(f"  {name:22} {total / MB / seconds:7.1f} MB/s  {seconds:7.2f} s  peak working "
                  f"set {working_set / MIB:6.1f} MiB  peak private {pagefile / MIB:6.1f} MiB"
                  f"{'' if ok else '  (OUTPUT INCOMPLETE)'}")
        ours = results["Lua_UnCompress7z"]
        ref, nsis_run, native = (results["LZMA SDK 7zDec"], results.get("NSIS /SOLID lzma"),
                                 results["7zz x -mmt1 (native)"])
        nsis_ratio = f"{nsis_run[0] / ours[0]:.2f}x" if nsis_run else "not run"
        print(f"  ratios (throughput): ours/SDK {ref[0] / ours[0]:.2f}x, ours/NSIS "
              f"{nsis_ratio}, ours/native 7zz {native[0] / ours[0]:.2f}x")
        peak = max(ours[1], ours[2])
        own = peak - idle["Lua_UnCompress7z"]
        print(f"  extraction's own memory (peak above idle): ours {own / MIB:.1f} MiB, SDK "
              f"{(ref[1] - idle['LZMA SDK 7zDec']) / MIB:.1f} MiB")
        print(f"  the install journal costs {results[JOURNALED][0] / ours[0]:.3f}x the time of the extraction alone")
        rows.append((label, ours, ref, nsis_run, native, peak, block, own, results[JOURNALED]))
        shutil.rmtree(out, ignore_errors=True)

    print("\ntargets:")
    for label, ours, ref, nsis_run, native, peak, block, own, recorded in rows:
        if not nsis_run:
            text = f"{label}: throughput at least 1.43x NSIS's: not run, {no_nsis}"
            print(f"  not run {text}")
            summary.add(args.summary, f"extraction {text}", "", "", None)
        checks = [
            (f"{label}: throughput at least the SDK reference's ({ref[0] / ours[0]:.2f}x)",
             ours[0] <= ref[0]),
        ] + ([(f"{label}: throughput at least 1.43x NSIS's ({nsis_run[0] / ours[0]:.2f}x)",
               nsis_run[0] / ours[0] >= 1.43)] if nsis_run else []) + [
            (f"{label}: time at most 1.3x native single-threaded 7zz's ({ours[0] / native[0]:.2f}x)",
             ours[0] <= 1.3 * native[0]),
            (f"{label}: peak memory {peak / MIB:.1f} MiB at most largest block + 10 MiB "
             f"({(block + 10 * MIB) / MIB:.1f} MiB)", peak <= block + 10 * MIB),
            (f"{label}: extraction's own memory {own / MIB:.1f} MiB at most largest block "
             f"+ 10 MiB", own <= block + 10 * MIB),
            (f"{label}: all files extracted by every contender",
             ours[3] and ref[3] and (not nsis_run or nsis_run[3])),
        ]
        if label == "200 MB":
            checks.append((f"{label}: default packing extracts under 32 MiB (peak "
                           f"{peak / MIB:.1f} MiB)", peak < 32 * MIB))
            checks.append((f"{label}: the install journal adds at most 3 % to the time "
                           f"({(recorded[0] / ours[0] - 1) * 100:+.1f} %)", recorded[0] <= 1.03 * ours[0]))
        for text, met in checks:
            print(f"  {'PASS' if met else 'MISS'}  {text}")
            summary.add(args.summary, f"extraction {text}", "", "", met)

    growth(work, out, (measure, probe, sdk), {label: (ours[0], ref[0]) for label, ours, ref, *_ in rows},
           PACK_SWITCHES)

    # What the memory bound costs in size: the same payload with a 64 MiB dictionary.
    payload = os.path.join(work, "payload200")
    bounded = os.path.getsize(pack(payload, os.path.join(work, "payload200.7z"), PACK_SWITCHES))
    unbounded = os.path.getsize(pack(
        payload, os.path.join(work, "payload200.7z"),
        [s for s in PACK_SWITCHES if not s.startswith("-md=")] + ["-md=64m"]))
    dictionary = next((s[4:] for s in PACK_SWITCHES if s.startswith("-md=")), "default")
    print(f"\nsize cost of the {dictionary} dictionary on 200 MB: {bounded / MB:.2f} MB against "
          f"{unbounded / MB:.2f} MB with 64 MiB ({(bounded / unbounded - 1) * 100:+.2f} %)")


if __name__ == "__main__":
    main()
