#!/bin/bash
# Builds Folionex (the 32-bit program, and the build that runs here) with
# its tests and runs every test under Wine. Exits non-zero when any fails.
set -euo pipefail
source "$(dirname "$0")/common.sh"
ensure_setup
arch=$(runnable_arch)
build i686
[ "$arch" = i686 ] || build "$arch"
cd "$ROOT/build-$arch"
ctest --output-on-failure --timeout 600
