#!/usr/bin/env bash
# `make fuzz`: the large batches of hostile input (5,000 mutated archives, 500 mutated layout
# documents by default) against the build for this machine's architecture. Ends with one line
# of counts: cases, crashes, hangs, escapes and silent corruptions.
#   tools/fuzz.sh <build> [archives] [layouts]
set -uo pipefail
build=$(cd "${1:?build folder}" && pwd)
archives=${2:-5000}
layouts=${3:-500}
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
source "$here/wine-env.sh"

data=$build/fuzz-large
started=$(date +%s)
echo "fuzz: mutating $archives archives and $layouts layouts"
python3 "$top/tests/fuzz/mutate_archives.py" "$data/archives" "$archives" 1515 || exit 1
python3 "$top/tests/fuzz/mutate_layouts.py" "$top/resources/layout.xml" "$data/layouts" "$layouts" 1515 || exit 1

qpx_display_start || { echo "no X display"; exit 1; }
trap qpx_display_stop EXIT
qpx_wine_arch "$build"
qpx_wine_prefix "$build/wine64" win64
status=0
for kind in archives layouts; do
  program=$build/tests/fuzz_extract.exe
  [ $kind = layouts ] && program=$build/tests/fuzz_layouts.exe
  (cd "$build/tests" && python3 "$top/tests/fuzz/run_fuzz.py" $kind "$program" "$data/$kind" \
     --counts "$data/$kind.json") || status=1
done
python3 - "$data" "$(( $(date +%s) - started ))" <<'PY'
import json, sys
data, seconds = sys.argv[1], sys.argv[2]
total = {}
for kind in ("archives", "layouts"):
    for word, n in json.load(open(f"{data}/{kind}.json"))["counts"].items():
        total[word] = total.get(word, 0) + n
archives = sum(json.load(open(f"{data}/archives.json"))["counts"].values())
layouts = sum(json.load(open(f"{data}/layouts.json"))["counts"].values())
bad = {"crash": "crashes", "hang": "hangs", "escape": "escapes", "corrupt": "silent corruptions"}
other = sum(n for w, n in total.items() if w not in bad and w not in
            ("refused", "accepted", "built", "unbuilt", "unparsed"))
print(f"fuzz: {archives} archives, {layouts} layouts in {seconds} s: "
      + ", ".join(f"{total.get(w, 0)} {name}" for w, name in bad.items())
      + f", {other} other failures")
PY
exit $status
