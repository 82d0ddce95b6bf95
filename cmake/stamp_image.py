#!/usr/bin/env python3
"""stamp_image.py - writes the integrity stamp into a linked zorsfx.exe.

Usage: stamp_image.py EXE            stamp EXE in place
       stamp_image.py --check EXE    exit 0 if EXE's stamp matches its image, 1 if not

The stamp is the CRC-32 of the image (the file up to the end of its last section's raw data), taken with
three fields read as zero: the stamp itself (DOS header reserved words at 0x28), the optional header's
CheckSum and the certificate-table directory entry. Signing the self-extractor after packing rewrites only
those two fields and appends behind the image, so a signed self-extractor still passes its self-check.
The stub computes the same sum at start-up (src/archive/locate.cpp). The stamp changes the file after the
linker computed its PE checksum, so the checksum is computed again behind it.
"""
import struct
import sys
import zlib

STAMP_OFFSET = 0x28


def image_layout(data):
    """(image end, CheckSum offset, certificate entry offset or None) of a PE file."""
    if data[:2] != b'MZ':
        raise ValueError('not an executable')
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    if data[pe:pe + 4] != b'PE\0\0':
        raise ValueError('no PE header')
    sections, optional_size = struct.unpack_from('<H12xH', data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from('<H', data, optional)[0]
    count_at = {0x10B: 92, 0x20B: 108}[magic]
    directories = struct.unpack_from('<I', data, optional + count_at)[0]
    certificate = optional + count_at + 4 + 8 * 4 if directories > 4 else None
    table = optional + optional_size
    end = max(struct.unpack_from('<I', data, optional + 60)[0], table + 40 * sections)
    for i in range(sections):
        raw_size, raw_pointer = struct.unpack_from('<II', data, table + 40 * i + 16)
        if raw_size:
            end = max(end, raw_pointer + raw_size)
    return end, optional + 64, certificate


def image_stamp(data):
    end, checksum, certificate = image_layout(data)
    image = bytearray(data[:end])
    if len(image) < end:
        raise ValueError('file shorter than its image')
    image[STAMP_OFFSET:STAMP_OFFSET + 4] = bytes(4)
    image[checksum:checksum + 4] = bytes(4)
    if certificate is not None:
        image[certificate:certificate + 8] = bytes(8)
    return zlib.crc32(image)


def pe_checksum(data, checksum_offset):
    """The PE checksum as Windows computes it: the 16-bit one's-complement sum of the file with the
    CheckSum field read as zero, plus the file's length."""
    words = bytearray(data)
    words[checksum_offset:checksum_offset + 4] = bytes(4)
    if len(words) % 2:
        words.append(0)
    total = 0
    for (word,) in struct.iter_unpack('<H', words):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return ((total & 0xFFFF) + (total >> 16) & 0xFFFF) + len(data)


def main():
    args = sys.argv[1:]
    check = args[:1] == ['--check']
    if check:
        args = args[1:]
    if len(args) != 1:
        sys.exit(__doc__)
    with open(args[0], 'rb') as f:
        data = bytearray(f.read())
    stamp = image_stamp(data)
    if check:
        stored = struct.unpack_from('<I', data, STAMP_OFFSET)[0]
        sys.exit(0 if stored == stamp else 1)
    if any(data[STAMP_OFFSET + 4:0x3C]):
        sys.exit(f'{args[0]}: the DOS header\'s reserved words are in use')
    struct.pack_into('<I', data, STAMP_OFFSET, stamp)
    checksum = image_layout(data)[1]
    struct.pack_into('<I', data, checksum, pe_checksum(data, checksum))
    with open(args[0], 'r+b') as f:
        f.write(data)


if __name__ == '__main__':
    main()
