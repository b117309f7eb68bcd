#!/usr/bin/env bash
# Checks the packages scripts/package.sh made: what each holds, for which architecture and
# with which dependencies, that nothing of the simulator ships, that the module ships
# stripped but names its version, that the debug package has the symbols of every binary,
# and that the tools run once unpacked into a scratch root (under qemu-arm for armhf).
# Usage: check_packages.sh PACKAGES_DIR BUILD_DIR
#   BUILD_DIR: the build the packages came from; its stand-in framework (libcamsim.so) takes
#   the framework's place when frameworkprobe runs.
set -uo pipefail
packages=$1
build=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
readelf=$(sed -n 's/^CMAKE_READELF:[A-Z]*=//p' "$build/CMakeCache.txt")
module_deb=$(ls "$packages"/tc120mxs_"$version"_*.deb 2>/dev/null)
arch=${module_deb##*_}
arch=${arch%.deb}
[[ $arch == armhf || $arch == amd64 ]] || { echo "FAIL: no tc120mxs $version package in $packages"; exit 1; }
deb() { echo "$packages/$1_${version}_$arch.deb"; }
# The regular files and links of a package, one path a line, without the leading "./".
files() { dpkg-deb --fsys-tarfile "$(deb "$1")" | tar -t | sed 's|^\./||' | grep -v -e '/$' -e '^$'; }

for name in tc120mxs tc120mxs-tools tc120mxs-dbgsym; do
    [[ -f $(deb "$name") ]] || { fail "no $(basename "$(deb "$name")")"; continue; }
    [[ $(dpkg-deb -f "$(deb "$name")" Architecture) == "$arch" ]] || fail "$name: architecture"
    [[ $(dpkg-deb -f "$(deb "$name")" Version) == "$version" ]] || fail "$name: version"
    if files "$name" | grep -E 'camsim|boardframework|(^|/)camhost$|demo\.cam|framebench'; then
        fail "$name ships a file of the simulator or the development tools (above)"
    fi
done

want_module="usr/lib/libtc120mxs.so
usr/share/doc/tc120mxs/changelog.gz
usr/share/doc/tc120mxs/copyright
usr/share/lintian/overrides/tc120mxs
usr/share/tc120mxs/config/120MXS_registers.txt
usr/share/tc120mxs/config/120mxs_config.ini
usr/share/tc120mxs/config/120mxs_sensor.ini
usr/share/tc120mxs/config/README-before-first-power.md
usr/share/tc120mxs/config/bad_pixel_map.txt
usr/share/tc120mxs/config/version/cam_part.txt
usr/share/tc120mxs/config/version/io_board_rev.txt
usr/share/tc120mxs/config/version/kernel_version.txt
usr/share/tc120mxs/config/version/sensor_board_rev.txt
usr/share/tc120mxs/config/version/sensor_part.txt
usr/share/tc120mxs/config/version/sensor_serial.txt
usr/share/tc120mxs/config/version/serial.txt
usr/share/tc120mxs/config/version/soc_io_board_rev.txt"
want_tools="usr/bin/boardprobe
usr/bin/camhost-board
usr/bin/frameworkprobe
usr/share/doc/tc120mxs-tools/changelog.gz
usr/share/doc/tc120mxs-tools/copyright
usr/share/lintian/overrides/tc120mxs-tools
usr/share/tc120mxs/config/board-check.cam"
[[ $(files tc120mxs | LC_ALL=C sort) == "$want_module" ]] ||
    fail "tc120mxs holds: $(files tc120mxs | tr '\n' ' ')"
[[ $(files tc120mxs-tools | LC_ALL=C sort) == "$want_tools" ]] ||
    fail "tc120mxs-tools holds: $(files tc120mxs-tools | tr '\n' ' ')"

# Depends: the C and C++ runtime, no newer than the board's (glibc 2.34, the libstdc++ of
# GCC 12); the tools need the module of their own version.
# depends_version PACKAGE DEPENDENCY: the version after ">=" for DEPENDENCY in Depends.
depends_version() {
    dpkg-deb -f "$(deb "$1")" Depends | tr ',' '\n' | sed -n "s/^ *$2 (>= \([^)]*\))$/\1/p"
}
for name in tc120mxs tc120mxs-tools; do
    for dependency in "libc6 2.34" "libstdc++6 12"; do
        set -- $dependency
        found=$(depends_version "$name" "$1")
        if [[ -z $found ]] || dpkg --compare-versions "$found" gt "$2"; then
            fail "$name: Depends '$(dpkg-deb -f "$(deb "$name")" Depends)' wants $1 (>= ${found:-?}), not at most $2"
        fi
    done
done
dpkg-deb -f "$(deb tc120mxs-tools)" Depends | grep -q "tc120mxs (= $version)" ||
    fail "tc120mxs-tools does not depend on tc120mxs (= $version)"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
for name in tc120mxs tc120mxs-tools tc120mxs-dbgsym; do
    dpkg -x "$(deb "$name")" "$root" || fail "dpkg -x $name"
done
module=$root/usr/lib/libtc120mxs.so
if "$readelf" -S "$module" | grep -qE '\.symtab|\.debug_'; then
    fail "the module ships with its symbol table or debug information"
fi
grep -aq "tc120mxs $version" "$module" || fail "the shipped module does not name version $version"
source_dir=$(sed -n 's/^CMAKE_HOME_DIRECTORY:[A-Z]*=//p' "$build/CMakeCache.txt")
for binary in "$module" "$root/usr/bin/camhost-board" "$root/usr/bin/frameworkprobe" \
    "$root/usr/bin/boardprobe"; do
    # What the board build ships names no folder of the build machine (the host build's
    # camhost-board keeps its source tree's configuration as a default).
    if [[ $arch == armhf ]] && grep -aq -e "$source_dir" "$binary"; then
        fail "${binary#"$root"} names the build machine's $source_dir"
    fi
    id=$("$readelf" -n "$binary" | sed -n 's/^ *Build ID: *//p')
    debug=$root/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug
    if [[ -z $id || ! -f $debug ]] || ! "$readelf" -S "$debug" 2>/dev/null | grep -q '\.debug_info'; then
        fail "no debug information for ${binary#"$root"} (build id '$id')"
    fi
done

# The installed frameworkprobe, with the stand-in framework where the board's would be.
run=()
[[ $arch == armhf ]] && run=(qemu-arm -L /usr/arm-linux-gnueabihf -E
                             LD_LIBRARY_PATH=/usr/arm-linux-gnueabihf/lib:"$build")
probe=$root/usr/bin/frameworkprobe
out=$(LD_LIBRARY_PATH=$build "${run[@]}" "$probe" --version 2>&1)
[[ $out == "frameworkprobe $version" ]] || fail "frameworkprobe --version: $out"
out=$(LD_LIBRARY_PATH=$build CAMSIM_REGFILE=direct timeout 120 "${run[@]}" "$probe" 2>&1)
status=$?
if [[ $status -ne 0 ]] || ! grep -qE '^[0-9]+ checked, 0 failed' <<<"$out"; then
    fail "installed frameworkprobe exited $status: $(tail -5 <<<"$out")"
fi

# The installed boardprobe on the stand-in's healthy head.
out=$(LD_LIBRARY_PATH=$build timeout 120 "${run[@]}" "$root/usr/bin/boardprobe" 2>&1)
status=$?
if [[ $status -ne 0 ]] || ! grep -qE '^[0-9]+ checked, 0 failed' <<<"$out"; then
    fail "installed boardprobe exited $status: $(tail -5 <<<"$out")"
fi

[[ $failures -eq 0 ]] && echo "packages: 3 checked ($arch, $version), 0 failed"
exit $((failures > 0))
