#!/usr/bin/env bash
# Builds the optimised program and runs the benchmarks against GNU cmp on data made here.
# Usage: bench/run.sh [runs]   (the data, about 3.5 GiB written anew each run, goes to
# build/bench-data; run as root, it also times the identical pair with the page cache dropped;
# BASELINE=path/to/an/earlier/tandrel times that build beside it)
set -euo pipefail
cd "$(dirname "$0")/.."
# GNU time measures the peak memory.
[ -x /usr/bin/time ] || DEBIAN_FRONTEND=noninteractive apt-get install -y -q time >/dev/null
# The aligned cases time xdelta3 beside --align.
command -v xdelta3 >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -q xdelta3 >/dev/null
cmake --preset linux-release -DTANDREL_BUILD_BENCH=ON >/dev/null
cmake --build build/linux-release -j2 >/dev/null
# A missed target still lets the dialog benchmark run; the exit status tells it afterwards.
status=0
python3 bench/compare_with_cmp.py --tandrel build/linux-release/app/tandrel \
    --floors build/linux-release/bench --data build/bench-data --samples samples \
    --runs "${1:-5}" ${BASELINE:+--baseline "$BASELINE"} || status=$?
python3 bench/many_sections.py --tandrel build/linux-release/app/tandrel \
    --data build/bench-data --runs "${1:-5}" || status=$?
python3 bench/instructions.py --tandrel build/linux-release/app/tandrel \
    --data build/bench-data --runs "${1:-5}" || status=$?
# The aligned comparison (--align) beside the fixed-offset run, cmp -l and xdelta3.
python3 bench/align_cases.py --tandrel build/linux-release/app/tandrel \
    --data build/bench-data --runs "${1:-5}" || status=$?
# Folders: 1,000 small pairs in one run, an identical copy of a library folder, and the memory
# on 10,000 files.
python3 bench/trees.py --tandrel build/linux-release/app/tandrel --data build/bench-data \
    --runs "${1:-5}" || status=$?
# The dialog's comparison up to the 300,000-character stop, where a backend benchmark exists.
for tool in build/linux-release/bench/qt/*_bench; do
    [ -x "$tool" ] && QT_QPA_PLATFORM=offscreen "$tool"
done
exit "$status"
