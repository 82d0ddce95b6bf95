#!/usr/bin/env bash
# compare.sh CORPUS_DIR [OUT]
#
# Packs and extracts each benchmark tree under CORPUS_DIR (installer, source, mixed, as made by
# make-corpus.sh) with zor create -9 and -6 and with the established tools, one thread each, and
# prints, per tree, a markdown table of sizes (% of the original), pack and extract times with MB/s
# of original data, and the ratios of zor's sizes and extract time to each tool's. Then the targets.
#
#   CORPUS_DIR   folder holding the trees; a missing tree is built with make-corpus.sh (MAKE_CORPUS
#                names the script; by default it is looked for in ../shared/bench next to the
#                repository or its worktree folder)
#   OUT          folder for the archives and results.md (default: a temporary folder, removed after)
#
# Environment:
#   ZOR          the zor binary (default: build/bench/src/cli/zor, built with the bench preset if
#                missing). Without create/extract subcommands, build/bench/bench/zor_bench is used.
#   TREES        trees to run (default: "installer source mixed")
#   TOOLS        tools to run (default: all: zor9 zor6 zip 7z9 7z5 xz bzip2 zstd brotli)
#   REPEAT       runs per measurement, the fastest counts (default 1)
#   EXTRACT_DIR  where extraction goes (default /dev/shm: decoders, not the disk, are measured)
#
# Times are wall-clock seconds of one process on a shared machine: compare within one run.
set -euo pipefail
export LC_ALL=C

