#!/usr/bin/env bash
# Installs what is missing, builds the plug-in and camhost, and runs the demo script on
# the simulated camera head in real time.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset host >/dev/null
cmake --build --preset host --target camhost tc120mxs

out=build/host/demo
mkdir -p "$out"
script=config/demo.cam
[ -f "$script" ] || script=-
status=0
build/host/tools/camhost/camhost --json "$out/state.json" --vcd "$out/trace.vcd" "$script" \
    </dev/null || status=$?
echo "State report: $out/state.json"
echo "Waveform:     $out/trace.vcd (open with gtkwave)"
# camhost's status: 3 when an "expect" of the demo was not met (see camhost --help).
[ "$status" -eq 0 ] || echo "camhost exited with status $status" >&2
exit "$status"
