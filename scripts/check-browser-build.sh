#!/usr/bin/env bash
# Builds the browser build (Emscripten) and proves it: the site stays small,
# the scenario suite runs in the module under Node.js and must journal
# exactly what the PC run journals, and the static site passes its tests in
# Debian's Chromium. Needs the PC build in build/host.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/scenario-journals.sh

site=build/wasm/site
maxSiteBytes=$((2 * 1024 * 1024))

step() { printf '\n-- %s --\n' "$*"; }
die() { printf 'check-browser-build: %s\n' "$*" >&2; exit 1; }
for tool in build/host/ringwatcher-sim build/host/ringwatcher.tap; do
    [ -e "$tool" ] || die "$tool is missing: build the PC preset first (cmake --build --preset host)"
done

work=$(mktemp -d /tmp/rw-browser-check-XXXXXX)
trap 'rm -rf "$work"' EXIT

step "Browser build (wasm)"
cmake --preset wasm >/dev/null
cmake --build --preset wasm

step "The site's size"
bytes=$(find "$site" -type f -printf '%s\n' | awk '{ total += $1 } END { print total }')
ls -l "$site"
printf '%s bytes in all (at most %s)\n' "$bytes" "$maxSiteBytes"
[ "$bytes" -le "$maxSiteBytes" ] || die "the site has grown beyond 2 MB"

step "Scenarios: the module under Node.js against the PC"
compare_journals wasm "$work" node build/wasm/ringwatcher-sim.js run || die "the browser build differs from the PC"

step "The site in Chromium"
tests/browser/run.sh --site
