#!/usr/bin/env bash
# Builds and runs every test: the native suite (debug, then under AddressSanitizer and
# UndefinedBehaviorSanitizer), then the Windows builds, whose 64-bit suite runs under wine64.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh all

run_native() {
    local preset=$1
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build "build/$preset" -j2
    ctest --preset "$preset" -j2
}

run_native linux-debug
run_native linux-asan

# A bounded fuzzing pass over the whole comparison, seeded with the sample image and its
# patched copy, cut apart by the first two bytes (1,536, little-endian).
echo "== linux-fuzz"
cmake --preset linux-fuzz >/dev/null
cmake --build build/linux-fuzz -j2 --target comparison_fuzz
corpus=build/linux-fuzz/corpus/comparison
mkdir -p "$corpus"
{ printf '\x00\x06'; cat samples/sample.exe samples/sample-patched.exe; } >"$corpus"/sample
build/linux-fuzz/tests/fuzz/comparison_fuzz -max_total_time=20 -max_len=4096 \
    -print_final_stats=0 "$corpus" 2>&1 | tail -n 1
if [ -x scripts/test-windows.sh ]; then
    scripts/test-windows.sh
fi
