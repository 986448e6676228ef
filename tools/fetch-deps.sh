#!/usr/bin/env bash
# Fetches the sources of Lua 5.2, pugixml and 7-Zip (its C/ folder is the LZMA SDK's
# 7z decoder) as Debian source packages into third_party/ (ignored by git).
# The cross build compiles them with the project's toolchain; nothing is committed.
set -euo pipefail
dest=${1:-third_party}
mkdir -p "$dest"
cd "$dest"

fetch() { # <source package> <folder name the build expects>
  local pkg=$1 dir=$2
  [ -f "$dir/.fetched" ] && return 0
  rm -rf "$dir" "$pkg"-* "$pkg"_*
  # Upstream sources as released: Debian's packaging patches are not applied.
  apt-get source --download-only -qq "$pkg" >/dev/null 2>"$pkg.log" || {
    apt-get update -qq || true
    apt-get source --download-only -qq "$pkg" >/dev/null 2>"$pkg.log"
  }
  local dsc
  dsc=$(ls "$pkg"_*.dsc 2>/dev/null | head -n 1)
  [ -n "$dsc" ] || { cat "$pkg.log"; exit 1; }
  dpkg-source --no-check -x --skip-patches "$dsc" "$dir" >/dev/null
  rm -f "$pkg"_* "$pkg.log"
  touch "$dir/.fetched"
}

fetch lua5.2 lua
fetch pugixml pugixml
fetch 7zip 7zip

# GoogleTest is built from the sources Debian's googletest package installs.
[ -d googletest ] || cp -r /usr/src/googletest googletest
