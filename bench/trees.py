#!/usr/bin/env python3
"""Times tandrel on two folders, in one run each, against GNU peers on the same trees.

Cases:
  small tree   the 1,000 small pairs of compare_with_cmp.py (1 KiB to 1 MiB, 1 to 5 short runs
               each) as two folders, compared by one tandrel run, against a loop of 1,000
               cmp -l processes, one a pair (target: at most 0.10 of the loop's time); and the
               same with every file's times set just before the run, as in a tree written a
               moment ago (such files are watched for changes: same target)
  library      an identical tree: a copy of a real library folder (about 300 MB, links kept)
               and a copy of that copy, tandrel against diff -rq --no-dereference (diff -r
               would follow the links, which tandrel never does) (target: at most 1.1)
  many files   peak resident memory of tandrel on two trees of 1,000 and of 10,000 small files
               (a tenth of them differing), by GNU time (target: at most 48 MiB at 10,000,
               and no more than at 1,000 but for a little)
Each ratio is of median wall times over alternating runs; the spread (min / median / max) is
printed too. Every output is removed and synced, untimed, before each run, as compare_with_cmp.py
does, so that no run truncates a file or waits for an earlier run's write-back.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

from compare_with_cmp import CMP, alternate, execute, make_small_pairs, remove, spread, warm

MIB = 1 << 20
DIFF = shutil.which("diff")
LIBRARY_SOURCES = ["/usr/lib/x86_64-linux-gnu", "/usr/lib"]


def run_folder(command, output, expect, stdout=False):
    """One run of command, its output removed and synced first; returns the wall seconds."""
    remove(output)
    os.sync()
    start = time.perf_counter()
    execute(command, expect, output if stdout else os.devnull)
    return time.perf_counter() - start


def small_tree_case(args, d, failures):
    """One tandrel run over two folders of 1,000 differing pairs, against 1,000 cmp -l runs."""
    pairs, differing = make_small_pairs(d("small"))
    first, second = d("small-tree/first"), d("small-tree/second")
    for folder in (first, second):
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
    for k, (a, b) in enumerate(pairs):
        os.link(a, os.path.join(first, f"{k:04d}.bin"))
        os.link(b, os.path.join(second, f"{k:04d}.bin"))
    os.sync()
    warm(*(path for pair in pairs for path in pair))
    report = d("small-tree.txt")
    listings = [d(f"small/{k:04d}-cmp.txt") for k in range(len(pairs))]

    def cmp_loop():
        remove(*listings)
        os.sync()
        start = time.perf_counter()
        for (a, b), listing in zip(pairs, listings):
            execute([CMP, "-l", a, b], 1, listing)
        return time.perf_counter() - start

    def fresh_run():
        # A tree written a moment ago, as a build output is: its files are watched for changes
        # their times may not show.
        for folder in (first, second):
            for name in os.listdir(folder):
                os.utime(os.path.join(folder, name))
        return run_folder([args.tandrel, first, second, report], report, 0)

    # Linked just now: settled for a second first, as a release folder is.
    time.sleep(1.5)
    times = alternate(args.runs, {
        "tandrel": lambda: run_folder([args.tandrel, first, second, report], report, 0),
        "tandrel, files just written": fresh_run,
        "cmp -l loop": cmp_loop,
    })
    text = open(report, "rb").read()
    listed = sum(int(n) for n in text.split(b"Bytes Size (dec) = ")[1:]
                 for n in [n.split(b"\n", 1)[0]])
    if listed != differing:
        sys.exit(f"small tree: {differing} bytes differ, tandrel listed {listed}")
    t, fresh, c = (statistics.median(times[name])
                   for name in ("tandrel", "tandrel, files just written", "cmp -l loop"))
    print(f"{len(pairs)} small pairs as two folders (min / median / max): " +
          ", ".join(f"{name} {spread(walls)} s" for name, walls in times.items()))
    print(f"  tandrel / cmp -l loop {t / c:.3f} (target <= 0.10), files just written "
          f"{fresh / c:.3f} (target <= 0.10)")
    if t / c > 0.10 or fresh / c > 0.10:
        failures.append("small tree")


def copy_library(target, budget):
    """Copies regular files and links of the first library folder found, in name order, until
    budget bytes; returns (files, links, bytes)."""
    source = next(path for path in LIBRARY_SOURCES if os.path.isdir(path))
    files = links = size = 0
    for root, folders, names in os.walk(source):
        folders.sort()
        for name in sorted(names):
            path = os.path.join(root, name)
            copy = os.path.join(target, os.path.relpath(path, source))
            try:
                if os.path.islink(path):
                    os.makedirs(os.path.dirname(copy), exist_ok=True)
                    os.symlink(os.readlink(path), copy)
                    links += 1
                elif os.path.isfile(path) and os.access(path, os.R_OK):
                    if size + os.path.getsize(path) > budget:
                        continue
                    os.makedirs(os.path.dirname(copy), exist_ok=True)
                    shutil.copyfile(path, copy)
                    size += os.path.getsize(path)
                    files += 1
            except OSError:
                continue
        if size >= budget * 0.98:
            break
    return files, links, size


def library_case(args, d, failures):
    """An identical copy of a library folder: tandrel against diff -rq."""
    first, second = d("library/first"), d("library/second")
    shutil.rmtree(d("library"), ignore_errors=True)
    os.makedirs(first)
    files, links, size = copy_library(first, args.library_mib * MIB)
    shutil.copytree(first, second, symlinks=True)
    os.sync()
    # Older than a second by the time they are timed, as a real release folder is.
    time.sleep(1.5)
    for root, _, names in os.walk(d("library")):
        warm(*(os.path.join(root, n) for n in names if not os.path.islink(os.path.join(root, n))))
    report, listing = d("library.txt"), d("library-diff.txt")
    times = alternate(args.runs, {
        "tandrel": lambda: run_folder([args.tandrel, first, second, report], report, 0),
        "diff -rq": lambda: run_folder([DIFF, "-rq", "--no-dereference", first, second],
                                       listing, 0, stdout=True),
    })
    t, c = (statistics.median(times[name]) for name in ("tandrel", "diff -rq"))
    print(f"identical library tree, {files} files and {links} links, {size / MIB:.0f} MiB a side "
          f"(min / median / max): " +
          ", ".join(f"{name} {spread(walls)} s" for name, walls in times.items()))
    print(f"  tandrel / diff -rq {t / c:.3f} (target <= 1.1)")
    if t / c > 1.1:
        failures.append("library tree")


def make_many_files(folder, count):
    """Two trees of count files of 1 to 4 KiB in folders of 100; every tenth pair differs in
    one byte."""
    shutil.rmtree(folder, ignore_errors=True)
    for k in range(count):
        data = bytearray(os.urandom(1024 + (k * 37) % 3072))
        for side in ("first", "second"):
            path = os.path.join(folder, side, f"{k // 100:03d}", f"{k % 100:02d}.bin")
            os.makedirs(os.path.dirname(path), exist_ok=True)
            if side == "second" and k % 10 == 0:
                data[k % len(data)] ^= 0xFF
            with open(path, "wb") as out:
                out.write(data)


def peak_memory_kib(args, folder, report):
    """Peak resident memory of one tandrel run over folder's two trees, by GNU time."""
    measured = report + ".time"
    remove(report)
    os.sync()
    subprocess.run(["/usr/bin/time", "-f", "%M", "-o", measured, args.tandrel,
                    os.path.join(folder, "first"), os.path.join(folder, "second"), report],
                   check=True)
    return int(open(measured).read().split()[-1])


def many_files_case(args, d, failures):
    peaks = {}
    for count in (1000, 10000):
        make_many_files(d(f"files-{count}"), count)
        os.sync()
        peaks[count] = min(peak_memory_kib(args, d(f"files-{count}"), d(f"files-{count}.txt"))
                           for _ in range(3))
    print("peak memory on two trees: " +
          ", ".join(f"{count} files {kib / 1024:.1f} MiB" for count, kib in peaks.items()) +
          " (target <= 48 MiB at 10,000, and flat)")
    # Flat: ten times the files may add a little for the folder being listed, not per file.
    if peaks[10000] > 48 * 1024 or peaks[10000] > peaks[1000] + 2048:
        failures.append("many files memory")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tandrel", required=True)
    parser.add_argument("--data", required=True, help="folder for the generated trees")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--library-mib", type=int, default=300)
    args = parser.parse_args()
    os.makedirs(args.data, exist_ok=True)
    d = lambda name: os.path.join(args.data, name)
    failures = []
    small_tree_case(args, d, failures)
    library_case(args, d, failures)
    many_files_case(args, d, failures)
    if failures:
        print("missed targets:", ", ".join(failures))
        return 1
    print("all tree targets met")
    return 0


if __name__ == "__main__":
    sys.exit(main())
