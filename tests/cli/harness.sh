# harness.sh - sourced by the command-line test scripts. Runs zor for one case and compares its standard
# output, standard error and exit code (and, when asked, a listing of a folder it wrote) with
# expected/CASE.{out,err,rc,tree}. With UPDATE set (the scripts' --update) it rewrites them instead.
# The sourcing script sets HERE (its folder), ZOR and UPDATE, and works in a scratch folder.
passed=0 failed=0

# compare CASE PART...: the case's files in the scratch folder against the expectations.
compare() {
    local name=$1 ok=1 part; shift
    if [ -n "$UPDATE" ]; then
        for part in "$@"; do cp "$name.$part" "$HERE/expected/"; done
        return
    fi
    for part in "$@"; do
        if ! diff -u "$HERE/expected/$name.$part" "$name.$part"; then ok=0; fi
    done
    if [ "$ok" = 1 ]; then passed=$((passed + 1)); else echo "FAIL $name"; failed=$((failed + 1)); fi
}

# listing DIR: every entry below DIR, sorted: kind, permissions, size, last-write time (UTC) and the
# start of an MD5 sum for files; kind and permissions for folders (whose times are those of the run).
# A file's time set by the run itself (none was stored) shows as "now".
RUN_START=$PWD/.run-start
touch -d '-1 minute' "$RUN_START"
listing() {
    (cd "$1" && find . -mindepth 1 -print0 | LC_ALL=C sort -z | while IFS= read -r -d '' p; do
        if [ -d "$p" ]; then
            printf 'd %s %s\n' "$(stat -c %a "$p")" "${p#./}"
        else
            local when
            if [ "$p" -nt "$RUN_START" ]; then when=now; else when=$(date -u -r "$p" '+%F %T'); fi
            printf 'f %s %s %s %s %s\n' "$(stat -c %a "$p")" "$(stat -c %s "$p")" "$when" \
                "$(md5sum <"$p" | cut -c1-8)" "${p#./}"
        fi
    done)
}

# run [--tree DIR] CASE ARGS...: runs zor ARGS with no terminal around it; --tree also compares the
# listing of DIR afterwards.
run() {
    local tree=
    if [ "$1" = --tree ]; then tree=$2; shift 2; fi
    local name=$1; shift
    "$ZOR" "$@" >"$name.out" 2>"$name.err" </dev/null
    echo "$?" >"$name.rc"
    if [ -n "$tree" ]; then
        listing "$tree" >"$name.tree"
        compare "$name" out err rc tree
    else
        compare "$name" out err rc
    fi
}

# check CASE CONDITION...: a condition on what a case left behind, counted like a case.
check() {
    local name=$1; shift
    [ -n "$UPDATE" ] && return
    if "$@"; then passed=$((passed + 1)); else echo "FAIL $name: $*"; failed=$((failed + 1)); fi
}

finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
