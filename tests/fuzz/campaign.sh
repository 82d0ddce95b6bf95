#!/bin/bash
# campaign.sh [SECONDS] - one long run of every fuzz target, each for SECONDS (default 1800), on a corpus
# that lasts from run to run (build/fuzz/corpus/TARGET, started from the target's seeds). Afterwards each
# grown corpus is merged into its seeds folder (tests/fuzz/seeds/...): only the inputs that reach code the
# seeds do not reach are added, so that the next short run (run.sh, the test command) starts where this one
# ended. Commit the new seeds. Prints the executions of each target and exits non-zero when any target
# found a failure (its reproducer is in build/fuzz/artifacts/).
#   SEEDS=0 campaign.sh ...   leaves the seeds folders alone
#   TARGETS="round_trip archive" campaign.sh ...   runs only these targets
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-1800}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2
mkdir -p build/fuzz/artifacts build/fuzz/corpus
failed=0 ran=0 summary=
for entry in lz_block:lz lz_differential:lz sorted_block:sorted directory:directory archive:archive \
        archive_differential:archive round_trip:round_trip extract_links:extract_links; do
    target=${entry%%:*}
    seeds=tests/fuzz/seeds/${entry##*:}
    if [ -n "${TARGETS:-}" ] && [[ " $TARGETS " != *" $target "* ]]; then continue; fi
    fuzzer=build/fuzz/tests/fuzz/fuzz_$target
    corpus=build/fuzz/corpus/$target
    log=build/fuzz/campaign-$target.log
    mkdir -p "$corpus"
    echo "fuzz_$target: $seconds s on $corpus"
    ran=$((ran + 1))
    if "$fuzzer" "$corpus" "$seeds" -max_total_time="$seconds" -max_len=16384 -rss_limit_mb=4096 \
            -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/"$target"- >"$log" 2>&1; then
        result=ok
    else
        result=FAILED
        tail -n 40 "$log"
        failed=$((failed + 1))
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    line="fuzz_$target: ${runs:-?} executions in $seconds s, corpus $(ls "$corpus" | wc -l) inputs, $result"
    echo "$line"
    summary="$summary$line"$'\n'
    if [ "${SEEDS:-1}" != 0 ] && [ "$result" = ok ]; then
        before=$(ls "$seeds" | wc -l)
        "$fuzzer" -merge=1 -max_len=16384 -rss_limit_mb=4096 "$seeds" "$corpus" >"$log.merge" 2>&1 ||
            echo "fuzz_$target: merging into $seeds failed (see $log.merge)"
        echo "fuzz_$target: $(($(ls "$seeds" | wc -l) - before)) inputs added to $seeds"
    fi
done
printf '%s' "$summary"
echo "fuzz targets: $ran run, $failed failed"
[ "$failed" -eq 0 ]
