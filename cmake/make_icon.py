#!/usr/bin/env python3
"""make_icon.py - turns a 32 x 32 text pixel map into a 16-colour .ico file.

Usage: make_icon.py MAP.txt OUT.ico

MAP.txt: lines starting with '#' are comments; the other 32 lines have 32 characters each, a hex digit
0-F for one of the 16 standard colours or '.' for a transparent pixel.
"""
import struct
import sys

# The 16 standard colours, in the order every 4-bit icon uses (blue, green, red, reserved).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
SIZE = 32


def read_map(path):
    rows = [line.rstrip('\n') for line in open(path, encoding='ascii') if not line.startswith('#')]
    rows = [r for r in rows if r.strip()]
    if len(rows) != SIZE or any(len(r) != SIZE for r in rows):
        sys.exit(f'{path}: need {SIZE} rows of {SIZE} pixels')
    for r in rows:
        for c in r:
            if c != '.' and c.upper() not in '0123456789ABCDEF':
                sys.exit(f'{path}: bad pixel {c!r}')
    return rows


def icon_bytes(rows):
    # The image is a bottom-up DIB of twice the height: colour bits, then the 1-bit transparency mask.
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, 2 * SIZE, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    colour, mask = bytearray(), bytearray()
    for row in reversed(rows):
        indexes = [0 if c == '.' else int(c, 16) for c in row]
        colour += bytes((indexes[i] << 4) | indexes[i + 1] for i in range(0, SIZE, 2))
        bits = ''.join('1' if c == '.' else '0' for c in row)
        mask += int(bits, 2).to_bytes(SIZE // 8, 'big')  # rows of 32 pixels are already 4-byte aligned
    image = header + palette + bytes(colour) + bytes(mask)
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    data = icon_bytes(read_map(sys.argv[1]))
    with open(sys.argv[2], 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main()
