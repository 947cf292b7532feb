#!/usr/bin/env bash
# Installs, builds and runs every test: the whole program with the default
# preset, the Qt-free cores again under AddressSanitizer/UBSan, the tests
# that start threads (ctest label "threaded") under ThreadSanitizer, and the
# fuzz targets live for a few seconds each. Every stage runs even when an
# earlier one failed; the result of each is printed at the end, and the
# script fails when any stage did. A failed installation stops it at once.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --tests
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

stages=()
failed=0
# Runs one stage in a subshell that stops at its first failing command
# (not as an if's condition: there bash would ignore set -e) and notes how
# it ended.
stage() {
    local name=$1 status
    shift
    echo "==== stage $name"
    set +e
    (set -e; "$@")
    status=$?
    set -e
    if [ "$status" -eq 0 ]; then
        stages+=("$name: passed")
    else
        stages+=("$name: FAILED (exit $status)")
        failed=1
    fi
}

default_stage() {
    cmake --preset default >/dev/null
    cmake --build --preset default -j "$jobs"
    ctest --preset default -j "$jobs" --timeout 600
}

asan_stage() {
    cmake --preset asan -B build/asan-cores -DVELORAN_WITH_QT=OFF >/dev/null
    cmake --build build/asan-cores -j "$jobs"
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --test-dir build/asan-cores -j "$jobs" --output-on-failure --timeout 600
}

# A test opts in by carrying the label "threaded" (veloran_add_gtest LABELS);
# the target threaded_tests builds just those, Qt's among them.
tsan_stage() {
    cmake --preset tsan -B build/tsan-threaded >/dev/null
    cmake --build build/tsan-threaded -j "$jobs" --target threaded_tests
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/support/tsan-qt.supp" \
        ctest --test-dir build/tsan-threaded -L threaded -j "$jobs" --output-on-failure --timeout 600
}

# The fuzz targets under clang's libFuzzer: each replays its seed corpus and
# runs live for VELORAN_FUZZ_SECONDS (10), several at once (label "fuzz").
fuzz_stage() {
    cmake --preset fuzz -B build/fuzz >/dev/null
    cmake --build build/fuzz -j "$jobs" --target fuzz_targets
    ctest --test-dir build/fuzz -L fuzz -j "$jobs" --output-on-failure --timeout 600
}

stage default default_stage
stage asan-cores asan_stage
stage tsan-threaded tsan_stage
stage fuzz fuzz_stage

echo "==== results"
printf '%s\n' "${stages[@]}"
exit "$failed"
