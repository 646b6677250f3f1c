#!/usr/bin/env bash
# Installs what is missing, builds the program, the simulator and the two
# tools receiver owners use, and runs the demo: the program in the simulated
# receiver, a fake router playing an afternoon of calls over and over, and
# the TV screen with a remote control in the browser.
#   PORT=8081 ./demo.sh            the page on another port
#   ./demo.sh --echo ...           further arguments go to ringwatcher-sim live
set -euo pipefail
cd "$(dirname "$0")"
port="${PORT:-8080}"
if ! [[ "$port" =~ ^[0-9]+$ ]] || [ "$port" -lt 1 ] || [ "$port" -gt 65535 ]; then
    echo "PORT must be a number from 1 to 65535, not \"${port}\"; for example PORT=8081 ./demo.sh" >&2
    exit 2
fi
if (exec 3<>"/dev/tcp/127.0.0.1/${port}") 2>/dev/null; then
    echo "Port ${port} is already in use (is another demo running?)." >&2
    echo "Start the demo on another port:  PORT=8081 ./demo.sh" >&2
    exit 1
fi
scripts/install-deps.sh --demo-only
cmake --preset host >/dev/null
cmake --build --preset host --target ringwatcher_tap ringwatcher-sim ringwatcher-book ringwatcher-fakerouter
echo "Open http://localhost:${port}/ in a browser (Ctrl-C ends the demo)."
exec build/host/ringwatcher-sim live --program build/host/ringwatcher.tap --disk demo/disk \
    --fakerouter tools/fakerouter/demo.calls --loop --http "$port" "$@"
