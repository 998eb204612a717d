#!/bin/bash
# Builds Folionex and runs it under Wine: on the user's display when there
# is one, otherwise on a virtual display of its own, where a screenshot of
# the first window is saved. Arguments go to the program (an instance key).
# With FOLIONEX_STANDIN=1 the program talks to the tests' stand-in of SQL
# Server (registered in the run prefix, its databases kept in
# build-ARCH/standin-data) instead of a real server.
set -euo pipefail
source "$(dirname "$0")/common.sh"
ensure_setup
arch=$(runnable_arch)
dir="$ROOT/build-$arch"
wine_run=("$ROOT/tools/wine-run.sh" --state "$dir/wine-app" --arch "$(wine_arch_of "$arch")")
exe="$dir/bin/Folionex.exe"
headless=1
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  headless=0
fi
if [ "${FOLIONEX_STANDIN:-0}" = 1 ]; then
  build "$arch" Folionex folionex_oledb_standin oledb_standin_setup
else
  build "$arch" Folionex
fi

# Without a display the session brings its own Xvfb, before any other Wine
# process starts (they would stay without a display).
if [ $headless = 1 ]; then
  "${wine_run[@]}" --start-session
  trap '"${wine_run[@]}" --stop-session' EXIT
else
  "${wine_run[@]}" --configure
fi

if [ "${FOLIONEX_STANDIN:-0}" = 1 ]; then
  winpath() { echo "Z:$1" | tr / '\\'; }
  "${wine_run[@]}" regsvr32 /s "$(winpath "$dir/bin/folionex_oledb_standin.dll")" >/dev/null 2>&1
  data="$dir/standin-data"
  if [ ! -d "$data" ]; then
    "${wine_run[@]}" "$dir/bin/oledb_standin_setup.exe" "$(winpath "$data")"
  fi
  export FOLIONEX_OLEDB_DATA="$(winpath "$data")\\"
fi

if [ $headless = 0 ]; then
  "${wine_run[@]}" "$exe" "$@"
  exit $?
fi

"${wine_run[@]}" "$exe" "$@" &
pid=$!
shot="$dir/folionex-screenshot.png"
rm -f "$shot"
for _ in $(seq 100); do
  kill -0 $pid 2>/dev/null || break
  sleep 0.1
done
display=$("${wine_run[@]}" --display)
import -display "$display" -window root "$shot" 2>/dev/null || true
if kill -0 $pid 2>/dev/null; then
  echo "Folionex is running; screenshot: $shot (the program ends with this script)"
  kill $pid 2>/dev/null || true
  wait $pid 2>/dev/null || true
  exit 0
fi
set +e
wait $pid
rc=$?
echo "Folionex ended with exit code $rc; screenshot of the display: $shot"
exit $rc
