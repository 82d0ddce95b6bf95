#!/bin/bash
# deb_test.sh - the Debian package: made by cpack from the build, installed with dpkg into a scratch root
# whose package database holds exactly the packages it depends on (as this Debian system has them), then
# the installed zor runs: --version, the manual page and the completion in place, and a round trip.
# The machine's own package database is not touched.
# Usage: deb_test.sh BUILD_DIR
set -u
BUILD=$(readlink -f "$1")
WORK=$(mktemp -d "${TMPDIR:-/tmp}/zor-deb.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1
passed=0 failed=0
check() {   # check WHAT CONDITION...
    local what=$1; shift
    if "$@"; then passed=$((passed + 1)); else echo "FAIL $what"; failed=$((failed + 1)); fi
}

cpack -G DEB --config "$BUILD/CPackConfig.cmake" -B "$WORK/out" >cpack.log 2>&1 || { cat cpack.log; exit 1; }
deb=$(echo out/zor_*.deb)
check "package made" test -f "$deb"
arch=$(dpkg-deb -f "$deb" Architecture)
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/[ :].*//')
check "depends on the C and C++ run-times" grep -qx libc6 <<<"$depends"

root=$WORK/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
for p in $depends; do
    dpkg-query -s "$p:$arch" 2>/dev/null || dpkg-query -s "$p" || echo "no package $p on this system" >&2
    echo
done >"$root/var/lib/dpkg/status" 2>status.log
check "dependencies are packages of this system" test ! -s status.log
dpkg --root="$root" --force-not-root --force-script-chrootless --log=/dev/null -i "$deb" >dpkg.log 2>&1
check "dpkg installs it" grep -q '^Setting up zor ' dpkg.log
[ "$failed" -eq 0 ] || cat status.log dpkg.log

zor=$root/usr/bin/zor
check "zor --version" grep -q '^zor [0-9]' <("$zor" --version)
check "manual page installed" test -s "$root/usr/share/man/man1/zor.1.gz"
check "completion installed" bash -c "source '$root/usr/share/bash-completion/completions/zor' && complete -p zor"
mkdir -p tree/sub out && seq 1 20000 >tree/sub/numbers.txt && echo hello >tree/a.txt
"$zor" create -q trip.exe tree && "$zor" extract -q -o out trip.exe
check "round trip" diff -r tree out/tree

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
