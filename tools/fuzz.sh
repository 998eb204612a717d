#!/bin/bash
# Builds and runs the host fuzzing harnesses of tests/fuzz (libFuzzer with
# AddressSanitizer and UndefinedBehaviorSanitizer, clang on the host, not
# under Wine). Each harness is tests/fuzz/<Name>Fuzz.cpp and includes the
# product sources it tests; its seed inputs are tests/fuzz/corpus/<name>/.
#   tools/fuzz.sh                  every harness, 20000 runs each
#   tools/fuzz.sh import_text 5000 one harness (file name in snake case)
# A fixed seed keeps a run repeatable; exits non-zero on the first finding.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT="$ROOT/build-fuzz"
RUNS=${2:-20000}
mkdir -p "$OUT"
command -v clang++ >/dev/null || { echo "fuzz: clang++ is missing (tools/setup-debian.sh installs it)" >&2; exit 1; }

snake() { sed -E 's/([a-z0-9])([A-Z])/\1_\2/g' <<<"$1" | tr '[:upper:]' '[:lower:]'; }

for src in "$ROOT"/tests/fuzz/*Fuzz.cpp; do
  base=$(basename "$src" Fuzz.cpp)
  name=$(snake "$base")
  [ -n "${1:-}" ] && [ "$1" != "$name" ] && continue
  exe="$OUT/${name}_fuzz"
  if [ ! -x "$exe" ] || [ -n "$(find "$ROOT/tests/fuzz" "$ROOT/exchange" "$ROOT/online" -newer "$exe" -name '*.[ch]*' -print -quit)" ]; then
    clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
      -I"$ROOT" "$src" -o "$exe"
  fi
  corpus="$ROOT/tests/fuzz/corpus/$name"
  work="$OUT/${name}_corpus"
  mkdir -p "$work"
  dirs=("$work")
  [ -d "$corpus" ] && dirs+=("$corpus")
  echo "fuzz: $name, $RUNS runs"
  "$exe" -artifact_prefix="$OUT/" -seed=1 -runs="$RUNS" -max_len=8192 -timeout=10 "${dirs[@]}" >"$OUT/$name.log" 2>&1 \
    || { tail -40 "$OUT/$name.log" >&2; exit 1; }
  tail -1 "$OUT/$name.log"
done
