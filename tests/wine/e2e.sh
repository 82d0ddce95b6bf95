#!/bin/bash
# e2e.sh - end-to-end tests of the real zorsfx.exe under Wine, in a private virtual X display: start-up,
# then self-extractors packed from folder trees, driven as a person would (typing, Enter, clicks); then
# unattended runs, the author's icon and version information, signing, and planted DLLs.
# Usage: e2e.sh ZORSFX.EXE ZOR PACK_NAMES [PREFIX]
#   ZOR         the zor tool of a native build: its `create --bare` packs the trees for this stub
#   PACK_NAMES  zor_pack_names of the same build: entries with names that `zor create` refuses
#   PREFIX  Wine prefix to use, created when missing (default: a new one in the work folder)
# Env: WL_SHOTS=DIR keeps screenshots there; WL_KEEP=1 keeps the work folder; E2E_ONLY="tree damaged" runs
# only those cases.
# Exit status 0 when every check passed. Wine or the display failing to start is a failure, not a skip.
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
USAGE='usage: e2e.sh ZORSFX.EXE ZOR PACK_NAMES [PREFIX]'
STUB=$(readlink -f "${1:?$USAGE}")
ZOR=$(readlink -f "${2:?$USAGE}")
PACK_NAMES=$(readlink -f "${3:?$USAGE}")
WORK=$(mktemp -d "${TMPDIR:-/tmp}/zor-e2e.XXXXXX")
PREFIX=$(readlink -m "${4:-$WORK/prefix}")
SHOTS=${WL_SHOTS:-$WORK}
export WL_PROBE=$WORK/probe64.exe
# Archive times are local DOS times: the packer and Wine read them in one zone, one without daylight
# saving time (so every date converts the same way) and with a half-hour offset (so an error shows).
export TZ=Asia/Kolkata
# Wine logs each message box's text: how a case knows that no box (or how many) appeared.
export WINEDEBUG=-all,+msgbox
. "$HERE/wl-env.sh"
mkdir -p "$SHOTS"
. "$HERE/harness.sh"
# A screenshot and a window dump, for diagnosis.
snap() { wl_shot "$SHOTS/fail-$1.png"; wl_probe >"$SHOTS/fail-$1.txt"; cat "$SHOTS/fail-$1.txt" >&2; }
# On a failed wait: the diagnosis, then this case stops.
diag() {
    wl_log "FAIL $1: see $SHOTS/fail-$1.png"
    snap "$1"; wl_kill_program; failed=$((failed + 1)); return 1
}
fixture() {   # fixture NAME [make_sfx_fixture.py options]
    local name=$1; shift
    python3 "$ROOT/scripts/make_sfx_fixture.py" "$STUB" "$WORK/$name" "$@"
}
# The probe line of control ID in the window with X id W; its icon flag and check state.
ctrl_field() { wl_ctrl_line "$1" "$2" | LC_ALL=C sed -n "s/.* $3=\([0-9]*\).*/\1/p"; }
windows_of_test() { wl_probe | grep -c '^window .* pid='; }
buttons_of() {   # buttons_of W: how many buttons the window with X id W has
    wl_probe | awk -v xid="xid=$1" '$1 == "window" { cur = ($3 == xid) } cur && /class=Button/' | wc -l
}

# Waits for the program to end after its last window was answered; nothing else may appear meanwhile.
# The exit code says what happened: 0 everything written, 1 something failed or was skipped, 2 cancelled
# or the start failed.
expect_exit_alone() {   # expect_exit_alone CASE EXIT_CODE [TIMEOUT]
    local others i
    # A window still waiting for an answer is photographed before the program is stopped.
    for i in $(seq $((${3:-20} * 4))); do
        case "$(ps -o stat= -p "$WL_PID" 2>/dev/null)" in ''|Z*) break ;; esac
        sleep 0.25
    done
    case "$(ps -o stat= -p "$WL_PID" 2>/dev/null)" in ''|Z*) ;; *) snap "$1" ;; esac
    wl_wait_exit 5
    check "$1: exit code $2" eq "$WL_RC" "$2"
    others=$(xdotool search --onlyvisible --name '.' 2>/dev/null | wc -l)
    check "$1: no window left behind" eq "$others" 0
}

# (a) a stub header title and a file count of 0: the empty-archive box, no icon, no main dialog.
case_no_files() {
    local W
    fixture a.exe --title 'Empty Archive Test' --file-count 0
    wl_run "$WORK/a.log" a.exe
    W=$(wl_wait_window '^Empty Archive Test$' 60) && wl_wait_focus "$W" || { diag a; return; }
    check "a: text" eq "$(wl_ctrl_text "$W" 65535)" 'Archive contains no files'
    check "a: no icon" eq "$(ctrl_field "$W" 1088 icon)" 0
    check "a: only an OK button" eq "$(wl_probe 'Empty Archive Test' | grep -c 'class=Button')" 1
    check "a: no main dialog" test -z "$(wl_ctrl_line "$W" 101)"
    wl_shot "$SHOTS/no-files.png"
    xdotool key Return
    expect_exit_alone a 2
}

