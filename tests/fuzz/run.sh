#!/bin/bash
# run.sh [SECONDS] - builds the fuzz preset (clang, ASan + UBSan) and runs every fuzz target for SECONDS
# (default 10) from its seeds in a scratch corpus. Exits non-zero when a target finds a failure; the
# reproducer is kept in build/fuzz/artifacts/. For long runs, call a target directly with your own corpus.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-10}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p build/fuzz/artifacts
for entry in lz_block:lz lz_differential:lz sorted_block:sorted directory:directory archive:archive \
        archive_differential:archive; do
    target=${entry%%:*}
    seeds=${entry##*:}
    mkdir -p "$work/$target"
    cp tests/fuzz/seeds/"$seeds"/* "$work/$target/"
    echo "fuzz_$target: $seconds s"
    build/fuzz/tests/fuzz/fuzz_"$target" "$work/$target" -max_total_time="$seconds" -max_len=16384 \
        -rss_limit_mb=4096 -artifact_prefix=build/fuzz/artifacts/"$target"- 2>&1 | tail -n 1
done
