#!/usr/bin/env bash
# Load and concurrency through the local lighttpd on 127.0.0.1: concurrent clients mix status,
# one-account quota (stand-in tool) and switches between two accounts for a bounded time, while
# a reader checks the selected-account file continuously. Prints requests per second, latency
# percentiles, 5xx answers and empty or partial reads of the file; exits 1 unless all are clean.
#
#   tools/load_test.sh [SECONDS] [CLIENTS]      (default: 30 s, 8 clients; CI runs 5 s)
#
# Environment: LOAD_BUILD_DIR (default <repo>/build-load): built here as a static release, the
# way the node runs the plug-in, together with the stand-in tool and the load client.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-30}"
clients="${2:-8}"
build="${LOAD_BUILD_DIR:-$repo/build-load}"
[[ "$seconds" =~ ^[0-9]+$ && "$seconds" -ge 1 && "$seconds" -le 600 ]] ||
    { echo "load_test.sh: seconds must be 1 to 600" >&2; exit 2; }

echo "load_test.sh: building in $build"
mkdir -p "$build"
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBRELVANE_BENCH=OFF \
    >"$build/load-configure.log" 2>&1 || { cat "$build/load-configure.log" >&2; exit 2; }
cmake --build "$build" --target plugin_brelvane brelvane_standin load_client -j2 \
    >"$build/load-build.log" 2>&1 || { tail -40 "$build/load-build.log" >&2; exit 2; }

state="$(mktemp -d "${TMPDIR:-/tmp}/brelvane-load.XXXXXX")"
demo="$state/demo"
mkdir -p "$demo/answers"
account_a="load-a@x.org"
account_b="load-b@x.org"
printf '[{"email":"%s","refresh_token":"t"},{"email":"%s"}]\n' "$account_a" "$account_b" \
    >"$demo/antigravity_accounts.json"
printf '%s\n' "$account_a" >"$demo/selected_account.txt"
for account in "$account_a" "$account_b"; do
    cp "$repo/tests/quota/fixtures/full_answer.json" "$demo/answers/$account.json"
done

export SERVER_DIR="$state/server" SERVER_PORT=0 BUILD_DIR="$build" DEMO_DIR="$demo"
unset NODE_PASSWORD STANDIN_LOG
stop_server() {
    "$repo/host/server.sh" stop >/dev/null 2>&1 || true
    rm -rf "$state"
}
trap stop_server EXIT
port="$("$repo/host/server.sh" start)"
echo "load_test.sh: lighttpd on 127.0.0.1:$port, $clients clients for ${seconds}s"

status=0
"$build/tests/hostile/load_client" "$port" "$seconds" "$clients" \
    "$demo/selected_account.txt" "$account_a" "$account_b" || status=$?

# The plug-in writes nothing to standard error; anything there came from a failure.
cgi_errors="$SERVER_DIR/logs/cgi-stderr.log"
if [[ -s "$cgi_errors" ]]; then
    echo "load_test.sh: the plug-in wrote to standard error:" >&2
    head -5 "$cgi_errors" >&2
    status=1
fi
leftovers=$(find "$demo" -name '*.tmp' | wc -l)
echo "temporary_files_left $leftovers"
[[ "$leftovers" -eq 0 ]] || status=1
if [[ "$status" -eq 0 ]]; then
    echo "load: 1 passed, 0 failed"
else
    echo "load: 0 passed, 1 failed"
fi
exit "$status"
