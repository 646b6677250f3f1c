#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time
# (seconds, default 45) on a corpus that starts from fuzz/seeds/<target>.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-45}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for target in fuzz_properties fuzz_stream fuzz_imagecodec fuzz_evening; do
    exe="build/fuzz/fuzz/$target"
    [ -x "$exe" ] || { echo "missing $exe"; exit 1; }
    corpus="build/fuzz/corpus/$target"
    mkdir -p "$corpus"
    seeds=()
    [ -d "fuzz/seeds/$target" ] && seeds=("fuzz/seeds/$target")
    echo "-- $target for ${seconds}s"
    mkdir -p build/fuzz/artifacts
    log="build/fuzz/$target.log"
    if ! "$exe" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix=build/fuzz/artifacts/ -print_final_stats=1 "$corpus" "${seeds[@]}" >"$log" 2>&1; then
        tail -n 40 "$log"
        echo "$target found a problem (artifacts in build/fuzz/artifacts)"
        exit 1
    fi
    grep -E "^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)" "$log" || true
done
