#!/usr/bin/env bash
# Builds the fuzz preset (clang-14, libFuzzer + ASan + UBSan) and runs every harness for
# SECONDS (default 30) on a copy of its checked-in seed corpus, as many at once as there are
# cores (TC120MXS_FUZZ_JOBS); new inputs and crash files
# go to build/fuzz/corpus-work/. Prints each run's inputs and inputs a second
# ("NAME: N inputs in S s (R/s)"); fails on any crash.
# TC120MXS_FUZZ_BUILD names another build folder for the fuzz preset.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-30}
harnesses=(register_file command_chain register_file_words board_settings config_files
    register_file_text config_ini camhost_script trace_record)

build=$(realpath -m "${TC120MXS_FUZZ_BUILD:-build/fuzz}")
cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" --target "${harnesses[@]/#/fuzz_}"

work="$build/corpus-work"
# Runs one harness; its outcome goes to $work/$harness.status.
run_harness() {
    local harness=$1
    local corpus="$work/$harness" artifacts="$work/artifacts/$harness" log="$work/$harness.log"
    rm -rf "$corpus" "$artifacts"
    mkdir -p "$corpus" "$artifacts"
    cp "$root/tests/fuzz/corpus/$harness/"* "$corpus/"
    local dict=()
    if [[ -f "$root/tests/fuzz/$harness.dict" ]]; then
        dict=(-dict="$root/tests/fuzz/$harness.dict")
    fi
    local status=0 started
    started=$(date +%s.%N)
    "$build/tests/fuzz/fuzz_$harness" "${dict[@]}" -max_total_time="$seconds" \
        -print_final_stats=1 -timeout=10 -rss_limit_mb=4096 -artifact_prefix="$artifacts/" \
        "$corpus" >"$log" 2>&1 || status=$?
    echo "$status" >"$work/$harness.status"
    echo "$started $(date +%s.%N)" >"$work/$harness.span"
}

# One harness per core at a time: each still fuzzes for the whole SECONDS.
lanes=${TC120MXS_FUZZ_JOBS:-$(nproc)}
mkdir -p "$work"
for harness in "${harnesses[@]}"; do
    while [[ $(jobs -rp | wc -l) -ge $lanes ]]; do
        wait -n || true
    done
    run_harness "$harness" &
done
wait

failed=()
for harness in "${harnesses[@]}"; do
    log="$work/$harness.log"
    status=$(cat "$work/$harness.status" 2>/dev/null || echo missing)
    runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
    if [[ $status != 0 ]]; then
        echo "fuzz $harness: FAILED after ${runs:-?} executions (see $log, inputs in $work/artifacts/$harness)"
        failed+=("$harness")
    else
        # Inputs a second over the run's whole span, corpus loading included.
        read -r started ended <"$work/$harness.span"
        awk -v name="$harness" -v runs="${runs:-0}" -v from="$started" -v to="$ended" \
            'BEGIN { s = to - from; printf "%s: %d inputs in %.1f s (%.0f/s), no crash\n", name, runs, s, runs / s }'
    fi
done

if [[ ${#failed[@]} -ne 0 ]]; then
    echo "Fuzz runs failed: ${failed[*]}"
    exit 1
fi
echo "All fuzz runs passed."
