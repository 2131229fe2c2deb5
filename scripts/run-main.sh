#!/usr/bin/env bash
# Installs what is needed, builds the library and the tavrix tool, and runs
# one whole exposure against the frame-grabber simulator, as a station would:
# the simulated panel's maps, a switch code and a temperature frame on the
# serial channel, the corrected and the enhanced image as 16-bit TIFF, 8-bit
# PNG preview and DICOM in the folder given (default out/).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-out}

bash scripts/install-deps.sh
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/linux -j "$(nproc)" --target tavrix make_sim_maps
mkdir -p "$out"
# The simulator's own maps, as a service engineer's calibration would give them.
build/linux/tools/make_sim_maps "$out/panel0_pixel.map" "$out/panel0_gain.map"
# The detector's serial channel sends a switch code ('v') and a temperature
# frame ('f', 0x19, 'g': 21 degrees).
printf 'v\x66\x19g' > "$out/serial.bin"
PCI_FRM01_SIM_UART="$out/serial.bin" build/linux/tools/tavrix acquire \
  --pixel-map "$out/panel0_pixel.map" --gain-map "$out/panel0_gain.map" --panel 0 \
  --enhance 4,10,2,10 --format tiff,png,dicom --force -o "$out/exposure"
ls -l "$out"
