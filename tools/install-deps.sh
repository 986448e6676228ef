#!/usr/bin/env bash
# Installs on a Debian 12 machine whatever the build and the tests need and is missing.
# Quick and offline when everything is already there.
set -euo pipefail

# python3-pytest runs the Python tests, with Debian's own Python (/usr/bin/python3); locales
# has the sources the language tests make their locales from.
need_pkgs=(wine wine64 wine32:i386 g++-mingw-w64-i686 g++-mingw-w64-x86-64 cmake make
           xvfb xdotool x11-apps 7zip imagemagick fonts-liberation fonts-wqy-zenhei
           googletest dpkg-dev osslsigncode nsis gcc-multilib python3 python3-pytest locales)

missing=()
for p in "${need_pkgs[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=; [ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386

# Source packages of the libraries we build with the cross toolchain.
if ! grep -rqs '^Types: deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  $SUDO tee /etc/apt/sources.list.d/qpx-deb-src.sources >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
fi

echo "installing: ${missing[*]}"
# A third-party list that cannot be reached must not stop the install.
$SUDO apt-get update -qq || true
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
