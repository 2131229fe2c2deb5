#!/usr/bin/env bash
# The Linux SDK as an integrator receives it: `cmake --install` into a fresh
# prefix (and the simulator as its own component), no installed file with a
# run path into the build tree, the example host built with find_package and
# with pkg-config and run against the simulator, and the .tar.gz download.
#
# usage: linux_sdk_test.sh BUILD_DIR SOURCE_DIR MAP_DIR WORK_DIR
set -euo pipefail
build=$1 source=$2 maps=$3 work=$4
fail() { echo "FAILED: $*" >&2; exit 1; }

rm -rf "$work" && mkdir -p "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
[ ! -e "$prefix/lib/tavrix-1417/simulator" ] || fail "the default install carries the simulator"
[ ! -e "$prefix/lib/libPCI_FRM01.so" ] || fail "a frame-grabber module lies on the loader's path"

# Exactly the documented commands, against the SDK alone (no simulator, no
# card module anywhere), in a clean environment.
clean_env=(env -i "PATH=/usr/local/bin:/usr/bin:/bin" "HOME=$work" "PKG_CONFIG_PATH=$prefix/lib/pkgconfig")
"${clean_env[@]}" cmake -S "$prefix/share/doc/tavrix-1417/examples" -B "$work/bare-cmake" \
  -DCMAKE_PREFIX_PATH="$prefix" >"$work/bare.log" 2>&1 &&
  "${clean_env[@]}" cmake --build "$work/bare-cmake" >>"$work/bare.log" 2>&1 ||
  fail "find_package host does not link against the SDK alone: $(tail -5 "$work/bare.log")"
(cd "$work" && "${clean_env[@]}" sh -c 'cc prefix/share/doc/tavrix-1417/examples/acquire_one.c \
   $(pkg-config --cflags --libs tavrix-1417) -o acquire_one_bare') >>"$work/bare.log" 2>&1 ||
  fail "pkg-config host does not link against the SDK alone: $(tail -5 "$work/bare.log")"
for host in "$work/bare-cmake/acquire_one" "$work/acquire_one_bare"; do
  readelf -d "$host" | grep -E '\((RPATH|RUNPATH)\)' | grep -q link-only && fail "$host would load the link-only stand-in"
  # Without a frame-grabber module on the loader's path the host cannot start.
  "$host" 2>/dev/null && fail "$host ran with no frame-grabber module"
done

cmake --install "$build" --prefix "$prefix" --component simulator >/dev/null

for f in include/tavrix_1417_pci_vusk.h lib/libTavrix_1417_PCI_Vusk.so.1 \
         lib/cmake/Tavrix1417/Tavrix1417Config.cmake lib/cmake/Tavrix1417/Tavrix1417ConfigVersion.cmake \
         lib/pkgconfig/tavrix-1417.pc share/doc/tavrix-1417/README.md \
         share/doc/tavrix-1417/examples/acquire_one.c lib/tavrix-1417/simulator/libPCI_FRM01.so; do
  [ -e "$prefix/$f" ] || fail "not installed: $f"
done
[ "$(readelf -d "$prefix/lib/libTavrix_1417_PCI_Vusk.so.1" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')" \
  = libTavrix_1417_PCI_Vusk.so.1 ] || fail "soname is not libTavrix_1417_PCI_Vusk.so.1"
while IFS= read -r -d '' f; do
  if readelf -d "$f" 2>/dev/null | grep -E '\((RPATH|RUNPATH)\)' | grep -qF -e "$build" -e "$source"; then
    fail "$f has a run path into the build tree"
  fi
done < <(find "$prefix" -type f -print0)

# find_package, as the example's own CMakeLists.txt does.
cmake -S "$prefix/share/doc/tavrix-1417/examples" -B "$work/example" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/example" >/dev/null

# pkg-config, from the installed .pc file.
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
[ "$(pkg-config --modversion tavrix-1417)" = 1.0.0 ] || fail "pkg-config version"
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror "$prefix/share/doc/tavrix-1417/examples/acquire_one.c" \
  $(pkg-config --cflags --libs tavrix-1417) -o "$work/acquire_one_pc"

export LD_LIBRARY_PATH=$prefix/lib/tavrix-1417/simulator:$prefix/lib
for host in "$work/example/acquire_one" "$work/acquire_one_pc"; do
  "$host" "$maps/sim_pixel_map.bin" "$maps/sim_gain_map.bin" "$maps/sim_pixel_map.bin" \
          "$maps/sim_gain_map.bin" 1 "$host.raw" || fail "$host did not complete"
  [ "$(stat -c %s "$host.raw")" = 18874368 ] || fail "$host.raw is not a 3072 x 3072 16-bit image"
done
cmp -s "$work/example/acquire_one.raw" "$work/acquire_one_pc.raw" || fail "the two builds' images differ"
# A bad map is reported, and nothing is written.
if "$work/example/acquire_one" /nonexistent "$maps/sim_gain_map.bin" "$maps/sim_pixel_map.bin" \
     "$maps/sim_gain_map.bin" 0 "$work/bad.raw" 2>"$work/bad.err"; then
  fail "a missing pixel map was not reported"
fi
grep -q "LoadPixelMap" "$work/bad.err" && [ ! -e "$work/bad.raw" ] || fail "missing map: $(cat "$work/bad.err")"

# The download.
(cd "$build" && cpack -G TGZ >/dev/null)
archive=$(ls "$build"/packages/Tavrix1417-SDK-1.0.0-linux-*.tar.gz)
listing=$(tar tzf "$archive")
for f in include/tavrix_1417_pci_vusk.h lib/libTavrix_1417_PCI_Vusk.so.1.0.0 lib/pkgconfig/tavrix-1417.pc \
         lib/tavrix-1417/simulator/libPCI_FRM01.so share/doc/tavrix-1417/examples/acquire_one.c; do
  grep -q "/$f\$" <<<"$listing" || fail "$archive lacks $f"
done
echo "Linux SDK: installed, found, linked and run; $(basename "$archive") holds $(grep -vc '/$' <<<"$listing") files"
