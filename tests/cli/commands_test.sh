#!/bin/bash
# commands_test.sh - zor list, zor test and zor extract on archives written by zor_cli_fixtures: standard
# output, standard error, exit code and the folders written, against expected/CASE.{out,err,rc,tree}.
# No terminal is attached, so no question is ever asked. Ends with Ctrl-C in the middle of a file.
# Usage: commands_test.sh ZOR FIXTURES [--update]   (--update rewrites the expectation files)
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
ZOR=$(readlink -f "$1")
FIXTURES=$(readlink -f "$2")
UPDATE=${3:-}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/zor-cli.XXXXXX")
trap 'chmod -R u+w "$WORK"; rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1
# DOS times are local times: fix the zone, and the permissions new files get.
export TZ=UTC
umask 022
unset NO_COLOR
"$FIXTURES" . "$ROOT/tests/data/tiny32.exe" || { echo "cannot write the fixtures"; exit 1; }

source "$HERE/harness.sh"

# ---- zor list ----
run list-tree list tree.zor
run list-sfx-json list tree.exe --json
run list-names list names.zor
run list-names-1251 list names.zor --codepage 1251
run list-names-1251-json list names.zor --codepage cp1251 --json
run list-escaping list escaping.zor
run list-damaged-directory list damaged-directory.zor
run list-damaged-directory-json list damaged-directory.zor --json
run list-no-files list no-files.zor
run list-missing list missing.zor
# Files that are no archive, or not all of one, get the right words (exit code 2). A damaged magic alone
# does not make an archive another file: the self-extractor reads it, and so does zor.
printf 'root:x:0:0:root:/root:/bin/bash\n' >passwd
cp "$ROOT/tests/data/tiny32.exe" program.exe
head -c -100 tree.exe >cut-short.exe
run wrong-not-archive list passwd
run wrong-program test program.exe
run wrong-cut-short extract cut-short.exe -o out-cut-short
check wrong-cut-short test ! -e out-cut-short
{ printf 'ZOR?'; tail -c +5 tree.zor; } >bad-magic.zor
check bad-magic cmp -s <("$ZOR" list tree.zor) <("$ZOR" list bad-magic.zor)
# Chosen entries: patterns in any case, a folder's pattern takes what is in it, excludes win; a pattern
# that matches nothing is an error naming it.
run list-chosen list tree.zor '**/*.TXT' docs/img --exclude guide.txt
run list-unmatched list tree.zor readme.txt 'no*'

# ---- zor info --blocks ----
# Sizes follow the encoder's choices, so only what the fixtures fix is checked: one segment of 6 files,
# none call-filtered, its LZ blocks; none read behind a damaged directory.
"$ZOR" info tree.exe --blocks >info-blocks.out 2>&1
check info-blocks grep -Eq '^ +[0-9]+ +6 +0 +[1-9][0-9]* +[1-9][0-9]* +0 +0 +[0-9]+ +[0-9]+ ' info-blocks.out
check info-blocks-total grep -q '^  All segments: 6 files, 0 with the 32-bit call filter, 0 with the 16-bit one' info-blocks.out
"$ZOR" info damaged-directory.zor --blocks >info-blocks-damaged.out 2>&1
check info-blocks-damaged grep -q '^Data segments: 0 (the directory is damaged' info-blocks-damaged.out

# ---- zor test ----
run test-sfx test tree.exe
run test-quiet test tree.zor --quiet
run test-crc test crc.zor
for j in 1 4; do run test-damaged test damaged.zor -j $j; done
run test-damaged-directory test damaged-directory.zor
run test-no-files test no-files.zor
# Only the chosen files are decoded: the damaged segment between them is never read.
run test-chosen test damaged.zor after.txt FIRST.TXT

# ---- zor extract into fresh folders ----
run --tree out-sfx extract-sfx extract tree.exe -o out-sfx
mkdir here && (cd here && "$ZOR" extract ../tree.zor >../extract-here.out 2>../extract-here.err </dev/null
               echo $? >../extract-here.rc)
listing here >extract-here.tree
compare extract-here out err rc tree
run --tree out-trailing-slash extract-trailing-slash extract tree.zor -o out-trailing-slash/ --quiet
run --tree out-crc extract-crc extract crc.zor -o out-crc
run --tree out-crc-quiet extract-crc-quiet extract crc.zor -o out-crc-quiet -q
# A damaged file in a later segment stops the run exactly as with one thread.
for j in 1 4; do
    rm -rf out-damaged
    run --tree out-damaged extract-damaged extract damaged.zor -o out-damaged -j $j
