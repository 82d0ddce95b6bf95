#!/bin/bash
# tool.sh - zor.exe, the tool for 64-bit Windows, under 64-bit Wine: every command on a tree with names
# beyond ASCII, in two code pages; the same archive bytes and the same output as the native zor; exit
# codes; the author's icon and version information read from a file by zor.exe; and the self-extractor it
# makes, extracting under Wine.
# Usage: tool.sh ZOR.EXE ZOR [PREFIX]
#   ZOR     the native build's zor, to compare with
#   PREFIX  Wine prefix to use, created when missing (default: a new one in the work folder)
# Exit status 0 when every check passed. Wine failing to start is a failure, not a skip.
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
USAGE='usage: tool.sh ZOR.EXE ZOR [PREFIX]'
ZOREXE=$(readlink -f "${1:?$USAGE}")
ZOR=$(readlink -f "${2:?$USAGE}")
WORK=$(mktemp -d "${TMPDIR:-/tmp}/zor-tool.XXXXXX")
PREFIX=$(readlink -m "${3:-$WORK/prefix}")
export WL_PROBE=$WORK/probe64.exe
# Times are local DOS times: both tools read them in one zone without daylight saving time.
export TZ=Asia/Kolkata
. "$HERE/wl-env.sh"
. "$HERE/harness.sh"
same_file() { cmp "$1" "$2" >&2; }
# zor.exe with the arguments given; its standard output, error and exit code in NAME.out, NAME.err, NAME.rc.
# Wine's own messages go to its debug channel, which is off.
zexe() {   # zexe NAME ARGS...
    local name=$1; shift
    "$WL_WINE64" "$ZOREXE" "$@" >"$name.out" 2>"$name.err" </dev/null
    echo $? >"$name.rc"
}
znat() {   # znat NAME ARGS...: the same with the native zor
    local name=$1; shift
    "$ZOR" "$@" >"$name.out" 2>"$name.err" </dev/null
    echo $? >"$name.rc"
}
rc() { cat "$1.rc"; }
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# A tree with names of Windows-1252 beyond ASCII, nested and empty folders, a read-only file, even-second times.
make_tree() {   # make_tree DIR
    mkdir -p "$1/Café/Ünter ordner/tief" "$1/leer" "$1/Straße"
    printf 'naïve\r\n' >"$1/Café/naïve.txt"
    printf 'über\r\n' >"$1/Café/Ünter ordner/über.txt"
    seq 1 20000 >"$1/Café/Ünter ordner/tief/zahlen.txt"
    head -c 70000 /dev/urandom >"$1/Straße/Größe €.bin"
    printf 'read only\r\n' >"$1/Straße/nur lesen.txt"
    chmod a-w "$1/Straße/nur lesen.txt"
    find "$1" -exec touch -d '2026-03-04 05:06:08' {} +
}

T0=$SECONDS
[ -x "$ZOR" ] || { wl_log "FAIL no $ZOR (build the native preset first)"; exit 1; }
wl_xvfb_start || exit 1
wl_prefix_create "$PREFIX" || { wl_log "FAIL Wine cannot create its prefix"; exit 1; }
wl_session_start || { wl_log "FAIL Wine session does not start"; exit 1; }
cd "$WORK" || exit 1
mkdir tree && make_tree tree
# Cyrillic names, for code page 1251.
mkdir -p cyr/Папка/Пустая && printf 'привет\r\n' >cyr/Папка/файл.txt && find cyr -exec touch -d '2026-03-04 05:06:08' {} +

# create: the same bytes whatever the number of threads, and the same archive as the native zor's but for
# the creation times (Linux gives the birth time, Wine the write time).
zexe c1 create -q -j 2 w.exe tree
check "create: exit code 0" eq "$(rc c1)" 0
zexe c2 create -q -j 1 w1.exe tree
znat c3 create -q -j 1 n.exe tree
check "create: -j 2 and -j 1 give the same file" same_file w.exe w1.exe
without_created() { "$ZOR" list --json "$1" | sed 's/"created": "[^"]*", //'; }
check "create: the same entries as the native zor's" eq "$(without_created w.exe)" "$(without_created n.exe)"

