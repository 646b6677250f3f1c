#!/usr/bin/env bash
# Installs what is missing, then builds and checks everything: the PC build's
# tests and scenarios, the live page in Chromium, the same under AddressSanitizer and UBSan, the
# receiver build (checked with tapcheck and run under emulation against the
# PC run), the browser build (its scenarios under Node.js against the PC run,
# its static site in Chromium), short fuzz runs and the benchmarks against their budgets.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh

step() { printf '\n== %s ==\n' "$*"; }

step "Formatting"
scripts/check-format.sh

step "PC build and tests"
cmake --preset host >/dev/null
cmake --build --preset host
ctest --preset host

step "Browser tests (Chromium)"
tests/browser/run.sh

step "Sanitizer build and tests"
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan

if [ -x scripts/check-receiver-build.sh ]; then
    step "Receiver build"
    scripts/check-receiver-build.sh
fi

if [ -x scripts/check-browser-build.sh ]; then
    step "Browser build"
    scripts/check-browser-build.sh
fi

if [ -x fuzz/run.sh ]; then
    step "Fuzzing (short runs)"
    fuzz/run.sh 45
fi

if [ -x bench/run.sh ]; then
    step "Benchmarks against their budgets"
    bench/run.sh --check
fi

step "All checks passed"
