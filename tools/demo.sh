#!/usr/bin/env bash
# The main job: runs the sample product's installer under Wine. With a display a person uses
# it; without one it runs under Xvfb, a screenshot of each window it shows is saved under
# the build folder, and the wizard is driven to its end.
set -uo pipefail
build=${1:?build folder}
installer=${2:?installer}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"
demo=$build/demo
mkdir -p "$demo"
helper="$build/tests/qpxtesthelper.exe"

if [ -n "${DISPLAY:-}" ]; then
  qpx_wine_prefix "$build/wine64-demo" win64
  wine "$installer"
  code=$?
  echo "installer exit code: $code"
  exit 0
fi

qpx_display_start || { echo "no X display could be started"; exit 1; }
trap qpx_display_stop EXIT
qpx_wine_prefix "$build/wine64-demo" win64

wine "$helper" run-logged "Z:$demo/installer.log" "$installer" >/dev/null 2>&1 &
runner=$!
if hwnd=$(wine "$helper" wait-window Qpx_Installer - 20000 2>/dev/null | tr -d '\r'); then
  sleep 1
  xwd -root -silent | convert xwd:- "$demo/options.png"
  echo "screenshot: $demo/options.png"
  # The wizard's pages come with the dialogs; until then the options window is closed as the
  # system would close it.
  wine "$helper" close "$hwnd" >/dev/null 2>&1
fi
wait $runner
code=$?
echo "installer log: $demo/installer.log"
echo "installer exit code: $code"
