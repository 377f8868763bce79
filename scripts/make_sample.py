#!/usr/bin/env python3
"""Writes the bundled sample pair: a small PE32 image and a patched copy of it.

The image has the headers a loader reads (DOS stub header, PE signature, file header, optional
header with image base 0x400000) and two sections, .text and .data. The patched copy changes a
time stamp in the headers, a few instruction bytes in .text and a string in .data, as a patch
to an executable would.
"""
import struct
import sys
from pathlib import Path

IMAGE_BASE = 0x400000
FILE_ALIGN = 0x200
SECTION_ALIGN = 0x1000


def build_image():
    text = bytes([0x55, 0x8B, 0xEC, 0x6A, 0x00, 0x68, 0x00, 0x20, 0x40, 0x00, 0xE8, 0x10, 0x00,
                  0x00, 0x00, 0x33, 0xC0, 0x5D, 0xC3]) + bytes([0xCC]) * 13
    text = text.ljust(FILE_ALIGN, b"\x90")
    data = b"Registered copy: NO\0".ljust(FILE_ALIGN, b"\0")

    dos = bytearray(0x80)
    dos[0:2] = b"MZ"
    struct.pack_into("<I", dos, 60, 0x80)
    sections = [(b".text", 0x1000, 0x60000020, text), (b".data", 0x2000, 0xC0000040, data)]
    optional_size = 0xE0
    headers_size = FILE_ALIGN  # DOS header, PE headers and the section table fit in 0x200

    file_header = struct.pack("<4sHHIIIHH", b"PE\0\0", 0x14C, len(sections), 0x5F5E100, 0, 0,
                              optional_size, 0x010F)
    optional = bytearray(optional_size)
    struct.pack_into("<HBBIIIIII", optional, 0, 0x10B, 6, 0, len(text), len(data), 0, 0x1000,
                     0x1000, 0x2000)
    struct.pack_into("<IIIHHHHHHIIIIHH", optional, 28, IMAGE_BASE, SECTION_ALIGN, FILE_ALIGN, 4,
                     0, 0, 0, 4, 0, 0, 0x3000, headers_size, 0, 2, 0)
    struct.pack_into("<IIIIII", optional, 72, 0x100000, 0x1000, 0x100000, 0x1000, 0, 16)

    table = b""
    raw = FILE_ALIGN
    for name, rva, flags, body in sections:
        table += struct.pack("<8sIIIIIIHHI", name, len(body), rva, len(body), raw, 0, 0, 0, 0,
                             flags)
        raw += len(body)
    image = bytes(dos) + file_header + bytes(optional) + table
    image = image.ljust(headers_size, b"\0")
    return bytearray(image + text + data)


def patch(image):
    patched = bytearray(image)
    struct.pack_into("<I", patched, 0x80 + 8, 0x65000000)  # time stamp in the file header
    patched[0x200 + 15:0x200 + 17] = b"\xB0\x01"  # xor eax,eax -> mov al,1
    patched[0x400 + 17:0x400 + 19] = b"YE"  # "NO" -> "YE"
    return patched


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else "samples")
    out.mkdir(parents=True, exist_ok=True)
    image = build_image()
    (out / "sample.exe").write_bytes(image)
    (out / "sample-patched.exe").write_bytes(patch(image))


if __name__ == "__main__":
    main()
