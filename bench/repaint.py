#!/usr/bin/env python3
"""Repaint benchmark: runs ui_repaint under Wine and states each shipped dialog's cost of one
full repaint as a share of the redraw period, which is the share of one core a dialog takes
while it shows and nothing moves."""
import argparse
import re
import subprocess
import sys

import summary

TARGET_SHARE = 10.0
LINE = re.compile(r"^(\w+): ([\d.]+) ms per full repaint, [\d.]+% of the (\d+) ms redraw period "
                  r"\(processor ([\d.]+) ms, ([\d.]+)%\)"
                  r"(?:; during a cross-fade ([\d.]+) ms, [\d.]+% \(processor ([\d.]+) ms, ([\d.]+)%\))?")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--program", required=True)
    ap.add_argument("--summary")
    args = ap.parse_args()
    out = subprocess.run(["wine", args.program], capture_output=True, text=True,
                         stdin=subprocess.DEVNULL)
    ok = out.returncode == 0
    for line in out.stdout.splitlines():
        line = line.strip()
        print(f"  {line}")
        match = LINE.match(line)
        if not match:
            continue
        name, wall, period, cpu, share = match.group(1), float(match.group(2)), match.group(3), \
            float(match.group(4)), float(match.group(5))
        # The processor time is the cost; the clock time also counts other programs' turns.
        summary.add(args.summary, f"repaint: {name} idle",
                    f"{cpu:.2f} ms = {share:.1f}% of {period} ms (clock {wall:.2f} ms)",
                    f"< {TARGET_SHARE:.0f}% of a core", share < TARGET_SHARE)
        if match.group(6):
            summary.add(args.summary, f"repaint: {name} cross-fade",
                        f"{float(match.group(7)):.2f} ms = {float(match.group(8)):.1f}% of {period} ms "
                        f"(clock {float(match.group(6)):.2f} ms)")
    if not ok:
        print(f"  ui_repaint ended with {out.returncode}")
        summary.add(args.summary, "repaint: every dialog built", f"exit code {out.returncode}", "0", False)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
