#!/bin/bash
# test.sh - the whole test run: set-up, every preset built, unit and sanitizer tests, the command-line
# tests, the stub's image checks, the Wine end-to-end tests of the real zorsfx.exe, zor.exe under 64-bit
# Wine, and every fuzz target for FUZZ_SECONDS each (default 20) under ASan and UBSan.
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
T0=$SECONDS
bash scripts/setup.sh

for preset in native asan win32 win64; do
    cmake --preset "$preset"
    cmake --build --preset "$preset" -j2
done
size=$(stat -c %s build/win32/src/startup/zorsfx.exe)
echo "zorsfx.exe: $size bytes"

total=0 failed=0
for preset in native asan win32 win64; do
    log=build/ctest-$preset.log
    rc=0
    ctest --preset "$preset" 2>&1 | tee "$log" || rc=$?
    line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
    n=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    f=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")
    total=$((total + ${n:-0})); failed=$((failed + ${f:-0}))
    [ "$rc" -eq 0 ] && [ -n "$line" ] || failed=$((failed + 1))
done
# Each fuzz target briefly, from its seeds (longer runs: tests/fuzz/run.sh SECONDS, or a target by hand).
T1=$SECONDS
log=build/fuzz.log
rc=0
bash tests/fuzz/run.sh "${FUZZ_SECONDS:-20}" 2>&1 | tee "$log" || rc=$?
line=$(grep -E '^fuzz targets: [0-9]+ run, [0-9]+ failed' "$log" | tail -1)
n=$(sed -E 's/^fuzz targets: ([0-9]+) run.*/\1/' <<<"$line")
f=$(sed -E 's/.* ([0-9]+) failed$/\1/' <<<"$line")
total=$((total + ${n:-0})); failed=$((failed + ${f:-0}))
# (a build failure or a crash of the script itself counts once)
[ -n "$line" ] && { [ "$rc" -eq 0 ] || [ "${f:-0}" -gt 0 ]; } || failed=$((failed + 1))
echo "fuzzing took $((SECONDS - T1)) s"

echo "test run took $((SECONDS - T0)) s"
echo "total: $((total - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
