#!/usr/bin/env python3
"""Reads the version record of the Windows executable and checks every field,
then checks that its application icon holds the three images it is drawn in.

The record is taken out with wrestool (icoutils) and parsed as the
VS_VERSIONINFO tree it is: each node is length, value length, type, a
UTF-16 key, then its value and its children, each aligned to 4 bytes.
Usage: check_version_record.py PATH/TO/Brennel.exe
"""
import os
import struct
import subprocess
import sys

FIXED_SIGNATURE = 0xFEEF04BD


def align(offset):
    return (offset + 3) & ~3


def parse_node(data, start):
    """Returns (key, value bytes, is_text, children) of the node at start."""
    length, value_length, kind = struct.unpack_from("<HHH", data, start)
    end = start + length
    if length < 6 or end > len(data):
        raise ValueError(f"node at {start} runs past the record")
    key_end = start + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[start + 6:key_end].decode("utf-16-le")
    value_start = align(key_end + 2)
    is_text = kind == 1
    value_size = value_length * 2 if is_text else value_length
    value = data[value_start:value_start + value_size]
    children = []
    child = align(value_start + value_size)
    while child < end:
        node = parse_node(data, child)
        children.append(node)
        child = align(child + struct.unpack_from("<H", data, child)[0])
    return key, value, is_text, children


def text(value):
    decoded = value.decode("utf-16-le")
    if not decoded.endswith("\0"):
        raise ValueError(f"string {decoded!r} is not terminated")
    return decoded[:-1]


def check(exe):
    listing = subprocess.run(["wrestool", "-l", "-t", "16", exe], check=True,
                             capture_output=True, text=True).stdout.splitlines()
    expect(len(listing), 1, "version resources")
    data = subprocess.run(["wrestool", "-x", "--raw", "-t", "16", exe], check=True,
                          capture_output=True).stdout
    key, fixed, _, children = parse_node(data, 0)
    expect(key, "VS_VERSION_INFO", "root key")
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    expect(hex(signature), hex(FIXED_SIGNATURE), "fixed info signature")
    expect(version(file_ms, file_ls), "1.0.0.0", "FILEVERSION")
    expect(version(product_ms, product_ls), "1.0.0.0", "PRODUCTVERSION")
    expect([child[0] for child in children], ["StringFileInfo", "VarFileInfo"], "blocks")

    tables = children[0][3]
    expect([table[0] for table in tables], ["040904B0"], "string tables")
    name = os.path.splitext(os.path.basename(exe))[0]
    strings = {node[0]: text(node[1]) for node in tables[0][3] if node[2]}
    expect(len(tables[0][3]), len(strings), "string entries that are text")
    expect(strings, {
        "ProductName": "Brennel",
        "FileVersion": "1.00",
        "ProductVersion": "1.00",
        "InternalName": name,
        "OriginalFilename": name + ".exe",
    }, "strings")

    variables = children[1][3]
    expect([var[0] for var in variables], ["Translation"], "VarFileInfo entries")
    expect(list(struct.iter_unpack("<HH", variables[0][1])), [(0x0409, 1200)], "Translation")


def check_icon(exe):
    """The first icon group: 32x32 at 1 bit, 32x32 at 4 bits, 16x16 at 4 bits."""
    group = subprocess.run(["wrestool", "-x", "--raw", "-t", "14", "-n", "1", exe], check=True,
                           capture_output=True).stdout
    _, kind, count = struct.unpack_from("<HHH", group)
    expect((kind, count), (1, 3), "icon group type and image count")
    images = []
    for index in range(count):
        width, height, _, _, _, bits, _, _ = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * index)
        images.append((width, height, bits))
    expect(images, [(32, 32, 1), (32, 32, 4), (16, 16, 4)], "icon images (width, height, bits)")


def version(most, least):
    return f"{most >> 16}.{most & 0xFFFF}.{least >> 16}.{least & 0xFFFF}"


def expect(actual, wanted, what):
    if actual != wanted:
        raise SystemExit(f"FAIL {what}: {actual!r}, want {wanted!r}")
    print(f"ok   {what}: {actual!r}")


if __name__ == "__main__":
    check(sys.argv[1])
    check_icon(sys.argv[1])
