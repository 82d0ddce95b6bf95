# harness.sh - what the Wine test scripts share: sourced after wl-env.sh, with WORK set. Counts checks in
# `passed` and `failed`, and stops the program, the session and the display at exit.
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
