#!/usr/bin/env bash
# Fails when a C++ source differs from what .clang-format makes of it.
# --fix rewrites the files instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
bad=0
for f in "${files[@]}"; do
    if ! clang-format "$f" | cmp -s - "$f"; then
        echo "not formatted: $f"
        bad=1
    fi
done
[ $bad -eq 0 ] || { echo "Run scripts/check-format.sh --fix"; exit 1; }
