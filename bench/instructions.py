#!/usr/bin/env python3
"""Times --instructions on a real DLL: a copy of the mingw-w64 C++ runtime (PE32+, about 1.1 MiB
of code) with 1,000 bytes changed, spread evenly over its code section. Compares
`--format=jsonl --instructions` with `--format=jsonl` alone, alternating runs, and prints the
medians, their ratio (the target: at most 2) and the peak memory of the instruction run (the
target: at most 48 MiB).

Usage: bench/instructions.py --tandrel build/linux-release/app/tandrel --data DIR [--runs N]
       [--dll PATH]
"""
import argparse
import glob
import os
import statistics
import struct
import subprocess
import time

CHANGES = 1000
MEMORY_LIMIT_KIB = 48 * 1024


def code_section(data):
    """The file offset and length of the first executable section's raw data."""
    lfanew = struct.unpack_from("<I", data, 60)[0]
    count, = struct.unpack_from("<H", data, lfanew + 6)
    optional, = struct.unpack_from("<H", data, lfanew + 20)
    table = lfanew + 24 + optional
    for k in range(count):
        entry = table + 40 * k
        virtual_size, _, raw_size, raw_start = struct.unpack_from("<IIII", data, entry + 8)
        flags, = struct.unpack_from("<I", data, entry + 36)
        if flags & 0x20000020:
            return raw_start, min(raw_size, virtual_size or raw_size)
    raise SystemExit("no code section")


def timed(command):
    """Wall time and peak memory (KiB) of one run, through GNU time."""
    start = time.perf_counter()
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, stderr=subprocess.PIPE,
                            text=True)
    elapsed = time.perf_counter() - start
    if result.returncode != 0:
        raise SystemExit("tandrel exited %d: %s" % (result.returncode, result.stderr))
    return elapsed, int(result.stderr.strip().splitlines()[-1])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tandrel", required=True)
    parser.add_argument("--data", required=True)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--dll")
    args = parser.parse_args()
    dll = args.dll or next(iter(sorted(glob.glob(
        "/usr/lib/gcc/x86_64-w64-mingw32/*/libstdc++-6.dll"))), None)
    if dll is None:
        print("instructions: no mingw-w64 libstdc++-6.dll here, skipped")
        return 0
    os.makedirs(args.data, exist_ok=True)
    first = os.path.join(args.data, "code-a.dll")
    second = os.path.join(args.data, "code-b.dll")
    with open(dll, "rb") as source:
        data = bytearray(source.read())
    with open(first, "wb") as out:
        out.write(data)
    start, length = code_section(data)
    step = length // CHANGES
    for k in range(CHANGES):
        data[start + k * step + step // 2] ^= 0xFF
    with open(second, "wb") as out:
        out.write(data)

    plain = [args.tandrel, "--format=jsonl", first, second, os.path.join(args.data, "code.jsonl")]
    listed = plain[:1] + ["--instructions"] + plain[1:]
    times = {"plain": [], "listed": []}
    peak = 0
    for _ in range(args.runs):
        times["plain"].append(timed(plain)[0])
        elapsed, memory = timed(listed)
        times["listed"].append(elapsed)
        peak = max(peak, memory)
    with open(plain[-1]) as report:
        coded = sum('"first_code":[' in line for line in report)
    plain_median = statistics.median(times["plain"])
    listed_median = statistics.median(times["listed"])
    ratio = listed_median / plain_median
    print("instructions: %s, %d runs in code: jsonl %.3f s, with --instructions %.3f s, ratio "
          "%.2f (target <= 2); peak memory %.1f MiB (target <= 48)"
          % (os.path.basename(dll), coded, plain_median, listed_median, ratio, peak / 1024))
    return 0 if ratio <= 2 and peak <= MEMORY_LIMIT_KIB and coded == CHANGES else 1


if __name__ == "__main__":
    raise SystemExit(main())
