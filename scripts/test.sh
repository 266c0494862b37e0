#!/usr/bin/env bash
# Builds and runs every test: an AddressSanitizer + UndefinedBehaviorSanitizer
# build of everything, a ThreadSanitizer build of the threaded tests, and a
# short libFuzzer run of each fuzz target when clang is present.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" x11-utils clang libclang-rt-14-dev
ensure_office_packages

root=$PWD
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=suppressions=$root/scripts/tsan.supp:halt_on_error=1:second_deadlock_stack=1

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build =="
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKELVALOG_SANITIZE=address \
    "${OFFICE_CMAKE_ARGS[@]}"
cmake --build build/asan
ctest --test-dir build/asan --output-on-failure -j2

echo "== ThreadSanitizer build (threaded tests) =="
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVALOG_SANITIZE=thread
cmake --build build/tsan
ctest --test-dir build/tsan --output-on-failure --no-tests=ignore -L threaded

if command -v clang++ >/dev/null; then
    echo "== libFuzzer runs =="
    cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKELVALOG_FUZZ=ON
    cmake --build build/fuzz
    for fuzzer in build/fuzz/fuzz/fuzz_*; do
        [ -x "$fuzzer" ] || continue
        name=$(basename "$fuzzer")
        corpus=build/fuzz/corpus/$name
        mkdir -p "$corpus"
        seeds=fuzz/seeds/$name
        [ -d "$seeds" ] || seeds=
        echo "-- $name (30 s)"
        log=build/fuzz/$name.log
        if ! "$fuzzer" -max_total_time=30 -print_final_stats=1 "$corpus" $seeds >"$log" 2>&1; then
            tail -n 60 "$log"
            echo "$name found a fault"
            exit 1
        fi
        grep -E '^stat::number_of_executed_units' "$log" || true
    done
fi
echo "All test stages passed."
