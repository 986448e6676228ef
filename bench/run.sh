#!/usr/bin/env bash
# make bench: extraction throughput and peak memory of Lua_UnCompress7z beside the LZMA SDK's
# reference extractor, an NSIS installer and native 7zz, on an 8 MB and a 200 MB payload; the
# repaint cost of each shipped dialog; the installer's start-up time beside a program that only
# shows a window; the installer's own weight. Ends with a table of every result.
#   ONLY=ui,startup,weight make bench    runs only the parts named (extraction, ui, startup,
#                                         weight, build); all of them by default
#   bench/run.sh <build> [<i686 build>]   the programs of the first build run; the weight is
#                                         the i686 installer's, on every machine
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
weight_build=$(cd "${2:-$1}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
parts=${ONLY:-extraction,ui,startup,weight,build}
for part in ${parts//,/ }; do
  case $part in extraction|ui|startup|weight|build) ;; *) echo "unknown part: $part"; exit 2 ;; esac
done
wanted() { [[ ",$parts," == *",$1,"* ]]; }
# A part that fails says so and leaves the others to run; the exit code tells at the end.
status=0

work=$build/../bench
mkdir -p "$work"
results=$work/summary.tsv
: >"$results"
source "$here/../tools/wine-env.sh"
qpx_display_start || { echo "no X display"; exit 1; }
trap qpx_display_stop EXIT
qpx_wine_arch "$build"
arch=$(qpx_build_arch "$build")
qpx_wine_prefix "$build/bench-wine" win64
# The sample's installer the tree builds, and the sample.
installer=$build/QPXSetup.exe
product=$here/../resources

if wanted extraction; then
  echo "== extraction"
  python3 "$here/bench.py" --build "$build" --work "$work" --source "$here/.." --arch "$arch" \
    --summary "$results" || status=1
fi
if wanted ui; then
  echo "== repaint of the shipped dialogs"
  python3 "$here/repaint.py" --program "$build/bench/ui_repaint.exe" --summary "$results" || status=1
fi
if wanted startup; then
  echo "== start-up: process start to first frame on screen"
  python3 "$here/startup.py" --installer "$installer" --floor "$build/bench/trivialwindow.exe" \
    --timeline "$build/bench/startup_timeline.exe" \
    --layout "$product/layout.xml" --summary "$results" || status=1
fi
if wanted weight; then
  echo "== the installer's own weight ($(qpx_build_arch "$weight_build"))"
  weight_installer=$weight_build/QPXSetup.exe
  { cmake --build "$weight_build" --target installer installer_map -j 1 >/dev/null &&
    python3 "$here/weight.py" --installer "$weight_installer" --map "$weight_build/bench/installer.map" \
      --engine "$weight_build/bench/installer_map.exe" --summary "$results"; } || status=1
fi

if wanted build; then
  echo "== product build: the sample with the kit and with make installer (i686)"
  { make -C "$here/.." --no-print-directory kit >/dev/null &&
    python3 "$here/kitbuild.py" --kit "$(ls "$here"/../build/kit/qpx-kit-*-linux-x86_64.tar.gz)" \
      --source "$here/.." --build "$weight_build" --summary "$results"; } || status=1
fi

echo
echo "== results"
python3 "$here/summary.py" "$results"
exit $status
