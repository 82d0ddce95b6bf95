#!/usr/bin/env bash
# compare.sh CORPUS_DIR [OUT]
#
# Packs and extracts each benchmark tree under CORPUS_DIR (installer, source, mixed, as made by
# make-corpus.sh) with zor create -9, -6 and -1 and with the established tools, one thread each (also
# with a 1 MiB window or dictionary, zor's reach), and prints, per tree, a markdown table of sizes (% of
# the original), pack and extract times with MB/s of original data, and the ratios of zor's sizes and
# extract time to each tool's. Then the targets. It also draws size against extraction speed and size
# against packing speed (bench/plot.py) into OUT.
#
#   CORPUS_DIR   folder holding the trees; a missing tree is built with make-corpus.sh (MAKE_CORPUS
#                names the script; by default it is looked for in ../shared/bench next to the
#                repository or its worktree folder)
#   OUT          folder for the archives, results.md, results.tsv and the plots (default: a temporary
#                folder, removed after)
#
# Environment:
#   ZOR          the zor binary (default: build/bench/src/cli/zor, built with the bench preset if
#                missing). Without create/extract subcommands, build/bench/bench/zor_bench is used.
#   TREES        trees to run (default: "installer source mixed")
#   TOOLS        tools to run (default: all, see `label` below; zorx1 is zor extract -j1 of the -9 archive)
#   REPEAT       packing rounds, the fastest counts (default 1)
#   XREPEAT      extraction rounds, the fastest counts (default 3)
#   EXTRACT_DIR  where extraction goes (default /dev/shm: decoders, not the disk, are measured)
#
# Rounds are interleaved: every tool packs (or extracts) once per round, so that a slow spell of the
# shared machine falls on all of them alike. Times are wall-clock seconds of one process (or one
# pipeline) on a shared machine: compare within one run. Every tar is made with --sort=name.
set -euo pipefail
export LC_ALL=C

