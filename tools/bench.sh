#!/bin/bash
# Builds and runs the benchmark programs under Wine and prints their figures.
#   tools/bench.sh [cases]      (default 100000)
set -euo pipefail
source "$(dirname "$0")/common.sh"
ensure_setup
arch=$(runnable_arch)
build "$arch" store_benchmark online_bench
dir="$ROOT/build-$arch"
wine_run=("$ROOT/tools/wine-run.sh" --state "$dir/wine" --arch "$(wine_arch_of "$arch")")
"${wine_run[@]}" --start-session
trap '"${wine_run[@]}" --stop-session' EXIT
echo "== store_benchmark (load and write back the local backup file)"
"${wine_run[@]}" "$dir/bin/store_benchmark.exe" "${1:-100000}"
echo "== online_bench (encrypt, zip, unzip, decrypt a 100 MB backup file)"
"${wine_run[@]}" "$dir/bin/online_bench.exe" 100
