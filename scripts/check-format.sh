#!/usr/bin/env bash
# Fails when a C++ source differs from what .clang-format makes of it, or
# the pages' HTML, CSS or scripts (live mode's and the browser build's) from what prettier makes of them
# (prettier from tests/browser's lock file, installed when missing).
# --fix rewrites the files instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
page=(sim/host/live/page sim/web/site)
prettier=tests/browser/node_modules/.bin/prettier
if [ ! -x "$prettier" ] || [ tests/browser/package-lock.json -nt tests/browser/node_modules/.package-lock.json ]; then
    (cd tests/browser && npm ci --no-audit --no-fund --loglevel=error)
fi
if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${files[@]}"
    "$prettier" --log-level warn --write "${page[@]}"
    exit 0
fi
bad=0
for f in "${files[@]}"; do
    if ! clang-format "$f" | cmp -s - "$f"; then
        echo "not formatted: $f"
        bad=1
    fi
done
"$prettier" --log-level warn --check "${page[@]}" || bad=1
[ $bad -eq 0 ] || { echo "Run scripts/check-format.sh --fix"; exit 1; }
