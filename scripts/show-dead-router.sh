#!/usr/bin/env bash
# Shows over real TCP, on the PC's own kernel, how the program fares with a
# router that vanishes without a word and with a connection request that
# gets no answer. The simulator runs the program on the real clock against
# the fake router, both in a network namespace of their own (unshare -rn:
# no root needed, nothing outside is touched), where a "blackhole" queueing
# discipline on the namespace's loopback drops every packet, as a power cut
# of the router would. Prints the times it measures; takes about two
# minutes. Needs the PC build in build/host.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" != "--inside" ]; then
    exec unshare -rn "$0" --inside
fi

host=build/host
port=1012
work=$(mktemp -d /tmp/rw-dead-router-XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    [ -n "${KEEP:-}" ] && echo "kept $work" || rm -rf "$work"
}
trap cleanup EXIT

ip link set lo up
cp -r demo/disk "$work/disk"
printf 'StartupConnectDelay = 5\n' >"$work/disk/ProgramFiles/Settings/Ringwatcher/ringwatcher.ini"

mkfifo "$work/router.in"
"$host/tools/fakerouter/ringwatcher-fakerouter" --port "$port" <"$work/router.in" >"$work/router.out" 2>&1 &
pids+=($!)
exec 3>"$work/router.in"

now() { date +%s.%N; }
# Each journal line stamped as it comes (perl, not a date per line, which
# would fall behind the journal).
: >"$work/journal"
# The journal of a blocked event reaches the pipe only when the event ends,
# so the blocking connect is timed by strace where it is at hand.
trace=()
if command -v strace >/dev/null; then
    trace=(strace -f -T -e trace=connect -o "$work/strace")
fi
"${trace[@]}" "$host/ringwatcher-sim" live --router "127.0.0.1:$port" --no-page --echo --disk "$work/disk" 2>&1 |
    perl -MTime::HiRes=time -ne '$| = 1; printf "%.3f %s", time, $_' >"$work/journal" &
pids+=($!)

# Seconds of the first journal line holding TEXT after line number FROM, waiting up to LIMIT s.
when() {
    local text=$1 from=$2 limit=$3 waited=0
    while [ "$waited" -lt $((limit * 10)) ]; do
        local hit
        hit=$(tail -n +"$((from + 1))" "$work/journal" | grep -F -m1 -- "$text" | cut -d' ' -f1 || true)
        if [ -n "$hit" ]; then
            echo "$hit"
            return 0
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    echo "never (waited ${limit}s for: $text)" >&2
    return 1
}
lines() { wc -l <"$work/journal"; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; }

when 'Connected to fritz box' 0 30 >/dev/null
echo "connected; the router now vanishes (every packet on the loopback dropped)"
mark=$(lines)
gone=$(now)
tc qdisc add dev lo root blackhole
lost=$(when 'Verbindung zu Fritz Box unterbrochen' "$mark" 300)
echo "vanished router noticed after $(elapsed "$gone" "$lost") s"

mark=$(lines)
failed=$(when 'Error connecting to fritz box' "$mark" 300)
if [ -f "$work/strace" ]; then
    blocked=$(grep -F 'EINPROGRESS' "$work/strace" | grep -o '<[0-9.]*>' | tr -d '<>' | head -1)
    echo "connection request into the black hole blocked ${blocked} s, then failed (EINPROGRESS)"
fi

tc qdisc del dev lo root
mark=$(lines)
back=$(when 'Connected to fritz box' "$mark" 60)
echo "router back: connected again $(elapsed "$failed" "$back") s after the failed attempt"
echo "ring 0 0301234567 5550001" >&3
when 'Eingehender Anruf' "$mark" 10 >/dev/null && echo "the next call is shown"
