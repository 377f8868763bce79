#!/usr/bin/env python3
"""Runs tandrel on an identical pair while another process changes the first file and puts it back.

The pair is 32 MiB of random bytes with no zero byte. A writer process cuts the first file by
16 bytes and writes the same 16 bytes back, as fast as it can, for as long as the comparisons run.
Each comparison sees a file that changed under it, or one that did not change at all; a report
that holds a record (bytes the files never differed in, such as the zeros a cut leaves in a
mapped page) with status 0 is a changed file passed off as compared. Prints the count of those,
which must be 0, and how the statuses fell; exits 1 when there was any.

Usage: bench/change_race.py [--tandrel PATH] [--data FOLDER] [--mib SIZE] [RUNS]
(RUNS: 2000 unless given; SIZE: 32 unless given. The test suite runs 300 on 4 MiB.)
"""
import argparse
import multiprocessing
import os
import random
import subprocess
import sys
import tempfile
from collections import Counter

SIZE = 32 << 20
CUT = 16


def make_pair(first, second, size):
    # Zero bytes are what a cut page shows, so the pair holds none: a record of zeros can come
    # only from the race.
    data = random.Random(1).randbytes(size).replace(b"\0", b"\1")
    for path in (first, second):
        with open(path, "wb") as out:
            out.write(data)
    return data[-CUT:]


def cut_and_restore(path, tail, size, rounds):
    fd = os.open(path, os.O_WRONLY)
    count = 0
    while True:
        os.ftruncate(fd, size - CUT)
        os.pwrite(fd, tail, size - CUT)
        count += 1
        if count % 1024 == 0:
            rounds.value = count


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("runs", nargs="?", type=int, default=2000)
    parser.add_argument("--tandrel", default="build/linux-release/app/tandrel")
    parser.add_argument("--data", help="folder for the pair and the report (a new one in /tmp)")
    parser.add_argument("--mib", type=int, default=SIZE >> 20, help="the pair's size in MiB")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(dir=args.data) as folder:
        first, second, report = (os.path.join(folder, name) for name in ("a", "b", "report"))
        size = args.mib << 20
        tail = make_pair(first, second, size)
        rounds = multiprocessing.Value("q", 0, lock=False)
        writer = multiprocessing.Process(target=cut_and_restore, args=(first, tail, size, rounds))
        writer.start()
        statuses = Counter()
        passed_off = 0
        example = None
        try:
            for _ in range(args.runs):
                if os.path.exists(report):
                    os.remove(report)
                status = subprocess.run([args.tandrel, first, second, report],
                                        stderr=subprocess.DEVNULL).returncode
                statuses[status] += 1
                written = ""
                if os.path.exists(report):
                    with open(report, errors="replace") as text:
                        written = text.read()
                if status == 0 and "File offset" in written:
                    passed_off += 1
                    example = example or written
        finally:
            writer.terminate()
            writer.join()

    print(f"{args.tandrel}: {args.runs} runs against {rounds.value} or more cut-and-restore rounds")
    print("statuses: " + ", ".join(f"{s}: {n}" for s, n in sorted(statuses.items())))
    print(f"status 0 with a record: {passed_off}")
    if example:
        print("first such report:\n" + example)
    return 1 if passed_off else 0


if __name__ == "__main__":
    sys.exit(main())
