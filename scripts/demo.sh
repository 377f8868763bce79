#!/usr/bin/env bash
# Builds tandrel and compares the bundled sample pair: a small PE32 image and a patched copy.
# The report is written to build/demo-report.txt and printed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh native
cmake --preset linux-release
cmake --build build/linux-release -j2 --target tandrel
build/linux-release/app/tandrel samples/sample.exe samples/sample-patched.exe build/demo-report.txt
cat build/demo-report.txt
