#!/usr/bin/env python3
"""Times tandrel against GNU cmp on data it makes itself, in one run, and prints ratios.

Cases:
  identical  two identical 1 GiB files in the page cache: tandrel vs cmp
  dense      a 64 MiB pair differing at every 64th byte: tandrel's report vs cmp -l's list,
             both written to files
  memory     peak resident memory of tandrel on the 1 GiB pair
Each ratio is of median wall times over alternating runs.
"""
import argparse
import os
import statistics
import subprocess
import sys
import time

GIB = 1 << 30
MIB = 1 << 20


def make_random(path, size):
    if os.path.exists(path) and os.path.getsize(path) == size:
        return
    with open("/dev/urandom", "rb") as source, open(path, "wb") as out:
        left = size
        while left:
            block = source.read(min(left, 16 * MIB))
            out.write(block)
            left -= len(block)


def make_copy(source_path, path):
    if os.path.exists(path) and os.path.getsize(path) == os.path.getsize(source_path):
        return
    with open(source_path, "rb") as source, open(path, "wb") as out:
        while True:
            block = source.read(16 * MIB)
            if not block:
                break
            out.write(block)


def make_every_64th_differs(source_path, path):
    data = bytearray(open(source_path, "rb").read())
    flip = bytes(b ^ 0xFF for b in range(256))
    data[0::64] = bytes(data[0::64]).translate(flip)
    with open(path, "wb") as out:
        out.write(data)


def warm(*paths):
    for path in paths:
        with open(path, "rb") as f:
            while f.read(16 * MIB):
                pass


def run(command, stdout_path=None):
    """Runs command and returns (wall seconds, exit status)."""
    out = open(stdout_path, "wb") if stdout_path else subprocess.DEVNULL
    start = time.perf_counter()
    child = subprocess.Popen(command, stdout=out, stderr=subprocess.DEVNULL)
    status = child.wait()
    wall = time.perf_counter() - start
    if stdout_path:
        out.close()
    return wall, status


def alternate(runs, first, second):
    """Runs the two commands alternately and returns the two lists of wall times."""
    a, b = [], []
    for _ in range(runs):
        a.append(first())
        b.append(second())
    return a, b


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tandrel", required=True)
    parser.add_argument("--data", required=True, help="folder for the generated files")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    os.makedirs(args.data, exist_ok=True)
    d = lambda name: os.path.join(args.data, name)

    print("making data in", args.data, flush=True)
    make_random(d("big1.bin"), GIB)
    make_copy(d("big1.bin"), d("big2.bin"))
    make_random(d("dense1.bin"), 64 * MIB)
    make_every_64th_differs(d("dense1.bin"), d("dense2.bin"))
    warm(d("big1.bin"), d("big2.bin"), d("dense1.bin"), d("dense2.bin"))

    failures = []

    # Identical 1 GiB files.
    tandrel_times, cmp_times = alternate(
        args.runs,
        lambda: run([args.tandrel, d("big1.bin"), d("big2.bin"), d("identical.txt")])[0],
        lambda: run(["cmp", d("big1.bin"), d("big2.bin")])[0])
    t, c = statistics.median(tandrel_times), statistics.median(cmp_times)
    ratio = t / c
    print(f"identical 1 GiB: tandrel {t:.3f} s, cmp {c:.3f} s, ratio {ratio:.3f} (target <= 0.35)")
    if ratio > 0.35:
        failures.append("identical")

    # 1,048,576 one-byte runs, both lists written to files.
    tandrel_times, cmp_times = alternate(
        args.runs,
        lambda: run([args.tandrel, d("dense1.bin"), d("dense2.bin"), d("dense-report.txt")])[0],
        lambda: run(["cmp", "-l", d("dense1.bin"), d("dense2.bin")], d("dense-cmp.txt"))[0])
    t, c = statistics.median(tandrel_times), statistics.median(cmp_times)
    ratio = t / c
    records = open(d("dense-report.txt"), "rb").read().count(b"File offset = ")
    print(f"64 MiB, {records} runs: tandrel {t:.3f} s, cmp -l {c:.3f} s, ratio {ratio:.3f} "
          f"(target <= 1.0)")
    if records != 64 * MIB // 64 or ratio > 1.0:
        failures.append("dense")

    # Peak memory of the 1 GiB comparison. GNU time reports the program's own peak; wait4 from
    # here would count this script's memory too, since the child's peak includes what it had
    # before exec.
    report = d("time.txt")
    run(["/usr/bin/time", "-f", "%M", "-o", report, args.tandrel, d("big1.bin"), d("big2.bin"),
         d("identical.txt")])
    peak_kib = int(open(report).read().split()[-1])
    print(f"peak memory, 1 GiB pair: {peak_kib / 1024:.1f} MiB (target <= 48 MiB)")
    if peak_kib > 48 * 1024:
        failures.append("memory")

    if failures:
        print("missed targets:", ", ".join(failures))
        return 1
    print("all targets met")
    return 0


if __name__ == "__main__":
    sys.exit(main())
