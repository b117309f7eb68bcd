#!/usr/bin/env bash
# Long run of the sequence oracle: random seeded sequences on the strict head for HOURS
# (fractions allowed, e.g. 0.5), in chunks of ten minutes, each chunk from the seed after the
# last one run. Stops at the first failing sequence, which it prints shrunk, with its seed.
#
#   scripts/soak.sh HOURS [FIRST_SEED]
set -euo pipefail
cd "$(dirname "$0")/.."

hours=${1:?usage: scripts/soak.sh HOURS [FIRST_SEED]}
seed=${2:-1}
binary=$PWD/build/host/tests/reliability_tests
[[ -f build/host/build.ninja ]] || cmake --preset host >/dev/null
cmake --build --preset host --target reliability_tests

total=$(awk -v h="$hours" 'BEGIN { printf "%d", h * 3600 }')
chunk=600
start=$SECONDS
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
sequences=0 steps=0
while (( SECONDS - start < total )); do
    left=$(( total - (SECONDS - start) ))
    (( left < chunk )) && chunk=$left
    log="$scratch/chunk.log"
    if ! (cd "$scratch" && TC120MXS_ORACLE_SEED=$seed TC120MXS_ORACLE_SECONDS=$chunk \
            "$binary" --gtest_filter='OracleCampaignTest.RandomSequencesHold' >"$log" 2>&1); then
        grep -a -A40 'seed ' "$log" | grep -av '^tcRegFileObs\|^Vistrel\|^set\|^get\|^Set\|^program\|^image' >&2 || tail -50 "$log" >&2
        echo "soak: FAILED after $(( SECONDS - start )) s, $sequences sequences before this chunk" >&2
        exit 1
    fi
    line=$(grep -a '^oracle:' "$log")
    ran=$(sed -E 's/^oracle: ([0-9]+) sequences, ([0-9]+) steps.*/\1/' <<<"$line")
    ran_steps=$(sed -E 's/^oracle: ([0-9]+) sequences, ([0-9]+) steps.*/\2/' <<<"$line")
    sequences=$(( sequences + ran )) steps=$(( steps + ran_steps )) seed=$(( seed + ran ))
    echo "soak: $(( SECONDS - start )) s, $sequences sequences, $steps steps, next seed $seed"
done
echo "soak: $sequences sequences, $steps steps in $(( SECONDS - start )) s: every sequence held"
