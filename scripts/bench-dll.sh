#!/usr/bin/env bash
# The 32-bit Windows library under Wine against the Linux library, through the
# exports and step by step, on each vector path this processor has, in one run: the two
# programs take turns ROUNDS times and the medians of their figures are set
# side by side with the ratio DLL / Linux. Needs build/linux and build/windows
# (bash scripts/test.sh makes both).
#
# usage: bash scripts/bench-dll.sh [ROUNDS] [REPEATS]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-3} repeats=${2:-7}
linux=build/linux/bench/exports_timing
windows=build/windows/bin/exports_timing.exe
for program in "$linux" "$windows"; do
  [ -x "$program" ] || { echo "bench-dll.sh: $program is missing; build both targets first" >&2; exit 1; }
done
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
samples=$(mktemp) && trap 'rm -f "$samples"' EXIT
grep -m1 "model name" /proc/cpuinfo | sed 's/.*: /processor: /'
for round in $(seq "$rounds"); do
  echo "round $round of $rounds" >&2
  "$linux" "$repeats" | sed 's/^/build=linux /' >>"$samples"
  (cd build/windows/bin && wine exports_timing.exe "$repeats") | tr -d '\r' | sed 's/^/build=dll /' >>"$samples"
done
python3 - "$samples" <<'PY'
import statistics, sys
figures = {}
for line in open(sys.argv[1]):
    fields = dict(item.split("=") for item in line.split())
    key = (fields.pop("build"), fields.pop("path"))
    for name, value in fields.items():
        figures.setdefault(key, {}).setdefault(name, []).append(float(value))
paths = [p for p in ("baseline", "avx2", "avx512") if ("linux", p) in figures and ("dll", p) in figures]
names = ["steady_enhancement_ms", "steady_exposure_ms", "first_enhancement_ms", "first_exposure_ms", "creation_ms"]
print(f"{'path':9} {'figure':22} {'DLL (Wine)':>11} {'Linux':>9} {'DLL/Linux':>10}")
for path in paths:
    for name in names:
        dll = statistics.median(figures[("dll", path)][name])
        linux = statistics.median(figures[("linux", path)][name])
        print(f"{path:9} {name:22} {dll:11.1f} {linux:9.1f} {dll / linux:10.2f}")
    steps = sorted(n for n in figures[("dll", path)] if n.startswith("step_") and n in figures[("linux", path)])
    for name in steps:
        dll = statistics.median(figures[("dll", path)][name])
        linux = statistics.median(figures[("linux", path)][name])
        print(f"{path:9} {name[5:]:22} {dll:11.2f} {linux:9.2f} {dll / linux:10.2f}")
    for build in ("dll", "linux"):
        f = figures[(build, path)]
        for what in ("enhancement", "exposure"):
            ratio = statistics.median(f[f"first_{what}_ms"]) / statistics.median(f[f"steady_{what}_ms"])
            print(f"{path:9} {build + ' first/steady ' + what:34} {ratio:10.2f}")
for build in ("dll", "linux"):
    steady = {p: statistics.median(figures[(build, p)]["steady_enhancement_ms"]) for p in paths}
    if "avx2" in steady and "avx512" in steady:
        print(f"{build}: enhancement avx2/avx512 {steady['avx2'] / steady['avx512']:.2f}")
    if "avx2" in steady:
        print(f"{build}: enhancement baseline/avx2 {steady['baseline'] / steady['avx2']:.2f}")
PY
