#!/usr/bin/env bash
# The live page in Debian's Chromium: installs playwright-core from the lock
# file when missing, then runs the browser tests against the host build (or,
# with --site, against the browser build's static site; with --latency
# [--site], the latency benchmark).
set -euo pipefail
cd "$(dirname "$0")"
if [ ! -d node_modules/playwright-core ] || [ package-lock.json -nt node_modules/.package-lock.json ]; then
    npm ci --no-audit --no-fund --loglevel=error
fi
if [ "${1:-}" = "--latency" ]; then
    shift
    exec node latency_bench.mjs "$@"
fi
if [ "${1:-}" = "--site" ]; then
    exec node --test --test-concurrency=1 site_test.mjs
fi
exec node --test --test-concurrency=1 live_page_test.mjs own_router_test.mjs
