#!/bin/bash
# Runs Windows programs of this build under Wine, in a prefix the build owns.
#   wine-run.sh --state DIR --start-session   create and configure the prefix if
#                                             needed, start Xvfb and Wine's
#                                             background services, detached
#   wine-run.sh --state DIR --stop-session    end every process of the prefix
#                                             and the Xvfb of the session
#   wine-run.sh --state DIR PROGRAM [ARGS..]  run one program, pass its exit code
# --arch win32|win64 after --state DIR chooses the prefix kind (default
# win32); a 64-bit prefix runs the 64-bit build on machines whose kernel
# starts no 32-bit processes.
# DIR holds the prefix (DIR/prefix) and the session's display number. Wine's
# first process starts services.exe, explorer.exe and more, and they inherit
# its stdout and stderr: without a session started beforehand ctest would
# wait for them on every test.
set -u
[ "${1:-}" = --state ] || { echo "usage: wine-run.sh --state DIR ..." >&2; exit 2; }
STATE=$2; shift 2
mkdir -p "$STATE"
STATE=$(cd "$STATE" && pwd)
ARCH=win32
if [ "${1:-}" = --arch ]; then ARCH=$2; shift 2; fi

export WINEPREFIX="$STATE/prefix"
export WINEARCH=$ARCH
if [ "$ARCH" = win64 ]; then
  WINE=/usr/lib/wine/wine64
else
  WINE=wine
fi
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# A Hungarian Windows: ANSI code page 1250, Hungarian system captions.
export LC_ALL=hu_HU.UTF-8
unset LANGUAGE

quiet() { "$@" </dev/null >/dev/null 2>&1; }

configure_prefix() {
  # Without a 32-bit Wine a 64-bit prefix reports its missing 32-bit half;
  # the prefix is usable all the same.
  quiet "$WINE" wineboot -i
  wineserver -w
  [ -f "$WINEPREFIX/system.reg" ] || return 1
  quiet "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f || return 1
  # Every window inside one virtual desktop: no window manager is needed and
  # focus does not race with X.
  quiet "$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f || return 1
  quiet "$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1024x768 /f || return 1
  # Wine's own fonts (Tahoma behind "MS Shell Dlg"); the raster MS Sans Serif
  # has no glyphs for ő and ű, so it is replaced by a TrueType face.
  cp /usr/share/wine/fonts/*.ttf /usr/share/wine/fonts/*.fon "$WINEPREFIX/drive_c/windows/Fonts/" || return 1
  quiet "$WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS Sans Serif' /t REG_SZ /d Tahoma /f || return 1
  # wine.inf has txtfile but no .txt link: ShellExecute of a text file fails without it.
  quiet "$WINE" reg add 'HKCR\.txt' /ve /d txtfile /f || return 1
  quiet wineserver -k
  wineserver -w
  touch "$WINEPREFIX/.folionex-configured"
}

start_xvfb() {
  if [ -s "$STATE/xvfb.pid" ] && kill -0 "$(cat "$STATE/xvfb.pid")" 2>/dev/null; then
    return 0
  fi
  rm -f "$STATE/xvfb.display" "$STATE/xvfb.pid"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$STATE/xvfb.display" \
    </dev/null >/dev/null 2>&1 &
  echo $! > "$STATE/xvfb.pid"
  for _ in $(seq 100); do
    [ -s "$STATE/xvfb.display" ] && return 0
    sleep 0.05
  done
  echo "wine-run: Xvfb did not start" >&2
  return 1
}

use_display() {
  if [ -s "$STATE/xvfb.display" ]; then
    export DISPLAY=":$(head -n1 "$STATE/xvfb.display")"
  fi
}

case "${1:-}" in
  --start-session)
    start_xvfb || exit 1
    use_display
    [ -f "$WINEPREFIX/.folionex-configured" ] || configure_prefix || exit 1
    quiet wineserver -p
    quiet "$WINE" wineboot
    exit $? ;;
  --stop-session)
    quiet wineserver -k
    wineserver -w 2>/dev/null
    if [ -s "$STATE/xvfb.pid" ]; then
      kill "$(cat "$STATE/xvfb.pid")" 2>/dev/null
      rm -f "$STATE/xvfb.pid" "$STATE/xvfb.display"
    fi
    exit 0 ;;
  --configure)
    # Creates and configures the prefix when needed, without a session.
    [ -f "$WINEPREFIX/.folionex-configured" ] || configure_prefix || exit 1
    exit 0 ;;
  --display)
    # Prints the X display of the running session.
    use_display; echo "${DISPLAY:-}"; exit 0 ;;
  "")
    echo "wine-run: no program" >&2; exit 2 ;;
esac
use_display
exec "$WINE" "$@"