# (b) a file count above 0: the main dialog, captioned with the title, filled from the stub header.
case_main_dialog() {
    local W
    fixture b.exe --title 'Main Dialog Test' --folder 'C:\Target Folder' --flags 0x02 --file-count 3
    wl_run "$WORK/b.log" b.exe
    W=$(wl_wait_window '^Main Dialog Test$' 60) && wl_wait_focus "$W" || { diag b; return; }
    check "b: prompt" eq "$(wl_ctrl_text "$W" 105)" \
        'Click the Extract button to extract all files in b.exe to the specified folder.'
    check "b: default folder" eq "$(wl_ctrl_text "$W" 101)" 'C:\\Target Folder'
    check "b: overwrite box checked (flags 0x02)" eq "$(ctrl_field "$W" 106 check)" 1
    check "b: label" eq "$(wl_ctrl_text "$W" 107)" 'Extract to Folder:'
    check "b: buttons" eq "$(wl_ctrl_text "$W" 108)/$(wl_ctrl_text "$W" 104)/$(wl_ctrl_text "$W" 103)" \
        '&Extract/&Cancel/Help'
    wl_shot "$SHOTS/start-up.png"
    wl_click_id "$W" 104   # Cancel
    expect_exit_alone b 2
}

# (c) no stub header: the default caption, the current folder, the box unchecked; Alt+F4 closes.
case_no_stub_header() {
    local W want
    fixture c.exe --file-count 1
    wl_run "$WORK/c.log" c.exe
    W=$(wl_wait_window '^Ostrel Self-Extractor$' 60) && wl_wait_focus "$W" || { diag c; return; }
    want="Z:$(printf '%s' "$WORK" | sed 's#/#\\\\#g')"
    check "c: current folder as default" eq "$(wl_ctrl_text "$W" 101)" "$want"
    check "c: overwrite box unchecked" eq "$(ctrl_field "$W" 106 check)" 0
    xdotool key alt+F4
    expect_exit_alone c 2
}

# (d) an archive header cut short: "Cannot read" naming the program file, captioned with the title.
case_truncated() {
    local W
    fixture d.exe --title 'Truncated Test' --archive-bytes 20
    wl_run "$WORK/d.log" d.exe
    W=$(wl_wait_window '^Truncated Test$' 60) && wl_wait_focus "$W" || { diag d; return; }
    check "d: text" eq "$(wl_ctrl_text "$W" 65535)" 'Cannot read d.exe'
    check "d: exclamation icon" eq "$(ctrl_field "$W" 1088 icon)" 1
    xdotool key Return
    expect_exit_alone d 2
}

# (e) a changed byte in the image: the self-check's warning and nothing else.
case_modified() {
    local W
    fixture e.exe --title 'Never Shown' --file-count 2 --modify-image
    wl_run "$WORK/e.log" e.exe
    W=$(wl_wait_window '^Ostrel Self-Extractor$' 60) && wl_wait_focus "$W" || { diag e; return; }
    check "e: warning text" eq "$(wl_ctrl_text "$W" 65535)" \
        'This self-extractor has been modified,\npossibly by a download error or a virus.\nPlease run an up-to-date virus scan.'
    check "e: exclamation icon" eq "$(ctrl_field "$W" 1088 icon)" 1
    wl_shot "$SHOTS/modified.png"
    xdotool key Return
    expect_exit_alone e 2
}

# ---- Extraction: self-extractors packed from folder trees ----

TREE=$WORK/tree     # several hundred files in nested folders (make_tree.py)
SMALL=$WORK/small   # five files, for the overwrite cases
DAMAGED_TEXT='Archive data is damaged, probably caused by\na corrupt disk or download error'

# The stub under test in front of what `zor create --bare` packs: the stub header and the archive.
pack() {   # pack NAME TREE [zor create options]: the tree's contents at the archive's root
    local name=$1 tree=$2; shift 2
    (cd "$tree" && "$ZOR" create --bare -q "$@" -- "$WORK/$name.zor" *) &&
        cat "$STUB" "$WORK/$name.zor" >"$WORK/$name"
}
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }   # a Linux path as Wine's drive Z: shows it
probe_escaped() { printf '%s' "$1" | sed 's/\\/\\\\/g; s/"/\\"/g'; }
boxes() { grep -c 'MSGBOX_OnInit' "$WORK/$1.log"; }   # message boxes the case's program showed
shot_window() { import -window "$1" "$SHOTS/$2"; }
visible() { xwininfo -id "$1" 2>/dev/null | grep -q IsViewable; }
alive() { case "$(ps -o stat= -p "$WL_PID" 2>/dev/null)" in ''|Z*) return 1 ;; esac; }

