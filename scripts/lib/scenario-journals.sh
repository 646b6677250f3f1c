# Sourced by the scripts that check another build of the simulator against
# the PC's: every scenario once on the PC and once in the other build, each
# into a journal of its own, which must be the same. A run that hangs is
# stopped by timeout (exit 124). Needs the PC build in build/host.
#
#   compare_journals LABEL WORK COMMAND...
# runs COMMAND SCRIPT --disk demo/disk --journal FILE for each script
# (COMMAND ends in the runner's "run" and its own options);
# returns 1 when a scenario failed there or journaled otherwise.

limit=${limit:-180} # seconds per simulator run; a hang is a failure, not a stall

ending() {
    case "$1" in
    1) echo "failed (an expectation or a leak)" ;;
    124) echo "hit the time limit of ${limit}s" ;;
    *) echo "ended with exit code $1" ;;
    esac
}

compare_journals() {
    local label=$1 work=$2
    shift 2
    local failures=0 script name pc_rc other_rc problems
    for script in tests/scenarios/*.scn; do
        name=$(basename "$script" .scn)
        pc_rc=0
        timeout "$limit" build/host/ringwatcher-sim run "$script" --program build/host/ringwatcher.tap \
            --disk demo/disk --goldens tests/golden --screenshots "$work/screenshots" --journal "$work/$name.pc" \
            >"$work/$name.pc.out" 2>&1 || pc_rc=$?
        other_rc=0
        timeout "$limit" "$@" "$script" --disk demo/disk --journal "$work/$name.other" \
            >"$work/$name.other.out" 2>&1 || other_rc=$?

        problems=()
        if [ "$pc_rc" -ne 0 ] && [ "$pc_rc" -ne 1 ]; then
            problems+=("the PC run $(ending "$pc_rc")")
        fi
        if [ "$other_rc" -ne 0 ]; then
            problems+=("the $label run $(ending "$other_rc")")
        fi
        if ! diff -u "$work/$name.pc" "$work/$name.other" >"$work/$name.diff"; then
            problems+=("the journals differ (- PC, + $label)")
        fi
        if [ ${#problems[@]} -eq 0 ]; then
            printf 'same  %s (%s journal lines)\n' "$name" "$(wc -l <"$work/$name.other")"
            [ "$pc_rc" -eq 0 ] || printf '      (the PC run has failures of its own; ctest reports them)\n'
            continue
        fi
        failures=$((failures + 1))
        printf 'FAIL  %s: %s\n' "$name" "$(IFS=';'; echo "${problems[*]}")"
        # Reported in full up to a screenful; sed rather than head, so that a
        # long output cannot end the script through a broken pipe.
        [ "$other_rc" -eq 0 ] || sed -n "1,30s/^/      $label: /p" "$work/$name.other.out"
        [ "$pc_rc" -eq 0 ] || [ "$pc_rc" -eq 1 ] || sed -n '1,30s/^/      pc: /p' "$work/$name.pc.out"
        [ ! -s "$work/$name.diff" ] || sed -n '1,60p' "$work/$name.diff"
    done
    [ "$failures" -eq 0 ] || {
        printf '%s scenario(s) failed in the %s build or differ from the PC run\n' "$failures" "$label" >&2
        return 1
    }
}
