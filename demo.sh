#!/usr/bin/env bash
# Installs what is missing, builds the program and the simulator, and runs
# the demo: the program in the simulated receiver, a fake router playing an
# afternoon of calls, and the TV screen with a remote control in the browser.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh --demo-only
cmake --preset host >/dev/null
cmake --build --preset host --target ringwatcher_tap ringwatcher-sim
port="${PORT:-8080}"
echo "Open http://localhost:${port}/ in a browser (Ctrl-C ends the demo)."
exec build/host/ringwatcher-sim live --program build/host/ringwatcher.tap --disk demo/disk \
    --fakerouter tools/fakerouter/demo.calls --http "$port" "$@"
