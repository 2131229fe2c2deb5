#!/usr/bin/env bash
# Cross-builds the libraries of tavrix.exe for 32-bit Windows from Debian's
# own source packages, the versions the Linux build links: libtiff, libpng and
# DCMTK, static, with only the features the tool uses. zlib comes ready-made
# from libz-mingw-w64-dev.
#
# The prefix (TAVRIX_WINDOWS_DEPS, default /opt/tavrix-windows-deps) lies
# outside the checkout so that every clone reuses it; a stamp in it names what
# was built, and nothing is rebuilt while it matches. Adds a deb-src entry for
# the Debian suites already configured when it has none (root only).
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
root=$(pwd)

prefix=$(realpath -m "${TAVRIX_WINDOWS_DEPS:-/opt/tavrix-windows-deps}")
jobs=${TAVRIX_JOBS:-$(nproc)}
host=i686-w64-mingw32
sysroot=/usr/$host
toolchain=$root/cmake/mingw-i686.cmake
stamp=$prefix/tavrix-windows-deps.stamp
# Raise when the options below change, so that an old prefix is rebuilt.
recipe=2

# Source package of each library, found through the -dev package the Linux
# build uses.
dev_packages=(libtiff-dev libpng-dev libdcmtk-dev)

say() { echo "build-windows-deps: $*"; }
die() { echo "build-windows-deps: $*" >&2; exit 1; }

source_of() {
  dpkg-query -W -f='${source:Package} ${source:Version}' "$1" 2>/dev/null \
    || die "$1 is not installed; run scripts/install-deps.sh first"
}

expected_stamp() {
  echo "recipe $recipe"
  echo "compiler $(dpkg-query -W -f='${Version}' g++-mingw-w64-i686-posix)"
  echo "zlib $(dpkg-query -W -f='${Version}' libz-mingw-w64-dev)"
  for p in "${dev_packages[@]}"; do source_of "$p"; echo; done
}

for tool in $host-gcc-posix $host-g++-posix cmake ninja wine dpkg-source; do
  command -v "$tool" >/dev/null || die "$tool is missing; run scripts/install-deps.sh first"
done
[ -f $sysroot/lib/libz.a ] || die "$sysroot/lib/libz.a is missing; install libz-mingw-w64-dev"

want=$(expected_stamp)
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
  say "up to date in $prefix"
  exit 0
fi
mkdir -p "$(dirname "$prefix")" 2>/dev/null || true
[ -w "$(dirname "$prefix")" ] \
  || die "cannot write $prefix; run as root or set TAVRIX_WINDOWS_DEPS to a writable folder"

# --- Sources -----------------------------------------------------------------

has_deb_src() {
  grep -Eqs '^[[:space:]]*(deb-src[[:space:]]|Types:.*deb-src)' \
    /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources
}

