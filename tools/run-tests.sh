#!/usr/bin/env bash
# Runs every test of a build: the programs under Wine in a prefix of this run's own, with an X
# display (Xvfb when none is set). A second build, when given, runs only its tests labelled
# "static", which look at the built files without running them. Ends with the architecture
# tested and why, the skipped cases with their reasons, and the line "N passed, N failed".
#   tools/run-tests.sh <build> "<architecture and why>" [<build of static checks>]
set -uo pipefail
build=$(cd "${1:?build folder}" && pwd)
why=${2:-}
static=${3:+$(cd "$3" && pwd)}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"

results=$build/test-results
rm -rf "$results"
mkdir -p "$results"
qpx_display_start || { echo "no X display"; echo "0 passed, 1 failed"; exit 1; }
trap qpx_display_stop EXIT
qpx_wine_arch "$build"
qpx_wine_prefix "$build/wine64" win64

(cd "$build" && ctest --output-on-failure --timeout 600 -j 1 --output-junit "$results/ctest.xml")
folders=("$results")
if [ -n "$static" ]; then
  rm -rf "$static/test-results"
  mkdir -p "$static/test-results"
  (cd "$static" && ctest -L static --output-on-failure --timeout 600 \
     --output-junit "$static/test-results/ctest.xml")
  folders+=("$static/test-results")
fi

# Count test cases from the JUnit reports: ctest's lists each test program; a program that
# writes a report of its own (GoogleTest's, pytest's) as <name>.xml counts its cases, any other
# counts as one. A program that failed without reporting a failing case (a crash, a time-out,
# a program that never started) adds one. Skipped cases count neither way and are listed.
python3 - "$why" "${folders[@]}" <<'PY'
import os, sys, xml.etree.ElementTree as ET
why, folders = sys.argv[1], sys.argv[2:]
passed = failed = 0
skipped = []
for results in folders:
    report = os.path.join(results, "ctest.xml")
    if not os.path.exists(report):
        print(f"no ctest report in {results}")
        failed += 1
        continue
    for test in ET.parse(report).getroot().iter("testcase"):
        # Anything but "run" is a failure: ctest reports a program it could not start as
        # "notrun", which must not pass unseen.
        name, ok = test.get("name"), test.get("status") == "run"
        path = os.path.join(results, name + ".xml")
        cases_failed = 0
        if os.path.exists(path):
            for case in ET.parse(path).getroot().iter("testcase"):
                skip = case.find("skipped")
                if skip is not None or case.get("result") == "skipped" or case.get("status") == "notrun":
                    # GoogleTest puts the source line before the reason.
                    reason = skip.get("message", "").strip().splitlines()[-1:] if skip is not None else []
                    reason = reason[0] if reason else "not run"
                    skipped.append(f"{name}: {case.get('classname')}.{case.get('name')}: {reason}")
                elif case.find("failure") is not None or case.find("error") is not None:
                    # pytest reports a case whose set-up or tear-down failed as an error.
                    cases_failed += 1
                else:
                    passed += 1
            failed += cases_failed
        elif ok:
            passed += 1
        if not ok and cases_failed == 0:
            failed += 1
print()
if skipped:
    print(f"{len(skipped)} skipped:")
    for line in skipped:
        print("  " + line)
arch, _, reason = why.partition(" ")
print(f"tested {arch}: {reason}" if arch else "tested the build given")
if len(folders) > 1:
    print("the i686 installer was built and checked without running it")
print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
PY
