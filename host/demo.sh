#!/usr/bin/env bash
# Quick start: builds the plug-in and serves it with demo accounts on 127.0.0.1 until Ctrl-C.
#
#   host/demo.sh                 (from the repository root, as root on a fresh Debian 12)
#   PORT=9090 host/demo.sh       another port (default 8080)
#   NODE_PASSWORD=pw host/demo.sh   guard the demo with a node password
#
# Installs what is missing (tools/install-deps.sh), builds the release preset, prepares fresh
# demo data in build/demo/data (reset times counted from now, selection back to the default),
# starts lighttpd through host/server.sh and stays in the foreground; Ctrl-C stops the server.
# The state folder build/demo/server keeps the logs for a look afterwards.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo"

tools/install-deps.sh
cmake --preset release
# Only what the demo runs: the quick start need not wait for the test suites to compile.
cmake --build --preset release --target plugin_brelvane brelvane_standin

demo_root="$repo/build/demo"
export BUILD_DIR="$repo/build/release"
export SERVER_DIR="$demo_root/server"
export DEMO_DIR="$demo_root/data"
export SERVER_PORT="${PORT:-8080}"

rm -rf "$DEMO_DIR"
host/make_demo.sh "$DEMO_DIR"
mkdir -p "$SERVER_DIR/www"
cat >"$SERVER_DIR/www/index.html" <<'EOF'
<!doctype html>
<meta charset="utf-8">
<title>plugin_brelvane demo</title>
<p><a href="/plugin_brelvane">Open the account quota dashboard</a></p>
EOF

sleeper=""
stop_server() {
    trap - EXIT INT TERM
    if [[ -n "$sleeper" ]]; then kill "$sleeper" 2>/dev/null || true; fi
    echo
    echo "Stopping the demo server."
    host/server.sh stop
}

port="$(host/server.sh start)"
trap stop_server EXIT
trap 'exit 0' INT TERM

cat <<EOF

The demo is running. Open:

    http://127.0.0.1:$port/plugin_brelvane

Hub-mode address: http://127.0.0.1:$port/plugins?plugin=brelvane
JSON API:         http://127.0.0.1:$port/plugin_brelvane?action=status
Logs:             $SERVER_DIR/logs
Press Ctrl-C to stop.
EOF
if [[ -n "${NODE_PASSWORD:-}" ]]; then
    echo "A node password is set: add ?pwd=<password> to the dashboard address."
fi

# Wait in the background so Ctrl-C reaches the trap at once.
while true; do
    sleep 3600 &
    sleeper=$!
    wait "$sleeper" || true
done
