# Shared by tools/run.sh and tools/test.sh: installation, the choice of the
# build that can run under Wine here, and the build itself.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

ensure_setup() {
  if [ "$(id -u)" = 0 ]; then
    "$ROOT/tools/setup-debian.sh"
  elif ! command -v i686-w64-mingw32-g++-posix >/dev/null || ! command -v Xvfb >/dev/null; then
    echo "Missing build tools: run this once as root (it installs them)." >&2
    exit 1
  fi
}

# Folionex is a 32-bit program. Where the kernel starts no 32-bit process
# (ia32 emulation off) no 32-bit Wine can run, and the 64-bit build of the
# same sources runs instead. FOLIONEX_ARCH=i686|x86_64 overrides the choice.
runnable_arch() {
  if [ -n "${FOLIONEX_ARCH:-}" ]; then
    echo "$FOLIONEX_ARCH"
  elif /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo i686
  else
    echo x86_64
  fi
}

# build ARCH [TARGET...]: configures $ROOT/build-ARCH and builds the targets
# (everything, tests included, when none is named).
build() {
  local arch=$1; shift
  local dir="$ROOT/build-$arch"
  cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-$arch-posix.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DFOLIONEX_TESTS=ON >"$dir.configure.log" 2>&1 \
    || { cat "$dir.configure.log" >&2; return 1; }
  if [ $# -gt 0 ]; then
    cmake --build "$dir" -j"$(nproc)" --target "$@"
  else
    cmake --build "$dir" -j"$(nproc)"
  fi
}

wine_arch_of() {
  [ "$1" = x86_64 ] && echo win64 || echo win32
}
