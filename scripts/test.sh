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

# The libFuzzer harnesses (clang, AddressSanitizer + UndefinedBehaviorSanitizer), each run for a
# bounded time from its seeds; a crash, a leak or a broken property fails the run.
FUZZ_SECONDS="${VELKORA_FUZZ_SECONDS:-50}"
echo "=== configure build/fuzz"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKORA_FUZZ=ON \
    > build/fuzz.configure.log 2>&1 || { cat build/fuzz.configure.log; exit 1; }
echo "=== build build/fuzz"
cmake --build build/fuzz -j "$JOBS"
MAILDIRS=(tests/data/mail/maildir tests/data/corpus/maildir)
fuzz() {
    local harness="$1"
    shift
    local corpus="build/fuzz/corpus/$harness"
    mkdir -p "$corpus"
    echo "=== fuzz $harness (${FUZZ_SECONDS} s)"
    "build/fuzz/bin/$harness" -max_total_time="$FUZZ_SECONDS" -timeout=20 -rss_limit_mb=2560 \
        -print_final_stats=1 -artifact_prefix="build/fuzz/$harness-" "$corpus" "$@" \
        > "build/fuzz/$harness.log" 2>&1 || { tail -n 60 "build/fuzz/$harness.log"; return 1; }
    grep -E "stat::number_of_executed_units" "build/fuzz/$harness.log" || true
}
fuzz fuzz_session fuzz/seeds/session
fuzz fuzz_header_extraction "${MAILDIRS[@]}"
fuzz fuzz_encoded_words tests/data/decode "${MAILDIRS[@]}"
fuzz fuzz_iso2022jp "${MAILDIRS[@]}"
fuzz fuzz_cp932 "${MAILDIRS[@]}"
fuzz fuzz_settings_file fuzz/seeds/settings_file
fuzz fuzz_reply_cache_file fuzz/seeds/reply_cache
mkdir -p build/fuzz/seeds/character
build/fuzz/bin/make_character_seeds build/fuzz/seeds/character
fuzz fuzz_character_file build/fuzz/seeds/character fuzz/seeds/character
echo "=== all tests passed in both builds; the fuzzers found nothing"
