#!/bin/bash
# e2e.sh - end-to-end tests of the real zorsfx.exe under Wine, in a private virtual X display.
# Usage: e2e.sh ZORSFX.EXE [PREFIX]
#   PREFIX  Wine prefix to use, created when missing (default: a new one in the work folder)
# Env: WL_SHOTS=DIR keeps screenshots there; WL_KEEP=1 keeps the work folder.
# Exit status 0 when every check passed. Wine or the display failing to start is a failure, not a skip.
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
STUB=$(readlink -f "${1:?usage: e2e.sh ZORSFX.EXE [PREFIX]}")
WORK=$(mktemp -d "${TMPDIR:-/tmp}/zor-e2e.XXXXXX")
PREFIX=$(readlink -m "${2:-$WORK/prefix}")
SHOTS=${WL_SHOTS:-$WORK}
export WL_PROBE=$WORK/probe64.exe
. "$HERE/wl-env.sh"
mkdir -p "$SHOTS"
passed=0 failed=0

cleanup() {
    wl_kill_program
    wl_session_stop
    wl_xvfb_stop
    [ -z "${WL_KEEP:-}" ] && rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

check() {   # check DESCRIPTION COMMAND...
    local d=$1; shift
    if "$@"; then wl_log "ok   $d"; passed=$((passed + 1)); else wl_log "FAIL $d"; failed=$((failed + 1)); fi
}
eq() { [ "$1" = "$2" ] || { echo "    expected [$2] got [$1]" >&2; return 1; }; }
# On a failed wait: a screenshot and a window dump for diagnosis, then this case stops.
diag() {
    wl_shot "$SHOTS/fail-$1.png"; wl_probe >"$SHOTS/fail-$1.txt"; cat "$SHOTS/fail-$1.txt" >&2
    wl_kill_program; failed=$((failed + 1)); return 1
}
fixture() {   # fixture NAME [make_sfx_fixture.py options]
    local name=$1; shift
    python3 "$ROOT/scripts/make_sfx_fixture.py" "$STUB" "$WORK/$name" "$@"
}
# The probe line of control ID in the window with X id W; its icon flag and check state.
ctrl_field() { wl_ctrl_line "$1" "$2" | sed -n "s/.* $3=\([0-9]*\).*/\1/p"; }
windows_of_test() { wl_probe | grep -c '^window .* pid='; }

# Waits for the program to end after its last window was answered; nothing else may appear meanwhile.
expect_exit_alone() {   # expect_exit_alone CASE
    local others
    wl_wait_exit 20
    check "$1: exit code 0" eq "$WL_RC" 0
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
    expect_exit_alone a
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
    wl_shot "$SHOTS/main-dialog.png"
    wl_click_id "$W" 104   # Cancel
    expect_exit_alone b
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
    expect_exit_alone c
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
    expect_exit_alone d
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
    expect_exit_alone e
}

T0=$SECONDS
x86_64-w64-mingw32-gcc -Os -s -o "$WL_PROBE" "$HERE/probe.c" || { wl_log "FAIL cannot build the probe"; exit 1; }
wl_xvfb_start || exit 1
wl_prefix_create "$PREFIX" || { wl_log "FAIL Wine cannot create its prefix"; exit 1; }
wl_session_start || { wl_log "FAIL Wine session does not start"; exit 1; }
wl_log "Wine ready after $((SECONDS - T0)) s"
cd "$WORK" || exit 1

case_no_files
case_main_dialog
case_no_stub_header
case_truncated
case_modified

wl_log "Wine end-to-end: $((SECONDS - T0)) s"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
