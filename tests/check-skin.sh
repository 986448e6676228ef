#!/usr/bin/env bash
# Every image a product's layout names is in its skin folder, with the size of the strip its
# controls cut their frames from (frame count x frame width, frame height).
set -euo pipefail
product=${1:?product folder}
python3 - "$product" <<'PY'
import os, subprocess, sys, xml.etree.ElementTree as ET

product = sys.argv[1]
fail = []

def size(text):
    left, top, right, bottom = (int(v) for v in text.split(","))
    return right - left, bottom - top

# resource number -> [(strip width or None when stretched, frame height or None, user)]
needs = {}
def need(res, width, height, user):
    if not res or int(res) & 0xFFFF == 0:
        fail.append(f"{user} has no image")
        return
    needs.setdefault(int(res) & 0xFFFF, []).append((width, height, user))

frames = {"Button": 4, "TextBox": 3}
for dlg in ET.parse(os.path.join(product, "layout.xml")).getroot().iter("Dlg"):
    for e in dlg.iter():
        user = f'{dlg.get("name")}/{e.get("name") or e.tag}'
        res = e.get("resId")
        w, h = size(e.get("rect", "0,0,0,0"))
        if e.tag.endswith("Container"):
            if res and int(res) & 0xFFFF:
                need(res, w, h, user)
        elif e.tag in frames:
            need(res, frames[e.tag] * w, h, user)
        elif e.tag == "CheckBox":
            if (e.text or "").strip():
                w, h = size(e.get("rectChk", "0,0,0,0"))
            need(res, 6 * w, h, user)
        elif e.tag == "Carousel":
            need(res, int(e.get("framecount", "1")) * w, h, user)
        elif e.tag == "Progress":
            need(res, w, h, user)
            front = e.find("Front")
            if front is None:
                fail.append(f"{user} has no Front")
            else:
                # The fill is stretched sideways only.
                fill_height = size(front.get("rect", "0,0,0,0"))[1]
                need(front.get("resId"), None, fill_height, user + "/Front")
        elif e.tag == "Picture":
            need(res, None, None, user)
        elif e.tag == "LinkLabel" and res and int(res):
            fail.append(f"{user}: a link label takes no image")

for res, uses in sorted(needs.items()):
    path = os.path.join(product, "skin", f"{res}.png")
    if not os.path.exists(path):
        fail.append(f"{res}.png missing, used by " + ", ".join(u for _, _, u in uses))
        continue
    identify = ["identify", "-format", "%w %h", path + "[0]"]
    width, height = map(int, subprocess.run(identify, capture_output=True, text=True,
                                            check=True).stdout.split())
    # Controls of different heights may share a strip: each draws it at its top, so it is as
    # high as the lowest of them.
    heights = [h for _, h, _ in uses if h is not None]
    for w, h, user in uses:
        if (w is not None and w != width) or (heights and height != min(heights)):
            fail.append(f"{res}.png is {width} x {height}; "
                        f"{user} needs {w or 'any'} x {min(heights)}")
    print(f"{res}.png {width} x {height}: " + ", ".join(u for _, _, u in uses))

for f in fail:
    print("FAIL:", f)
sys.exit(1 if fail else 0)
PY