[ $# -ge 1 ] && [ $# -le 2 ] || { sed -n '2,25p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
CORPUS=$(realpath -- "$1")
REPO=$(cd "$(dirname "$0")/.." && pwd)
TREES=${TREES:-installer source mixed}
TOOLS=${TOOLS:-zor9 zor6 zip 7z9 7z5 xz bzip2 zstd brotli}
REPEAT=${REPEAT:-1}
EXTRACT_DIR=${EXTRACT_DIR:-/dev/shm}

if [ $# -eq 2 ]; then
    OUT=$(realpath -m -- "$2"); mkdir -p "$OUT"; KEEP=1
else
    OUT=$(mktemp -d); KEEP=0
fi
SCRATCH=$(mktemp -d "$EXTRACT_DIR/zor-compare.XXXXXX")
cleanup() { rm -rf "$SCRATCH"; [ "$KEEP" = 1 ] || rm -rf "$OUT"; }
trap cleanup EXIT

# The trees.
for t in $TREES; do
    if [ ! -d "$CORPUS/$t" ]; then
        mc=${MAKE_CORPUS:-}
        for c in "$REPO/../shared/bench/make-corpus.sh" "$REPO/../../shared/bench/make-corpus.sh"; do
            [ -z "$mc" ] && [ -x "$c" ] && mc=$c
        done
        [ -n "$mc" ] || { echo "error: $CORPUS/$t missing and make-corpus.sh not found (set MAKE_CORPUS)" >&2; exit 1; }
        CORPORA="$t" "$mc" "$CORPUS" >&2
    fi
done

# zor, and how to call it.
ZOR=${ZOR:-$REPO/build/bench/src/cli/zor}
if [ ! -x "$ZOR" ]; then
    (cd "$REPO" && cmake --preset bench >/dev/null && cmake --build --preset bench -j2 >/dev/null)
fi
ZOR_BENCH=$(dirname "$ZOR")/../../bench/zor_bench
if "$ZOR" create --help >/dev/null 2>&1 && "$ZOR" extract --help >/dev/null 2>&1; then
    zor_pack() { "$ZOR" create "$2" "$3" "-$1" -j 1 --bare -q; }
    zor_extract() { "$ZOR" extract "$1" -o "$2" -q; }
    ZOR_HOW="zor create --bare -j 1 / zor extract"
else
    [ -x "$ZOR_BENCH" ] || { echo "error: neither zor create/extract nor zor_bench found" >&2; exit 1; }
    zor_pack() { "$ZOR_BENCH" pack "$1" "$(dirname "$3")/$(basename "$3")" "$2" >/dev/null; }
    zor_extract() { "$ZOR_BENCH" extract "$1" "$2" >/dev/null; }
    ZOR_HOW="zor_bench pack / extract (engine)"
fi

now() { date +%s.%N; }
# fastest SECONDS of REPEAT runs of "$@" (after PREPARE, untimed)
timed() {
    local best="" s e d
    for ((r = 0; r < REPEAT; ++r)); do
        [ -n "${PREPARE:-}" ] && eval "$PREPARE"
        s=$(now); "$@"; e=$(now)
        d=$(echo "$e - $s" | bc -l)
        if [ -z "$best" ] || [ "$(echo "$d < $best" | bc -l)" = 1 ]; then best=$d; fi
    done
    echo "$best"
}

# pack_TOOL TREE ARCHIVE and extract_TOOL ARCHIVE FOLDER, run from CORPUS.
pack_zor9() { zor_pack 9 "$2" "$CORPUS/$1"; }
pack_zor6() { zor_pack 6 "$2" "$CORPUS/$1"; }
extract_zor9() { zor_extract "$1" "$2"; }
extract_zor6() { zor_extract "$1" "$2"; }
pack_zip() { (cd "$CORPUS" && zip -9 -r -q "$2" "$1"); }
extract_zip() { unzip -q "$1" -d "$2"; }
pack_7z9() { (cd "$CORPUS" && 7z a -mx9 -mmt1 "$2" "$1" >/dev/null); }
pack_7z5() { (cd "$CORPUS" && 7z a -mx5 -mmt1 "$2" "$1" >/dev/null); }
extract_7z9() { 7z x -mmt1 -o"$2" "$1" >/dev/null; }
extract_7z5() { extract_7z9 "$@"; }
pack_xz() { tar -C "$CORPUS" -cf - "$1" | xz -9 -T1 > "$2"; }
extract_xz() { mkdir -p "$2" && xz -dc -T1 "$1" | tar -x -C "$2"; }
pack_bzip2() { tar -C "$CORPUS" -cf - "$1" | bzip2 -9 > "$2"; }
extract_bzip2() { mkdir -p "$2" && bzip2 -dc "$1" | tar -x -C "$2"; }
pack_zstd() { tar -C "$CORPUS" -cf - "$1" | zstd -19 --long=27 -T1 -q > "$2"; }
extract_zstd() { mkdir -p "$2" && zstd -dc --long=27 -T1 -q "$1" | tar -x -C "$2"; }
pack_brotli() { tar -C "$CORPUS" -cf - "$1" | brotli -q 11 -w 24 -c > "$2"; }
extract_brotli() { mkdir -p "$2" && brotli -dc "$1" | tar -x -C "$2"; }

label() {
    case $1 in
        zor9) echo "zor create -9";; zor6) echo "zor create -6";; zip) echo "zip -9 / unzip";;
        7z9) echo "7z -mx9";; 7z5) echo "7z -mx5";; xz) echo "tar + xz -9";; bzip2) echo "tar + bzip2 -9";;
        zstd) echo "tar + zstd -19 --long=27";; brotli) echo "tar + brotli -q 11 -w 24";;
    esac
}
suffix() { case $1 in zor*) echo zor;; zip) echo zip;; 7z*) echo 7z;; xz) echo tar.xz;; bzip2) echo tar.bz2;; zstd) echo tar.zst;; brotli) echo tar.br;; esac; }

RESULTS=$OUT/results.md
{
    echo "# zor against the established tools"
    echo
    echo "$(date -u +%Y-%m-%d), $(nproc) cores (shared), one thread per tool; zor: $ZOR_HOW; extraction into $EXTRACT_DIR."
    echo "Sizes in % of the original bytes; MB/s of original data; the last three columns: zor -9's size, zor -6's"
    echo "size and zor's extract time (-9 archive) divided by the tool's (below 1: zor is smaller or faster)."
} > "$RESULTS"

