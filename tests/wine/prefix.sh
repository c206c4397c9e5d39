#!/bin/sh
# The Wine environment of the Windows tests. Sourced with the build
# directory as $WIN_BUILD; sets up the prefix once (wineboot, fonts, Wine
# drawing its own window frames) and leaves a persistent wineserver running,
# without which every test process costs seconds.
#   . tests/wine/prefix.sh            headless (console tests)
#   qp_wine_display :91               switch to a display (GUI tests)
WIN_BUILD=${WIN_BUILD:-build-win}
mkdir -p "$WIN_BUILD"
WINEPREFIX=$(cd "$WIN_BUILD" && pwd)/wineprefix || return 1
WINEARCH=win64
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="
PATH=/usr/lib/wine:$PATH
export WINEPREFIX WINEARCH WINEDEBUG WINEDLLOVERRIDES PATH

qp_wine_prefix() {
  if [ ! -f "$WINEPREFIX/.quillpack-ready" ]; then
    rm -rf "$WINEPREFIX"
    (unset DISPLAY; wine64 wineboot -i >/dev/null 2>&1; wineserver -w || true)
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
    (unset DISPLAY
     wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ \
       /d N /f >/dev/null 2>&1
     wineserver -w || true)
    touch "$WINEPREFIX/.quillpack-ready"
  fi
}

# A server started without a display breaks later GUI runs in the same
# prefix, and the reverse: restart it for the phase at hand.
qp_wine_server() {
  # No server running is fine: the callers run under set -e.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  # The server and Wine's services outlive this shell: they must not hold
  # its output open (a pipe into tee would never end).
  wineserver -p </dev/null >/dev/null 2>&1
  wine64 cmd /c exit 0 </dev/null >/dev/null 2>&1
}

qp_wine_headless() {
  unset DISPLAY
  qp_wine_server
}

qp_wine_display() {
  DISPLAY=$1
  export DISPLAY
  qp_wine_server
}

qp_wine_stop() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}
