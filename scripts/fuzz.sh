#!/usr/bin/env bash
# Builds the libFuzzer targets (build/fuzz) and runs each for a while.
set -euo pipefail
cd "$(dirname "$0")/.."

all_targets=(serial_stream map_files enhancement_parameters)

usage() {
  cat <<EOF
Usage: scripts/fuzz.sh [SECONDS] [TARGET...]

Builds the fuzz targets in build/fuzz (clang, libFuzzer, AddressSanitizer and
UndefinedBehaviorSanitizer; needs the packages of scripts/install-deps.sh) and
runs each TARGET for SECONDS (default 600), one after the other.

Targets (default: all):
  serial_stream           serial bytes through CheckSwitch, Init_Comm,
                          GetSwitchMsg and GetTemperature, against a model
  map_files               map files of any size through LoadPixelMap and
                          LoadGainMap, maps compared through corrected images
  enhancement_parameters  any four parameters of Enhancement on fixed images

Each target keeps its working corpus in build/fuzz/corpus/TARGET, seeded from
tests/fuzz/corpus/TARGET (which is only read), and writes crashes and other
findings to build/fuzz/artifacts/TARGET/. Reproduce a finding with
  build/fuzz/tests/fuzz/fuzz_TARGET FILE
Extra libFuzzer options can be given in FUZZ_OPTIONS, e.g. FUZZ_OPTIONS=-jobs=2.
Exits with 1 when any target found something.
EOF
}

seconds=600
targets=()
for arg in "$@"; do
  case "$arg" in
    -h | --help) usage; exit 0 ;;
    *[!0-9]*) targets+=("$arg") ;;
    *) seconds=$arg ;;
  esac
done
[ "${#targets[@]}" -gt 0 ] || targets=("${all_targets[@]}")
for target in "${targets[@]}"; do
  if [ ! -d "tests/fuzz/corpus/$target" ]; then
    echo "fuzz.sh: unknown target '$target' (try --help)" >&2
    exit 2
  fi
done

cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTAVRIX_FUZZ=ON >/dev/null
cmake --build build/fuzz -j 2

status=0
for target in "${targets[@]}"; do
  corpus=build/fuzz/corpus/$target
  artifacts=build/fuzz/artifacts/$target
  mkdir -p "$corpus" "$artifacts"
  echo "==> fuzz_$target for $seconds s"
  # New inputs go into the first directory only.
  # shellcheck disable=SC2086
  build/fuzz/tests/fuzz/fuzz_$target -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$artifacts/" ${FUZZ_OPTIONS:-} "$corpus" "tests/fuzz/corpus/$target" || status=1
done
exit "$status"
