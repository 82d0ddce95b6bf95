#!/usr/bin/env python3
"""compare_tree.py - compares an extracted tree with the tree that was packed.

Usage: compare_tree.py EXPECTED ACTUAL [--subset]

The same folders and files, byte for byte, each file with the modification time it was packed with and
read-only exactly when the original was (Wine shows the read-only attribute as a file without write
permission). With --subset, entries may be missing from ACTUAL (an extraction that was cancelled), but
every file that is there must be complete and right. Prints one line per difference and the number of
files found, and exits 1 when there is any difference.
"""
import os
import stat
import sys


def listing(root):
    found = {}
    for folder, dirs, files in os.walk(root):
        for d in dirs:
            found[os.path.relpath(os.path.join(folder, d), root)] = 'folder'
        for f in files:
            found[os.path.relpath(os.path.join(folder, f), root)] = 'file'
    return found


def read_only(st):
    return not st.st_mode & (stat.S_IWUSR | stat.S_IWGRP | stat.S_IWOTH)


def main():
    args = [a for a in sys.argv[1:] if not a.startswith('--')]
    subset = '--subset' in sys.argv
    expected_root, actual_root = args
    expected, actual = listing(expected_root), listing(actual_root)
    problems = []
    for path in sorted(set(expected) | set(actual)):
        if path not in actual:
            if not subset:
                problems.append(f'missing: {path}')
        elif path not in expected:
            problems.append(f'unexpected: {path}')
        elif expected[path] != actual[path]:
            problems.append(f'{path}: a {actual[path]} instead of a {expected[path]}')
        elif expected[path] == 'file':
            e, a = os.path.join(expected_root, path), os.path.join(actual_root, path)
            with open(e, 'rb') as f1, open(a, 'rb') as f2:
                if f1.read() != f2.read():
                    problems.append(f'{path}: contents differ')
            se, sa = os.stat(e), os.stat(a)
            if int(se.st_mtime) != int(sa.st_mtime):
                problems.append(f'{path}: modified {int(sa.st_mtime)}, packed {int(se.st_mtime)}')
            if read_only(se) != read_only(sa):
                problems.append(f'{path}: mode {stat.filemode(sa.st_mode)}, packed {stat.filemode(se.st_mode)}')
    for p in problems[:40]:
        print(p)
    if len(problems) > 40:
        print(f'... and {len(problems) - 40} more')
    files = sum(1 for p in actual if actual[p] == 'file')
    print(f'{len(expected)} entries expected, {files} files found, {len(problems)} difference(s)')
    sys.exit(1 if problems else 0)


if __name__ == '__main__':
    main()
