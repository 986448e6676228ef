#!/usr/bin/env bash
# `make test`, `make demo`, `make bench` and `make fuzz`: builds for the architecture this
# machine's Wine runs, or the one asked for, and runs the job against that build.
#   tools/suite.sh test|demo|bench|fuzz [i686|x86_64]
set -euo pipefail
job=${1:?test, demo, bench or fuzz}
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
read -r arch why <<<"$(bash "$here/arch.sh" "${2:-}")"
echo "$job: $arch, $why"
build() { make -C "$top" --no-print-directory build "$@"; }
build ARCH="$arch"
tree=$top/build/$arch
case $job in
  test)
    static=()
    # The default installer is built and checked on every machine, run or not.
    if [ "$arch" != i686 ]; then
      build ARCH=i686 TARGET=installer
      static=("$top/build/i686")
    fi
    # The kit's test unpacks the tarball of both architectures' stubs.
    make -C "$top" --no-print-directory kit
    exec bash "$here/run-tests.sh" "$tree" "$arch $why" "${static[@]}" ;;
  demo)
    exec bash "$here/demo.sh" "$tree" "$tree/QPXSetup.exe" ;;
  bench)
    # The installer's weight is the i686 one's on every machine.
    [ "$arch" = i686 ] || build ARCH=i686 TARGET=installer
    exec bash "$top/bench/run.sh" "$tree" "$top/build/i686" ;;
  fuzz)
    exec bash "$here/fuzz.sh" "$tree" ;;
  *)
    echo "unknown job: $job" >&2; exit 1 ;;
esac
