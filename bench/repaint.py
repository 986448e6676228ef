#!/usr/bin/env python3
"""Repaint benchmark: runs ui_repaint under Wine and states each shipped dialog's cost of a
redraw tick as a share of the redraw period, which is the share of one core a dialog takes:
while it shows and nothing moves (the kept picture put on the window again), on a tick after a
change (the whole tree drawn), and during a carousel's cross-fade (the carousel's area drawn
each tick). Beside them, the system's part alone: putting the whole window's picture on it, which
a fade over the whole window costs every tick whatever the drawing takes. Then the same with the
trees at 200 % (the skin's @2x images), each beside its figure at 100 %."""
import argparse
import re
import statistics
import subprocess
import sys

import summary

TARGET_SHARE = 10.0
# A tick at 200 % draws four times the pixels; it may take at most this much longer than at 100 %.
BASE_DPI = 96
SCALED_DPI = 192
SCALED_RATIO = 1.3
AGREEMENT = 0.10
CLOCK_STEP_MS = 0.2
COST = r"{} ([\d.]+) ms \(processor ([\d.]+) ms\)"
LINE = re.compile(r"^(\w+): period (\d+) ms; " + COST.format("idle tick") + "; " +
                  COST.format("tick after a change") + "(?:; " + COST.format("cross-fade tick") + ")?" +
                  "; " + COST.format("whole-window update alone"))
# (name in the table, index of its clock and processor times in LINE's values, has a target)
STATES = [("idle", 0, True), ("after a change", 2, False), ("cross-fade", 4, True),
          ("whole-window update alone", 6, False)]


def agree(first, second):
    """Whether two rounds agree on every processor cost with a target: within AGREEMENT, or
    within one step of the thread clock (10 ms over 50 ticks)."""
    for name, values in second.items():
        for _, index, has_target in STATES:
            a, b = first.get(name, [None] * len(values))[index + 1], values[index + 1]
            if has_target and a is not None and b is not None and \
                    abs(a - b) > max(AGREEMENT * min(a, b), CLOCK_STEP_MS):
                return False
    return True


def median_of(rounds, name, index):
    values = [r[name][index] for r in rounds if name in r and r[name][index] is not None]
    return statistics.median(values) if values else None


def measure(program, dpi, min_rounds, max_rounds):
    """Rounds of ui_repaint at `dpi` until the last two agree within AGREEMENT on every cost with a
    target (or within the processor clock's step): (each dialog's figures, the medians of all
    rounds; the redraw period; the rounds; whether the last two agreed; whether every run ended
    well)."""
    rounds = []
    period = None
    ok = True
    while len(rounds) < max_rounds:
        out = subprocess.run(["wine", program, "--dpi", str(dpi)], capture_output=True, text=True,
                             stdin=subprocess.DEVNULL)
        if out.returncode != 0:
            ok = False
            print("  " + "\n  ".join(out.stdout.splitlines()))
            print(f"  ui_repaint ended with {out.returncode}")
        found = {}
        for line in out.stdout.splitlines():
            match = LINE.match(line.strip())
            if match:
                period = int(match.group(2))
                found[match.group(1)] = [float(v) if v else None for v in match.groups()[2:]]
        rounds.append(found)
        if len(rounds) >= min_rounds and agree(rounds[-2], rounds[-1]):
            break
    figures = {name: [median_of(rounds, name, i) for i in range(len(values))]
               for name, values in rounds[-1].items()}
    agreed = len(rounds) >= 2 and agree(rounds[-2], rounds[-1])
    return figures, period, rounds, agreed, ok


def rounds_line(rounds, agreed):
    return (f"  processor time per redraw tick, the median of {len(rounds)} rounds of 50 ticks each; "
            + ("the last two agree within 10 %" if agreed else "no two rounds in a row agreed within 10 %"))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--program", required=True)
    ap.add_argument("--min-rounds", type=int, default=3)
    ap.add_argument("--max-rounds", type=int, default=8)
    ap.add_argument("--scaled-dpi", type=int, default=SCALED_DPI,
                    help="the display scale compared with 100 %%, in dots per inch")
    ap.add_argument("--summary")
    args = ap.parse_args()
    figures, period, rounds, agreed, ok = measure(args.program, BASE_DPI, args.min_rounds, args.max_rounds)
    for name, values in figures.items():
        line = f"  {name:16}"
        for state, index, has_target in STATES:
            wall, cpu = values[index], values[index + 1]
            if cpu is None:
                continue
            share = 100 * cpu / period
            line += f" {state} {cpu:.2f} ms = {share:.1f}% (clock {wall:.2f} ms);"
            # The processor time is the cost; the clock time also counts other programs' turns.
            summary.add(args.summary, f"repaint: {name} {state}",
                        f"{cpu:.2f} ms = {share:.1f}% of {period} ms (clock {wall:.2f} ms)",
                        *((f"<= {TARGET_SHARE:.0f}% of a core", share <= TARGET_SHARE) if has_target else ()))
        print(line.rstrip(";"))
    print(rounds_line(rounds, agreed))

    # The same ticks with the trees at the larger scale, each beside its figure at 100 %.
    percent = round(100 * args.scaled_dpi / BASE_DPI)
    scaled, _, scaled_rounds, scaled_agreed, scaled_ok = measure(args.program, args.scaled_dpi, args.min_rounds,
                                                                 args.max_rounds)
    print(f"  at {percent} %, beside 100 %:")
    for name, values in scaled.items():
        line = f"  {name:16}"
        for state, index, has_target in STATES[:3]:
            cpu, base = values[index + 1], figures.get(name, [None] * len(values))[index + 1]
            if cpu is None or not base:
                continue
            ratio = cpu / base
            line += f" {state} {cpu:.2f} ms = {ratio:.2f}x;"
            summary.add(args.summary, f"repaint at {percent} %: {name} {state}",
                        f"{cpu:.2f} ms = {ratio:.2f}x of 100 %",
                        *((f"<= {SCALED_RATIO}x of 100 %", ratio <= SCALED_RATIO) if state != "idle" else ()))
        print(line.rstrip(";"))
    print(rounds_line(scaled_rounds, scaled_agreed))
    ok = ok and scaled_ok
    if not ok:
        summary.add(args.summary, "repaint: every dialog built", "ui_repaint failed", "exit code 0", False)
    return 0 if ok and figures else 1


if __name__ == "__main__":
    sys.exit(main())