# Types over the selected default folder and checks that every key arrived.
type_folder() {   # type_folder W TEXT
    local got want i
    want=$(probe_escaped "$2")
    xdotool type --delay 5 "$2"
    for i in $(seq 10); do
        got=$(wl_ctrl_text "$1" 101)
        [ "$got" = "$want" ] && return 0
        sleep 0.2
    done
    echo "    typed [$2], the folder box holds [$got]" >&2
    return 1
}

# The old versions in the target, then the new ones in the archive.
make_small() {   # make_small DIR WORD
    mkdir -p "$1/sub"
    local f
    for f in a.txt b.txt c.txt d.txt sub/e.txt; do printf '%s %s\r\n' "$2" "$f" >"$1/$f"; done
}
small_contents() {   # small_contents DIR: "a=new b=old ..." from the files' first words
    local f out=
    for f in a.txt b.txt c.txt d.txt sub/e.txt; do out="$out${f##*/}=$(cut -d' ' -f1 "$1/$f") "; done
    printf '%s' "${out% }"
}

# Changes the signature of the directory's first segment: the walk fails before any entry.
damage_directory() {   # damage_directory SELF_EXTRACTOR
    python3 - "$1" "$(stat -c %s "$STUB")" <<'PY'
import struct, sys
path, stub = sys.argv[1], int(sys.argv[2])
data = bytearray(open(path, 'rb').read())
archive = data.index(b'ZOR\n', stub)                 # behind the stub header
directory = archive + struct.unpack_from('<I', data, archive + 4)[0]
data[directory] ^= 0xFF                              # the directory segment's signature
open(path, 'wb').write(data)
PY
}

# (f) the whole tree: type a target folder on drive C: of the prefix, press Enter, compare everything.
case_tree() {
    local W out="$WINEPREFIX/drive_c/Tree Test"
    rm -rf "$out"
    pack tree.exe "$TREE" --title 'Tree Test'
    wl_run "$WORK/f.log" tree.exe
    W=$(wl_wait_window '^Tree Test$' 60) && wl_wait_focus "$W" || { diag f; return; }
    type_folder "$W" 'C:\Tree Test' || { diag f; return; }
    shot_window "$W" main-dialog.png
    xdotool key Return
    expect_exit_alone f 0 240
    check "f: no message box" eq "$(boxes f)" 0
    check "f: every folder and file, byte for byte, with times and read-only bits" \
        python3 "$HERE/compare_tree.py" "$TREE" "$out"
    rm -rf "$out"
}

# (g) the overwrite prompt: the stub header checks the box and the user clears it; Enter answers Yes,
# Escape and Alt+F4 leave the prompt open, a click on No answers No, Alt+A (Yes To All) ends the
# questions. The main dialog stays usable meanwhile, but its Extract button does nothing.
case_overwrite_prompt() {
    local W P out="$WINEPREFIX/drive_c/Overwrite Test" want
    rm -rf "$out"
    make_small "$out" old
    pack overwrite.exe "$SMALL" --title 'Overwrite Test' --default-folder 'C:\Overwrite Test' --overwrite-without-prompting
    wl_run "$WORK/g.log" overwrite.exe
    W=$(wl_wait_window '^Overwrite Test$' 60) && wl_wait_focus "$W" || { diag g; return; }
    check "g: box checked by the stub header" eq "$(ctrl_field "$W" 106 check)" 1
    wl_click_id "$W" 106
    check "g: box cleared by a click" eq "$(ctrl_field "$W" 106 check)" 0
    xdotool key Return   # the focus is on the box: Enter still means Extract

    P=$(wl_wait_window '^Overwrite Test$' 30 "$W") && wl_wait_focus "$P" || { diag g; return; }
    want=$(probe_escaped 'File "C:\Overwrite Test\a.txt" already exists. Do you want to replace it?')
    check "g: the question names the full path" eq "$(wl_ctrl_text "$P" 107)" "$want"
    check "g: question-mark icon" eq "$(ctrl_field "$P" 65535 icon)" 1
    check "g: buttons" eq "$(wl_ctrl_text "$P" 109)/$(wl_ctrl_text "$P" 110)/$(wl_ctrl_text "$P" 108)" \
        '&Yes/&No/Yes To &All'
    check "g: no owner, the main dialog stays enabled" \
        test -n "$(wl_probe | grep "xid=$W " | grep 'enabled=1')"
    shot_window "$P" overwrite-prompt.png
    xdotool key Return   # Yes
    wl_wait_gone "$P" || { diag g; return; }

    P=$(wl_wait_window '^Overwrite Test$' 30 "$W") && wl_wait_focus "$P" || { diag g; return; }
    check "g: second question, b.txt" eq "$(wl_ctrl_text "$P" 107 | grep -c 'b.txt')" 1
    # The walk waits for the answer while the prompt's loop serves the main dialog too.
    check "g: status line" eq "$(wl_ctrl_text "$W" 102)" 'Extracting a.txt'
    check "g: Extract disabled during the walk" test -n "$(wl_ctrl_line "$W" 108 | grep 'enabled=0')"
    xdotool key Escape
    sleep 1
    check "g: Escape leaves the prompt open" visible "$P"
    xdotool key alt+F4
    sleep 1
    check "g: Alt+F4 leaves the prompt open" visible "$P"
    # A second Extract while the walk waits: the button is disabled and the click does nothing. The click
    # brings the main dialog to the front, over the prompt (which has no owner): the prompt is raised again
    # as a person would from the taskbar.
    wl_click_id "$W" 108
    sleep 1
    check "g: a second Extract is refused" visible "$P"
    xdotool windowraise "$P"
    wl_click_id "$P" 110   # No
    wl_wait_gone "$P" || { diag g; return; }

    P=$(wl_wait_window '^Overwrite Test$' 30 "$W") && wl_wait_focus "$P" || { diag g; return; }
    check "g: third question, c.txt" eq "$(wl_ctrl_text "$P" 107 | grep -c 'c.txt')" 1
    xdotool key alt+a   # Yes To All: d.txt and sub\e.txt are not asked about
    expect_exit_alone g 1 30   # No kept b.txt
    check "g: Yes, No, Yes To All" eq "$(small_contents "$out")" 'a.txt=new b.txt=old c.txt=new d.txt=new e.txt=new'
    check "g: no message box" eq "$(boxes g)" 0
    rm -rf "$out"
}

