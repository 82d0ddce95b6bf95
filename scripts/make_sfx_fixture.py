#!/usr/bin/env python3
"""make_sfx_fixture.py - builds a self-extractor from the stub and a hand-made appended header.

Until the packer exists, this is how the tests and the demo get self-extractors: the stub, an optional
stub header with its title and default folder, and a 42-byte archive header (no segments behind it).

Usage: make_sfx_fixture.py STUB OUT [options]
  --title TEXT          stub header title (default: no stub header at all unless --folder/--flags given)
  --folder TEXT         stub header default folder
  --flags N             stub header flags (0x02: overwrite without prompting)
  --stub-header         write a stub header even with empty title and folder
  --file-count N        archive header file count (default 1)
  --archive-bytes N     keep only the first N bytes of the archive header (a cut-off file)
  --modify-image        change one byte of the stub's image (its icon), as a download error would
  --flip-byte N         change the byte at offset N of the stub instead (any executable)
"""
import argparse
import struct


def archive_header(file_count):
    directory_offset = 42
    return (b'ZOR\n' + struct.pack('<IIIIII', directory_offset, file_count, 0, 0, 42, 0)
            + bytes(12) + bytes(2))


def stub_header(title, folder, flags):
    t, f = title.encode('latin-1'), folder.encode('latin-1')
    return struct.pack('<HBBHH', 0x5853, flags, 0, len(t), len(f)) + t + f


def modify_image(data):
    # The icon's bitmap header (40-byte header, 32 x 64, one plane, 4 bits) is easy to find; a pixel of it
    # is never looked at before the self-check.
    at = data.find(struct.pack('<IiiHH', 40, 32, 64, 1, 4))
    if at < 0:
        raise SystemExit('icon not found in the stub')
    data[at + 40 + 64 + 200] ^= 0x11


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument('stub')
    p.add_argument('out')
    p.add_argument('--title')
    p.add_argument('--folder')
    p.add_argument('--flags', type=lambda s: int(s, 0))
    p.add_argument('--stub-header', action='store_true')
    p.add_argument('--file-count', type=int, default=1)
    p.add_argument('--archive-bytes', type=int)
    p.add_argument('--modify-image', action='store_true')
    p.add_argument('--flip-byte', type=lambda s: int(s, 0))
    a = p.parse_args()
    data = bytearray(open(a.stub, 'rb').read())
    if a.modify_image:
        modify_image(data)
    if a.flip_byte is not None:
        data[a.flip_byte] ^= 0x01
    if a.stub_header or a.title is not None or a.folder is not None or a.flags is not None:
        data += stub_header(a.title or '', a.folder or '', a.flags or 0)
    header = archive_header(a.file_count)
    data += header if a.archive_bytes is None else header[:a.archive_bytes]
    with open(a.out, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main()
