#!/usr/bin/env bash
# The calibration's quality on several seeded simulated panels with full
# frame sets (64 darks, two levels of 32 flats, 8 check frames), against the
# simulator's truth; one line of figures per seed, and exit 1 when any seed
# misses a bound. Builds what it needs into build/calib.
#
# usage: scripts/calibration-quality.sh [SEED...]   (default: 101 202 303 404)
set -uo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/calib -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRIX_BUILD_BENCHMARKS=OFF >/dev/null || exit 1
cmake --build build/calib -j2 --target calibration_quality >/dev/null || exit 1
status=0
for seed in "${@:-101 202 303 404}"; do
  for s in $seed; do
    build/calib/tests/tools/calibration_quality "$s" 64 32 8 || status=1
  done
done
exit $status