# (h) the box checked by the stub header and left so: no question at all.
case_overwrite_preset() {
    local W out=$WORK/h-out
    make_small "$out" old
    pack h.exe "$SMALL" --title 'Preset Test' --default-folder "$(winpath "$out")" --overwrite-without-prompting
    wl_run "$WORK/h.log" h.exe
    W=$(wl_wait_window '^Preset Test$' 60) && wl_wait_focus "$W" || { diag h; return; }
    check "h: box checked by the stub header" eq "$(ctrl_field "$W" 106 check)" 1
    xdotool key Return
    expect_exit_alone h 0 30
    check "h: every file replaced without a question" eq "$(small_contents "$out")" \
        'a.txt=new b.txt=new c.txt=new d.txt=new e.txt=new'
}

# (i) Help shows its text in a box without an icon and the dialog stays; so does Escape. Then Cancel while
# a long extraction runs, into a Linux folder typed as a Z: path: the walk stops, every file left is
# complete, and no further message appears.
case_help_and_cancel() {
    local W B r x y w h out=$WORK/i-out i
    pack i.exe "$WORK/long" --title 'Cancel Test'
    wl_run "$WORK/i.log" i.exe
    W=$(wl_wait_window '^Cancel Test$' 60) && wl_wait_focus "$W" || { diag i; return; }

    wl_click_id "$W" 103
    B=$(wl_wait_window '^Cancel Test$' 20 "$W") && wl_wait_focus "$B" || { diag i; return; }
    check "i: help text" eq "$(wl_ctrl_text "$B" 65535)" \
        'This is a self-extracting ZOR archive. To extract the contents to disk,\nspecify a folder name in the edit box, and click the Extract button.\nIf the folder does not exist, it will be created.'
    check "i: help without an icon" eq "$(ctrl_field "$B" 1088 icon)" 0
    check "i: help with only an OK button" eq "$(buttons_of "$B")" 1
    xdotool key Return
    wl_wait_gone "$B" || { diag i; return; }
    wl_wait_focus "$W" || { diag i; return; }
    xdotool key Escape
    sleep 1
    check "i: the dialog stays after Help and Escape" visible "$W"

    wl_click_id "$W" 101   # back into the folder box, its text no longer selected
    xdotool key End shift+Home
    type_folder "$W" "$(winpath "$out")" || { diag i; return; }
    r=$(wl_ctrl_line "$W" 104 | sed -n 's/.* rect=\([-0-9]*,[-0-9]*,[-0-9]*,[-0-9]*\).*/\1/p')
    IFS=, read -r x y w h <<<"$r"
    xdotool key Return
    # The fourth file on disk says the walk runs; the click waits in the queue until that file is done.
    for i in $(seq 200); do
        [ -e "$out/long 03.txt" ] && break
        sleep 0.05
    done
    wl_click "$W" $((x + w / 2)) $((y + h / 2))
    expect_exit_alone i 2 60
    check "i: no message box but Help's" eq "$(boxes i)" 1
    check "i: the files left are complete" python3 "$HERE/compare_tree.py" --subset "$WORK/long" "$out"
    check "i: the walk stopped early" test "$(find "$out" -type f | wc -l)" -lt "$(find "$WORK/long" -type f | wc -l)"
}

