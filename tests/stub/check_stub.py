#!/usr/bin/env python3
"""check_stub.py - checks the built zorsfx.exe: imports, subsystem, size, stamp, checksum, dialogs, icon,
manifest.

Usage: check_stub.py OBJDUMP ZORSFX.EXE

Reads the import table with the cross objdump and the resources straight from the file, and prints one
line per check; exits non-zero when any check fails.
"""
import os
import re
import struct
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'cmake'))
import stamp_image  # noqa: E402

# 24 KiB until the application manifest: its resource (about 1 KiB in the file) is what takes the stub
# past that, and the limit grows by what a manifest may need, no more.
SIZE_LIMIT = 28 * 1024
ALLOWED_DLLS = {'kernel32.dll', 'user32.dll', 'gdi32.dll'}

# Window and control styles (winuser.h).
WS_POPUP, WS_VISIBLE, WS_CAPTION, WS_SYSMENU = 0x80000000, 0x10000000, 0x00C00000, 0x00080000
WS_CHILD, WS_BORDER, WS_TABSTOP, WS_GROUP = 0x40000000, 0x00800000, 0x00010000, 0x00020000
DS_MODALFRAME, DS_3DLOOK, DS_SETFONT = 0x80, 0x4, 0x40
ES_LEFT, ES_OEMCONVERT = 0x0, 0x400
BS_PUSHBUTTON, BS_DEFPUSHBUTTON, BS_AUTOCHECKBOX, BS_LEFT = 0x0, 0x1, 0x3, 0x100
SS_LEFT, SS_CENTER, SS_ICON = 0x0, 0x1, 0x3
BUTTON, EDIT, STATIC = 0x80, 0x81, 0x82
CV = WS_CHILD | WS_VISIBLE

MAIN_DIALOG = {
    'style': WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK,
    'rect': (57, 37, 244, 81),
    'controls': [
        (101, EDIT, CV | WS_BORDER | WS_TABSTOP | ES_LEFT | ES_OEMCONVERT, (5, 33, 196, 10), ''),
        (108, BUTTON, CV | BS_DEFPUSHBUTTON | WS_TABSTOP, (206, 5, 33, 12), '&Extract'),
        (104, BUTTON, CV | BS_PUSHBUTTON | WS_TABSTOP, (206, 21, 33, 12), '&Cancel'),
        (107, STATIC, CV | SS_LEFT, (5, 23, 175, 8), 'Extract to Folder:'),
        (102, STATIC, CV | SS_CENTER, (5, 70, 234, 8), None),  # our banner
        (103, BUTTON, CV | BS_PUSHBUTTON | WS_TABSTOP, (206, 37, 33, 12), 'Help'),
        (106, BUTTON, CV | BS_AUTOCHECKBOX | BS_LEFT | WS_TABSTOP, (5, 47, 140, 10),
         'Overwrite Existing Files Without Prompting'),
        (105, STATIC, CV | SS_LEFT, (5, 5, 196, 16), ''),
    ],
}
OVERWRITE_DIALOG = {
    'style': WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_3DLOOK,
    'rect': (95, 60, 185, 43),
    'controls': [
        (0xFFFF, STATIC, CV | SS_ICON, (5, 5, 0, 0), 32514),
        (107, STATIC, CV | SS_CENTER | WS_GROUP, (26, 5, 154, 20), ''),
        (109, BUTTON, CV | BS_DEFPUSHBUTTON | WS_TABSTOP, (22, 26, 44, 12), '&Yes'),
        (110, BUTTON, CV | BS_PUSHBUTTON | WS_TABSTOP, (70, 26, 44, 12), '&No'),
        (108, BUTTON, CV | BS_PUSHBUTTON | WS_TABSTOP, (118, 26, 44, 12), 'Yes To &All'),
    ],
}

