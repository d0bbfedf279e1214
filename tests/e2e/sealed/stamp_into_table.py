#!/usr/bin/env python3
"""Puts an information block into a signed file's certificate table, after
its signature, the way a block is stamped into a signed build: the file still
ends with "MRDC", the information and six bytes, and the table's directory
entry and its certificate's length grow by what was added (zero bytes first,
so that the table keeps a length of whole 8-byte units).

    stamp_into_table.py <signed.exe> <information> <out.exe>
"""
import struct
import sys

source, information, output = sys.argv[1:4]
data = bytearray(open(source, "rb").read())
optional = struct.unpack_from("<I", data, 0x3C)[0] + 24
magic = struct.unpack_from("<H", data, optional)[0]
entry = optional + (96 if magic == 0x10B else 112) + 8 * 4
offset, size = struct.unpack_from("<II", data, entry)
if offset == 0 or offset + size != len(data):
    sys.exit(f"{source}: no certificate table at the end of the file")
block = b"MRDC" + open(information, "rb").read() + bytes(6)
block = bytes(-len(block) % 8) + block
struct.pack_into("<I", data, entry + 4, size + len(block))
length = struct.unpack_from("<I", data, offset)[0]
struct.pack_into("<I", data, offset, length + len(block))
open(output, "wb").write(data + block)