# (k) a damaged directory: the damaged-data box over the dialog, then the dialog closes.
case_damaged() {
    local W B out=$WORK/k-out
    pack k.exe "$SMALL" --title 'Damaged Test' --default-folder "$(winpath "$out")"
    damage_directory "$WORK/k.exe" || { diag k; return; }
    wl_run "$WORK/k.log" k.exe
    W=$(wl_wait_window '^Damaged Test$' 60) && wl_wait_focus "$W" || { diag k; return; }
    xdotool key Return
    B=$(wl_wait_window '^Damaged Test$' 30 "$W") && wl_wait_focus "$B" || { diag k; return; }
    check "k: damaged-data text" eq "$(wl_ctrl_text "$B" 65535)" "$DAMAGED_TEXT"
    check "k: exclamation icon" eq "$(ctrl_field "$B" 1088 icon)" 1
    check "k: only an OK button" eq "$(buttons_of "$B")" 1
    xdotool key Return
    expect_exit_alone k 1
    check "k: one message box" eq "$(boxes k)" 1
    check "k: nothing extracted" eq "$(find "$out" -type f 2>/dev/null | wc -l)" 0
}

# (l) stored names that would leave the target, and names of devices: each is refused with the
# damaged-data box and OK-Cancel; OK goes on, Cancel ends the walk; nothing is written outside the target.
case_escaping_names() {
    local W B n out=$WORK/l/out content=$WORK/l-content.txt
    mkdir -p "$WORK/l"
    printf 'payload\r\n' >"$content"
    "$PACK_NAMES" "$STUB" "$WORK/l.exe" --title 'Names Test' --folder "$(winpath "$out")" \
        "first.txt=$content" "..\\up.txt=$content" "second.txt=$content" "CON=$content" "\\root.txt=$content" \
        "C:drive.txt=$content" "sub\\Aux.txt=$content" "sub\\..\\..\\up2.txt=$content" ". .\\dots.txt=$content" \
        "third.txt=$content"
    wl_run "$WORK/l.log" l.exe
    W=$(wl_wait_window '^Names Test$' 60) && wl_wait_focus "$W" || { diag l; return; }
    xdotool key Return
    for n in 1 2 3 4 5 6 7; do
        B=$(wl_wait_window '^Names Test$' 30 "$W") && wl_wait_focus "$B" || { diag l; return; }
        check "l: refused name $n: damaged-data text" eq "$(wl_ctrl_text "$B" 65535)" "$DAMAGED_TEXT"
        check "l: refused name $n: OK and Cancel" eq "$(wl_ctrl_text "$B" 1)/$(wl_ctrl_text "$B" 2)" 'OK/Cancel'
        # OK for the first six; Escape (Cancel) for the last ends the walk before third.txt.
        if [ "$n" -lt 7 ]; then xdotool key Return; else xdotool key Escape; fi
        wl_wait_gone "$B" || { diag l; return; }
    done
    expect_exit_alone l 1
    check "l: seven message boxes" eq "$(boxes l)" 7
    check "l: the plain names written, nothing after Cancel" eq "$(cd "$out" && find . | sort | tr '\n' ' ')" \
        '. ./first.txt ./second.txt '
    check "l: nothing beside the target" eq "$(ls -A "$WORK/l")" out
    check "l: nothing at the drive's root" test ! -e /root.txt -a ! -e /up.txt -a ! -e /up2.txt
}

# ---- Unattended runs ----

# Runs a self-extractor with switches and watches the screen until it ends: no window may appear.
run_silent() {   # run_silent CASE ARGS...: sets WL_RC
    local name=$1 seen=0 i; shift
    wl_run "$WORK/$name.log" "$@"
    for i in $(seq 1200); do
        alive || break
        [ "$(xdotool search --onlyvisible --name '.' 2>/dev/null | wc -l)" -eq 0 ] || seen=1
        sleep 0.05
    done
    [ "$seen" = 0 ] || snap "$name"
    wl_wait_exit 5
    check "$name: no window" eq "$seen" 0
    check "$name: no message box" eq "$(boxes "$name")" 0
}

