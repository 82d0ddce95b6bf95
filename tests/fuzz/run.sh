#!/bin/bash
# run.sh [SECONDS] - builds the fuzz preset (clang, ASan + UBSan) and runs every fuzz target for SECONDS
# (default 10) from its seeds in a scratch corpus. Every target runs; exits non-zero when any of them finds
# a failure, whose reproducer is kept in build/fuzz/artifacts/. For long runs, call a target directly with
# your own corpus.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-10}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p build/fuzz/artifacts
failed=0 ran=0
for entry in lz_block:lz lz_differential:lz sorted_block:sorted directory:directory archive:archive \
        archive_differential:archive round_trip:round_trip extract_links:extract_links; do
    target=${entry%%:*}
    seeds=${entry##*:}
    mkdir -p "$work/$target"
    cp tests/fuzz/seeds/"$seeds"/* "$work/$target/"
    echo "fuzz_$target: $seconds s"
    log=$work/$target.log
    ran=$((ran + 1))
    if build/fuzz/tests/fuzz/fuzz_"$target" "$work/$target" -max_total_time="$seconds" -max_len=16384 \
            -rss_limit_mb=4096 -artifact_prefix=build/fuzz/artifacts/"$target"- >"$log" 2>&1; then
        tail -n 1 "$log"
    else
        tail -n 40 "$log"
        echo "fuzz_$target: FAILED"
        failed=$((failed + 1))
    fi
done
echo "fuzz targets: $ran run, $failed failed"
[ "$failed" -eq 0 ]
