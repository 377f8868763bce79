#!/usr/bin/env python3
"""Times the aligned comparison (--align) on data it makes itself, in one run, and prints ratios.

Cases:
  insertion  256 MiB of random bytes and a copy with 16 bytes inserted in the middle: tandrel
             --align must report one record, in at most 2.0 x the fixed-offset run on two
             identical copies and at most 0.5 x `xdelta3 -e -s` (which writes a delta);
             `cmp -l` on the pair is timed once beside them (it lists every later byte, some
             134 million lines, 2.4 GB, written to a file and removed); and the peak memory of
             the aligned run (target <= 64 MiB)
  unrelated  two unrelated 32 MiB random files: tandrel --align in at most 3 x the fixed-offset
             run on the same pair, both writing their reports to files; its JSON Lines records
             must replay the first file into the second; `cmp -l` beside them
Each ratio is of median wall times over alternating runs.
"""
import argparse
import json
import os
import shutil
import statistics
import sys

from compare_with_cmp import CMP, MIB, alternate, make_random, remove, run, warm

XDELTA3 = shutil.which("xdelta3")


def make_inserted(source_path, path, at, inserted):
    data = open(source_path, "rb").read()
    with open(path, "wb") as out:
        out.write(data[:at])
        out.write(inserted)
        out.write(data[at:])


def replay(first_path, records_path):
    """The second file as the JSON Lines records make it from the first."""
    first = open(first_path, "rb").read()
    out, at = bytearray(), 0
    for line in open(records_path, "rb"):
        record = json.loads(line)
        if record["type"] != "run":
            continue
        out += first[at:record["offset"]]
        at = record["offset"]
        if record["kind"] != "insert":
            at += record["length"]
        out += bytes.fromhex(record["second"])
    out += first[at:]
    return bytes(out)


def insertion_case(args, d, failures):
    first, copy, second = d("ins1.bin"), d("ins1-copy.bin"), d("ins2.bin")
    report, same, delta = d("ins-align.txt"), d("ins-identical.txt"), d("ins.vcdiff")
    steps = {
        "tandrel --align": lambda: run([args.tandrel, "--align", first, second, report], report),
        "fixed, identical copies": lambda: run([args.tandrel, first, copy, same], same),
    }
    if XDELTA3:
        steps["xdelta3 -e -s"] = lambda: run([XDELTA3, "-e", "-f", "-s", first, second, delta],
                                             delta)
    results = alternate(args.runs, steps)
    wall = {name: statistics.median(w for w, _ in runs) for name, runs in results.items()}
    # GNU cmp stops at the first difference when its output is /dev/null: a file it must be.
    listing = d("ins-cmp.txt")
    cmp_wall = run([CMP, "-l", first, second], listing, stdout=True, expect=1)[0]
    listing_bytes = os.path.getsize(listing)
    remove(listing)
    text = open(report, "rb").read()
    records = text.count(b"File offset = ")
    one = records == 1 and b"Inserted bytes (dec) = 16" in text
    print(f"256 MiB, 16 bytes inserted in the middle: " +
          ", ".join(f"{name} {w:.3f} s" for name, w in wall.items()) +
          f", cmp -l (once) {cmp_wall:.3f} s for {listing_bytes / 1e9:.2f} GB")
    to_fixed = wall["tandrel --align"] / wall["fixed, identical copies"]
    print(f"  {records} record{'s' if records != 1 else ''}; --align / fixed-offset on identical "
          f"copies {to_fixed:.3f} (target <= 2.0)", end="")
    if XDELTA3:
        to_xdelta = wall["tandrel --align"] / wall["xdelta3 -e -s"]
        print(f", / xdelta3 {to_xdelta:.3f} (target <= 0.5)", end="")
        if to_xdelta > 0.5:
            failures.append("insertion vs xdelta3")
    else:
        print(", xdelta3 not installed (apt-get install xdelta3)", end="")
        failures.append("insertion vs xdelta3 (not measured)")
    print(f", / cmp -l {wall['tandrel --align'] / cmp_wall:.4f}")
    if not one:
        failures.append("insertion: one record")
    if to_fixed > 2.0:
        failures.append("insertion vs fixed-offset")

    peak = d("ins-time.txt")
    run(["/usr/bin/time", "-f", "%M", "-o", peak, args.tandrel, "--align", first, second, report],
        report)
    peak_kib = int(open(peak).read().split()[-1])
    print(f"  peak memory, --align on the 256 MiB pair: {peak_kib / 1024:.1f} MiB "
          f"(target <= 64 MiB)")
    if peak_kib > 64 * 1024:
        failures.append("--align memory")


def unrelated_case(args, d, failures):
    pair = [d("unrel1.bin"), d("unrel2.bin")]
    aligned, fixed = d("unrel-align.txt"), d("unrel-fixed.txt")
    listing = d("unrel-cmp.txt")
    steps = {
        "tandrel --align": lambda: run([args.tandrel, "--align"] + pair + [aligned], aligned),
        "fixed-offset": lambda: run([args.tandrel] + pair + [fixed], fixed),
        "cmp -l": lambda: run([CMP, "-l"] + pair, listing, stdout=True, expect=1),
    }
    results = alternate(args.runs, steps)
    wall = {name: statistics.median(w for w, _ in runs) for name, runs in results.items()}
    records = d("unrel-align.jsonl")
    run([args.tandrel, "--align", "--format=jsonl"] + pair + [records], records)
    replays = replay(pair[0], records) == open(pair[1], "rb").read()
    ratio = wall["tandrel --align"] / wall["fixed-offset"]
    print("unrelated 32 MiB: " + ", ".join(f"{name} {w:.3f} s" for name, w in wall.items()))
    print(f"  --align / fixed-offset {ratio:.3f} (target <= 3), / cmp -l "
          f"{wall['tandrel --align'] / wall['cmp -l']:.3f}; the records "
          f"{'replay' if replays else 'DO NOT replay'} the second file")
    if ratio > 3:
        failures.append("unrelated vs fixed-offset")
    if not replays:
        failures.append("unrelated replay")
    remove(records, listing)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tandrel", required=True)
    parser.add_argument("--data", required=True, help="folder for the generated files")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    os.makedirs(args.data, exist_ok=True)
    d = lambda name: os.path.join(args.data, name)

    print("making aligned-comparison data in", args.data, flush=True)
    make_random(d("ins1.bin"), 256 * MIB)
    shutil.copyfile(d("ins1.bin"), d("ins1-copy.bin"))
    middle = 128 * MIB
    inserted = bytes([open(d("ins1.bin"), "rb").read()[middle] ^ 0x49]) + b"I" * 15
    make_inserted(d("ins1.bin"), d("ins2.bin"), middle, inserted)
    make_random(d("unrel1.bin"), 32 * MIB)
    make_random(d("unrel2.bin"), 32 * MIB)
    os.sync()
    warm(*(d(name) for name in ("ins1.bin", "ins1-copy.bin", "ins2.bin", "unrel1.bin",
                                "unrel2.bin")))

    failures = []
    insertion_case(args, d, failures)
    unrelated_case(args, d, failures)
    if failures:
        print("missed targets (aligned):", ", ".join(failures))
        return 1
    print("all aligned targets met")
    return 0


if __name__ == "__main__":
    sys.exit(main())
