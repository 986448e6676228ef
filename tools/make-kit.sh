#!/usr/bin/env bash
# Packs the builder kit: the command and its modules, the stubs of both architectures, this
# machine's script compiler, the engine's default icon and uninstall pages, the starter product
# and the scripting reference. The same sources give the same tarball.
#   tools/make-kit.sh <tarball> <version> <luac> <build folder with i686/ and x86_64/ trees>
set -euo pipefail
tarball=${1:?tarball}
version=${2:?version}
luac=${3:?luac}
build=${4:?build folder}
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
name=qpx-kit-$version
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
kit=$stage/$name

mkdir -p "$kit/bin" "$kit/lib" "$kit/docs" "$kit/engine/uninstall"
cp "$here"/{qpxbuild,qpxres,qpxcheck,qpxlayout,qpxpe,qpxsign,luachunk}.py "$kit/lib/"
cat >"$kit/bin/qpxbuild" <<'EOF'
#!/bin/sh
# The product builder of this kit: qpxbuild --help
exec python3 "$(dirname "$(readlink -f "$0")")/../lib/qpxbuild.py" "$@"
EOF
chmod 0755 "$kit/bin/qpxbuild"
cp "$luac" "$kit/bin/luac52"
for arch in i686 x86_64; do
  mkdir -p "$kit/stubs/$arch"
  cp "$build/$arch/stubs/QPXSetup.exe" "$build/$arch/stubs/Uninstall.exe" "$kit/stubs/$arch/"
done
# The engine's own look where a product brings none: its icon and its uninstall pages.
cp "$top/resources/icon.ico" "$kit/engine/"
cp -r "$top/resources/skin" "$kit/engine/"
cp -r "$top/resources/uninstall/." "$kit/engine/uninstall/"
cp -r "$top/kit/starter" "$kit/starter"
cp "$top/kit/README.md" "$kit/README.md"
cp "$top/docs/scripting.md" "$kit/docs/"

find "$kit" -type d -exec chmod 0755 {} +
find "$kit" -type f -exec chmod 0644 {} +
chmod 0755 "$kit/bin/qpxbuild" "$kit/bin/luac52"
mkdir -p "$(dirname "$tarball")"
tar --sort=name --mtime=@0 --owner=0 --group=0 --numeric-owner -C "$stage" -cf - "$name" |
  gzip -n -9 >"$tarball.partial"
mv "$tarball.partial" "$tarball"
echo "kit: $tarball"
