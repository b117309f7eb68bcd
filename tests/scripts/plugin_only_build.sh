#!/usr/bin/env bash
# The plug-in-only build as a board SDK runs it: a compiler of another name and a root file
# system of its own, both given to cmake/armhf-toolchain.cmake through the environment, and
# none of the host-side packages (inih, CLI11, nlohmann_json, GoogleTest, libpng) to be
# found. It must configure, build a module of the board's shape, and install the plugin
# component. The SDK here wraps Debian's cross compiler; its root file system is Debian's
# armhf cross tree. Works in build/plugin-only, anew each time.
set -euo pipefail
cd "$(dirname "$0")/../.."
work=$PWD/build/plugin-only
rm -rf "$work"
mkdir -p "$work/sdk" "$work/sysroot/usr"

prefix=$work/sdk/armv7-boardsdk-linux-gnueabihf-
for tool in gcc g++ ar ranlib nm readelf objcopy objdump strip; do
    printf '#!/bin/sh\nexec arm-linux-gnueabihf-%s "$@"\n' "$tool" >"$prefix$tool"
    chmod +x "$prefix$tool"
done
ln -s /usr/arm-linux-gnueabihf/include "$work/sysroot/usr/include"
ln -s /usr/arm-linux-gnueabihf/lib "$work/sysroot/usr/lib"
ln -s /usr/arm-linux-gnueabihf/lib "$work/sysroot/lib"

hidden=()
for package in CLI11 nlohmann_json GTest PNG; do
    hidden+=("-DCMAKE_DISABLE_FIND_PACKAGE_$package=ON")
done
# inih is looked for with find_library and find_file: its folders are hidden.
hidden+=("-DCMAKE_IGNORE_PATH=/usr/include;/usr/lib/arm-linux-gnueabihf;/usr/lib/x86_64-linux-gnu")

TC120MXS_CROSS_PREFIX=$prefix TC120MXS_SYSROOT=$work/sysroot \
    cmake -S . -B "$work/build" -G Ninja --toolchain "$PWD/cmake/armhf-toolchain.cmake" \
    --no-warn-unused-cli -DTC120MXS_PLUGIN_ONLY=ON "${hidden[@]}" >"$work/configure.log"
cmake --build "$work/build" >"$work/build.log"

faults=()
cache() { sed -n "s/^$1:[A-Z]*=//p" "$work/build/CMakeCache.txt"; }
# Into a file first: grep -m1 stops reading early, and ninja would die of SIGPIPE.
ninja -C "$work/build" -t commands tc120mxs >"$work/commands.txt"
compile=$(grep -m1 -- ' -c ' "$work/commands.txt")
[[ $compile == "${prefix}g++ "* ]] || faults+=("not compiled by the SDK's compiler: $compile")
[[ $compile == *" --sysroot=$work/sysroot "* ]] ||
    faults+=("not compiled against the SDK's root file system: $compile")
[[ $(cache CMAKE_NM) == "${prefix}nm" ]] || faults+=("nm is $(cache CMAKE_NM), not the SDK's")
module=$work/build/libtc120mxs.so
for check in check_exports check_module_links; do
    cmake -DNM="$(cache CMAKE_NM)" -DREADELF="$(cache CMAKE_READELF)" -DMODULE="$module" \
        -DHOST_DIR="$PWD/host" -P "tests/$check.cmake" >>"$work/checks.log" 2>&1 ||
        faults+=("$check: $(tail -3 "$work/checks.log")")
done
DESTDIR=$work/install cmake --install "$work/build" --component plugin --prefix /usr >/dev/null
for file in usr/lib/libtc120mxs.so usr/share/tc120mxs/config/README-before-first-power.md; do
    [[ -f $work/install/$file ]] || faults+=("the plugin component installs no $file")
done
if [[ ${#faults[@]} -gt 0 ]]; then
    printf 'plug-in-only build: %s\n' "${faults[@]}" >&2
    exit 1
fi
echo "plug-in-only build: configured without the host packages, module built with the SDK's" \
     "compiler and root file system, exports and links checked"
