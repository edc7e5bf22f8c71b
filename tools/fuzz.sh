#!/usr/bin/env bash
# Builds the libFuzzer targets (clang with AddressSanitizer and UndefinedBehaviorSanitizer) and
# runs every target for a given time, printing executions and findings per target.
#
#   tools/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]      (default: 60 s, every target)
#
# Environment:
#   FUZZ_BUILD_DIR   build folder (default <repo>/build-fuzz)
#   FUZZ_WORKERS     parallel fuzzing processes per target (default 1; each adds a core)
#
# Each target starts from its committed seeds and regression inputs (fuzz/corpus/<target>, plus
# the quota tool fixtures for the JSON readers) and grows a working corpus in
# <build>/corpus/<target>, which is kept between runs and never committed. Whatever a target
# finds is written to <build>/findings/<target>/; the script then exits 1. To keep a finding as
# a regression case, fix it and copy the input into fuzz/corpus/<target>/.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-60}"
shift || true
build="${FUZZ_BUILD_DIR:-$repo/build-fuzz}"
workers="${FUZZ_WORKERS:-1}"
all_targets=(query_string json_scan account_table post_body quota_output reset_time json_encode)
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=("${all_targets[@]}")
[[ "$seconds" =~ ^[0-9]+$ && "$seconds" -ge 1 ]] || { echo "fuzz.sh: seconds must be a whole number" >&2; exit 2; }

compiler="$(command -v clang++-14 || command -v clang++ || true)"
c_compiler="$(command -v clang-14 || command -v clang || true)"
[[ -n "$compiler" && -n "$c_compiler" ]] || { echo "fuzz.sh: clang is not installed (tools/install-deps.sh)" >&2; exit 2; }

echo "fuzz.sh: building the targets in $build"
mkdir -p "$build/logs"
# CMake drops every other -D setting when it has to switch compilers in an existing cache.
if [[ -f "$build/CMakeCache.txt" ]] &&
    ! grep -qx "CMAKE_CXX_COMPILER:[A-Z]*=$compiler" "$build/CMakeCache.txt"; then
    rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
cmake -S "$repo" -B "$build" -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_C_COMPILER="$c_compiler" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRELVANE_FUZZ=ON -DBRELVANE_TESTS=OFF \
    -DBRELVANE_BENCH=OFF -DBRELVANE_STATIC=OFF >"$build/logs/configure.log" 2>&1 ||
    { cat "$build/logs/configure.log" >&2; exit 2; }
cmake --build "$build" --target fuzz_all -j2 >"$build/logs/build.log" 2>&1 ||
    { tail -50 "$build/logs/build.log" >&2; exit 2; }

seed_dirs() {
    echo "$repo/fuzz/corpus/$1"
    case "$1" in
        json_scan | quota_output) echo "$repo/tests/quota/fixtures" ;;
    esac
}

passed=0
failed=0
for target in "${targets[@]}"; do
    exe="$build/fuzz/fuzz_$target"
    [[ -x "$exe" ]] || { echo "fuzz.sh: no target named $target" >&2; failed=$((failed + 1)); continue; }
    work="$build/corpus/$target"
    findings="$build/findings/$target"
    log="$build/logs/$target.log"
    mkdir -p "$work" "$findings" "$(dirname "$log")"
    seeds=()
    while read -r dir; do
        [[ -d "$dir" ]] && seeds+=("$dir")
    done < <(seed_dirs "$target")
    before=$(find "$findings" -type f | wc -l)
    options=(-max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048
             -artifact_prefix="$findings/" -max_len=65536)
    if [[ "$workers" -gt 1 ]]; then
        options+=(-fork="$workers" -ignore_crashes=1)
    fi
    status=0
    "$exe" "${options[@]}" "$work" "${seeds[@]}" >"$log" 2>&1 || status=$?
    executions=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | awk '{s += $2} END {print s + 0}')
    if [[ "$executions" -eq 0 ]]; then
        # Fork mode reports progress lines instead of final statistics.
        executions=$(grep -o '^#[0-9]*' "$log" | tail -1 | tr -d '#')
        executions=${executions:-0}
    fi
    found=$(( $(find "$findings" -type f | wc -l) - before ))
    corpus=$(find "$work" -type f | wc -l)
    if [[ "$status" -ne 0 || "$found" -gt 0 ]]; then
        failed=$((failed + 1))
        echo "fuzz $target: $executions executions, FINDINGS $found (exit $status), corpus $corpus; log $log"
        grep -E 'ERROR:|property broken|runtime error|SUMMARY' "$log" | head -5 | sed 's/^/    /'
        find "$findings" -type f | head -5 | sed "s/^/    input: /"
    else
        passed=$((passed + 1))
        echo "fuzz $target: $executions executions, 0 findings, corpus $corpus, ${seconds}s"
    fi
done
echo "fuzz: $passed passed, $failed failed"
[[ "$failed" -eq 0 ]]
