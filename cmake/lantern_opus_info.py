#!/usr/bin/env python3
"""Gives a signed executable's Authenticode signature a program name in Unicode.

osslsigncode writes the program name of the opus-info attribute as an ASCII
string: names beyond ASCII are mangled, and some readers (Wine's among them)
decode only the Unicode form. This rewrites signer 0's opus-info attribute
with the name as a BMPString (keeping its more-info link), puts the signed
attributes back in DER order, signs them again with the signer's key and
puts the signature back into the executable, whose signed content stays as
it is.

  lantern_opus_info.py <signed.exe> <key> <program-name file> <out.exe>

The program name is the whole content of its file, in UTF-8; it may be empty. Only the standard library and the openssl
command are used.
"""
import os
import struct
import subprocess
import sys
import tempfile

OPUS_INFO_OID = bytes.fromhex("060a2b06010401823702010c")  # 1.3.6.1.4.1.311.2.1.12


def read_tlv(data, at):
    """(tag, header length, content length) of the element at `at`."""
    tag = data[at]
    first = data[at + 1]
    if first < 0x80:
        return tag, 2, first
    count = first & 0x7F
    length = int.from_bytes(data[at + 2:at + 2 + count], "big")
    return tag, 2 + count, length


def children(data):
    """The encodings of the elements in `data`, one after another."""
    items, at = [], 0
    while at < len(data):
        _, header, length = read_tlv(data, at)
        items.append(data[at:at + header + length])
        at += header + length
    return items


def content(element):
    _, header, length = read_tlv(element, 0)
    return element[header:header + length]


def encode(tag, body):
    n = len(body)
    if n < 0x80:
        length = bytes([n])
    else:
        raw = n.to_bytes((n.bit_length() + 7) // 8, "big")
        length = bytes([0x80 | len(raw)]) + raw
    return bytes([tag]) + length + body


def der_set_order(encodings):
    # DER orders a SET OF by its members' encodings, the shorter padded with zeros.
    width = max(len(e) for e in encodings)
    return sorted(encodings, key=lambda e: e + bytes(width - len(e)))


def opus_info(old_value, name):
    """The opus-info value with `name` in Unicode and the old links kept."""
    links = [e for e in children(content(old_value)) if e[0] != 0xA0]
    program = encode(0xA0, encode(0x80, name.encode("utf-16-be")))
    return encode(0x30, program + b"".join(links))


def sign(data, key):
    with tempfile.TemporaryDirectory() as scratch:
        path = os.path.join(scratch, "attributes.der")
        with open(path, "wb") as f:
            f.write(data)
        # An empty pass phrase lets the key come from a .pfx file as well.
        return subprocess.run(["openssl", "dgst", "-sha256", "-sign", key, "-passin", "pass:", path],
                              check=True, stdout=subprocess.PIPE).stdout


def security_directory(image):
    """The file offset of the PE image's certificate-table directory entry."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        sys.exit("lantern_opus_info: not a PE image")
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    return optional, optional + (96 if magic == 0x10B else 112) + 4 * 8


def pe_checksum(image, checksum_at):
    total = 0
    padded = image + bytes(len(image) % 2)
    for (word,) in struct.iter_unpack("<H", padded):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    # The checksum field itself counts as zero.
    for (word,) in struct.iter_unpack("<H", image[checksum_at:checksum_at + 4]):
        total -= word
        if total < 0:
            total += 0xFFFF
    total = (total & 0xFFFF) + (total >> 16)
    return (total + len(image)) & 0xFFFFFFFF


def main(exe_path, key, name_path, out_path):
    with open(name_path, "r", encoding="utf-8", newline="") as f:
        name = f.read()
    with open(exe_path, "rb") as f:
        image = f.read()
    optional, directory = security_directory(image)
    table, table_size = struct.unpack_from("<II", image, directory)
    length, revision, kind = struct.unpack_from("<IHH", image, table)
    if table == 0 or table + table_size != len(image) or kind != 2:
        sys.exit("lantern_opus_info: the executable carries no signature at its end")
    pkcs7 = image[table + 8:table + length]
    _, header, body = read_tlv(pkcs7, 0)
    pkcs7 = pkcs7[:header + body]
    # ContentInfo { oid, [0] { SignedData { version, digestAlgorithms,
    #   contentInfo, [0] certificates, [1] crls?, signerInfos } } }
    outer = children(content(pkcs7))
    signed_data = children(content(children(content(outer[1]))[0]))
    signer_infos = children(content(signed_data[-1]))
    signer = children(content(signer_infos[0]))
    # SignerInfo { version, issuerAndSerial, digestAlgorithm, [0] attributes,
    #   digestEncryptionAlgorithm, encryptedDigest, [1] unauthenticated? }
    at = next(i for i, e in enumerate(signer) if e[0] == 0xA0)
    if signer[at + 2][0] != 0x04:
        sys.exit("lantern_opus_info: unexpected signer information layout")
    attributes = children(content(signer[at]))
    for i, attribute in enumerate(attributes):
        parts = children(content(attribute))
        if parts[0] == OPUS_INFO_OID:
            value = children(content(parts[1]))[0]
            attributes[i] = encode(0x30, parts[0] + encode(0x31, opus_info(value, name)))
            break
    else:
        attributes.append(encode(0x30, OPUS_INFO_OID + encode(0x31, opus_info(encode(0x30, b""), name))))
    attributes = b"".join(der_set_order(attributes))

    signer[at] = encode(0xA0, attributes)
    # The signature covers the attributes encoded as a SET.
    signer[at + 2] = encode(0x04, sign(encode(0x31, attributes), key))
    signer_infos[0] = encode(0x30, b"".join(signer))
    signed_data[-1] = encode(0x31, b"".join(signer_infos))
    signed = encode(0x30, b"".join(signed_data))
    pkcs7 = encode(0x30, outer[0] + encode(0xA0, signed) + b"".join(outer[2:]))

    entry = pkcs7 + bytes(-len(pkcs7) % 8)
    entry = struct.pack("<IHH", 8 + len(entry), revision, kind) + entry
    image = bytearray(image[:table] + entry)
    struct.pack_into("<II", image, directory, table, len(entry))
    struct.pack_into("<I", image, optional + 64, 0)
    struct.pack_into("<I", image, optional + 64, pe_checksum(bytes(image), optional + 64))
    with open(out_path, "wb") as f:
        f.write(image)


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    main(*sys.argv[1:])
