#!/usr/bin/env bash
# Installs what is missing, builds and runs every test suite: host, armhf under qemu-arm,
# the host suites under the sanitizers, and a short run of each fuzz harness.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --armhf --extra

echo "== host suite =="
cmake --workflow --preset host

echo "== armhf suite (qemu-arm) =="
cmake --workflow --preset armhf

echo "== host suite under AddressSanitizer + UBSan =="
cmake --workflow --preset asan

echo "== host suite under ThreadSanitizer =="
cmake --workflow --preset tsan

echo "== fuzz harnesses, 30 s each (clang, libFuzzer + ASan + UBSan) =="
scripts/fuzz.sh 30

echo "All suites passed."
