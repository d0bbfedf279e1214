#!/usr/bin/env python3
"""Points a 32-bit Windows executable's load-configuration entry at its
_load_config_used structure.

    lantern_load_config.py <executable> <link map>

Linkers that know the symbol fill the entry themselves; then nothing changes.
Older GNU ld leaves it empty, so the structure's address is taken from the
link map, checked against the structure itself (its first field is its size)
and written into the PE header, whose checksum is then made again.
"""
import re
import struct
import sys

SYMBOL = "_load_config_used"
LOAD_CONFIG_ENTRY = 10


def fail(message):
    sys.exit(f"lantern_load_config: {message}")


def checksum(data, checksum_at):
    body = bytearray(data)
    body[checksum_at:checksum_at + 4] = b"\0\0\0\0"
    if len(body) % 2:
        body.append(0)
    total = sum(struct.unpack(f"<{len(body) // 2}H", body))
    while total > 0xFFFF:
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def main():
    if len(sys.argv) != 3:
        fail("usage: lantern_load_config.py <executable> <link map>")
    exe, link_map = sys.argv[1:]
    with open(exe, "rb") as f:
        data = bytearray(f.read())

    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        fail(f"{exe} is not a PE image")
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    if struct.unpack_from("<H", data, optional)[0] != 0x10B:
        fail(f"{exe} is not a 32-bit image")
    image_base = struct.unpack_from("<I", data, optional + 28)[0]
    directories = struct.unpack_from("<I", data, optional + 92)[0]
    if directories <= LOAD_CONFIG_ENTRY:
        fail(f"{exe} has no room for a load-configuration entry")
    entry = optional + 96 + 8 * LOAD_CONFIG_ENTRY
    if struct.unpack_from("<I", data, entry)[0] != 0:
        return  # the linker filled it

    with open(link_map, encoding="utf-8", errors="replace") as f:
        found = re.findall(r"^\s+0x([0-9a-fA-F]+)\s+_?" + SYMBOL + r"\s*$", f.read(), re.MULTILINE)
    if len(found) != 1:
        fail(f"{link_map} names {SYMBOL} {len(found)} times, not once")
    rva = int(found[0], 16) - image_base

    # The structure's file offset, through the section that holds it.
    table = optional + optional_size
    offset = None
    for i in range(sections):
        virtual_size, virtual_address, raw_size, raw_at = struct.unpack_from("<4I", data, table + 40 * i + 8)
        if virtual_address <= rva and rva + 4 <= virtual_address + min(virtual_size, raw_size):
            offset = raw_at + rva - virtual_address
            break
    if offset is None:
        fail(f"{SYMBOL} at {rva:#x} lies in no section of {exe}")
    size = struct.unpack_from("<I", data, offset)[0]
    if size < 0x48 or size > 0x1000:
        fail(f"{SYMBOL} at {rva:#x} does not start with its size ({size:#x})")

    struct.pack_into("<II", data, entry, rva, size)
    checksum_at = optional + 64
    struct.pack_into("<I", data, checksum_at, checksum(data, checksum_at))
    with open(exe, "r+b") as f:
        f.write(data)


if __name__ == "__main__":
    main()
