#!/usr/bin/env python3
"""Deterministic hostile layout documents from the sample product's layout: attributes
removed, values out of range (negative, huge, empty, not numbers, too few or too many parts),
elements nested where they do not belong, elements removed, truncated documents and deep
nesting. Each is written as the layout resource is stored (UTF-16) to <out>/<n>.xml.
    mutate_layouts.py <layout.xml> <out> <count> [seed]"""
import os
import random
import shutil
import sys
import xml.etree.ElementTree as ET

VALUES = ["-1", "-2147483648", "2147483647", "4294967296", "99999999999999999999", "0", "",
          "abc", "1,2", "1,2,3,4,5", "-5,-5,-1,-1", "100000,100000,100001,100001", "0,0,0,0",
          "10,10,5,5", "255,255", "300,-1,7", "65535", "65536", "true", "nan", "1e308", " 7 ",
          "０", "$global_missing$", "%s%s%n", "\u00e9" * 300]
# Elements that hold others in the layout, and those that never do.
DEEP = "QpxDeepNesting"
CONTAINERS = {"Window", "Dlg", "Container", "CaptionContainer", "VerticalContainer", "GridContainer"}


def elements(root):
    return list(root.iter())


def remove_attribute(root, rng):
    candidates = [e for e in elements(root) if e.attrib]
    if not candidates:
        return "none"
    element = rng.choice(candidates)
    name = rng.choice(sorted(element.attrib))
    del element.attrib[name]
    return f"remove {element.tag}@{name}"


def change_value(root, rng):
    candidates = [e for e in elements(root) if e.attrib]
    element = rng.choice(candidates)
    name = rng.choice(sorted(element.attrib))
    element.set(name, rng.choice(VALUES))
    return f"value {element.tag}@{name}"


def add_attribute(root, rng):
    element = rng.choice(elements(root))
    name = rng.choice(["rect", "rectChk", "rectLbl", "clrect", "resId", "type", "row", "col",
                       "framecount", "size", "color", "action", "visible", "checked", "maxchar",
                       "width", "height", "elapse", "bkcolor"])
    element.set(name, rng.choice(VALUES))
    return f"add {element.tag}@{name}"


def parents(root):
    return {child: parent for parent in root.iter() for child in parent}


def move_element(root, rng):
    """An element moved under another, container or not: wrong nesting."""
    owners = parents(root)
    movable = [e for e in elements(root) if e in owners]
    element = rng.choice(movable)
    targets = [e for e in elements(root) if e is not element and element not in list(e.iter())
               and e not in list(element.iter())]
    target = rng.choice(targets)
    owners[element].remove(element)
    target.append(element)
    return f"move {element.tag} into {target.tag}"


def remove_element(root, rng):
    owners = parents(root)
    element = rng.choice([e for e in elements(root) if e in owners])
    owners[element].remove(element)
    return f"drop {element.tag}"


def duplicate_element(root, rng):
    owners = parents(root)
    element = rng.choice([e for e in elements(root) if e in owners])
    owners[element].append(ET.fromstring(ET.tostring(element)))
    return f"twice {element.tag}"


def deep_nesting(root, rng):
    owners = parents(root)
    containers = [e for e in elements(root) if e.tag in CONTAINERS and e in owners]
    element = rng.choice(containers)
    depth = rng.choice([50, 500, 5000, 20000])
    kind = rng.choice(["Container", "VerticalContainer", "GridContainer", "Button"])
    # Written as text: too deep for the serializer.
    ET.SubElement(element, DEEP, {"depth": str(depth), "kind": kind})
    return f"deep {kind} {depth}"


def expand_deep(text):
    """Each placeholder becomes its nesting."""
    while True:
        at = text.find("<" + DEEP)
        if at < 0:
            return text
        end = text.index("/>", at) + 2
        mark = ET.fromstring(text[at:end])
        depth, kind = int(mark.get("depth")), mark.get("kind")
        opening = f'<{kind} name="deep" rect="0,0,10,10">'
        text = text[:at] + opening * depth + f"</{kind}>" * depth + text[end:]


MUTATIONS = [remove_attribute, remove_attribute, change_value, change_value, change_value,
             add_attribute, move_element, remove_element, duplicate_element, deep_nesting]


def encode(text):
    return "\ufeff".encode("utf-16-le") + text.encode("utf-16-le")


def main():
    source, out, count = sys.argv[1], os.path.abspath(sys.argv[2]), int(sys.argv[3])
    seed = int(sys.argv[4]) if len(sys.argv) > 4 else 15
    rng = random.Random(seed)
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    original = open(source, encoding="utf-8").read()
    with open(os.path.join(out, "what.txt"), "w", encoding="utf-8") as what:
        for n in range(count):
            root = ET.fromstring(original)
            chosen = [rng.choice(MUTATIONS) for _ in range(rng.choice([1, 1, 2, 3]))]
            # Deep nesting last: its placeholder must reach the text as it was made.
            chosen.sort(key=lambda mutation: mutation is deep_nesting)
            done = [mutation(root, rng) for mutation in chosen]
            text = expand_deep(ET.tostring(root, encoding="unicode"))
            if rng.random() < 0.12:
                cut = rng.randrange(len(text))
                text = text[:cut]
                done.append(f"cut at {cut}")
            with open(os.path.join(out, f"{n:05}.xml"), "wb") as f:
                f.write(encode(text))
            what.write(f"{n:05}\t{'; '.join(done)}\n")


main()