# What the manifest must say: (what, a regular expression the manifest matches).
MANIFEST = [
    ('runs as the invoker', r'<requestedExecutionLevel level="asInvoker" uiAccess="false"/>'),
    ('Windows 7', r'<supportedOS Id="\{35138b9a-5d96-4fbd-8e2d-a2440225f93a\}"/>'),
    ('Windows 8', r'<supportedOS Id="\{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38\}"/>'),
    ('Windows 8.1', r'<supportedOS Id="\{1f676c76-80e1-4239-95bb-83d0f6d0da78\}"/>'),
    ('Windows 10 and 11', r'<supportedOS Id="\{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a\}"/>'),
    ('system DPI aware', r'<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>'),
    ('common controls 6', r'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"'),
]
MANIFEST_ABSENT = [
    ('no UTF-8 code page (an ANSI program)', r'activeCodePage'),
    ('not per-monitor DPI aware', r'dpiAwareness|PerMonitor'),
]

failures = 0


def check(ok, what, detail=''):
    global failures
    print(f"{'ok  ' if ok else 'FAIL'} {what}{'' if ok or not detail else ': ' + detail}")
    failures += not ok


class Resources:
    """The resource directory of a PE file, read from the file itself."""

    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from('<I', data, 0x3C)[0]
        count, optional_size = struct.unpack_from('<H12xH', data, pe + 6)
        table = pe + 24 + optional_size
        self.sections = [struct.unpack_from('<8sIIII', data, table + 40 * i) for i in range(count)]
        rva = struct.unpack_from('<I', data, pe + 24 + 96 + 2 * 8)[0]
        self.root = self.offset(rva)

    def offset(self, rva):
        for _, vsize, vaddr, rawsize, rawptr in self.sections:
            if vaddr <= rva < vaddr + max(vsize, rawsize):
                return rva - vaddr + rawptr
        raise ValueError(f'RVA {rva:#x} outside every section')

    def entries(self, directory):
        named, numbered = struct.unpack_from('<12xHH', self.data, directory)
        for i in range(named + numbered):
            name, target = struct.unpack_from('<II', self.data, directory + 16 + 8 * i)
            yield name, target

    def get(self, type_id, res_id):
        """The bytes of resource (type, id) in its first language, or None."""
        for t, tdir in self.entries(self.root):
            if t != type_id:
                continue
            for r, rdir in self.entries(self.root + (tdir & 0x7FFFFFFF)):
                if r != res_id:
                    continue
                for _, leaf in self.entries(self.root + (rdir & 0x7FFFFFFF)):
                    rva, size = struct.unpack_from('<II', self.data, self.root + leaf)
                    at = self.offset(rva)
                    return self.data[at:at + size]
        return None


def sz_or_ord(b, at):
    if struct.unpack_from('<H', b, at)[0] == 0xFFFF:
        return struct.unpack_from('<H', b, at + 2)[0], at + 4
    end = at
    while struct.unpack_from('<H', b, end)[0]:
        end += 2
    return b[at:end].decode('utf-16-le'), end + 2


def parse_dialog(b):
    style, exstyle, count, x, y, cx, cy = struct.unpack_from('<IIHhhhh', b, 0)
    at = 18
    menu, at = sz_or_ord(b, at)
    cls, at = sz_or_ord(b, at)
    title, at = sz_or_ord(b, at)
    d = {'style': style, 'exstyle': exstyle, 'rect': (x, y, cx, cy), 'menu': menu, 'class': cls,
         'title': title, 'controls': []}
    for _ in range(count):
        at = (at + 3) & ~3
        cstyle, cexstyle, x, y, cx, cy, cid = struct.unpack_from('<IIhhhhH', b, at)
        at += 18
        ccls, at = sz_or_ord(b, at)
        text, at = sz_or_ord(b, at)
        extra = struct.unpack_from('<H', b, at)[0]
        at += 2 + extra
        d['controls'].append((cid, ccls, cstyle, cexstyle, (x, y, cx, cy), text))
    return d


