#!/usr/bin/env bash
# Runs every test: the programs under Wine in a prefix of this run's own, with an X display
# (Xvfb when none is set). Ends with the line "N passed, N failed".
set -uo pipefail
build=${1:?build folder}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"

results=$build/test-results
rm -rf "$results"
mkdir -p "$results"
qpx_display_start || { echo "no X display"; echo "0 passed, 1 failed"; exit 1; }
trap qpx_display_stop EXIT
qpx_wine_prefix "$build/wine64" win64

(cd "$build" && ctest --output-on-failure --timeout 600 -j 1) | tee "$results/ctest.log"

# Count test cases: a GoogleTest program counts its cases; any other ctest entry counts as
# one. A program that failed without reporting a failing case (a crash, a time-out) adds one.
python3 - "$results" <<'PY'
import os, re, sys, xml.etree.ElementTree as ET
results = sys.argv[1]
passed = failed = 0
log = open(os.path.join(results, "ctest.log"), encoding="utf-8", errors="replace").read()
for m in re.finditer(r"Test\s+#\d+: (\S+) \.+[\s*]*(Passed|\S+)", log):
    name, ok = m.group(1), m.group(2) == "Passed"
    path = os.path.join(results, name + ".xml")
    cases_failed = 0
    if os.path.exists(path):
        for case in ET.parse(path).getroot().iter("testcase"):
            if case.get("result") == "skipped" or case.get("status") == "notrun":
                continue
            if case.find("failure") is not None:
                cases_failed += 1
            else:
                passed += 1
        failed += cases_failed
    elif ok:
        passed += 1
    if not ok and cases_failed == 0:
        failed += 1
print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
PY
