#!/bin/bash
# Installs what building and testing Folionex needs on Debian 12: the i686
# mingw-w64 toolchain, Wine (32-bit), Xvfb, CMake, the GoogleTest sources,
# the Hungarian locale, the sources of minizip, and clang with libFuzzer for
# the host fuzzing harnesses. Safe to run again: it only
# installs what is missing. Needs root for the apt steps.
set -euo pipefail

PKGS=(cmake ninja-build g++-mingw-w64-i686-posix mingw-w64-i686-dev
      g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev libz-mingw-w64-dev googletest wine wine32:i386 wine64 fonts-wine
      xvfb x11-utils imagemagick clang libclang-rt-14-dev locales python3 openssl osslsigncode nodejs npm ca-certificates dpkg-dev xz-utils)

missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# nodejs/npm may come from elsewhere on a developer machine; a working npm is enough.
if command -v npm >/dev/null 2>&1; then
  tmp=(); for p in "${missing[@]}"; do [[ $p == nodejs || $p == npm ]] || tmp+=("$p"); done
  missing=("${tmp[@]+"${tmp[@]}"}")
fi

need_src=0
[ -f /etc/apt/sources.list.d/folionex-src.sources ] || need_src=1

if [ ${#missing[@]} -gt 0 ] || [ $need_src = 1 ] || ! grep -q '^hu_HU.UTF-8' /etc/locale.gen 2>/dev/null; then
  if [ "$(id -u)" != 0 ]; then
    echo "setup: missing packages (${missing[*]}); run this script as root once" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  # Source entries for the minizip source package (same archive as the binaries).
  cat > /etc/apt/sources.list.d/folionex-src.sources <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  apt-get update -qq
  if [ ${#missing[@]} -gt 0 ]; then
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/tmp/folionex-apt.log 2>&1 \
      || { tail -30 /tmp/folionex-apt.log >&2; exit 1; }
  fi
  if ! grep -q '^hu_HU.UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'hu_HU.UTF-8 UTF-8' >> /etc/locale.gen
  fi
  locale -a 2>/dev/null | grep -qi '^hu_HU.utf8$' || locale-gen >/dev/null
fi