def check_dialog(name, got, want):
    check(got['style'] == want['style'], f'{name}: window styles', f"{got['style']:#x} != {want['style']:#x}")
    check(not got['style'] & DS_SETFONT, f'{name}: no DS_SETFONT')
    check(got['exstyle'] == 0, f'{name}: no extended styles')
    check(got['rect'] == want['rect'], f'{name}: position and size', str(got['rect']))
    check((got['menu'], got['class'], got['title']) == ('', '', ''), f'{name}: no menu, no class, empty caption')
    check(len(got['controls']) == len(want['controls']), f'{name}: {len(want["controls"])} controls')
    for (cid, cls, style, exstyle, rect, text), (wid, wcls, wstyle, wrect, wtext) in zip(
            got['controls'], want['controls']):
        what = f'{name}: control {wid if wid != 0xFFFF else -1}'
        ok = (cid, cls, style, exstyle, rect) == (wid, wcls, wstyle, 0, wrect) and (wtext is None or text == wtext)
        check(ok, what, f'id {cid} class {cls} style {style:#x} exstyle {exstyle:#x} {rect} {text!r}')


def main():
    objdump, exe = sys.argv[1:3]
    data = open(exe, 'rb').read()

    size = len(data)
    print(f'zorsfx.exe: {size} bytes')
    check(size <= SIZE_LIMIT, f'size at most {SIZE_LIMIT} bytes', str(size))

    dump = subprocess.run([objdump, '-p', exe], check=True, capture_output=True, text=True).stdout
    dlls = {m.lower() for m in re.findall(r'DLL Name: (\S+)', dump)}
    check(dlls == ALLOWED_DLLS, 'imports only kernel32, user32 and gdi32', ', '.join(sorted(dlls)))
    check(re.search(r'^Subsystem\s+0+2\b', dump, re.M) is not None, 'GUI subsystem')

    end = stamp_image.image_layout(data)[0]
    check(end == size, 'nothing behind the image (stripped, no payload yet)', f'image ends at {end}')
    stored = struct.unpack_from('<I', data, stamp_image.STAMP_OFFSET)[0]
    check(stored == stamp_image.image_stamp(data), 'integrity stamp matches the image')

    checksum_at = stamp_image.image_layout(data)[1]
    check(struct.unpack_from('<I', data, checksum_at)[0] == stamp_image.pe_checksum(data, checksum_at),
          'PE checksum matches the file')

    res = Resources(data)
    manifest = res.get(24, 1)  # RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID
    check(manifest is not None, 'manifest 1 present')
    text = manifest.decode('utf-8') if manifest else ''
    for what, pattern in MANIFEST:
        check(re.search(pattern, text) is not None, f'manifest: {what}')
    for what, pattern in MANIFEST_ABSENT:
        check(re.search(pattern, text) is None, f'manifest: {what}')

    for name, rid, want in (('dialog 1', 1, MAIN_DIALOG), ('dialog 2', 2, OVERWRITE_DIALOG)):
        b = res.get(5, rid)  # RT_DIALOG
        check(b is not None, f'{name} present')
        if b is not None:
            check_dialog(name, parse_dialog(b), want)
    # Windows shows the first icon group of the file as its icon.
    types = dict(res.entries(res.root))
    groups = [name for name, _ in res.entries(res.root + (types[14] & 0x7FFFFFFF))] if 14 in types else []
    check(groups[:1] == [1], "icon group 1 is the file's icon", str(groups))
    group = res.get(14, 1)  # RT_GROUP_ICON
    check(group is not None, 'icon group 1 present')
    if group is not None:
        reserved, kind, count = struct.unpack_from('<HHH', group, 0)
        w, h, colours = struct.unpack_from('<BBB', group, 6)
        check((kind, count, w, h, colours) == (1, 1, 32, 32, 16), 'icon: one 32 x 32 image of 16 colours')
        icon_id = struct.unpack_from('<H', group, 6 + 12)[0]
        image = res.get(3, icon_id)  # RT_ICON
        header = struct.unpack_from('<IiiHH', image, 0) if image else None
        check(header == (40, 32, 64, 1, 4), 'icon: its image is a 32 x 32 bitmap of 4 bits per pixel', str(header))

    print(f'{failures} check(s) failed' if failures else 'all checks passed')
    sys.exit(1 if failures else 0)


if __name__ == '__main__':
    main()
