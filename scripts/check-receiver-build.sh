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
limit=180   # seconds per simulator run; a hang is a failure, not a stall

step() { printf '\n-- %s --\n' "$*"; }
die() { printf 'check-receiver-build: %s\n' "$*" >&2; exit 1; }
ending() {
    case "$1" in
    1) echo "failed (an expectation or a leak)" ;;
    124) echo "hit the time limit of ${limit}s" ;;
    *) echo "ended with exit code $1" ;;
    esac
}

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

# Each scenario once on the PC and once under emulation, each into a journal
# of its own; a run that hangs is stopped by timeout (exit 124).
step "Scenarios: MIPS under emulation against the PC"
failures=0
for script in tests/scenarios/*.scn; do
    name=$(basename "$script" .scn)
    pc_rc=0
    timeout "$limit" "$host/ringwatcher-sim" run "$script" --program "$host/ringwatcher.tap" --disk demo/disk \
        --goldens tests/golden --screenshots "$work/screenshots" --journal "$work/$name.pc" \
        >"$work/$name.pc.out" 2>&1 || pc_rc=$?
    mips_rc=0
    timeout "$limit" "${qemu[@]}" "$mips/ringwatcher-sim" run "$script" --program "$mips/ringwatcher.tap" \
        --disk demo/disk --journal "$work/$name.mips" >"$work/$name.mips.out" 2>&1 || mips_rc=$?

    problems=()
    if [ "$pc_rc" -ne 0 ] && [ "$pc_rc" -ne 1 ]; then
        problems+=("the PC run $(ending "$pc_rc")")
    fi
    if [ "$mips_rc" -ne 0 ]; then
        problems+=("the MIPS run $(ending "$mips_rc")")
    fi
    if ! diff -u "$work/$name.pc" "$work/$name.mips" >"$work/$name.diff"; then
        problems+=("the journals differ (- PC, + MIPS)")
    fi
    if [ ${#problems[@]} -eq 0 ]; then
        printf 'same  %s (%s journal lines)\n' "$name" "$(wc -l <"$work/$name.mips")"
        [ "$pc_rc" -eq 0 ] || printf '      (the PC run has failures of its own; ctest reports them)\n'
        continue
    fi
    failures=$((failures + 1))
    printf 'FAIL  %s: %s\n' "$name" "$(IFS=';'; echo "${problems[*]}")"
    # Reported in full up to a screenful; sed rather than head, so that a
    # long output cannot end the script through a broken pipe.
    [ "$mips_rc" -eq 0 ] || sed -n '1,30s/^/      mips: /p' "$work/$name.mips.out"
    [ "$pc_rc" -eq 0 ] || [ "$pc_rc" -eq 1 ] || sed -n '1,30s/^/      pc: /p' "$work/$name.pc.out"
    [ ! -s "$work/$name.diff" ] || sed -n '1,60p' "$work/$name.diff"
done
[ "$failures" -eq 0 ] || die "$failures scenario(s) failed under emulation or differ from the PC run"

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
