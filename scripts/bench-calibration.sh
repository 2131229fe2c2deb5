#!/usr/bin/env bash
# Times `tavrix calibrate build` on 64 darks, two levels of 32 flats and an
# 8-frame check flat from files (2.2 GB of raw frames) and reports its wall
# time, processor time and peak memory (resident), then the same for sets of
# 8 frames each: the frames are read once and never held, so the peak does
# not depend on the sets' length.
#
# usage: scripts/bench-calibration.sh [SEED]   (default 101; needs ~2.6 GB in build/)
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
build/linux/tools/make_sim_frames flat:0.45 8 "$seed" "$work/check.raw" >/dev/null
build() {  # LABEL DARKS F20 F70 CHECK
  /usr/bin/time -f "$1: %e s wall, %U s user, %S s system, peak %M KiB" \
    build/linux/tools/tavrix calibrate build --darks "$2" --flats "$3" --flats "$4" --check "$5" \
    --force -o "$work/panel" 2>&1 >/dev/null | tr '\r' '\n' | grep -F "$1:"
}
build "calibrate build, 64 + 2 x 32 + 8 frames" "$work/darks.raw" "$work/f20.raw" "$work/f70.raw" "$work/check.raw"
stat -c %s "$work"/*.raw | awk '{ s += $1 } END { printf "frames read: %d MiB\n", s / 1048576 }'
for set in darks f20 f70; do head -c $((8 * 16204480)) "$work/$set.raw" >"$work/short-$set.raw"; done
build "calibrate build, 8 + 2 x 8 + 8 frames" "$work/short-darks.raw" "$work/short-f20.raw" "$work/short-f70.raw" \
  "$work/check.raw"
rm -rf "$work"
