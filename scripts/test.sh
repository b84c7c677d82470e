#!/bin/bash
# Builds Velkora twice (normal, and with AddressSanitizer + UndefinedBehaviorSanitizer) and runs
# every test in both builds. Exits non-zero on any failure.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

bash scripts/setup.sh

JOBS="$(nproc)"

run_suite() {
    local dir="$1"
    shift
    echo "=== configure $dir $*"
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" > "$dir.configure.log" 2>&1 ||
        { cat "$dir.configure.log"; return 1; }
    echo "=== build $dir"
    cmake --build "$dir" -j "$JOBS"
    echo "=== test $dir"
    ctest --test-dir "$dir" --output-on-failure -j "$JOBS"
}

mkdir -p build
run_suite build/release -DVELKORA_SANITIZE=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_suite build/sanitize -DVELKORA_SANITIZE=ON -DVELKORA_BENCH=OFF
echo "=== all tests passed in both builds"
