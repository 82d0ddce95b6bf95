#!/usr/bin/env python3
"""make_icon.py - writes a test icon: one image per SIZE:RRGGBB[:png], a disc of that colour with a white
ring in it on a transparent ground, as a 32-bit bitmap or (with :png) a PNG image. Each size has its own
colour at its centre, so a test can tell which image Windows picked.

Usage: make_icon.py OUT.ico SIZE:RRGGBB[:png]...
"""
import struct
import sys
import zlib


def pixels(size, colour):
    """Rows top to bottom of (r, g, b, a)."""
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            r = ((x + 0.5 - size / 2) ** 2 + (y + 0.5 - size / 2) ** 2) ** 0.5 / (size / 2)
            if r > 0.97:
                row.append((0, 0, 0, 0))
            elif 0.55 < r < 0.72:
                row.append((255, 255, 255, 255))
            else:
                row.append(colour + (255,))
        rows.append(row)
    return rows


def bitmap(size, rows):
    header = struct.pack('<IiiHHIIiiII', 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b''.join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    mask = b''
    for row in reversed(rows):
        bits = ''.join('1' if a == 0 else '0' for _, _, _, a in row).ljust((size + 31) // 32 * 32, '0')
        mask += int(bits, 2).to_bytes(len(bits) // 8, 'big')
    return header + colour + mask


def png(size, rows):
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    raw = b''.join(b'\0' + bytes(v for p in row for v in p) for row in rows)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    images = []
    for wanted in sys.argv[2:]:
        parts = wanted.split(":")
        size = int(parts[0])
        colour = tuple(bytes.fromhex(parts[1]))
        rows = pixels(size, colour)
        images.append((size, png(size, rows) if parts[2:] == ['png'] else bitmap(size, rows)))
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b''.join(data for _, data in images)
    with open(sys.argv[1], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
