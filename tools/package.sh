#!/usr/bin/env bash
# Builds the release executables for Linux and Windows and packs them for operators:
#   dist/plugin_brelvane-<version>-linux-x64.tar.gz   plugin_brelvane and README.txt
#   dist/plugin_brelvane-<version>-windows-x64.zip    plugin_brelvane.exe and README.txt
# The version is the one in CMakeLists.txt. Each archive holds one folder named like it.
set -euo pipefail
cd "$(dirname "$0")/.."

version=$(sed -n 's/^project(plugin_brelvane VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
[[ -n $version ]] || { echo "package.sh: no version in CMakeLists.txt" >&2; exit 1; }

for tool in x86_64-w64-mingw32-g++-posix zip; do
    command -v "$tool" > /dev/null ||
        { echo "package.sh: $tool missing (apt-get install mingw-w64 zip)" >&2; exit 1; }
done

# Only the executables: the tests are not needed for a package.
linux_build=build/package/linux
windows_build=build/package/windows
cmake -S . -B "$linux_build" -DCMAKE_BUILD_TYPE=Release -DBRELVANE_TESTS=OFF \
    -DBRELVANE_BENCH=OFF > /dev/null
cmake --build "$linux_build" -j2 --target plugin_brelvane
cmake -S . -B "$windows_build" -DCMAKE_BUILD_TYPE=Release -DBRELVANE_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" > /dev/null
cmake --build "$windows_build" -j2 --target plugin_brelvane

# Nothing but the system's own DLLs may be needed on Windows.
imports=$(x86_64-w64-mingw32-objdump -p "$windows_build/plugin_brelvane.exe" |
          sed -n 's/^\tDLL Name: //p' | sort | tr '\n' ' ')
if [[ $imports != "KERNEL32.dll msvcrt.dll " ]]; then
    echo "package.sh: plugin_brelvane.exe imports $imports" >&2
    exit 1
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p dist
readme() { sed "s/@VERSION@/$version/g" packaging/README-operator.txt; }
# Same bytes for the same sources: fixed times, owners and order.
stamp=$(git log -1 --format=%ct 2>/dev/null || date +%s)

linux_name=plugin_brelvane-$version-linux-x64
mkdir "$stage/$linux_name"
install -m 755 "$linux_build/plugin_brelvane" "$stage/$linux_name/plugin_brelvane"
strip "$stage/$linux_name/plugin_brelvane"
readme > "$stage/$linux_name/README.txt"
tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$stamp" \
    -czf "dist/$linux_name.tar.gz" "$linux_name"

windows_name=plugin_brelvane-$version-windows-x64
mkdir "$stage/$windows_name"
install -m 644 "$windows_build/plugin_brelvane.exe" "$stage/$windows_name/plugin_brelvane.exe"
x86_64-w64-mingw32-strip "$stage/$windows_name/plugin_brelvane.exe"
# Windows editors expect CR LF line ends in a text file.
readme | sed 's/$/\r/' > "$stage/$windows_name/README.txt"
touch -d "@$stamp" "$stage/$windows_name" "$stage/$windows_name"/*
rm -f "dist/$windows_name.zip"
(cd "$stage" && zip -q -X -r "$OLDPWD/dist/$windows_name.zip" "$windows_name")

ls -l "dist/$linux_name.tar.gz" "dist/$windows_name.zip"
