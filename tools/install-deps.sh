#!/usr/bin/env bash
# Installs the Debian packages the project needs to build, test and run locally; safe to repeat.
#
# Packages already installed are left alone, and when all are there nothing is fetched at all.
# Needs root (or sudo) only when something is missing.
set -euo pipefail

build_packages=(cmake g++ make)
test_packages=(libgtest-dev libgmock-dev libbenchmark-dev)
server_packages=(lighttpd curl)
# Fuzzing needs clang with its runtime libraries (libFuzzer, sanitizers); the memory check needs
# valgrind; the full-disk test needs unshare from util-linux.
hostile_packages=(clang-14 libclang-rt-14-dev valgrind util-linux)

# The dashboard's browser tests drive Debian's Chromium from Node with playwright-core (npm).
browser_packages=(chromium)
command -v node >/dev/null && command -v npm >/dev/null || browser_packages+=(nodejs npm)

wanted=("${build_packages[@]}" "${test_packages[@]}" "${server_packages[@]}"
        "${hostile_packages[@]}" "${browser_packages[@]}")

is_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing=()
for package in "${wanted[@]}"; do
    is_installed "$package" || missing+=("$package")
done
if [[ ${#missing[@]} -eq 0 ]]; then
    echo "install-deps.sh: all packages present"
    exit 0
fi

as_root=()
if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || {
        echo "install-deps.sh: missing ${missing[*]}; run as root" >&2
        exit 1
    }
    as_root=(sudo)
fi

echo "install-deps.sh: installing ${missing[*]}"
"${as_root[@]}" apt-get update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "${missing[@]}"
