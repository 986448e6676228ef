#!/usr/bin/env python3
"""Weight benchmark: the installer's own size, that is the built installer less the product's
resources (payload archive, skin images, layout, scripts), and what takes the most of it, from
the link map of the same engine linked without resources."""
import argparse
import collections
import os
import re
import sys

import summary

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from qpxpe import PeImage  # noqa: E402

TARGET = 300 * 1024
# Resource types the product brings; everything else in the file is the engine's.
PRODUCT_TYPES = {"_7Z": "payload archive", "PNG": "skin images", "PNG_150": "skin images at 150 %",
                 "PNG_200": "skin images at 200 %", "XML": "layout", "LUA": "scripts"}
KIB = 1024


def resource_sizes(path):
    """Bytes of resource data per resource type (named types by name, others by number)."""
    data = open(path, "rb").read()
    sizes = collections.Counter()
    for kind, _, content in PeImage(data).resources():
        sizes[str(kind)] += len(content)
    return dict(sizes), len(data)


def contributors(map_path):
    """Bytes each input file adds to the sections that take room in the file, and per section."""
    per_file = collections.Counter()
    per_section = collections.Counter()
    in_map = False
    output = None
    pending = None
    input_line = re.compile(r"^ (\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
    output_line = re.compile(r"^(\.\S+|/\d+)(\s+0x[0-9a-f]+\s+0x[0-9a-f]+)?\s*$")
    for line in open(map_path, encoding="utf-8", errors="replace"):
        line = line.rstrip("\n")
        if line.startswith("Linker script and memory map"):
            in_map = True
            continue
        if not in_map or not line:
            continue
        match = output_line.match(line)
        if match:
            output = match.group(1)
            pending = None
            continue
        if output is None or output == ".bss" or output.startswith(".debug") or output.startswith("/"):
            continue
        if re.match(r"^ \S+$", line):
            pending = line.strip()  # a long section name: its address and size follow
            continue
        match = input_line.match(line)
        if not match or (match.group(1) is None and pending is None):
            continue
        name = match.group(1) or pending
        pending = None
        if name == "*fill*" or name.startswith("*"):
            continue
        size = int(match.group(3), 16)
        if size:
            per_file[match.group(4).strip()] += size
            per_section[output] += size
    return per_file, per_section


def inclusions(map_path):
    """For each archive member the link took: the file that needed it and the symbol."""
    needed_by = {}
    lines = open(map_path, encoding="utf-8", errors="replace").read().split("\n")
    for i, line in enumerate(lines[1:], 1):
        if line.startswith(("Discarded input sections", "Memory Configuration")):
            break
        if not line or line.startswith(" "):
            continue
        # The member, then who needed it: on the same line when the member's name is short.
        match = re.match(r"^(\S.*?\))\s{2,}(\S.*)$", line)
        member, reason = match.groups() if match else (line.strip(), lines[i + 1].strip())
        file, _, symbol = reason.partition(" (")
        needed_by[member_of(member)] = (member_of(file), symbol[:-1] if symbol.endswith(")") else symbol)
    return needed_by


RUNTIME = re.compile(r"^lib(stdc\+\+|gcc|gcc_eh|mingw\w*|moldname|pthread|msvcrt)\.a:")


def pulled_in_by(member, needed_by):
    """For a member of a runtime library: the first of the project's own files in the chain
    that made the link take it, and the symbol that file needed."""
    seen = set()
    while RUNTIME.match(member) and member in needed_by and member not in seen:
        seen.add(member)
        file, symbol = needed_by[member]
        if file and not RUNTIME.match(file):
            return f"{file} needs {symbol if len(symbol) <= 60 else symbol[:57] + '...'}"
        member = file
    return ""


def library_of(path):
    """libfoo.a(member.o) -> libfoo.a; a loose object -> its target folder or file name."""
    match = re.match(r"^(.*?)\((.*)\)$", path)
    if match:
        return os.path.basename(match.group(1))
    target = re.search(r"CMakeFiles/([^/]+)\.dir/", path)
    if path == "dll stuff":
        return "base relocations"
    return target.group(1) + " (objects)" if target else os.path.basename(path)


def member_of(path):
    if path == "dll stuff":
        return "base relocations"
    match = re.match(r"^(.*?)\((.*)\)$", path)
    return f"{os.path.basename(match.group(1))}:{match.group(2)}" if match else os.path.basename(path)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--installer", required=True)
    ap.add_argument("--map", required=True, help="link map of the engine without resources")
    ap.add_argument("--engine", required=True, help="the engine linked without resources")
    ap.add_argument("--top", type=int, default=10)
    ap.add_argument("--summary")
    args = ap.parse_args()
    types, file_size = resource_sizes(args.installer)
    product = {label: types.get(kind, 0) for kind, label in PRODUCT_TYPES.items()}
    weight = file_size - sum(product.values())
    print(f"  installer {file_size / KIB:.1f} KiB; product resources: " +
          ", ".join(f"{label} {size / KIB:.1f} KiB" for label, size in product.items()))
    engine_resources = {kind: size for kind, size in types.items() if kind not in PRODUCT_TYPES}
    print(f"  own weight {weight / KIB:.1f} KiB (target at most {TARGET / KIB:.0f} KiB); of it "
          f"the engine's resources {sum(engine_resources.values()) / KIB:.1f} KiB, the engine "
          f"linked alone {os.path.getsize(args.engine) / KIB:.1f} KiB")

    per_file, per_section = contributors(args.map)
    mapped = sum(per_file.values())
    print(f"  by section (link map, {mapped / KIB:.1f} KiB): " +
          ", ".join(f"{name} {size / KIB:.1f}" for name, size in per_section.most_common()))
    libraries = collections.Counter()
    members = collections.Counter()
    for path, size in per_file.items():
        libraries[library_of(path)] += size
        members[member_of(path)] += size
    print("  largest libraries:")
    for name, size in libraries.most_common(args.top):
        print(f"    {size / KIB:7.1f} KiB  {name}")
    needed_by = inclusions(args.map)
    print("  largest objects (for a runtime library's: the project file that links it in):")
    for name, size in members.most_common(args.top):
        why = pulled_in_by(name, needed_by)
        print(f"    {size / KIB:7.1f} KiB  {name}{f'  <- {why}' if why else ''}")
    top = ", ".join(f"{name.split(' ')[0]} {size / KIB:.0f}" for name, size in libraries.most_common(3))
    summary.add(args.summary, "weight: installer less product resources",
                f"{weight / KIB:.1f} KiB ({top} KiB)", f"<= {TARGET / KIB:.0f} KiB", weight <= TARGET)
    return 0


if __name__ == "__main__":
    sys.exit(main())
