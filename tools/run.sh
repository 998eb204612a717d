#!/bin/bash
# Builds Folionex and runs it under Wine: on the user's display when there
# is one, otherwise on a virtual display of its own, where a screenshot of
# the first window is saved. Arguments go to the program (an instance key).
set -euo pipefail
source "$(dirname "$0")/common.sh"
ensure_setup
arch=$(runnable_arch)
build "$arch" Folionex
dir="$ROOT/build-$arch"
wine_run=("$ROOT/tools/wine-run.sh" --state "$dir/wine-app" --arch "$(wine_arch_of "$arch")")
exe="$dir/bin/Folionex.exe"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  "${wine_run[@]}" "$exe" "$@"
  exit $?
fi

# No display: a session with its own Xvfb.
"${wine_run[@]}" --start-session
trap '"${wine_run[@]}" --stop-session' EXIT
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