# list, test and info: the same output as the native zor (UTF-8, "\n" line ends).
for cmd in list test info; do
    zexe "w-$cmd" "$cmd" w.exe
    znat "n-$cmd" "$cmd" w.exe
    check "$cmd: exit code 0" eq "$(rc "w-$cmd")" 0
    check "$cmd: the same output as the native zor" same_file "w-$cmd.out" "n-$cmd.out"
done
check "list: names in UTF-8" grep -q 'tree/Straße/Größe €.bin' w-list.out

# extract into a Windows path and into a relative one with slashes; the tree comes back whole.
zexe x1 extract -q -o "$(winpath "$WORK/x1")" w.exe
check "extract: exit code 0" eq "$(rc x1)" 0
check "extract: the tree, with times and the read-only file" python3 "$HERE/compare_tree.py" tree x1/tree
zexe x2 extract -q -o x2/sub w.exe
check "extract -o with slashes" python3 "$HERE/compare_tree.py" tree x2/sub/tree

# Another code page: Cyrillic names in 1251, listed and extracted through Windows' conversions.
zexe k1 create -q --codepage 1251 k.exe cyr
check "1251: create" eq "$(rc k1)" 0
zexe k2 list --codepage 1251 k.exe
check "1251: list" grep -q 'cyr/Папка/файл.txt' k2.out
zexe k3 extract -q --codepage 1251 -o k-out k.exe
check "1251: extract" python3 "$HERE/compare_tree.py" cyr k-out/cyr
zexe k4 create -q k1252.exe cyr
check "1252 cannot hold Cyrillic: exit code 2" eq "$(rc k4)" 2
check "1252 cannot hold Cyrillic: the message" grep -q 'which code page 1252 does not have' k4.err

# Exit codes as on POSIX: usage, a missing file, damaged data.
zexe e1 extract --frob w.exe
check "usage error: exit code 1" eq "$(rc e1)" 1
zexe e2 info missing.exe
check "missing file: exit code 2" eq "$(rc e2)" 2
check "missing file: the message" eq "$(tr '\n' '|' <e2.err)" 'zor: Cannot open missing.exe|File not found|'
cp w.exe d.exe
python3 - d.exe <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
archive = data.index(b'ZOR\n', 20000)
data[archive + struct.unpack_from('<I', data, archive + 4)[0]] ^= 0xFF   # the directory's signature
open(sys.argv[1], 'wb').write(data)
PY
zexe e3 test d.exe
check "damaged archive: exit code 2" eq "$(rc e3)" 2

# The author's icon and version information, read by zor.exe from a Windows path.
python3 "$HERE/make_icon.py" app.ico 16:ff0000 32:00ff00
zexe r1 create -q r.exe tree --icon "$(winpath "$WORK/app.ico")" --title 'Résumé' --version-info FileVersion=3.1 \
    --elevation highestAvailable
zexe r2 info r.exe
check "resources: created" eq "$(rc r1)" 0
check "resources: the level" grep -qx 'Manifest: execution level highestAvailable' r2.out
check "resources: the icon" grep -qx 'Icon: 2 images: 16 x 16 (32 bits), 32 x 32 (32 bits)' r2.out
check "resources: the title as description" grep -qx '  FileDescription: "Résumé"' r2.out

# The self-extractor that zor.exe made extracts under Wine.
wl_run s.log w.exe /S "/D=$(winpath "$WORK/sfx")"
wl_wait_exit 120
check "self-extractor: exit code 0" eq "$WL_RC" 0
check "self-extractor: the tree" python3 "$HERE/compare_tree.py" tree sfx/tree

wl_log "zor.exe under Wine: $((SECONDS - T0)) s"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
