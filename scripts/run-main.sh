#!/usr/bin/env bash
# Installs what is needed, builds the library and runs one whole exposure
# against the frame-grabber simulator, as a host would. The corrected and the
# enhanced image are written as pictures to the folder given (default out/).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-out}

bash scripts/install-deps.sh
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/linux -j "$(nproc)" --target expose
mkdir -p "$out"
# The detector's serial channel sends a switch code ('v') and a temperature
# frame ('f', 0x19, 'g': 21 degrees).
printf 'v\x66\x19g' > "$out/serial.bin"
PCI_FRM01_SIM_UART="$out/serial.bin" build/linux/tools/expose "$out"
