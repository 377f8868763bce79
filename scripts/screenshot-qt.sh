#!/usr/bin/env bash
# Renders the Qt dialog after comparing the sample pair, as QWidget::grab() sees its client
# area, to docs/screenshots/linux.png. Needs no display: Qt's offscreen platform draws it.
# Usage: scripts/screenshot-qt.sh [build-dir]   (default build/screenshot)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/screenshot}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTANDREL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target tandrel_qt_screenshot >/dev/null
mkdir -p docs/screenshots
QT_QPA_PLATFORM=offscreen "$build/tools/screenshot/tandrel_qt_screenshot" \
    samples/sample.exe samples/sample-patched.exe docs/screenshots/linux.png
echo "wrote docs/screenshots/linux.png"