[ $# -ge 1 ] && [ $# -le 2 ] || { sed -n '2,30p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
CORPUS=$(realpath -- "$1")
REPO=$(cd "$(dirname "$0")/.." && pwd)
TREES=${TREES:-installer source mixed}
TOOLS=${TOOLS:-zor9 zorx1 zor6 zor1 zip 7z9 7z9m 7z5 xz xzm bzip2 zstd zstdm brotli brotlim}
REPEAT=${REPEAT:-1}
XREPEAT=${XREPEAT:-3}
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
    # One thread: -j1 where zor extract takes it (without it, it has only the one).
    ZOR_X1=()
    "$ZOR" extract --help 2>&1 | grep -q -- '-j' && ZOR_X1=(-j 1)
    zor_extract1() { "$ZOR" extract "$1" -o "$2" -q "${ZOR_X1[@]}"; }
    ZOR_HOW="zor create --bare -j 1 / zor extract"
else
    [ -x "$ZOR_BENCH" ] || { echo "error: neither zor create/extract nor zor_bench found" >&2; exit 1; }
    zor_pack() { "$ZOR_BENCH" pack "$1" "$(dirname "$3")/$(basename "$3")" "$2" >/dev/null; }
    zor_extract() { "$ZOR_BENCH" extract "$1" "$2" >/dev/null; }
    zor_extract1() { zor_extract "$@"; }
    ZOR_HOW="zor_bench pack / extract (engine)"
fi

now() { date +%s.%N; }
# Seconds that "$@" takes.
timed() {
    local s e
    s=$(now); "$@"; e=$(now)
    echo "$e - $s" | bc -l
}
# The smaller of a kept best (may be empty) and a new time.
fastest() { if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc -l)" = 1 ]; then echo "$2"; else echo "$1"; fi; }

tar_of() { tar -C "$CORPUS" --sort=name -cf - "$1"; }
# pack_TOOL TREE ARCHIVE and extract_TOOL ARCHIVE FOLDER.
pack_zor9() { zor_pack 9 "$2" "$CORPUS/$1"; }
pack_zor6() { zor_pack 6 "$2" "$CORPUS/$1"; }
pack_zor1() { zor_pack 1 "$2" "$CORPUS/$1"; }
pack_zorx1() { :; }  # extracts the -9 archive
extract_zor9() { zor_extract "$1" "$2"; }
extract_zor6() { zor_extract "$1" "$2"; }
extract_zor1() { zor_extract "$1" "$2"; }
extract_zorx1() { zor_extract1 "$1" "$2"; }
pack_zip() { (cd "$CORPUS" && zip -9 -r -q "$2" "$1"); }
extract_zip() { unzip -q "$1" -d "$2"; }
pack_7z9() { (cd "$CORPUS" && 7z a -mx9 -mmt1 "$2" "$1" >/dev/null); }
pack_7z9m() { (cd "$CORPUS" && 7z a -mx9 -md=1m -mmt1 "$2" "$1" >/dev/null); }
pack_7z5() { (cd "$CORPUS" && 7z a -mx5 -mmt1 "$2" "$1" >/dev/null); }
extract_7z9() { 7z x -mmt1 -o"$2" "$1" >/dev/null; }
extract_7z9m() { extract_7z9 "$@"; }
extract_7z5() { extract_7z9 "$@"; }
pack_xz() { tar_of "$1" | xz -9 -T1 > "$2"; }
pack_xzm() { tar_of "$1" | xz --lzma2=preset=9e,dict=1MiB -T1 > "$2"; }
extract_xz() { mkdir -p "$2" && xz -dc -T1 "$1" | tar -x -C "$2"; }
extract_xzm() { extract_xz "$@"; }
pack_bzip2() { tar_of "$1" | bzip2 -9 > "$2"; }
extract_bzip2() { mkdir -p "$2" && bzip2 -dc "$1" | tar -x -C "$2"; }
pack_zstd() { tar_of "$1" | zstd -19 --long=27 -T1 -q > "$2"; }
pack_zstdm() { tar_of "$1" | zstd -19 --zstd=wlog=20 -T1 -q > "$2"; }
extract_zstd() { mkdir -p "$2" && zstd -dc --long=27 -T1 -q "$1" | tar -x -C "$2"; }
extract_zstdm() { extract_zstd "$@"; }
pack_brotli() { tar_of "$1" | brotli -q 11 -w 24 -c > "$2"; }
pack_brotlim() { tar_of "$1" | brotli -q 11 -w 20 -c > "$2"; }
extract_brotli() { mkdir -p "$2" && brotli -dc "$1" | tar -x -C "$2"; }
extract_brotlim() { extract_brotli "$@"; }

label() {
    case $1 in
        zor9) echo "zor create -9";; zorx1) echo "zor extract -j1 (-9 archive)";; zor6) echo "zor create -6";;
        zor1) echo "zor create -1";; zip) echo "zip -9 / unzip";;
        7z9) echo "7z -mx9";; 7z9m) echo "7z -mx9 -md=1m";; 7z5) echo "7z -mx5";;
        xz) echo "tar + xz -9";; xzm) echo "tar + xz -9e, 1 MiB dict";; bzip2) echo "tar + bzip2 -9";;
        zstd) echo "tar + zstd -19 --long=27";; zstdm) echo "tar + zstd -19, 1 MiB window";;
        brotli) echo "tar + brotli -q 11 -w 24";; brotlim) echo "tar + brotli -q 11 -w 20";;
    esac
}
suffix() { case $1 in zor*) echo zor;; zip) echo zip;; 7z*) echo 7z;; xz*) echo tar.xz;; bzip2) echo tar.bz2;; zstd*) echo tar.zst;; brotli*) echo tar.br;; esac; }
archive_of() { case $2 in zorx1) echo "$OUT/$1.zor9.zor";; *) echo "$OUT/$1.$2.$(suffix "$2")";; esac; }

