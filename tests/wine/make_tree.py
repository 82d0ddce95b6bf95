#!/usr/bin/env python3
"""make_tree.py - writes the folder tree that the Wine tests pack and extract again.

Usage: make_tree.py OUT [--files N] [--seed S]
       make_tree.py OUT --long N

Always the same tree for the same seed: nested folders (two of them hold no files), N files of every kind the
decoders meet (text, random bytes, runs, records, x86-like code for the call filter, empty files), sizes
from 0 bytes to past the first LZ block, a few read-only files, and modification times spread over
decades at even seconds (DOS times have 2-second steps). Names are plain ASCII with spaces and
punctuation that Windows allows; no two names in a folder differ only in case.

With --long: N text files of 600 000 bytes side by side, a tree that takes a while to extract.
"""
import argparse
import os
import random

WORDS = ('archive block window segment folder extract tree prefix code length table offset stream '
         'history delta filter record entry header value the of and to in is for with on as at').split()
NAME_PARTS = ('report data notes image sound setup read me index main help log config part '
              'Draft Final Summary Backup copy (2) v1.2 2021 #7 a&b x+y [old] @home it\'s').split()


def text(rng, size):
    out = []
    n = 0
    while n < size:
        line = ' '.join(rng.choice(WORDS) for _ in range(rng.randint(3, 14))) + '\r\n'
        out.append(line)
        n += len(line)
    return ''.join(out).encode('ascii')[:size]


def code(rng, size):
    # Call instructions (E8 and a 32-bit displacement) between short runs of other opcodes.
    out = bytearray()
    while len(out) < size:
        out += bytes(rng.choice((0x55, 0x89, 0x8B, 0x83, 0xC3, 0x90, 0x50)) for _ in range(rng.randint(1, 9)))
        out.append(0xE8)
        out += rng.randint(-0x4000, 0x4000).to_bytes(4, 'little', signed=True)
    return bytes(out[:size])


def records(rng, size):
    out = bytearray()
    i = rng.randint(0, 1000)
    while len(out) < size:
        out += i.to_bytes(4, 'little') + (i * 7 % 251).to_bytes(2, 'little') + b'REC\x00'
        i += 1
    return bytes(out[:size])


def runs(rng, size):
    out = bytearray()
    while len(out) < size:
        out += bytes([rng.randrange(256)]) * rng.randint(1, 3000)
    return bytes(out[:size])


def content(rng, kind, size):
    if kind == 'text':
        return text(rng, size)
    if kind == 'random':
        return rng.randbytes(size)
    if kind == 'code':
        return code(rng, size)
    if kind == 'records':
        return records(rng, size)
    if kind == 'runs':
        return runs(rng, size)
    return bytes(size)  # zeros


def size_for(rng):
    r = rng.random()
    if r < 0.05:
        return 0
    if r < 0.35:
        return rng.randint(1, 600)
    if r < 0.85:
        return rng.randint(600, 20000)
    return rng.randint(20000, 120000)


def make_folders(rng, count):
    folders = ['']
    while len(folders) < count:
        parent = rng.choice([f for f in folders if f.count(os.sep) < 5])
        name = f'{rng.choice(NAME_PARTS)} {len(folders)}'
        folders.append(os.path.join(parent, name) if parent else name)
    return folders


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument('out')
    p.add_argument('--files', type=int, default=400)
    p.add_argument('--seed', type=int, default=7)
    p.add_argument('--long', type=int)
    a = p.parse_args()
    rng = random.Random(a.seed)
    if a.long:
        os.makedirs(a.out, exist_ok=True)
        for i in range(a.long):
            path = os.path.join(a.out, f'long {i:02d}.txt')
            with open(path, 'wb') as f:
                f.write(text(rng, 600_000))
            os.utime(path, (1700000000 + 2 * i,) * 2)
        return

    folders = make_folders(rng, 60)
    for f in folders:
        os.makedirs(os.path.join(a.out, f), exist_ok=True)
    empty = set(rng.sample(folders[1:], 2))
    used = {f: set() for f in folders}
    files = []
    kinds = ('text', 'random', 'code', 'records', 'runs', 'zeros')
    for i in range(a.files):
        folder = rng.choice([f for f in folders if f not in empty])
        kind = rng.choice(kinds)
        ext = {'code': rng.choice(('.exe', '.dll')), 'text': rng.choice(('.txt', '.TXT', '.log', ''))}.get(
            kind, rng.choice(('.bin', '.dat', '.a.b')))
        name = f'{rng.choice(NAME_PARTS)}_{i:03d}{ext}'
        assert name.lower() not in used[folder]
        used[folder].add(name.lower())
        files.append((os.path.join(folder, name), content(rng, kind, size_for(rng))))
    # Big ones: past the first LZ block (0xFF000 bytes), and a long block-sorting stretch.
    files.append((os.path.join(folders[1], 'big text.txt'), text(rng, 1_300_000)))
    files.append((os.path.join(folders[2], 'big random.bin'), rng.randbytes(400_000)))

    readonly = set(rng.sample(range(len(files)), 5))
    for i, (path, data) in enumerate(files):
        full = os.path.join(a.out, path)
        with open(full, 'wb') as f:
            f.write(data)
        when = rng.randrange(631152000, 2051222400) & ~1  # 1990 to 2035, even seconds
        os.utime(full, (when, when))
        if i in readonly:
            os.chmod(full, 0o444)


if __name__ == '__main__':
    main()
