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
if [ -x scripts/test-windows.sh ]; then
    scripts/test-windows.sh
fi