done
run --tree out-long extract-long-name extract long-name.zor -o out-long
run --tree out-names extract-names extract names.zor -o out-names
run --tree out-names-1251 extract-names-1251 extract names.zor -o out-names-1251 --codepage 1251
run --tree out-кириллица extract-output-1251 extract names.zor -o out-кириллица --codepage 1251 -q
# Names that would leave the target: refused, the run goes on, nothing lands outside.
mkdir escape
run --tree escape extract-escaping extract escaping.zor -o escape/out
check extract-escaping test ! -e /rooted.txt -a ! -e rooted.txt -a ! -e up.txt -a ! -e evil.txt
# Chosen entries: the folders above them are created; logo.bin comes whole from behind the files before it
# in its segment. A pattern that matches nothing is an error naming it, after the rest is done.
run --tree out-chosen extract-chosen extract tree.zor -o out-chosen 'DOCS/IMG/*' readme.txt
run --tree out-unmatched extract-unmatched extract tree.zor -o out-unmatched --exclude docs '**/*.txt' 'no*'
# Names of Windows devices: refused as damaged data, the run goes on.
run --tree out-devices extract-devices extract devices.zor -o out-devices

# Decoding on several threads: the same tree (contents, times, permissions) and the same lines on standard
# output in the same order, whatever the number of threads. Five segments, shared bytes, a call filter.
for j in 1 2 4 8; do
    rm -rf out-segments
    run --tree out-segments extract-segments extract segments.zor -o out-segments -j $j
done

# ---- zor extract over existing files ----
existing() {   # a folder holding an older readme.txt and guide.txt
    mkdir -p "$1/docs" && echo "old readme" >"$1/readme.txt" && echo "old guide" >"$1/docs/guide.txt"
    touch -d '2020-01-01 00:00:00' "$1/readme.txt" "$1/docs/guide.txt"
}
existing keep && run --tree keep extract-keep extract tree.zor -o keep
existing skip && run --tree skip extract-skip-existing extract tree.zor -o skip --skip-existing
existing replace && run --tree replace extract-overwrite extract tree.zor -o replace --overwrite
# A folder where a file belongs is not asked about: the file cannot be created, the run goes on.
mkdir -p folder-in-way/readme.txt && run --tree folder-in-way extract-folder-in-way extract tree.zor -o folder-in-way
# The output folder cannot be made: a file stands in its way.
echo file >blocked && run extract-blocked extract tree.zor -o blocked/out
run extract-no-files extract no-files.zor -o out-none
check extract-no-files test ! -e out-none
run extract-missing extract missing.zor

# ---- cut archives ----
# Every valid archive cut by 1 to 16 bytes and at every segment and block boundary: list, test and
# extract all fail with exit code 2. One case per archive.
cut_points() {   # ARCHIVE...: for each, its name and the lengths to cut it to
    python3 - "$@" <<'PY'
import struct, sys
for name in sys.argv[1:]:
    b = open(name, 'rb').read()
    start = 8 + sum(struct.unpack_from('<HH', b, 4)) if b[:2] == b'SX' else 0
    directory = start + struct.unpack_from('<I', b, start + 4)[0]
    points = {start + 42, directory} | {len(b) - k for k in range(1, 17)}
    p = start + 42
    while p < len(b):                   # data segments, then directory segments: 6 bytes, then blocks
        points |= {p, p + 6}
        p += 6
        while p + 6 <= len(b):
            header = int.from_bytes(b[p:p + 6], 'little')
            p += (header >> 25) & 0xFFFFF
            points.add(p)
            if header & 0x10 or (header >> 25) & 0xFFFFF < 6:
                break
    print(name, *sorted(n for n in points if 0 < n < len(b)))
PY
}
while read -r archive lengths; do
    bad=
    for n in $lengths; do
        head -c "$n" "$archive" >cut.zor
        for command in list test extract; do
            rm -rf cut-out
            "$ZOR" "$command" cut.zor $([ $command = extract ] && echo "-o cut-out") >/dev/null 2>&1 </dev/null
            rc=$?
            [ "$rc" = 2 ] || bad="$bad $command@$n:$rc"
        done
    done
    name=cut-$(basename "$archive" .zor)
    [ -z "$bad" ] || echo "$name: command@length:exit$bad"
    check "$name" test -z "$bad"
