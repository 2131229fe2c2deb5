#!/usr/bin/env bash
# The Windows download as an integrator receives it: the ZIP is made and
# unpacked, the example host is built against it with MinGW-w64 through
# find_package, and runs under Wine with the simulator's DLL beside it; the
# station's tavrix.exe, its page and the Python package are in it.
#
# usage: windows_sdk_test.sh BUILD_DIR SOURCE_DIR MAP_DIR WORK_DIR
set -euo pipefail
build=$1 source=$2 maps=$3 work=$4
fail() { echo "FAILED: $*" >&2; exit 1; }

rm -rf "$work" && mkdir -p "$work"
(cd "$build" && cpack -G ZIP >/dev/null)
archive=$(ls "$build"/packages/Tavrix1417-SDK-1.0.0-win32.zip)
(cd "$work" && cmake -E tar xf "$archive")
sdk=$work/Tavrix1417-SDK-1.0.0-win32
for f in bin/Tavrix_1417_PCI_Vusk.dll lib/libTavrix_1417_PCI_Vusk.dll.a lib/Tavrix_1417_PCI_Vusk.lib \
         lib/Tavrix_1417_PCI_Vusk.def include/tavrix_1417_pci_vusk.h lib/cmake/Tavrix1417/Tavrix1417Config.cmake \
         examples/acquire_one.c examples/CMakeLists.txt docs/README.md simulator/PCI_FRM01.dll \
         bin/tavrix.exe docs/station.md docs/tavrix.md python/tavrix/__init__.py python/tavrix/_library.py; do
  [ -e "$sdk/$f" ] || fail "$(basename "$archive") lacks $f"
done
[ ! -e "$sdk/bin/PCI_FRM01.dll" ] || fail "the simulator lies beside the library DLL"

# The station's program runs from the unpacked folder as it is.
wine "$sdk/bin/tavrix.exe" --version | grep -q "^tavrix 1.0.0" || fail "bin/tavrix.exe does not run"

cmake -S "$sdk/examples" -B "$work/example" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-i686.cmake" -DCMAKE_PREFIX_PATH="$sdk" >/dev/null
cmake --build "$work/example" >/dev/null
run=$work/run && mkdir -p "$run"
cp "$work/example/acquire_one.exe" "$sdk/bin/Tavrix_1417_PCI_Vusk.dll" "$sdk/simulator/PCI_FRM01.dll" "$run/"
(cd "$run" && wine acquire_one.exe "$maps/sim_pixel_map.bin" "$maps/sim_gain_map.bin" \
   "$maps/sim_pixel_map.bin" "$maps/sim_gain_map.bin" 1 image.raw) || fail "acquire_one.exe did not complete"
[ "$(stat -c %s "$run/image.raw")" = 18874368 ] || fail "image.raw is not a 3072 x 3072 16-bit image"
echo "Windows SDK: $(basename "$archive") unpacked, example built with find_package and run under Wine"
