#!/usr/bin/env bash
# Builds the fuzz targets if needed and runs each for a fixed number of
# executions on a copy of its seed corpus, so the repository stays clean.
# Prints per target the executions, time, exec/s, corpus and coverage figures;
# exits non-zero when any target finds a crash (the input is kept and named).
#
# Usage: fuzz/run-fuzzers.sh [EXECUTIONS] [BUILD_DIR]
#   EXECUTIONS  per target (default 100000)
#   BUILD_DIR   clang build with -DTAVIK_FUZZ=ON (default $TMPDIR/tavik-build-fuzz);
#               configured here when it holds no build yet
# Environment: FUZZ_TARGETS="reply address commandparser" to run fewer,
#              FUZZ_KEEP_DIR=DIR to run in DIR/<target> (corpus, log, crashes)
#              and keep it; the log there shows the run's progress.
set -euo pipefail

fuzz_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=$(dirname "$fuzz_dir")
runs=${1:-100000}
build_dir=${2:-${TMPDIR:-/tmp}/tavik-build-fuzz}
targets=${FUZZ_TARGETS:-reply address commandparser}

if [[ ! "$runs" =~ ^[0-9]+$ ]] || (( runs == 0 )); then
    echo "usage: $0 [EXECUTIONS] [BUILD_DIR]" >&2
    exit 2
fi

# The reply target reaches the reader's 64 KiB cap by repeating its input, so
# raw replies up to 8 KiB do. The command parser holds at most 128 bytes and
# keeps 256 of a garbage run, so 512 covers its limits. Both keep ten million
# runs affordable; addresses are short.
max_len_of() {
    case "$1" in
        reply) echo 8192 ;;
        commandparser) echo 512 ;;
        *) echo 4096 ;;
    esac
}

# Long replies are slow to run; let the schedule favour the quick ones.
extra_options_of() {
    case "$1" in
        reply) echo "-entropic_scale_per_exec_time=1" ;;
        *) echo "" ;;
    esac
}

if [[ ! -f "$build_dir/CMakeCache.txt" ]]; then
    generator=()
    command -v ninja >/dev/null && generator=(-G Ninja)
    CC=clang CXX=clang++ cmake -S "$source_dir" -B "$build_dir" "${generator[@]}" \
        -DTAVIK_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
fi
build_targets=()
for target in $targets; do
    build_targets+=(--target "tavik-fuzz-$target")
done
cmake --build "$build_dir" -j2 "${build_targets[@]}" >/dev/null

work_root=$(mktemp -d "${TMPDIR:-/tmp}/tavik-fuzz.XXXXXX")
trap 'rm -rf "$work_root"' EXIT

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=0
printf '%-14s %12s %10s %10s %8s %8s %8s  %s\n' target executions seconds exec/s corpus cov ft result
for target in $targets; do
    work="${FUZZ_KEEP_DIR:-$work_root}/$target"
    rm -rf "$work"
    mkdir -p "$work/corpus"
    cp "$fuzz_dir/corpus/$target/"* "$work/corpus/"
    dict=()
    [[ -f "$fuzz_dir/$target.dict" ]] && dict=(-dict="$fuzz_dir/$target.dict")
    start=$(date +%s.%N)
    status=0
    # shellcheck disable=SC2046
    "$build_dir/fuzz/tavik-fuzz-$target" -runs="$runs" -max_len="$(max_len_of "$target")" \
        -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/" \
        "${dict[@]}" $(extra_options_of "$target") "$work/corpus" >"$work/log" 2>&1 || status=$?
    end=$(date +%s.%N)

    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
    final=$(grep -E '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE|INITED)' "$work/log" | tail -n 1 || true)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$final")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$final")
    corpus=$(find "$work/corpus" -type f | wc -l)
    seconds=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", e - s }')
    rate=$(awk -v n="${executions:-0}" -v s="$seconds" 'BEGIN { printf "%.0f", (s > 0 ? n / s : 0) }')
    result=ok
    if (( status != 0 )); then
        result="FAILED (exit $status)"
        failed=1
    fi
    printf '%-14s %12s %10s %10s %8s %8s %8s  %s\n' "$target" "${executions:-?}" "$seconds" "$rate" \
        "$corpus" "${cov:-?}" "${ft:-?}" "$result"
    if (( status != 0 )); then
        keep=$work
        if [[ -z "${FUZZ_KEEP_DIR:-}" ]]; then
            keep="$(mktemp -d "${TMPDIR:-/tmp}/tavik-fuzz-crash.XXXXXX")/$target"
            cp -r "$work" "$keep"
        fi
        echo "  log and crashing input kept in $keep" >&2
        grep -E 'ERROR|invariant broken|runtime error|Test unit written' "$work/log" | head -n 5 >&2 || true
    fi
done
exit $failed
