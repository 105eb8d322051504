#!/usr/bin/env bash
# Builds the libFuzzer harnesses (preset "fuzz") and runs each for a bounded time, starting
# from the committed seed corpus. Usage: fuzz/run.sh [seconds-per-harness]   (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

work=build/fuzz/corpus-work
for name in text line polygon facet cell; do
    mkdir -p "$work/$name"
    echo "== fuzz_$name for ${seconds}s"
    # New inputs go to the work folder; the committed seeds are only read. A crash, leak or
    # timeout stops the harness with a non-zero status and leaves the input beside its log.
    log="$work/$name.log"
    if ! "build/fuzz/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$work/$name-" "$work/$name" "fuzz/corpus/$name" \
        >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "fuzz_$name failed; the input is in $work"
        exit 1
    fi
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$log"
done