declare -A SIZE PACK EXTRACT
for t in $TREES; do
    original=$(find "$CORPUS/$t" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
    files=$(find "$CORPUS/$t" -type f | wc -l)
    for tool in $TOOLS; do
        archive=$OUT/$t.$tool.$(suffix "$tool")
        PREPARE="rm -f '$archive'"
        PACK[$t.$tool]=$(timed "pack_$tool" "$t" "$archive")
        SIZE[$t.$tool]=$(stat -c %s "$archive")
        PREPARE="rm -rf '$SCRATCH/x'"
        EXTRACT[$t.$tool]=$(timed "extract_$tool" "$archive" "$SCRATCH/x")
        if [[ $tool == zor* ]]; then  # the archive must give the tree back
            diff -r "$CORPUS/$t" "$SCRATCH/x/$t" >/dev/null || { echo "error: $tool: $t does not come back whole" >&2; exit 1; }
        fi
        rm -rf "$SCRATCH/x"
        echo "$t $tool: ${SIZE[$t.$tool]} bytes, pack ${PACK[$t.$tool]} s, extract ${EXTRACT[$t.$tool]} s" >&2
    done
    {
        echo
        printf '## %s (%d files, %.1f MB)\n\n' "$t" "$files" "$(echo "$original / 1000000" | bc -l)"
        echo "| tool | size | % | pack s | pack MB/s | extract s | extract MB/s | -9 size ÷ | -6 size ÷ | extract time ÷ |"
        echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
        for tool in $TOOLS; do
            s=${SIZE[$t.$tool]} p=${PACK[$t.$tool]} x=${EXTRACT[$t.$tool]}
            r9=-; r6=-; rx=-
            [ -n "${SIZE[$t.zor9]:-}" ] && r9=$(printf '%.3f' "$(echo "${SIZE[$t.zor9]} / $s" | bc -l)")
            [ -n "${SIZE[$t.zor6]:-}" ] && r6=$(printf '%.3f' "$(echo "${SIZE[$t.zor6]} / $s" | bc -l)")
            [ -n "${EXTRACT[$t.zor9]:-}" ] && rx=$(printf '%.2f' "$(echo "${EXTRACT[$t.zor9]} / $x" | bc -l)")
            printf '| %s | %d | %.2f %% | %.1f | %.2f | %.2f | %.1f | %s | %s | %s |\n' "$(label "$tool")" "$s" \
                "$(echo "100 * $s / $original" | bc -l)" "$p" "$(echo "$original / $p / 1000000" | bc -l)" \
                "$x" "$(echo "$original / $x / 1000000" | bc -l)" "$r9" "$r6" "$rx"
        done
    } >> "$RESULTS"
done

# The targets, where their tools ran.
check() {  # description, value, limit (value must be below limit)
    local verdict="met"
    [ "$(echo "$2 < $3" | bc -l)" = 1 ] || verdict="missed"
    printf '| %s | %s | %.3f (needs below %.3f) |\n' "$1" "$verdict" "$(echo "$2 / $3" | bc -l)" 1
}
{
    echo
    echo "## Targets"
    echo
    echo "| tree: target | | ratio |"
    echo "|---|---|---:|"
    for t in $TREES; do
        has() { [ -n "${SIZE[$t.$1]:-}" ]; }
        has zor9 && has zstd && check "$t: -9 smaller than tar + zstd -19 --long" "${SIZE[$t.zor9]}" "${SIZE[$t.zstd]}"
        has zor9 && has 7z9 && check "$t: -9 at most 10 % larger than 7z -mx9" "${SIZE[$t.zor9]}" "$(echo "1.1 * ${SIZE[$t.7z9]}" | bc -l)"
        has zor6 && has bzip2 && check "$t: -6 smaller than tar + bzip2 -9" "${SIZE[$t.zor6]}" "${SIZE[$t.bzip2]}"
        has zor6 && has 7z5 && check "$t: -6 packs faster than 7z -mx5" "${PACK[$t.zor6]}" "${PACK[$t.7z5]}"
        has zor9 && has zip && check "$t: extract in at most half of unzip's time" "${EXTRACT[$t.zor9]}" "$(echo "0.5 * ${EXTRACT[$t.zip]}" | bc -l)"
        has zor9 && has zstd && check "$t: extract as fast as tar + zstd (aim)" "${EXTRACT[$t.zor9]}" "${EXTRACT[$t.zstd]}"
    done
} >> "$RESULTS"
cat "$RESULTS"
