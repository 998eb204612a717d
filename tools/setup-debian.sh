#!/bin/bash
# Installs what building and testing Folionex needs on Debian 12: the i686
# mingw-w64 toolchain, Wine (32-bit), Xvfb, CMake, the GoogleTest sources,
# the Hungarian locale, the sources of minizip, and clang with libFuzzer for
# the host fuzzing harnesses. Safe to run again: it only
# installs what is missing. Needs root for the apt steps. APT_CONFIG (apt's
# own) may name another configuration, the sources files among it.
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

# The sources of minizip come from the package archive that this machine
# already uses for its binary packages, through its own apt sources (whatever
# mirror or proxy they name): each sources entry that carries minizip's
# binary packages is written again as a deb-src entry, into one file of ours,
# and only when no source of minizip is known yet.
src_file="$(eval "$(apt-config shell parts Dir::Etc::sourceparts/d)"; echo "${parts:-/etc/apt/sources.list.d/}")folionex-src.sources"

minizip_source_known() {
  apt-cache showsrc minizip 2>/dev/null | grep -q '^Package: minizip$'
}

# The sources entries ("FILE:N", as apt names them: the Nth stanza of a
# deb822 file, line N of a one-line file) whose binary indexes hold minizip.
minizip_entries() {
  local indexes
  indexes=$(apt-cache madison minizip 2>/dev/null | awk -F' [|] ' '$3 ~ / Packages$/ { print $3 }')
  [ -n "$indexes" ] || return 0
  apt-get indextargets --format '$(DESCRIPTION)	$(SOURCESENTRY)' 'Identifier: Packages' 2>/dev/null |
    awk -F'\t' -v indexes="$indexes" '
      BEGIN { n = split(indexes, list, "\n"); for (i = 1; i <= n; i++) wanted[list[i]] = 1 }
      ($1 in wanted) { print $2 }' | sort -u
}

# Stanza N of a deb822 sources file as a deb-src stanza: its fields as they
# stand but the types and the architectures.
deb822_as_source() {
  awk -v want="$2" '
    /^[ \t]*$/ { inside = 0; next }
    /^#/ { next }
    {
      if (!inside) { inside = 1; ++n; skip = 0 }
      if (n != want) next
      if ($0 ~ /^[ \t]/) { if (!skip) print; next }
      field = tolower($0); sub(/[ \t]*:.*/, "", field)
      skip = field == "types" || field == "enabled" || field ~ /^architectures/
      if (field == "types") print "Types: deb-src"
      else if (!skip) print
    }' "$1"
}

# Line N of a one-line sources file ("deb [options] URI suite components")
# as a deb-src stanza; options but the architectures, languages and targets
# become fields.
oneline_as_source() {
  awk -v want="$2" '
    NR == want {
      sub(/#.*/, "")
      options = ""
      if (match($0, /\[[^]]*\]/)) {
        options = substr($0, RSTART + 1, RLENGTH - 2)
        $0 = substr($0, 1, RSTART - 1) " " substr($0, RSTART + RLENGTH)
      }
      print "Types: deb-src"
      print "URIs: " $2
      print "Suites: " $3
      if (NF > 3) {
        components = $4
        for (i = 5; i <= NF; ++i) components = components " " $i
        print "Components: " components
      }
      count = split(options, option, /[ \t]+/)
      for (i = 1; i <= count; ++i) {
        if (option[i] !~ /=/) continue
        key = option[i]; sub(/=.*/, "", key)
        value = option[i]; sub(/^[^=]*=/, "", value)
        if (key ~ /^(arch|lang|target)[-+]?$/) continue
        gsub(/,/, " ", value)
        parts = split(key, part, "-"); name = ""
        for (j = 1; j <= parts; ++j)
          name = name (j > 1 ? "-" : "") toupper(substr(part[j], 1, 1)) substr(part[j], 2)
        print name ": " value
      }
    }' "$1"
}

# Writes the deb-src entries for minizip to the file; false when no sources
# entry of this machine carries minizip.
write_minizip_sources() {
  local entries entry file line stanzas=""
  entries=$(minizip_entries)
  [ -n "$entries" ] || return 1
  for entry in $entries; do
    file=${entry%:*}
    line=${entry##*:}
    case $file in
      *.sources) stanzas+=$(deb822_as_source "$file" "$line") ;;
      *) stanzas+=$(oneline_as_source "$file" "$line") ;;
    esac
    stanzas+=$'\n\n'
  done
  {
    echo "# The source packages of the archive this machine takes minizip from"
    echo "# (derived from its own sources entries by Folionex's tools/setup-debian.sh)."
    echo
    printf '%s' "$stanzas"
  } > "$1"
}

need_src=0
minizip_source_known || need_src=1

if [ ${#missing[@]} -gt 0 ] || [ $need_src = 1 ] || ! grep -q '^hu_HU.UTF-8' /etc/locale.gen 2>/dev/null; then
  if [ "$(id -u)" != 0 ]; then
    echo "setup: missing packages (${missing[*]}); run this script as root once" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  # A file of an earlier run may name an archive this machine does not reach.
  [ $need_src = 0 ] || rm -f "$src_file"
  apt-get update -qq
  if [ $need_src = 1 ] && ! minizip_source_known; then
    if ! write_minizip_sources "$src_file"; then
      echo "setup: none of this machine's apt sources carries minizip" >&2
      exit 1
    fi
    if ! apt-get update -qq || ! minizip_source_known; then
      rm -f "$src_file"
      apt-get update -qq || true
      echo "setup: the source package of minizip is not found beside its binary packages" >&2
      exit 1
    fi
  fi
  if [ ${#missing[@]} -gt 0 ]; then
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/tmp/folionex-apt.log 2>&1 \
      || { tail -30 /tmp/folionex-apt.log >&2; exit 1; }
  fi
  if ! grep -q '^hu_HU.UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'hu_HU.UTF-8 UTF-8' >> /etc/locale.gen
  fi
  locale -a 2>/dev/null | grep -qi '^hu_HU.utf8$' || locale-gen >/dev/null
fi
