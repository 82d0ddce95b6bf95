#!/bin/bash
# create_test.sh - zor create as a program: interrupted runs leave no file behind, usage errors, silence
# when nobody watches, and the progress bar on a terminal.
# Usage: create_test.sh ZOR
set -u
set -m  # background jobs keep SIGINT (without job control the shell makes them ignore it)
HERE=$(cd "$(dirname "$0")" && pwd)
ZOR=$(readlink -f "$1")
WORK=$(mktemp -d "${TMPDIR:-/tmp}/zor-create.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1

passed=0 failed=0
check() {   # check NAME CONDITION...
    local name=$1; shift
    if "$@"; then passed=$((passed + 1)); else echo "FAIL $name"; failed=$((failed + 1)); fi
}

mkdir -p small/sub big
echo hello >small/a.txt
echo world >small/sub/b.txt
# Enough work at the strongest level that the run is still going when the signal comes.
seq 1 2000000 >big/numbers.txt

# An interrupted run: the signal arrives while segments are being written; afterwards neither the output
# nor the temporary file exists, and an older file under the output's name is still there.
interrupt() {   # interrupt SIGNAL
    local sig=$1 pid rc n
    rm -rf out && mkdir out
    echo old >out/keep.exe
    "$ZOR" create -9 -j1 out/big.exe big >out.log 2>&1 &
    pid=$!
    for n in $(seq 1 500); do
        compgen -G 'out/.big.exe.zor-*' >/dev/null && break
        sleep 0.01
    done
    sleep 0.2
    kill -s "$sig" "$pid"
    wait "$pid" 2>/dev/null; rc=$?
    check "$sig: killed by the signal (rc $rc)" test "$rc" -gt 128
    check "$sig: no output" test ! -e out/big.exe
    check "$sig: no temporary file" test "$(ls -A out)" = keep.exe
}
interrupt INT
interrupt TERM

# The same output into an existing file: replaced only at the end.
"$ZOR" create out/keep.exe small >out.log 2>&1
check "replaces an existing file" test "$(head -c 2 out/keep.exe)" = MZ

# Nobody watching: nothing on standard output or error.
"$ZOR" create quiet.exe small >quiet.out 2>quiet.err
check "quiet: exit 0" test $? -eq 0
check "quiet: no output" test ! -s quiet.out -a ! -s quiet.err

# Usage errors exit 1 and write nothing.
"$ZOR" create -1 -9 usage.exe small >/dev/null 2>usage.err
check "two levels: exit 1" test $? -eq 1
"$ZOR" create usage.exe >/dev/null 2>&1
check "no input: exit 1" test $? -eq 1
"$ZOR" create --codepage 932 usage.exe small >/dev/null 2>usage.err
check "double-byte code page: exit 1" test $? -eq 1
check "usage: nothing written" test ! -e usage.exe

# A refusal exits 2.
"$ZOR" create refused.exe small missing >/dev/null 2>refused.err
check "missing input: exit 2" test $? -eq 2
check "missing input: message" grep -q '"missing": No such file or directory' refused.err

# The stub's resources as zor info reads them back: the execution level, the icon's images, the version.
python3 "$HERE/../wine/make_icon.py" app.ico 16:ff0000 48:00ff00 256:0000ff:png
"$ZOR" create -q res.exe small --title 'Info Test' --icon app.ico --elevation highestAvailable \
    --version-info FileVersion=1.2 --version-info 'CompanyName=Zoë' >/dev/null 2>&1
check "resources: created" test $? -eq 0
"$ZOR" info res.exe >res.info 2>&1
while IFS='|' read -r what line; do
    check "resources: $what" grep -qxF "$line" res.info
done <<'TABLE'
execution level|Manifest: execution level highestAvailable
icon images|Icon: 3 images: 16 x 16 (32 bits), 48 x 48 (32 bits), 256 x 256 (32 bits)
versions|Version information: file 1.2.0.0, product 1.2.0.0
description from the title|  FileDescription: "Info Test"
company|  CompanyName: "Zoë"
TABLE
check "resources: the self-check passes" grep -q '^Integrity stamp: .*, matches the image$' res.info
"$ZOR" create -q res2.exe small --icon small/a.txt >/dev/null 2>res2.err
check "not an icon: exit 2" test $? -eq 2
check "not an icon: message" grep -qxF 'zor: "small/a.txt" is not a usable icon: it is not an icon file' res2.err

# The round trip through zor extract: every kind of content, empty files and folders, an executable.
mkdir -p tree/empty-folder tree/nested/deeper tree/bin
: >tree/empty-file
seq 1 50000 >tree/nested/deeper/numbers.txt
head -c 300000 /dev/urandom >tree/nested/random.bin
cp /bin/true tree/bin/true-elf   # x86-64 code
cp "$HERE/../data/tiny32.exe" tree/bin/
chmod a-w tree/nested/random.bin
"$ZOR" create -6 trip.exe tree >trip.log 2>&1
check "round trip: created" test $? -eq 0
"$ZOR" test -q trip.exe >>trip.log 2>&1
check "round trip: zor test" test $? -eq 0
mkdir trip
"$ZOR" extract -q -o trip trip.exe >>trip.log 2>&1
check "round trip: extracted" test $? -eq 0
check "round trip: same tree" diff -r tree trip/tree
check "round trip: read-only kept" test "$(stat -c %A trip/tree/nested/random.bin | tr -d -c w)" = ""
check "round trip: write time kept" test "$(stat -c %Y tree/nested/deeper/numbers.txt)" -le \
    "$(( $(stat -c %Y trip/tree/nested/deeper/numbers.txt) + 1 ))"

# What is packed: --exclude by name at any depth and by stored path; @LISTFILE paths stored as listed (a CR
# at the line end dropped), and NUL-separated with --null; a folder and what is in it listed, packed once.
paths() { "$ZOR" list "$1" | sed '1d;$d' | cut -c58- | LC_ALL=C sort | tr '\n' ' '; }
mkdir -p sel/src/obj sel/build && echo c >sel/src/a.c && echo o >sel/src/obj/a.o && echo b >sel/build/b.c
"$ZOR" create excluded.exe sel --exclude '*.o' --exclude 'SEL/build' >/dev/null 2>&1
check "exclude: by name and path" test "$(paths excluded.exe)" = "sel sel/src sel/src/a.c sel/src/obj "
printf 'sel/src/a.c\r\n\nsel/build\n' >list.txt
"$ZOR" create listed.exe @list.txt >/dev/null 2>&1
check "list file: paths as listed" test "$(paths listed.exe)" = "sel/build sel/build/b.c sel/src/a.c "
(cd sel && find . -print0 | "$ZOR" create --null --exclude obj ../found.exe @- >/dev/null 2>&1)
check "list from find -print0" test "$(paths found.exe)" = "build build/b.c src src/a.c "

# Reproducible: with SOURCE_DATE_EPOCH, later times are stored as it, so one tree packed again after its
# times changed, with another number of threads, gives the same bytes.
mkdir -p repro/a && seq 1 400000 >repro/a/numbers.txt && head -c 3000000 /dev/urandom >repro/random.bin
touch -d @1750000000 repro repro/a repro/a/numbers.txt repro/random.bin
SOURCE_DATE_EPOCH=1700000000 "$ZOR" create -1 -j1 repro1.exe repro >/dev/null 2>&1
touch -d @1760000000 repro repro/a repro/a/numbers.txt repro/random.bin
SOURCE_DATE_EPOCH=1700000000 "$ZOR" create -1 -j3 repro2.exe repro >/dev/null 2>&1
check "reproducible: same bytes" cmp -s repro1.exe repro2.exe
check "reproducible: times clamped" grep -q '"path": "repro/random.bin".*"modified": "2023-11-14T22:13:20"' \
    <(TZ=UTC "$ZOR" list --json repro1.exe)
SOURCE_DATE_EPOCH=yesterday "$ZOR" create usage.exe small >/dev/null 2>&1
check "SOURCE_DATE_EPOCH not a number: exit 1" test $? -eq 1

# On a terminal: the progress bar, then one closing line.
TERM=xterm script -qec "\"$ZOR\" create -1 tty.exe small" /dev/null </dev/null >tty.log 2>&1
check "terminal: exit 0" test $? -eq 0
check "terminal: progress bar" grep -q '% \[=.*\] .* in, .* out (' tty.log
check "terminal: summary" grep -q 'tty.exe: 2 files and 2 folders' tty.log
NO_COLOR=1 TERM=xterm script -qec "\"$ZOR\" create -1 tty2.exe small" /dev/null </dev/null >tty2.log 2>&1
check "NO_COLOR: no bar" test ! -s tty2.log

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
