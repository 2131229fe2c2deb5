#!/usr/bin/env bash
# Installs what is needed, builds both targets and runs every test: the Linux
# suite, the same suite under AddressSanitizer and UndefinedBehaviorSanitizer,
# short runs of the fuzz targets, and the 32-bit Windows DLL's tests under Wine
# (its libraries cross-built once, see scripts/build-windows-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

bash scripts/install-deps.sh

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Findings of either sanitizer fail the run.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

status=0
run() {
  echo "==> $*"
  "$@" || status=1
}

echo "==> Linux build"
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build/linux -j "$jobs"
run ctest --test-dir build/linux -j "$jobs" --output-on-failure --timeout 1800

echo "==> Linux build with sanitizers"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRIX_SANITIZE=ON \
  -DTAVRIX_BUILD_BENCHMARKS=OFF
cmake --build build/sanitize -j "$jobs"
run ctest --test-dir build/sanitize -j "$jobs" --output-on-failure --timeout 3000

echo "==> Fuzz targets (clang, libFuzzer with the sanitizers), a short run of each"
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTAVRIX_FUZZ=ON
cmake --build build/fuzz -j "$jobs"
# Each starts from a fresh copy of its seeds; findings land beside the copy.
for target in serial_stream map_files enhancement_parameters; do
  work=build/fuzz/smoke/$target
  rm -rf "$work" && mkdir -p "$work/corpus"
  cp tests/fuzz/corpus/$target/* "$work/corpus/"
  run build/fuzz/tests/fuzz/fuzz_$target -max_total_time=50 -timeout=120 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work/corpus"
done

echo "==> Windows libraries (libtiff, libpng, DCMTK), built once into their prefix"
windows_deps=${TAVRIX_WINDOWS_DEPS:-/opt/tavrix-windows-deps}
TAVRIX_WINDOWS_DEPS=$windows_deps bash scripts/build-windows-deps.sh

echo "==> Windows build (i686, MinGW-w64) and its tests under Wine"
cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DTAVRIX_LINUX_BUILD="$root/build/linux" \
  -DTAVRIX_WINDOWS_DEPS="$windows_deps" -DTAVRIX_REQUIRE_WINDOWS_DEPS=ON
cmake --build build/windows -j "$jobs"
run ctest --test-dir build/windows --output-on-failure --timeout 1800

if [ "$status" -ne 0 ]; then
  echo "==> some tests failed"
else
  echo "==> all tests passed"
fi
exit "$status"
