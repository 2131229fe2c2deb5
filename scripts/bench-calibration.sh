#!/usr/bin/env bash
# Times `tavrix calibrate build` on 64 darks and two levels of 32 flats from
# files (2.1 GB of raw frames) and reports its wall time, processor time and
# peak memory: the frames are read once each and never held together, so the
# peak stays far below the frames' size.
#
# usage: scripts/bench-calibration.sh [SEED]   (default 101; needs ~2.5 GB in build/)
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-}" in -h|--help) sed -n 2,7p "$0" | sed 's/^# \{0,1\}//'; exit 0 ;; esac
seed=${1:-101}
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/linux -j "$(nproc)" --target tavrix make_sim_frames >/dev/null
work=build/linux/bench-calibration
rm -rf "$work" && mkdir -p "$work"
build/linux/tools/make_sim_frames dark 64 "$seed" "$work/darks.raw" >/dev/null
build/linux/tools/make_sim_frames flat:0.2 32 "$seed" "$work/f20.raw" >/dev/null
build/linux/tools/make_sim_frames flat:0.7 32 "$seed" "$work/f70.raw" >/dev/null
/usr/bin/time -f "calibrate build: %e s wall, %U s user, %S s system, peak %M KiB" \
  build/linux/tools/tavrix calibrate build --darks "$work/darks.raw" --flats "$work/f20.raw" \
  --flats "$work/f70.raw" -o "$work/panel" 2>&1 >/dev/null | tr '\r' '\n' | grep -E "^calibrate build:"
stat -c %s "$work/darks.raw" "$work/f20.raw" "$work/f70.raw" | awk '{ s += $1 } END { printf "frames read: %d MiB\n", s / 1048576 }'
rm -rf "$work"
