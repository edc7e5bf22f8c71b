#!/usr/bin/env bash
# Runs the dashboard's browser tests against the built executable behind lighttpd (host/server.sh).
#
#   tests/web/run.sh [BUILD_DIR]     (default: $BUILD_DIR, else <repo>/build-web)
#
# Installs playwright-core from the lock file when node_modules is missing; it drives Debian's
# /usr/bin/chromium and never downloads a browser. Test files run one after another (one Chromium
# at a time); node's test runner prints its summary at the end. Screenshots of the 64-account demo
# land in BUILD_DIR/web-artifacts.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
if [[ $# -ge 1 ]]; then export BUILD_DIR="$1"; fi
export BUILD_DIR="${BUILD_DIR:-$here/../../build-web}"
export PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1

[[ -x /usr/bin/chromium ]] || { echo "run.sh: /usr/bin/chromium is missing (apt-get install chromium)" >&2; exit 1; }
cd "$here"
if [[ ! -d node_modules/playwright-core ]]; then
    npm ci --no-audit --no-fund
fi
exec node --test --test-concurrency=1 ./*.test.mjs
