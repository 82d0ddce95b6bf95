#!/bin/bash
# manual_test.sh - the manual page and the bash completion against the program: every command and every
# option that `zor --help` and `zor COMMAND --help` show must appear in the page, and in the completion
# (long options, and short ones that have no long form); the page must format without warnings.
# Usage: manual_test.sh ZOR MANPAGE COMPLETION
set -u
ZOR=$1
PAGE=$(sed 's/\\-/-/g' "$2")   # troff's \- is a hyphen
COMPLETION=$(cat "$3")
passed=0 failed=0
check() {   # check WHAT CONDITION...
    local what=$1; shift
    if "$@"; then passed=$((passed + 1)); else echo "FAIL $what"; failed=$((failed + 1)); fi
}
# mentions TEXT WORD: WORD stands in TEXT, not as part of a longer option or word.
mentions() {
    local word=${2//./\\.}
    grep -qE -- "(^|[^[:alnum:]-])${word}([^[:alnum:]-]|\$)" <<<"$1"
}
# The first column of the lines of a help text's Options: section, one option a line.
options() { sed -n '/^Options:/,/^[^ ]/ s/^  \(-[^ ]*\).*/\1/p' | tr ',' '\n'; }

commands=$("$ZOR" --help | sed -n '/^Subcommands:/,$ s/^  \([a-z][a-z-]*\) .*/\1/p')
check "zor --help lists commands" test -n "$commands"
for command in $commands; do
    check "manual page: command $command" mentions "$PAGE" "$command"
    check "completion: command $command" mentions "$COMPLETION" "$command"
done
for command in "" $commands; do
    for option in $("$ZOR" $command --help | options); do
        check "manual page: zor $command $option" mentions "$PAGE" "$option"
        case $option in
        --* | -[0-9]) check "completion: zor $command $option" mentions "$COMPLETION" "$option" ;;
        esac
    done
done
if command -v groff >/dev/null; then
    check "manual page formats without warnings" test -z "$(groff -t -man -ww -z "$2" 2>&1)"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
