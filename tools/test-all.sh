#!/usr/bin/env bash
# Installs what the tests need and runs every suite: the native release build (unit,
# end-to-end, local server, browser), the same under AddressSanitizer and UndefinedBehavior-
# Sanitizer, the Windows build under wine, and the hostile-input checks (short fuzz runs,
# valgrind, a short load test). Stops at the first suite that fails.
set -euo pipefail
cd "$(dirname "$0")/.."

step() { printf '\n=== %s\n' "$*"; }

step "dependencies"
bash tools/install-deps.sh

step "release build and tests"
cmake --preset release
cmake --build --preset release
ctest --preset release

step "sanitizer build and tests (browser tests run once, above)"
cmake --preset asan
cmake --build --preset asan
ctest --preset asan -LE web

step "Windows build, tests under wine"
bash tools/test-windows.sh

step "hostile input, faults and load"
bash tools/test-hostile.sh
