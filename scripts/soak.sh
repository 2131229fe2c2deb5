#!/usr/bin/env bash
# Runs the soak: CYCLES (default 500) cycles of create, select, load maps,
# acquire, poll, enhance and release through the exports, against the
# simulator, and fails if resident memory grows after the first 50.
#   bash scripts/soak.sh [CYCLES]
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-}" in -h|--help) sed -n 2,5p "$0" | sed 's/^# \{0,1\}//'; exit 0 ;; esac
cycles=${1:-500}
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/linux -j "$(nproc)" --target soak make_sim_maps >/dev/null
maps=build/linux/soak-maps
mkdir -p "$maps"
build/linux/tools/make_sim_maps "$maps/pixel.map" "$maps/gain.map" >/dev/null
PCI_FRM01_SIM_FRAMES= PCI_FRM01_SIM_UART= PCI_FRM01_SIM_FAULT= \
  build/linux/tests/soak "$cycles" "$maps/pixel.map" "$maps/gain.map"