# (m) /S extracts into the stub header's folder without a window; without /Y existing files are kept
# (whatever the stub header's flag says), with /Y replaced; /D= comes last and may hold spaces; a damaged
# archive and a failed start end quietly, each with its exit code.
case_silent() {
    local out=$WORK/m-out spaced="$WORK/m other place"
    pack m.exe "$SMALL" --title 'Silent Test' --default-folder "$(winpath "$out")" --overwrite-without-prompting
    run_silent m1 m.exe /S
    check "m1: exit code 0" eq "$WL_RC" 0
    check "m1: written into the default folder" eq "$(small_contents "$out")" \
        'a.txt=new b.txt=new c.txt=new d.txt=new e.txt=new'
    make_small "$out" old
    rm "$out/c.txt"
    run_silent m2 m.exe /s
    check "m2: exit code 1 (files kept)" eq "$WL_RC" 1
    check "m2: existing files kept, the missing one written" eq "$(small_contents "$out")" \
        'a.txt=old b.txt=old c.txt=new d.txt=old e.txt=old'
    run_silent m3 m.exe /S /Y
    check "m3: exit code 0" eq "$WL_RC" 0
    check "m3: existing files replaced" eq "$(small_contents "$out")" \
        'a.txt=new b.txt=new c.txt=new d.txt=new e.txt=new'
    # Wine joins the words with single spaces, as cmd.exe would pass them.
    run_silent m4 m.exe /Y /S "/D=$(winpath "$WORK")\m" other place
    check "m4: exit code 0" eq "$WL_RC" 0
    check "m4: /D= with spaces" eq "$(small_contents "$spaced")" 'a.txt=new b.txt=new c.txt=new d.txt=new e.txt=new'

    # Without /S the switches fill in the dialog: the folder (the rest of the line) and the box.
    wl_run "$WORK/m7.log" m.exe /y '/D=C:\Typed' Folder
    local W
    W=$(wl_wait_window '^Silent Test$' 60) && wl_wait_focus "$W" || { diag m7; return; }
    check "m7: /D= fills in the folder" eq "$(wl_ctrl_text "$W" 101)" 'C:\\Typed Folder'
    check "m7: /Y checks the box" eq "$(ctrl_field "$W" 106 check)" 1
    wl_click_id "$W" 104   # Cancel
    expect_exit_alone m7 2

    cp m.exe m5.exe && damage_directory "$WORK/m5.exe"
    run_silent m5 m5.exe /S
    check "m5: damaged archive: exit code 1" eq "$WL_RC" 1
    fixture m6.exe --title 'Silent Test' --archive-bytes 20
    run_silent m6 m6.exe /S
    check "m6: failed start: exit code 2" eq "$WL_RC" 2
}

# ---- The stub as zor create rewrites it, signed, and among planted DLLs ----

# The packer's own stub is the one under test (it is built from the same sources): the same bytes but the
# PE checksum, which counts the archive too.
same_stub() {   # same_stub SELF_EXTRACTOR
    python3 - "$1" "$STUB" <<'PY'
import struct, sys
exe, stub = open(sys.argv[1], 'rb').read(), open(sys.argv[2], 'rb').read()
at = struct.unpack_from('<I', stub, 0x3C)[0] + 24 + 64
sys.exit(0 if exe[:at] + exe[at + 4:len(stub)] == stub[:at] + stub[at + 4:] else 1)
PY
}

# (n) the author's icon (one image per size, PNG for 256), version information and execution level, as
# Windows' own functions read them (the probe); the self-extractor still passes its self-check and
# extracts. The screenshot of the README: its dialog beside what Windows reads of its file.
case_resources() {
    local W out=$WORK/n-out line
    python3 "$HERE/make_icon.py" "$WORK/app.ico" 16:c00000 32:008000 48:0000c0 256:c08000:png
    "$ZOR" create -q "$WORK/plain.exe" "$SMALL"
    check "n: the packer's stub is the stub under test" same_stub "$WORK/plain.exe"
    "$ZOR" create -q "$WORK/Demo Setup.exe" "$SMALL" --title 'Démo Setup' --default-folder "$(winpath "$out")" \
        --icon "$WORK/app.ico" --elevation requireAdministrator --version-info FileVersion=2.5.0.17 \
        --version-info 'CompanyName=Zoë & Co' --version-info 'LegalCopyright=© 2026 Zoë & Co' ||
        { diag n; return; }
    wl_probe -resources 'Demo Setup.exe' >"$WORK/n-resources.txt"
    while IFS='|' read -r what line; do
        check "n: $what" grep -qxF "$line" "$WORK/n-resources.txt"
    done <<'TABLE'
fixed versions|fixed file=2.5.0.17 product=2.5.0.17
file description from the title|version FileDescription="Démo Setup"
product name from the title|version ProductName="Démo Setup"
file version|version FileVersion="2.5.0.17"
product version from the file version|version ProductVersion="2.5.0.17"
company|version CompanyName="Zoë & Co"
copyright|version LegalCopyright="© 2026 Zoë & Co"
original file name|version OriginalFilename="Demo Setup.exe"
one icon group|icon groups=1
16 x 16 image|icon 16 colour=c00000
32 x 32 image|icon 32 colour=008000
48 x 48 image|icon 48 colour=0000c0
256 x 256 PNG image|icon 256 colour=c08000
execution level|manifest level=requireAdministrator
TABLE
    wl_run "$WORK/n.log" 'Demo Setup.exe'
    W=$(wl_wait_window '^Démo Setup$' 60) && wl_wait_focus "$W" || { diag n; return; }
    shot_window "$W" n-dialog.png
    "$WL_BOOT" "$WL_PROBE" -show 'Demo Setup.exe' >/dev/null 2>&1 &
    local show=$! V
    V=$(wl_wait_window '^Demo Setup.exe - icon and version information$' 30) || { kill "$show"; diag n; return; }
    sleep 1
    shot_window "$V" n-resources.png
    convert "$SHOTS/n-resources.png" "$SHOTS/n-dialog.png" -background '#808080' -gravity center +append \
        "$SHOTS/custom-resources.png"
    kill "$show" 2>/dev/null; wait "$show" 2>/dev/null
    wl_wait_gone "$V" || { diag n; return; }
    wl_click_id "$W" 108   # Extract
    expect_exit_alone n 0
    check "n: extracted" eq "$(small_contents "$out/small")" 'a.txt=new b.txt=new c.txt=new d.txt=new e.txt=new'
}

