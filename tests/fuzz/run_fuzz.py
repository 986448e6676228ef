#!/usr/bin/env python3
"""Runs a fuzz program (fuzz_extract.exe, fuzz_layouts.exe) under Wine over a folder of
cases, one process per batch: a process that dies marks the case it had begun as a crash, and
a new process goes on after it. Prints one summary line and exits 1 on any case that crashed,
hung, wrote outside its destination or ended otherwise than allowed.
    run_fuzz.py <label> <program.exe> <cases folder> [--timeout <seconds per process>]
                [--counts <file>]   (the verdicts' counts and the seconds, as JSON)"""
import argparse
import collections
import json
import subprocess
import sys
import time

# Verdicts that are allowed; every other one fails the run.
GOOD = {"refused", "accepted", "built", "unbuilt", "unparsed"}


def wine_path(path):
    return "Z:" + path.replace("/", "\\")


def run(program, folder, first, timeout):
    """One process from case `first` on: the verdicts it printed, whether it reached its end,
    and the case it had begun and not finished when it ended."""
    verdicts, begun = [], None
    process = subprocess.Popen(["wine", program, wine_path(folder), str(first)],
                               stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True)
    deadline = time.monotonic() + timeout
    try:
        for line in process.stdout:
            word, _, number = line.strip().partition(" ")
            if word == "done":
                return verdicts, True, None
            if word == "begin":
                begun = int(number)
            elif word:
                verdicts.append((word, int(number)))
                begun = None
            if time.monotonic() > deadline:
                verdicts.append(("hang", begun if begun is not None else first))
                return verdicts, False, None
        return verdicts, False, begun
    finally:
        if process.poll() is None:
            process.kill()
        process.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("label")
    parser.add_argument("program")
    parser.add_argument("folder")
    parser.add_argument("--timeout", type=float, default=3600)
    parser.add_argument("--counts")
    args = parser.parse_args()
    started = time.monotonic()
    counts = collections.Counter()
    bad = []
    first = 0
    while True:
        verdicts, done, begun = run(args.program, args.folder, first, args.timeout)
        for word, number in verdicts:
            counts[word] += 1
            if word not in GOOD:
                bad.append(f"{word} {number}")
        if done:
            break
        # The process ended early: a case it had begun crashed it; after a verdict that ended
        # it (a hang), or between cases, the next case goes on.
        if begun is not None:
            counts["crash"] += 1
            bad.append(f"crash {begun}")
            first = begun + 1
        elif verdicts:
            first = verdicts[-1][1] + 1
        else:
            counts["crash"] += 1
            bad.append(f"crash {first}")
            first += 1
    total = sum(counts.values())
    seconds = time.monotonic() - started
    parts = ", ".join(f"{counts[k]} {k}" for k in sorted(counts))
    print(f"{args.label}: {total} cases ({parts}) in {seconds:.0f} s")
    for line in bad:
        print(f"  {args.label}: case {line}")
    if args.counts:
        with open(args.counts, "w") as f:
            json.dump({"counts": counts, "seconds": seconds}, f)
    return 1 if bad or total == 0 else 0


sys.exit(main())
