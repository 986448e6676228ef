# Sourced by the test and demo scripts: a Wine prefix of the run's own, the font
# replacements the skin needs, a persistent wineserver, and an X display.
#   qpx_wine_arch <build folder>     the Wine that runs that build's programs
#   qpx_wine_prefix <prefix folder> [win32|win64]
#   qpx_display_start / qpx_display_stop

export WINEDEBUG=${WINEDEBUG:--all}
# No menu entries on this machine for shortcuts that installers create inside Wine.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}

# The build's Windows architecture (i686 or x86_64), as its configuration recorded it.
qpx_build_arch() {
  sed -n 's/^QPX_ARCH:INTERNAL=//p' "$1/CMakeCache.txt"
}

# An x86_64 build's programs run under the 64-bit loader, which starts on every machine: the
# `wine` and `wineboot` that Debian puts on PATH start the 32-bit loader whenever it is
# installed, and some kernels run no 32-bit program at all.
qpx_wine_arch() {
  [ "$(qpx_build_arch "$1")" = x86_64 ] || return 0
  local bin=$1/wine64-bin
  mkdir -p "$bin"
  printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$bin/wine"
  printf '#!/bin/sh\nexec /usr/lib/wine/wine64 wineboot.exe "$@"\n' >"$bin/wineboot"
  chmod +x "$bin/wine" "$bin/wineboot"
  export PATH=$bin:$PATH WINELOADER=/usr/lib/wine/wine64
}

qpx_wine_prefix() {
  local prefix=$1 arch=${2:-win64}
  export WINEPREFIX=$prefix WINEARCH=$arch
  if [ ! -f "$prefix/.qpx-ready-5" ]; then
    rm -rf "$prefix"
    mkdir -p "$(dirname "$prefix")"
    wineboot -i >/dev/null 2>&1
    # GDI+ draws no text in faces a prefix lacks: map the skin's faces to installed fonts.
    local key='HKCU\Software\Wine\Fonts\Replacements'
    wine reg add "$key" /v Arial /t REG_SZ /d "Liberation Sans" /f >/dev/null 2>&1
    wine reg add "$key" /v SimSun /t REG_SZ /d "WenQuanYi Zen Hei" /f >/dev/null 2>&1
    wine reg add "$key" /v "宋体" /t REG_SZ /d "WenQuanYi Zen Hei" /f >/dev/null 2>&1
    wine reg add "$key" /v "Microsoft YaHei" /t REG_SZ /d "WenQuanYi Zen Hei" /f >/dev/null 2>&1
    # GDI+'s generic sans-serif family, the fallback for faces a layout names but lacks.
    wine reg add "$key" /v "Microsoft Sans Serif" /t REG_SZ /d "Liberation Sans" /f >/dev/null 2>&1
    # A program that crashes ends without Wine's crash dialog, which nobody would close.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    # Wine links the user's Desktop and Documents to this machine's home folder: shortcuts
    # that installers put on the desktop must stay inside the prefix.
    local link
    for link in "$prefix"/drive_c/users/*/*; do
      [ -L "$link" ] && rm "$link" && mkdir "$link"
    done
    wineserver -w
    touch "$prefix/.qpx-ready-5"
  fi
  wineserver -p >/dev/null 2>&1 || true
  # The first program of a session starts Wine's own services, which stay for the session and
  # keep the output handles they inherit: start them here, away from any test's pipes.
  wine cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 || true
}

QPX_XVFB_PID=
qpx_display_start() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n
  for n in $(seq 90 120); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    # As large as a display at 200 % (2560 x 1600), which the wizard at that scale needs.
    Xvfb :$n -screen 0 2560x1600x24 -nolisten tcp >/dev/null 2>&1 &
    QPX_XVFB_PID=$!
    export DISPLAY=:$n
    local i
    for i in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && return 0; sleep 0.1; done
    return 1
  done
  return 1
}

qpx_display_stop() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$QPX_XVFB_PID" ]; then kill "$QPX_XVFB_PID" 2>/dev/null || true; wait "$QPX_XVFB_PID" 2>/dev/null || true; fi
}
