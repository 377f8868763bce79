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

# A bounded fuzzing pass over the parsers, the scans and the whole comparison. The sample image
# seeds the PE reader; the sample and its patched copy, cut apart by their first two bytes (1,536
# little-endian), seed the comparison.
echo "== linux-fuzz"
cmake --preset linux-fuzz >/dev/null
cmake --build build/linux-fuzz -j2 --target pe_image_fuzz byte_scan_fuzz command_line_fuzz \
    comparison_fuzz
for target in pe_image byte_scan command_line comparison; do
    corpus=build/linux-fuzz/corpus/$target
    mkdir -p "$corpus"
    [ "$target" = pe_image ] && cp samples/*.exe "$corpus"/
    [ "$target" = comparison ] &&
        { printf '\x00\x06'; cat samples/sample.exe samples/sample-patched.exe; } >"$corpus"/sample
    "build/linux-fuzz/tests/fuzz/${target}_fuzz" -max_total_time=20 -max_len=4096 \
        -print_final_stats=0 "$corpus" 2>&1 | tail -n 1
done
if [ -x scripts/test-windows.sh ]; then
    scripts/test-windows.sh
fi
