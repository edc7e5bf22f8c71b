#!/usr/bin/env bash
# Builds the Windows program with mingw-w64 and runs its tests under wine: the unit, end-to-end
# and platform suites through CTest, then the check that the Linux and the Windows programs
# print the same bytes for the same requests. Exits with the first failing status.
#
# Installs what it needs (Debian packages) when something is missing. The wine prefix lives in
# the build tree (build/windows/wine-prefix) unless WINEPREFIX names another one.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(mingw-w64 wine wine64 googletest zip cmake g++ make)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
if [[ ${#missing[@]} -gt 0 ]]; then
    as_root=()
    [[ $(id -u) -eq 0 ]] || as_root=(sudo)
    echo "test-windows.sh: installing ${missing[*]}"
    "${as_root[@]}" apt-get update
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake --preset windows
cmake --build --preset windows

# The native executables for the comparison, built without tests into the same tree.
native=build/windows/native
cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=Release -DBRELVANE_TESTS=OFF -DBRELVANE_BENCH=OFF \
    > /dev/null
cmake --build "$native" -j2 --target plugin_brelvane brelvane_standin

export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$PWD/build/windows/wine-prefix}
mkdir -p "$WINEPREFIX"
# One persistent server for the whole run: without it every test waits seconds for the server
# to go away. Its standard streams are detached, or CTest would wait on the pipes it inherits.
wineserver -p < /dev/null > /dev/null 2>&1 || true
trap 'wineserver -k > /dev/null 2>&1 || true' EXIT
wineboot < /dev/null > /dev/null 2>&1

status=0
ctest --preset windows < /dev/null || status=$?
if [[ $status -eq 0 ]]; then
    bash tests/cross/same_output.sh "$native" build/windows < /dev/null || status=$?
fi
exit "$status"
