#!/usr/bin/env python3
"""Times tandrel on a hostile image header: a 1 MiB PE32 image that declares 65,535 sections
against the same image declaring 2, each compared with a copy differing at every even offset
from 4,096 on (522,240 one-byte runs). No section holds those offsets, so every record looks its
offset up among all the sections. Prints the median wall times and their ratio (the target:
at most 2).

Usage: bench/many_sections.py --tandrel build/linux-release/app/tandrel --data DIR [--runs N]
"""
import argparse
import os
import statistics
import struct
import subprocess
import time

MIB = 1 << 20


def image(sections):
    data = bytearray(MIB)
    data[0:2] = b"MZ"
    struct.pack_into("<I", data, 60, 0x80)
    data[0x80:0x84] = b"PE\0\0"
    struct.pack_into("<HH", data, 0x84, 0x14C, sections)
    struct.pack_into("<H", data, 0x94, 0xE0)  # SizeOfOptionalHeader
    struct.pack_into("<H", data, 0x98, 0x10B)  # PE32
    struct.pack_into("<I", data, 0x80 + 52, 0x400000)
    # Two real sections, raw data past the file's end; the other entries are zeros.
    for k, rva in enumerate((0x1000, 0x2000)):
        struct.pack_into("<III", data, 0x178 + 40 * k + 12, rva, 0x1000, MIB + 0x1000 * k)
    return data


def patched(data):
    copy = bytearray(data)
    copy[4096::2] = bytes(b ^ 0xFF for b in copy[4096::2])
    return copy


def median_time(tandrel, first, second, report, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        status = subprocess.run([tandrel, first, second, report]).returncode
        times.append(time.perf_counter() - start)
        if status != 0:
            raise SystemExit("tandrel exited %d" % status)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tandrel", required=True)
    parser.add_argument("--data", required=True)
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    os.makedirs(args.data, exist_ok=True)
    d = lambda name: os.path.join(args.data, name)
    medians = {}
    for count in (2, 65535):
        first = image(count)
        with open(d("s%05d.exe" % count), "wb") as out:
            out.write(first)
        with open(d("s%05d-patched.exe" % count), "wb") as out:
            out.write(patched(first))
        medians[count] = median_time(args.tandrel, d("s%05d.exe" % count),
                                     d("s%05d-patched.exe" % count),
                                     d("s%05d.txt" % count), args.runs)
    sizes = {os.path.getsize(d("s%05d.txt" % c)) for c in medians}
    assert len(sizes) == 1, "the two reports differ in length"
    ratio = medians[65535] / medians[2]
    print("many sections: 2 sections %.3f s, 65,535 sections %.3f s, ratio %.2f (target <= 2)"
          % (medians[2], medians[65535], ratio))
    return 0 if ratio <= 2 else 1


if __name__ == "__main__":
    raise SystemExit(main())
