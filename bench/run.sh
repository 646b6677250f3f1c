#!/usr/bin/env bash
# Runs the benchmarks of the PC build. --smoke: a short run that only proves
# they work (CI); without it, a longer run for figures.
set -euo pipefail
cd "$(dirname "$0")/.."
min_time=1.0
[ "${1:-}" = "--smoke" ] && min_time=0.01
cmake --build --preset host --target bench_parser bench_idle bench_frame
for b in bench_parser bench_idle bench_frame; do
    build/host/bench/$b --benchmark_min_time="$min_time"
done