done < <(cut_points "$ROOT"/tests/data/valid/*.zor tree.zor names.zor)

# ---- on a terminal ----
# on_terminal CASE INPUT ARGS...: zor ARGS on a pseudo-terminal fed INPUT, with the environment set by
# the caller; CASE.out gets what the terminal shows (both streams) and the exit code. The terminal may
# echo the answers before zor asks: lines of one letter are dropped.
on_terminal() {
    local name=$1 input=$2; shift 2
    printf "$input" | script -qec "$(printf '%q ' "$ZOR" "$@"); echo \"exit code \$?\"" /dev/null |
        tr -d '\r' | grep -Ev '^[a-z]$' >"$name.out"
}
# The question for each existing file: No, then a stray answer and Yes, then Yes To All (no more questions).
existing asked && echo "old notes" >asked/docs/.notes && echo "old" >asked/empty.txt
NO_COLOR=1 TERM=xterm on_terminal extract-asked 'n\nx\ny\na\n' extract tree.zor -o asked
listing asked >extract-asked.tree
compare extract-asked out tree
# Ctrl-D at the question is No.
existing asked-eof
NO_COLOR=1 TERM=xterm on_terminal extract-asked-eof '' extract tree.zor -o asked-eof --quiet
compare extract-asked-eof out
# The progress bar: drawn and cleared on the terminal, the closing line stays; no line per file. Its
# figures depend on the speed, so only its marks are looked for.
TERM=xterm on_terminal bar '' extract tree.zor -o out-bar
check bar grep -q $'\e\\[K' bar.out
check bar grep -q 'Done: 6 files and 3 folders written, 0 errors\.$' bar.out
check bar grep -qvx 'readme.txt' bar.out
# No bar where the terminal cannot draw it.
TERM=dumb on_terminal bar-dumb '' test tree.zor
check bar-dumb grep -qx 'readme.txt' bar-dumb.out
check bar-dumb test "$(grep -c $'\e' bar-dumb.out)" = 0

# ---- usage errors ----
run usage-codepage list tree.zor --codepage 1234
run usage-both-policies extract tree.zor --overwrite --skip-existing
run usage-no-file extract
run usage-unknown-option test tree.zor --frobnicate
run usage-output-not-in-code-page extract tree.zor -o out-Привет
run usage-output-backslash extract tree.zor -o 'a\b'
check usage-output-backslash test ! -e 'a\b' -a ! -e a

# ---- links in the output folder ----
# Each layout plants a link, or a second name of a file, in a fresh output folder T, leading to O outside
# it. Whatever the options, nothing in O changes in content, permissions or existence, but where
# --follow-links lets a link to a folder be written through. One paragraph per case in links.out: the exit
# code, whether O changed, the messages.
mkdir O && echo victim >O/victim.txt && echo locked >O/locked.txt && chmod 644 O/victim.txt && chmod 400 O/locked.txt
outside() { (cd O && find . -printf '%p %y %m %s\n' | LC_ALL=C sort && find . -type f -exec md5sum {} + | LC_ALL=C sort); }
: >links.out
for opts in "" --overwrite --skip-existing --follow-links; do
    for layout in dangling file hard folder folder-over-file; do
        rm -rf T && mkdir T
        case $layout in
            dangling) ln -s ../O/created.txt T/readme.txt;;
            file) ln -s ../O/locked.txt T/readme.txt;;
            hard) ln O/victim.txt T/readme.txt;;
            folder) ln -s ../O T/docs;;
            folder-over-file) ln -s ../O/victim.txt T/docs;;
        esac
        before=$(outside)
        "$ZOR" extract tree.zor -o T $opts >/dev/null 2>links.err </dev/null
        rc=$?
        [ "$(outside)" = "$before" ] && state=unchanged || state=changed
        { echo "$layout ${opts:-(no option)}: exit $rc, outside $state"; sed 's/^/    /' links.err; } >>links.out
    done
done
compare links out

# ---- stopped in the middle of a 2 GB file ----
# By Ctrl-C, SIGTERM or the file-size limit: the file being written is removed and no file ever has its
# final name before it is complete. The shell would start a background job with SIGINT ignored (which zor
# respects): env restores it.
interrupt() {   # interrupt CASE SIGNAL
    env --default-signal=INT "$ZOR" extract big.zor -o out-big >"$1.out" 2>"$1.err" </dev/null &
    local pid=$! i
    for i in $(seq 1000); do [ -n "$(ls -A out-big 2>/dev/null)" ] && break; sleep 0.01; done
    kill -"$2" "$pid"
    wait "$pid"
    echo "$?" >"$1.rc"
    listing out-big >"$1.tree"
    compare "$1" out err rc tree
    rm -rf out-big
}
interrupt interrupt INT
interrupt terminate TERM
(ulimit -f 1024; "$ZOR" extract big.zor -o out-big --force >file-size.out 2>file-size.err </dev/null; echo $? >file-size.rc)
listing out-big >file-size.tree
compare file-size out err rc tree

# ---- files that will not fit ----
# 4096 entries sharing one small stretch of bytes declare 16 TiB: refused before anything is written, with
# both figures (the free space is this machine's). --force goes on, here into a file-size limit of 1 KiB.
"$ZOR" extract huge.zor -o out-huge >huge.out 2>huge.err </dev/null
echo $? >huge.rc
check huge-refused grep -qx '2' huge.rc
check huge-refused grep -qx 'zor: not enough free space in "out-huge": the files take 16384.00 GiB (17592186040320 bytes), .* are free (--force extracts anyway)' huge.err
check huge-refused test ! -e out-huge -a ! -s huge.out
(ulimit -f 1; "$ZOR" extract huge.zor -o out-huge --force -q >huge-force.out 2>huge-force.err </dev/null; echo $? >huge-force.rc)
listing out-huge >huge-force.tree
compare huge-force out err rc tree

finish
