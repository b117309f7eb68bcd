#!/usr/bin/env bash
# Installs what is missing, checks the plug-in's lock annotations with clang, builds and runs
# every test suite: host, armhf under qemu-arm, the board build and its Debian packages
# (checked, and lintian), the plug-in-only build with nothing but a C++ toolchain, the suites
# that touch threads or memory under the sanitizers, and a short run of each fuzz harness.
# Prints the time each preset took.
#
#   scripts/test.sh          everything (what CI runs)
#   scripts/test.sh --quick  the host suite alone, built incrementally in build/host
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$jobs}
export CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-$jobs}

timings=()
# Runs one preset's configure, build and test steps, and notes how long it took.
workflow() {
    local preset=$1 start=$SECONDS
    cmake --workflow --preset "$preset"
    timings+=("$preset $((SECONDS - start)) s")
}

if [[ ${1:-} == --quick ]]; then
    scripts/install-deps.sh
    # Configured once: a new configuration stamps a new build time into the plug-in, and
    # that alone would recompile it. The build re-runs CMake itself when a CMakeLists changes.
    [[ -f build/host/build.ninja ]] || cmake --preset host >/dev/null
    cmake --build --preset host
    ctest --preset host
    echo "Host suite passed."
    exit 0
fi

start=$SECONDS
scripts/install-deps.sh --armhf --extra --package
timings+=("dependencies $((SECONDS - start)) s")

echo "== lock annotations (clang-14 -Wthread-safety, the plug-in only) =="
workflow threadsafety

echo "== host suite =="
workflow host

echo "== armhf suite (qemu-arm) =="
workflow armhf

echo "== board build and its packages =="
start=$SECONDS
scripts/package.sh
tests/scripts/check_packages.sh build/packages build/board
timings+=("board packages $((SECONDS - start)) s")

echo "== plug-in-only build, as a board SDK runs it =="
start=$SECONDS
tests/scripts/plugin_only_build.sh
timings+=("plug-in-only $((SECONDS - start)) s")

echo "== suites under AddressSanitizer + UBSan =="
workflow asan

echo "== suites that run threads, under ThreadSanitizer =="
workflow tsan

echo "== fuzz harnesses, 20 s each (clang, libFuzzer + ASan + UBSan) =="
start=$SECONDS
scripts/fuzz.sh 20
timings+=("fuzz $((SECONDS - start)) s")

printf '%s\n' "${timings[@]}" "total $SECONDS s"
echo "All suites passed."
