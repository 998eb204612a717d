#!/bin/bash
# Builds and runs the benchmark programs under Wine and prints their figures.
#   tools/bench.sh [cases]      (default 100000)
set -euo pipefail
source "$(dirname "$0")/common.sh"
ensure_setup
arch=$(runnable_arch)
build "$arch" store_benchmark online_bench caselist_benchmark maindlg_benchmark stats_benchmark import_benchmark \
  export_benchmark transfer_bench pipeline_bench folionex_oledb_standin
dir="$ROOT/build-$arch"
wine_run=("$ROOT/tools/wine-run.sh" --state "$dir/wine" --arch "$(wine_arch_of "$arch")")
"${wine_run[@]}" --start-session
trap '"${wine_run[@]}" --stop-session' EXIT
# The central load reads through the test SQL server's OLE DB provider.
"${wine_run[@]}" regsvr32 /s "Z:$(echo "$dir/bin/folionex_oledb_standin.dll" | tr / '\\')"
echo "== store_benchmark (load and write back the local backup file; load the central table through OLE DB)"
"${wine_run[@]}" "$dir/bin/store_benchmark.exe" "${1:-100000}"
echo "== online_bench (encrypt, zip, unzip, decrypt a 100 MB backup file)"
"${wine_run[@]}" "$dir/bin/online_bench.exe" 100
echo "== caselist_benchmark (row keys, search walk and one painted page of the case list)"
"${wine_run[@]}" "$dir/bin/caselist_benchmark.exe" "${1:-100000}"
echo "== maindlg_benchmark (the main dialog's RefreshList after a keystroke in the search box)"
"${wine_run[@]}" "$dir/bin/maindlg_benchmark.exe" "${1:-100000}"
echo "== stats_benchmark (the statistics dialog: the count, the whole initialisation, a bare walk of the map)"
"${wine_run[@]}" "$dir/bin/stats_benchmark.exe" "${1:-100000}"
echo "== import_benchmark (the clipboard import: cut a pasted table into rows and cells, validate every row)"
"${wine_run[@]}" "$dir/bin/import_benchmark.exe" "${1:-100000}"
echo "== export_benchmark (the case table exported to text, HTML, RTF and XML, the bare read and writes beside; the XML read back)"
"${wine_run[@]}" "$dir/bin/export_benchmark.exe" "${1:-100000}"
echo "== transfer_bench (the restore's load job beside pulling every node with the XML reader alone; the compare job)"
for step in pull load compare; do
  "${wine_run[@]}" "$dir/bin/transfer_bench.exe" "$step" "${1:-100000}"
done
echo "== pipeline_bench (the online backup of the central table to the web-service stand-in, each step and through"
echo "   CTransferManager; the restore of the same into the backup file, each step and the peak working set;"
echo "   a whole restore into the central database with the preview, as a user runs it, in a process of its own)"
# The stand-in listens on the fixed ports 80 and 443 that every worktree's
# tests share: it runs under their lock, and stops before the lock goes.
webservice=("$(command -v python3)" "$ROOT/tests/standins/webservice/webservice.py")
(
  flock 9
  "${webservice[@]}" start --state "$dir/webservice" --lifetime 1800 -- "${wine_run[@]}" >/dev/null
  status=0
  "${wine_run[@]}" "$dir/bin/pipeline_bench.exe" backup "${1:-100000}" || status=$?
  "${wine_run[@]}" "$dir/bin/pipeline_bench.exe" restore || status=$?
  "${wine_run[@]}" "$dir/bin/pipeline_bench.exe" central "${1:-100000}" | tee "$dir/restore-central.txt" ||
    status=$?
  "${webservice[@]}" stop --state "$dir/webservice" >/dev/null
  exit $status
) 9>/tmp/folionex-webservice.lock

# The cost goals at this many cases, each figure beside its bare figure
# measured in the same program run, with the ratio: the search walk beside a
# packed pool with one wcsstr per case, the whole keystroke, CreateBackup
# beside a bare SQLite write, LoadFromBackup beside the read and the first
# touch of the map's memory, the peak working set of a restore-like load, and
# that of a whole restore with its preview beside the store's map and one
# copy of the downloaded records (from the pipeline_bench run above).
goal_figures() {
  echo "== goals (each beside its bare figure from the same run)"
  { "${wine_run[@]}" "$dir/bin/maindlg_benchmark.exe" "$1"
    "${wine_run[@]}" "$dir/bin/store_benchmark.exe" "$1"; } |
    grep -E 'ratio|whole keystroke|index built|restore-like'
  grep -E "the store's map|blocks of 64 MB|whole restore with the preview" "$dir/restore-central.txt" || true
}
goal_figures "${1:-100000}"
