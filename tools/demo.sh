#!/usr/bin/env bash
# The main job: runs the sample product's installer under Wine. With a display a person uses
# it; without one it runs under Xvfb, clicks through the wizard, and saves a screenshot of
# each dialog under the build folder. With SILENT set it runs the installer unattended (/S)
# instead, with its log file.
set -uo pipefail
build=$(cd "${1:?build folder}" && pwd)
installer=${2:?installer}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"
demo=$build/demo
mkdir -p "$demo"

qpx_wine_arch "$build"
if [ -n "${DISPLAY:-}" ]; then
  qpx_wine_prefix "$build/wine64-demo" win64
  wine "$installer" ${SILENT:+/S}
  code=$?
  echo "installer exit code: $code"
  exit 0
fi

qpx_display_start || { echo "no X display could be started"; exit 1; }
trap qpx_display_stop EXIT
qpx_wine_prefix "$build/wine64-demo" win64

python3 "$here/demo-drive.py" --tests "$build/tests" --installer "$installer" \
  --layout "$here/../resources/layout.xml" --uninstall-layout "$here/../resources/uninstall/layout.xml" \
  --out "$demo" ${SILENT:+--silent}
