#!/usr/bin/env bash
# The physicist's measurements (MTF, NNPS, DQE, response, lag, dark noise)
# against the simulated panel's truth on several seeds and edge angles that
# the tests did not use: the largest error of each, its tolerance and the
# time the measurement took, and exit 1 when any run misses a tolerance.
# Builds what it needs into build/qa.
#
# usage: scripts/qa-accuracy.sh [SEED:ANGLE...]   (default: five seeds, 1.5 to 3 degrees)
set -uo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/qa -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRIX_BUILD_BENCHMARKS=OFF >/dev/null || exit 1
cmake --build build/qa -j2 --target qa_accuracy >/dev/null || exit 1
status=0
for run in "${@:-101:1.5 202:1.9 303:2.2 404:2.7 505:3.0}"; do
  for r in $run; do
    build/qa/tests/tools/qa/qa_accuracy "${r%%:*}" "${r##*:}" || status=1
    echo
  done
done
exit $status