# (o) signed after packing, with osslsigncode and a throwaway certificate: the signature covers the whole
# file, the self-check the image. The signed self-extractor passes its self-check and extracts. A copy with
# one byte of its archive changed after signing fails the signature's check but not the self-check: it
# starts, and the file holding that byte fails its CRC check (stored with -0, so the byte is that file's).
case_signed() {
    local W B out=$WORK/o-out tree=$WORK/o-tree
    mkdir -p "$tree"
    printf 'SIGNED PAYLOAD: every byte of it counts\r\n' >"$tree/payload.txt"
    cp -r "$SMALL/." "$tree/"
    find "$tree" -exec touch -d '2026-01-02 03:04:06' {} +   # DOS times have two-second steps
    openssl req -x509 -newkey rsa:2048 -nodes -subj '/CN=ZOR test signer' -days 2 \
        -keyout "$WORK/key.pem" -out "$WORK/cert.pem" 2>/dev/null || { diag o; return; }
    (cd "$tree" && "$ZOR" create -q -0 "$WORK/o.exe" * --title 'Signed Test' --default-folder "$(winpath "$out")") ||
        { diag o; return; }
    osslsigncode sign -certs "$WORK/cert.pem" -key "$WORK/key.pem" -n 'Signed Test' -h sha256 \
        -in "$WORK/o.exe" -out "$WORK/o-signed.exe" >/dev/null || { diag o; return; }
    check "o: the signature verifies" eval 'osslsigncode verify -CAfile "$WORK/cert.pem" -in "$WORK/o-signed.exe" >/dev/null'
    check "o: signed: the stamp still matches" eval '"$ZOR" info "$WORK/o-signed.exe" | grep -q "matches the image"'
    check "o: signed: the archive where it was" eq "$("$ZOR" info "$WORK/o-signed.exe" | grep '^Archive header at')" \
        "$("$ZOR" info "$WORK/o.exe" | grep '^Archive header at')"

    wl_run "$WORK/o1.log" o-signed.exe
    W=$(wl_wait_window '^Signed Test$' 60) && wl_wait_focus "$W" || { diag o; return; }
    xdotool key Return
    expect_exit_alone o1 0
    check "o1: extracted whole" python3 "$HERE/compare_tree.py" "$tree" "$out"

    python3 - "$WORK/o-signed.exe" "$WORK/o-changed.exe" <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
data[data.index(b'SIGNED PAYLOAD') + 7] ^= 0x20   # "SIGNED payload": one byte of one stored file
open(sys.argv[2], 'wb').write(data)
PY
    check "o: changed: the signature fails" eval '! osslsigncode verify -CAfile "$WORK/cert.pem" -in "$WORK/o-changed.exe" >/dev/null 2>&1'
    rm -rf "$out"
    wl_run "$WORK/o2.log" o-changed.exe
    W=$(wl_wait_window '^Signed Test$' 60) && wl_wait_focus "$W" || { diag o; return; }
    check "o2: the self-check passes: the dialog opens" test -n "$W"
    xdotool key Return
    B=$(wl_wait_window '^Signed Test$' 30 "$W") && wl_wait_focus "$B" || { diag o; return; }
    check "o2: the changed file fails its check" eq "$(wl_ctrl_text "$B" 65535)" \
        "$(probe_escaped "File \"$(winpath "$out")\payload.txt\" fails error check")"
    xdotool key Return   # OK: go on
    expect_exit_alone o2 1
    check "o2: the other files written, not the changed one" eq "$(ls "$out" | tr '\n' ' ')" 'a.txt b.txt c.txt d.txt sub '
}

