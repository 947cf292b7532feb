#!/usr/bin/env bash
# Installs, builds and runs every test: the whole program with the default
# preset, then the Qt-free cores again under AddressSanitizer/UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs" --timeout 600

cmake --preset asan -B build/asan-cores -DVELORAN_WITH_QT=OFF >/dev/null
cmake --build build/asan-cores -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build/asan-cores -j "$jobs" --output-on-failure --timeout 600
