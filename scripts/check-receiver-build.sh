#!/usr/bin/env bash
# Builds the receiver program for MIPS and proves it without a receiver:
# tapcheck inspects the file, the scenario suite runs under CPU emulation and
# must journal exactly what the PC run journals, and the ZIP package is made,
# listed and its sample disk run once. Needs the PC build in build/host.
set -euo pipefail
cd "$(dirname "$0")/.."

host=build/host
mips=build/mipsel
qemu=(qemu-mipsel -L /usr/mipsel-linux-gnu)
source scripts/lib/scenario-journals.sh

step() { printf '\n-- %s --\n' "$*"; }
die() { printf 'check-receiver-build: %s\n' "$*" >&2; exit 1; }
for tool in "$host/ringwatcher-sim" "$host/ringwatcher.tap" "$host/tools/tapcheck/tapcheck"; do
    [ -e "$tool" ] || die "$tool is missing: build the PC preset first (cmake --build --preset host)"
done
command -v qemu-mipsel >/dev/null || die "qemu-mipsel is missing (Debian: qemu-user)"

work=$(mktemp -d /tmp/rw-receiver-check-XXXXXX)
trap 'rm -rf "$work"' EXIT

step "Receiver build (mipsel)"
cmake --preset mipsel >/dev/null
cmake --build --preset mipsel

step "tapcheck $mips/ringwatcher.tap"
"$host/tools/tapcheck/tapcheck" "$mips/ringwatcher.tap"

step "Scenarios: MIPS under emulation against the PC"
compare_journals MIPS "$work" "${qemu[@]}" "$mips/ringwatcher-sim" run --program "$mips/ringwatcher.tap" ||
    die "the MIPS build differs from the PC"

step "Package"
rm -f "$mips"/ringwatcher-*-mipsel.zip
(cd "$mips" && cpack -G ZIP >/dev/null)
zips=("$mips"/ringwatcher-*-mipsel.zip)
[ -f "${zips[0]}" ] || die "cpack made no ringwatcher-<version>-mipsel.zip"
zip=${zips[0]}
echo "$zip"
cmake -E tar tvf "$zip"

# The package as the receiver's disk: its own program file must pass
# tapcheck and start without a message with the sample files.
mkdir "$work/package"
zip_path=$(realpath "$zip")
(cd "$work/package" && cmake -E tar xf "$zip_path")
"$host/tools/tapcheck/tapcheck" "$work/package/ProgramFiles/ringwatcher.tap" >/dev/null ||
    die "the packed program file fails tapcheck"
timeout "$limit" "${qemu[@]}" "$mips/ringwatcher-sim" run packaging/package-check.scn \
    --program "$work/package/ProgramFiles/ringwatcher.tap" --disk "$work/package" ||
    die "the package's sample disk does not run cleanly"

step "Receiver build checked"
