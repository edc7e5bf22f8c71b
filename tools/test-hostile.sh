#!/usr/bin/env bash
# The hostile-input checks in one command, for CI and by hand: every fuzz target for a short
# time, the hostile-input suite under AddressSanitizer and UndefinedBehaviorSanitizer, the
# end-to-end and hostile-input suites with the plug-in under valgrind memcheck, and a short load
# test through lighttpd. Exits 1 on any finding or failure; the last line counts the steps.
#
#   tools/test-hostile.sh [STEP...]     steps: fuzz sanitizers valgrind load (default: all)
#
# Environment: FUZZ_SECONDS (per target, default 60), LOAD_SECONDS (default 5).
# About 20 minutes on two cores with the defaults (fuzzers 7, builds 5, valgrind 5).
set -uo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
fuzz_seconds="${FUZZ_SECONDS:-60}"
load_seconds="${LOAD_SECONDS:-5}"
steps=("$@")
[[ ${#steps[@]} -gt 0 ]] || steps=(fuzz sanitizers valgrind load)
passed=0
failed=0
failures=()

record() {
    if [[ "$2" -eq 0 ]]; then
        passed=$((passed + 1))
        echo "test-hostile: $1 passed"
    else
        failed=$((failed + 1))
        failures+=("$1")
        echo "test-hostile: $1 FAILED"
    fi
}

# Builds a test tree with the given extra CMake settings.
build_tests() {
    local dir="$1"
    shift
    mkdir -p "$dir"
    cmake -S "$repo" -B "$dir" -DBRELVANE_STATIC=OFF -DBRELVANE_BENCH=OFF "$@" \
        >"$dir/hostile-configure.log" 2>&1 &&
        cmake --build "$dir" -j2 --target e2e_tests hostile_tests >"$dir/hostile-build.log" 2>&1 ||
        { tail -40 "$dir/hostile-configure.log" "$dir/hostile-build.log"; return 1; }
}

run_fuzz() {
    # Each target is one step: fuzz.sh prints one line per target.
    local log status=0
    log="$(mktemp)"
    "$repo/tools/fuzz.sh" "$fuzz_seconds" 2>&1 | tee "$log" || status=1
    if ! grep -q '^fuzz: ' "$log"; then
        record "fuzz (build)" 1
    else
        while read -r _ target rest; do
            [[ "$rest" == *FINDINGS* ]] && record "fuzz $target" 1 || record "fuzz $target" 0
        done < <(grep -E '^fuzz [a-z_]+: ' "$log" | sed 's/:/ /')
    fi
    rm -f "$log"
    return "$status"
}

run_sanitizers() {
    local dir="$repo/build-hostile"
    build_tests "$dir" -DCMAKE_BUILD_TYPE=Debug \
        "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
        "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" || { record "sanitizers (build)" 1; return; }
    "$dir/tests/hostile/hostile_tests"
    record "hostile suite under ASan+UBSan" $?
}

run_valgrind() {
    # A dynamic build: in a static executable memcheck cannot see malloc and free, so it would
    # report no leak whatever happened.
    local dir="$repo/build-valgrind" vg
    vg="$(command -v valgrind)" || { record "valgrind (not installed)" 1; return; }
    build_tests "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo || { record "valgrind (build)" 1; return; }
    export BRELVANE_TEST_WRAPPER="$vg --quiet --error-exitcode=99 --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all"
    # The wrapper must really be in front: memcheck names itself when asked to be verbose.
    local probe
    probe="$($BRELVANE_TEST_WRAPPER -v "$dir/plugin_brelvane" --version 2>&1)"
    grep -q 'Memcheck' <<<"$probe" && grep -q '^plugin_brelvane ' <<<"$probe"
    record "valgrind wrapper runs the plug-in" $?
    "$dir/tests/e2e_tests"
    record "end-to-end suite under valgrind" $?
    # The injection cases take the same paths as the end-to-end suite, many times over; the
    # sanitizer step runs them, so here they would only cost minutes.
    "$dir/tests/hostile/hostile_tests" --gtest_filter='-Injection.*'
    record "hostile suite (faults) under valgrind" $?
    unset BRELVANE_TEST_WRAPPER
}

run_load() {
    "$repo/tools/load_test.sh" "$load_seconds"
    record "load test (${load_seconds}s)" $?
}

started=$SECONDS
for step in "${steps[@]}"; do
    echo "test-hostile: ---- $step"
    case "$step" in
        fuzz) run_fuzz ;;
        sanitizers) run_sanitizers ;;
        valgrind) run_valgrind ;;
        load) run_load ;;
        *) record "unknown step $step" 1 ;;
    esac
done
echo "test-hostile: $((SECONDS - started)) s"
[[ $failed -eq 0 ]] || printf 'test-hostile: failed: %s\n' "${failures[@]}"
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
