#!/usr/bin/env bash
# make bench: extraction throughput and peak memory of Lua_UnCompress7z beside the LZMA SDK's
# reference extractor, an NSIS installer and native 7zz, on an 8 MB and a 200 MB payload.
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../tools/wine-env.sh"
qpx_display_start || { echo "no X display"; exit 1; }
trap qpx_display_stop EXIT
qpx_wine_prefix "$build/../bench-wine" win64
python3 "$here/bench.py" --build "$build" --work "$build/../bench" --source "$here/.."