LOAD_BEFORE=$(cut -d' ' -f1-3 /proc/loadavg)
declare -A SIZE PACK EXTRACT ORIGINAL FILES
for t in $TREES; do
    ORIGINAL[$t]=$(find "$CORPUS/$t" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
    FILES[$t]=$(find "$CORPUS/$t" -type f | wc -l)
    for ((r = 0; r < REPEAT; ++r)); do
        for tool in $TOOLS; do
            [ "$tool" = zorx1 ] && continue
            archive=$(archive_of "$t" "$tool")
            rm -f "$archive"
            PACK[$t.$tool]=$(fastest "${PACK[$t.$tool]:-}" "$(timed "pack_$tool" "$t" "$archive")")
            SIZE[$t.$tool]=$(stat -c %s "$archive")
            echo "$t $tool: ${SIZE[$t.$tool]} bytes, pack ${PACK[$t.$tool]} s" >&2
        done
    done
    for ((r = 0; r < XREPEAT; ++r)); do
        for tool in $TOOLS; do
            archive=$(archive_of "$t" "$tool")
            rm -rf "$SCRATCH/x"
            EXTRACT[$t.$tool]=$(fastest "${EXTRACT[$t.$tool]:-}" "$(timed "extract_$tool" "$archive" "$SCRATCH/x")")
            if [ "$r" = 0 ] && [[ $tool == zor* ]]; then  # the archive must give the tree back
                diff -r "$CORPUS/$t" "$SCRATCH/x/$t" >/dev/null || { echo "error: $tool: $t does not come back whole" >&2; exit 1; }
            fi
            rm -rf "$SCRATCH/x"
        done
        echo "$t: extraction round $((r + 1)) of $XREPEAT done" >&2
    done
    if [[ " $TOOLS " == *" zorx1 "* ]]; then
        SIZE[$t.zorx1]=${SIZE[$t.zor9]:-0}
        PACK[$t.zorx1]=${PACK[$t.zor9]:-0}
    fi
done
LOAD_AFTER=$(cut -d' ' -f1-3 /proc/loadavg)

RESULTS=$OUT/results.md
TSV=$OUT/results.tsv
{
    echo "# zor against the established tools"
    echo
    echo "$(date -u +%Y-%m-%d), $(nproc) cores (shared; load average $LOAD_BEFORE before, $LOAD_AFTER after), one thread"
    echo "per tool; zor: $ZOR_HOW; tars made with --sort=name; packing: fastest of $REPEAT, extraction: fastest of"
    echo "$XREPEAT interleaved rounds, into $EXTRACT_DIR. Sizes in % of the original bytes; MB/s of original data; the"
    echo "last three columns: zor -9's size, zor -6's size and zor's extract time (-9 archive) divided by the tool's"
    echo "(below 1: zor is smaller or faster)."
} > "$RESULTS"
printf 'tree\ttool\tlabel\tbytes\tpercent\tpack_mbs\textract_mbs\n' > "$TSV"

for t in $TREES; do
    original=${ORIGINAL[$t]}
    {
        echo
        printf '## %s (%d files, %.1f MB)\n\n' "$t" "${FILES[$t]}" "$(echo "$original / 1000000" | bc -l)"
        echo "| tool | size | % | pack s | pack MB/s | extract s | extract MB/s | -9 size ÷ | -6 size ÷ | extract time ÷ |"
        echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
        for tool in $TOOLS; do
            s=${SIZE[$t.$tool]} p=${PACK[$t.$tool]} x=${EXTRACT[$t.$tool]}
            r9=-; r6=-; rx=-
            [ -n "${SIZE[$t.zor9]:-}" ] && r9=$(printf '%.3f' "$(echo "${SIZE[$t.zor9]} / $s" | bc -l)")
            [ -n "${SIZE[$t.zor6]:-}" ] && r6=$(printf '%.3f' "$(echo "${SIZE[$t.zor6]} / $s" | bc -l)")
            [ -n "${EXTRACT[$t.zor9]:-}" ] && rx=$(printf '%.2f' "$(echo "${EXTRACT[$t.zor9]} / $x" | bc -l)")
            if [ "$tool" = zorx1 ]; then
                printf '| %s | – | – | – | – | %.2f | %.1f | – | – | %s |\n' "$(label "$tool")" "$x" \
                    "$(echo "$original / $x / 1000000" | bc -l)" "$rx"
                printf '%s\t%s\t%s\t%d\t%.3f\t-\t%.3f\n' "$t" "$tool" "$(label "$tool")" "${SIZE[$t.zor9]}" \
                    "$(echo "100 * ${SIZE[$t.zor9]} / $original" | bc -l)" "$(echo "$original / $x / 1000000" | bc -l)" >> "$TSV"
                continue
            fi
            printf '| %s | %d | %.2f %% | %.1f | %.2f | %.2f | %.1f | %s | %s | %s |\n' "$(label "$tool")" "$s" \
                "$(echo "100 * $s / $original" | bc -l)" "$p" "$(echo "$original / $p / 1000000" | bc -l)" \
                "$x" "$(echo "$original / $x / 1000000" | bc -l)" "$r9" "$r6" "$rx"
            printf '%s\t%s\t%s\t%d\t%.3f\t%.3f\t%.3f\n' "$t" "$tool" "$(label "$tool")" "$s" \
                "$(echo "100 * $s / $original" | bc -l)" "$(echo "$original / $p / 1000000" | bc -l)" \
                "$(echo "$original / $x / 1000000" | bc -l)" >> "$TSV"
        done
    } >> "$RESULTS"
done

# The targets, where their tools ran.
check() {  # description, value, limit (value must be at most the limit)
    local verdict="met"
    [ "$(echo "$2 <= $3" | bc -l)" = 1 ] || verdict="missed"
    printf '| %s | %s | %.3f |\n' "$1" "$verdict" "$(echo "$2 / $3" | bc -l)"
}
{
    echo
    echo "## Targets"
    echo
    echo "| tree: target (ratio must be at most 1) | | ratio |"
    echo "|---|---|---:|"
    for t in $TREES; do
        has() { [ -n "${SIZE[$t.$1]:-}" ]; }
        if has zor9 && has 7z9m; then
            if [ "$t" = mixed ]; then
                check "$t: -9 at most 1.02 × 7z -mx9 -md=1m" "${SIZE[$t.zor9]}" "$(echo "1.02 * ${SIZE[$t.7z9m]}" | bc -l)"
            else
                check "$t: -9 no larger than 7z -mx9 -md=1m" "${SIZE[$t.zor9]}" "${SIZE[$t.7z9m]}"
            fi
        fi
        has zor9 && has 7z9 && check "$t: -9 -j1 packs in at most 7z -mx9 -mmt1's time" "${PACK[$t.zor9]}" "${PACK[$t.7z9]}"
        has zor6 && has brotlim && check "$t: -6 no larger than brotli -q 11 -w 20" "${SIZE[$t.zor6]}" "${SIZE[$t.brotlim]}"
        has zor6 && has xzm && check "$t: -6 no larger than xz with a 1 MiB dictionary" "${SIZE[$t.zor6]}" "${SIZE[$t.xzm]}"
        [ "$t" = installer ] && has zor9 && has zstd && check "$t: -9 no larger than tar + zstd -19 --long=27 (moonshot)" "${SIZE[$t.zor9]}" "${SIZE[$t.zstd]}"
        has zor9 && has zstd && check "$t: extract (default threads) in at most tar + zstd --long's time" "${EXTRACT[$t.zor9]}" "${EXTRACT[$t.zstd]}"
        if has zorx1 && has zip; then
            share=0.40; [ "$t" = mixed ] && share=0.70
            check "$t: extract -j1 in at most $share × unzip's time" "${EXTRACT[$t.zorx1]}" "$(echo "$share * ${EXTRACT[$t.zip]}" | bc -l)"
        fi
    done
} >> "$RESULTS"

if command -v python3 >/dev/null && command -v convert >/dev/null; then
    python3 "$REPO/bench/plot.py" "$TSV" "$OUT" || echo "warning: the plots could not be drawn" >&2
fi
cat "$RESULTS"