# (p) DLL planting: version.dll, uxtheme.dll, dwmapi.dll and cryptbase.dll beside the self-extractor, each
# leaving a marker when loaded. Wine prefers its own builtin DLLs of these names; the override makes it take
# a native one first, as Windows would, for the three that load after the program has started (Wine's own
# user32 imports version.dll before any of the program's code runs, which Windows' does not: that one keeps
# Wine's order). The stub runs its dialogs and the overwrite prompt, and no marker may appear. The same
# image with its hardening switched off (the names it uses patched, the stamp renewed) shows that the test
# can fail: the theme library that the common controls load comes from the planted file.
PLANTED='version uxtheme dwmapi cryptbase'
NATIVE_FIRST='mscoree,mshtml,winemenubuilder.exe=d;uxtheme,dwmapi,cryptbase=n,b'

plant_start() {   # plant_start CASE EXE: in a fresh folder with the planted DLLs, up to the main dialog -> W
    local name=$1 exe=$2 dir=$WORK/$1 d
    rm -rf "$dir" && mkdir -p "$dir"
    cp "$WORK/$exe" "$dir/setup.exe"
    for d in $PLANTED; do cp "$WORK/planted/$d.dll" "$dir/"; done
    make_small "$dir/out" old
    cd "$dir" || return 1
    WINEDLLOVERRIDES=$NATIVE_FIRST wl_run "$WORK/$name.log" setup.exe
    cd "$WORK" || return 1
    W=$(wl_wait_window '^Planting Test$' 60) && wl_wait_focus "$W" || { diag "$name"; return 1; }
}

case_planted() {
    local d made=0
    mkdir -p "$WORK/planted"
    for d in $PLANTED; do
        i686-w64-mingw32-gcc -shared -Os -s -o "$WORK/planted/$d.dll" "$HERE/planted_dll.c" && made=$((made + 1))
    done
    check "p: four planted DLLs built" eq "$made" 4
    (cd "$SMALL" && "$ZOR" create -q "$WORK/p.exe" * --title 'Planting Test' --default-folder 'out') || { diag p; return; }
    local W P
    plant_start p1 p.exe || return
    xdotool key Return   # Extract over the old files: the overwrite prompt
    P=$(wl_wait_window '^Planting Test$' 30 "$W") && wl_wait_focus "$P" || { diag p1; return; }
    xdotool key alt+a    # Yes To All
    expect_exit_alone p1 0
    check "p1: no planted DLL loaded" eq "$(cd "$WORK/p1" && ls ./*.loaded 2>/dev/null | wc -l)" 0
    check "p1: extracted" eq "$(small_contents "$WORK/p1/out")" 'a.txt=new b.txt=new c.txt=new d.txt=new e.txt=new'

    python3 - "$WORK/p.exe" "$WORK/p-unhardened.exe" <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
for name in (b'SetDefaultDllDirectories\0', b'version.dll\0', b'cryptbase.dll\0', b'dwmapi.dll\0', b'uxtheme.dll\0'):
    at = data.index(name)
    data[at + len(name) - 2] = ord('_')   # a name nothing answers to: the call and the loads fail
open(sys.argv[2], 'wb').write(data)
PY
    python3 "$ROOT/cmake/stamp_image.py" "$WORK/p-unhardened.exe"
    # The planted file has none of the theme library's functions: the dialog is not used any further.
    plant_start p2 p-unhardened.exe || return
    check "p2: without the hardening the planted theme library is loaded" test -e "$WORK/p2/uxtheme.dll.loaded"
    wl_kill_program
}

T0=$SECONDS
for tool in "$ZOR" "$PACK_NAMES"; do
    [ -x "$tool" ] || { wl_log "FAIL no $tool (build the native preset first)"; exit 1; }
done
x86_64-w64-mingw32-gcc -Os -s -o "$WL_PROBE" "$HERE/probe.c" -lversion -lgdi32 ||
    { wl_log "FAIL cannot build the probe"; exit 1; }
wl_xvfb_start || exit 1
wl_prefix_create "$PREFIX" || { wl_log "FAIL Wine cannot create its prefix"; exit 1; }
wl_session_start || { wl_log "FAIL Wine session does not start"; exit 1; }
wl_log "Wine ready after $((SECONDS - T0)) s"
cd "$WORK" || exit 1

python3 "$HERE/make_tree.py" "$TREE"
python3 "$HERE/make_tree.py" "$WORK/long" --long 24
make_small "$SMALL" new
for c in no_files main_dialog no_stub_header truncated modified \
         tree overwrite_prompt overwrite_preset help_and_cancel damaged escaping_names silent resources \
         signed planted; do
    [ -z "${E2E_ONLY:-}" ] || [[ " $E2E_ONLY " == *" $c "* ]] || continue
    "case_$c"
done

wl_log "Wine end-to-end: $((SECONDS - T0)) s"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