# One deb-src stanza for every enabled Debian (bookworm) deb stanza; other
# repositories publish no sources.
add_deb_src() {
  local list=/etc/apt/sources.list.d/tavrix-deb-src.sources
  local line
  {
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] || continue
      awk 'BEGIN { RS = "" }
        /Enabled:[ \t]*no/ || !/Suites:[^\n]*bookworm/ { next }
        {
          n = split($0, lines, "\n"); out = ""; deb = 0
          for (i = 1; i <= n; i++) {
            if (lines[i] ~ /^Types:/) {
              if (lines[i] ~ /[ \t]deb([ \t]|$)/) deb = 1
              lines[i] = "Types: deb-src"
            }
            out = out lines[i] "\n"
          }
          if (deb) printf "%s\n", out
        }' "$f"
    done
    # One-line entries become deb822 stanzas too.
    if [ -f /etc/apt/sources.list ]; then
      grep -E '^deb[[:space:]].*bookworm' /etc/apt/sources.list | while read -r line; do
        set -- ${line#deb }
        [[ $1 == \[* ]] && shift
        printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\n\n' "$1" "$2" "${*:3}"
      done
    fi
  } >"$list.new"
  [ -s "$list.new" ] || { rm -f "$list.new"; die "no Debian bookworm entry in the apt sources to mirror"; }
  mv "$list.new" "$list"
  say "added $list"
}

sources_indexed() { apt-cache showsrc dcmtk 2>/dev/null | grep -q '^Version:'; }

if ! has_deb_src || ! sources_indexed; then
  [ "$(id -u)" -eq 0 ] || die "no deb-src entry in the apt sources, or not fetched; run as root or add one"
  has_deb_src || add_deb_src
  # An index that fails (a mirror mid-sync) need not be the sources' own:
  # whether the source packages came is what decides.
  apt-get update -qq || echo "build-windows-deps: apt-get update reported a failure; checking the sources' index" >&2
  sources_indexed || die "apt knows no source packages after apt-get update"
fi

work=$(mktemp -d /var/tmp/tavrix-windows-deps.XXXXXX)
cleanup() {
  # DCMTK's configure leaves a Wine server running on its own prefix.
  local wp
  for wp in "$work"/build-*/CMakeFiles/wineprefix; do
    [ -d "$wp" ] && WINEPREFIX=$wp wineserver -k 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

# Downloads and unpacks a source package, the installed version when the
# archive still has it; otherwise the newest with the same upstream version
# (a mirror may lack a security update's .dsc and Debian patches), said aloud.
fetch() {
  local pkg=$1 version=$2 v
  local candidates=("$version")
  while read -r v; do
    [ "${v%-*}" = "${version%-*}" ] && [ "$v" != "$version" ] && candidates+=("$v")
  done < <(apt-cache showsrc "$pkg" | sed -n 's/^Version: //p' | sort -Vru)
  for v in "${candidates[@]}"; do
    if apt-get source -q --download-only "$pkg=$v" >fetch-$pkg.log 2>&1; then
      [ "$v" = "$version" ] || say "warning: $pkg $version is not downloadable; building $v (same upstream version)" >&2
      # The archive key is not in a keyring here; the checksums are still checked.
      dpkg-source -x "${pkg}_${v#*:}.dsc" "src-$pkg" >>fetch-$pkg.log 2>&1 \
        || { cat fetch-$pkg.log >&2; die "unpacking $pkg $v failed"; }
      echo "$pkg $v"
      return 0
    fi
  done
  cat fetch-$pkg.log >&2
  die "no source of $pkg ${version%-*} can be downloaded"
}

built_from=()
for p in "${dev_packages[@]}"; do
  read -r pkg version < <(source_of "$p"; echo)
  say "fetching $pkg $version"
  built_from+=("$(fetch "$pkg" "$version")")
done

# --- Builds ------------------------------------------------------------------

# Try-run probes run under Wine, which finds no MinGW runtime DLL: every
# program links statically. SSE2 arithmetic as in the project itself.
common=(
  -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchain"
  -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF
  "-DCMAKE_C_FLAGS=-msse2 -mfpmath=sse" "-DCMAKE_CXX_FLAGS=-msse2 -mfpmath=sse"
  -DCMAKE_EXE_LINKER_FLAGS=-static
  # The static zlib, never its import library.
  -DZLIB_LIBRARY=$sysroot/lib/libz.a -DZLIB_INCLUDE_DIR=$sysroot/include
)

build() {
  local name=$1 dir=$2
  shift 2
  local started=$SECONDS
  say "configuring $name"
  cmake -S "$dir" -B "build-$name" "${common[@]}" "$@" >"build-$name.log" 2>&1 \
    || { tail -n 40 "build-$name.log" >&2; die "configuring $name failed (log above)"; }
  say "building $name"
  cmake --build "build-$name" -j "$jobs" >>"build-$name.log" 2>&1 \
    && DESTDIR="$work/stage" cmake --install "build-$name" >>"build-$name.log" 2>&1 \
    || { tail -n 40 "build-$name.log" >&2; die "building $name failed (log above)"; }
  say "$name done in $((SECONDS - started)) s"
}

# Deflate (zlib) but none of the other codecs; no tools, tests or docs.
build libtiff src-tiff \
  -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF -Dcxx=OFF \
  -Djpeg=OFF -Dold-jpeg=OFF -Djbig=OFF -Dlerc=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF \
  -Dlibdeflate=OFF -Dpixarlog=OFF -Dzlib=ON -Dsphinx=OFF

build libpng src-libpng1.6 \
  -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF

# Data, image and network modules only (dcmtls without OpenSSL is empty, but
# dcmnet includes its headers); the dictionary built in, so that the
# program needs no dicom.dic beside it; no character set conversion (the tool
# writes ASCII and ISO_IR 100 unchanged).
build dcmtk src-dcmtk \
  "-DDCMTK_MODULES=ofstd;oflog;dcmdata;dcmimgle;dcmtls;dcmnet" -DBUILD_APPS=OFF \
  -DCMAKE_INSTALL_DATADIC=share/dcmtk -DCPP_RUNTIME="$($host-g++-posix -print-file-name=libstdc++-6.dll)" \
  -DDCMTK_DEFAULT_DICT=builtin -DDCMTK_USE_DCMDICTPATH=OFF \
  -DDCMTK_WITH_OPENSSL=OFF -DDCMTK_WITH_ICU=OFF -DDCMTK_WITH_ICONV=OFF -DDCMTK_WITH_STDLIBC_ICONV=OFF \
  "-DDCMTK_ENABLE_CHARSET_CONVERSION=<disabled>" \
  -DDCMTK_WITH_ZLIB=ON -DDCMTK_WITH_WRAP=OFF -DDCMTK_WITH_XML=OFF -DDCMTK_WITH_PNG=OFF \
  -DDCMTK_WITH_TIFF=OFF -DDCMTK_WITH_SNDFILE=OFF -DDCMTK_WITH_OPENJPEG=OFF -DDCMTK_WITH_DOXYGEN=OFF \
  -DDCMTK_ENABLE_MANPAGES=OFF

# Installed under a staging root, so that the paths DCMTK and the .pc files
# record are the prefix itself. Only what a program links: no documentation,
# data files, examples or executables.
staged=$work/stage$prefix
rm -rf "$staged/share/doc" "$staged/share/man" "$staged/share/dcmtk" "$staged/etc" "$staged/bin"
mkdir -p "$staged/share/tavrix-windows-deps"
printf '%s\n' "${built_from[@]}" >"$staged/share/tavrix-windows-deps/sources.txt"

# The stamp comes last: an interrupted move leaves a prefix that is rebuilt.
rm -rf "$prefix"
mv "$staged" "$prefix"
echo "$want" >"$stamp"
say "installed in $prefix in $SECONDS s (built from: ${built_from[*]})"
