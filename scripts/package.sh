#!/usr/bin/env bash
# Builds the Debian packages of what goes on the board into build/packages/:
#   tc120mxs          the stripped module (/usr/lib/libtc120mxs.so) and the sample
#                     configuration with its "before first power" list (/usr/share/tc120mxs/config)
#   tc120mxs-tools    camhost-board, frameworkprobe, boardprobe and board-check.cam
#   tc120mxs-dbgsym   the debug symbols of both, under /usr/lib/debug/.build-id
# Depends are computed from what the binaries need (dpkg-shlibdeps); the version is the
# project's. lintian checks the packages where it is installed.
#
#   scripts/package.sh          armhf, from build/board (configured with the board preset here)
#   scripts/package.sh --host   amd64, from build/host, for trying the packages out
#
# SOURCE_DATE_EPOCH, when unset, is the commit's time: the board build is configured with it,
# so the module's build stamp and the packages are the same for every build of one commit.
# Extra arguments to the board's configure (say -DTC120MXS_FRAMEWORK_LIBS=...) follow `--`.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

if [[ -z ${SOURCE_DATE_EPOCH:-} ]] && git -C "$source_dir" rev-parse HEAD >/dev/null 2>&1; then
    export SOURCE_DATE_EPOCH=$(git -C "$source_dir" log -1 --format=%ct)
fi
package_time=${SOURCE_DATE_EPOCH:-$(date +%s)}

preset=board
case ${1:-} in
--host) preset=host; shift ;;
esac
[[ ${1:-} == -- ]] && shift
build=$source_dir/build/$preset
out=$source_dir/build/packages
if [[ $preset == board || ! -f $build/build.ninja ]]; then
    cmake --preset "$preset" "$@" >/dev/null
fi
cmake --build "$build" --target tc120mxs camhost-board frameworkprobe boardprobe

cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(cache_value CMAKE_PROJECT_VERSION)
readelf=$(cache_value CMAKE_READELF)
objcopy=$(cache_value CMAKE_OBJCOPY)
strip=$(cache_value CMAKE_STRIP)
framework_libs=$(cache_value TC120MXS_FRAMEWORK_LIBS)
case $("$readelf" -h "$build/libtc120mxs.so" | sed -n 's/^ *Machine: *//p') in
ARM) arch=armhf ;;
*X86-64) arch=amd64 ;;
*) echo "package.sh: no Debian architecture for $build/libtc120mxs.so" >&2; exit 1 ;;
esac
# The Maintainer field: TC120MXS_MAINTAINER, else the commit's author.
maintainer=${TC120MXS_MAINTAINER:-$(git -C "$source_dir" log -1 --format='%an <%ae>' 2>/dev/null || true)}
maintainer=${maintainer:-"tc120mxs developers <tc120mxs@vistrel.invalid>"}
commit=$(git -C "$source_dir" rev-parse --short=12 HEAD 2>/dev/null || echo "no commit")

rm -rf "$out" && mkdir -p "$out"
stage=$out/stage
for component in plugin boardtools; do
    DESTDIR=$stage/$component cmake --install "$build" --component "$component" --prefix /usr \
        >/dev/null
done
mv "$stage/plugin" "$stage/tc120mxs"
mv "$stage/boardtools" "$stage/tc120mxs-tools"
mkdir -p "$stage/tc120mxs-dbgsym"

faults=()
is_elf() { [[ $(head -c4 "$1" | od -An -c | tr -d ' ') == '177ELF' ]]; }
build_ids=()
for package in tc120mxs tc120mxs-tools; do
    while IFS= read -r -d '' file; do
        is_elf "$file" || continue
        name=${file#"$stage/$package"}
        # A run path other than the tools' own lib folder names the build machine, and an
        # empty entry makes the loader search the working directory.
        runpath=$("$readelf" -d "$file" | sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]/\2/p')
        if [[ -n $runpath && $runpath != '$ORIGIN/../lib' ]]; then
            faults+=("$name: run path '$runpath' (only \$ORIGIN/../lib or none may ship)")
        fi
        id=$("$readelf" -n "$file" | sed -n 's/^ *Build ID: *//p')
        [[ -n $id ]] || { faults+=("$name: no build id"); continue; }
        debug=$stage/tc120mxs-dbgsym/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug
        mkdir -p "$(dirname "$debug")"
        "$objcopy" --only-keep-debug --compress-debug-sections "$file" "$debug"
        chmod 644 "$debug"
        if [[ $name == *.so ]]; then
            "$strip" --remove-section=.comment --remove-section=.note --strip-unneeded "$file"
            chmod 644 "$file"
        else
            "$strip" --remove-section=.comment --remove-section=.note "$file"
        fi
        build_ids+=("$id")
    done < <(find "$stage/$package" -type f -print0)
done
if [[ $(find "$stage/tc120mxs" "$stage/tc120mxs-tools" | grep -c -E 'camsim|boardframework|/camhost$|demo\.cam') -ne 0 ]]; then
    faults+=("a file of the simulator or the development tools would ship")
fi
if [[ ${#faults[@]} -gt 0 ]]; then
    printf 'package.sh: %s\n' "${faults[@]}" >&2
    exit 1
fi

# dpkg-shlibdeps on one package's binaries; libraries outside Debian's packages (the
# framework's, or the stand-in one of a trial build) are found but add no dependency.
shlib_depends() {
    local package=$1 files=() dirs=("-l$build") lib
    while IFS= read -r -d '' file; do
        is_elf "$file" && files+=("$file")
    done < <(find "$stage/$package" -type f -print0)
    for lib in ${framework_libs//;/ }; do
        [[ $lib == */* ]] && dirs+=("-l$(dirname "$lib")")
    done
    mkdir -p "$out/shlibdeps/debian"
    printf 'Source: tc120mxs\n\nPackage: %s\nArchitecture: any\n' "$package" \
        >"$out/shlibdeps/debian/control"
    (cd "$out/shlibdeps" && dpkg-shlibdeps -O --ignore-missing-info "${dirs[@]}" "${files[@]}" \
        2>>"$out/shlibdeps.log") | sed -n 's/^shlibs:Depends=//p'
}

changelog_date=$(date -u -R -d "@$package_time")
# write_package NAME SECTION DEPENDS SUMMARY DESCRIPTION [EXTRA FIELD LINES]
write_package() {
    local name=$1 section=$2 depends=$3 summary=$4 description=$5 extra=${6:-}
    local root=$stage/$name doc=$stage/$name/usr/share/doc/$name
    mkdir -p "$root/DEBIAN" "$(dirname "$doc")"
    if [[ $section == debug ]]; then
        # A debug package holds debug files only: its documents are the module package's.
        ln -s tc120mxs "$doc"
    else
        mkdir -p "$doc"
        cp packaging/copyright "$doc/copyright"
        printf '%s (%s) unstable; urgency=medium\n\n  * Built from commit %s.\n\n -- %s  %s\n' \
            "$name" "$version" "$commit" "$maintainer" "$changelog_date" |
            gzip -9n >"$doc/changelog.gz"
    fi
    if [[ -f packaging/$name.lintian-overrides ]]; then
        mkdir -p "$root/usr/share/lintian/overrides"
        cp "packaging/$name.lintian-overrides" "$root/usr/share/lintian/overrides/$name"
    fi
    find "$root" -type d -exec chmod 755 {} +
    find "$root" -type f ! -perm -u+x -exec chmod 644 {} +
    (cd "$root" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | sort -z |
        xargs -0 md5sum >DEBIAN/md5sums)
    chmod 644 "$root/DEBIAN/md5sums"
    {
        echo "Package: $name"
        echo "Version: $version"
        echo "Architecture: $arch"
        echo "Maintainer: $maintainer"
        echo "Installed-Size: $(du -sk --exclude=DEBIAN "$root" | cut -f1)"
        [[ -n $depends ]] && echo "Depends: $depends"
        echo "Section: $section"
        echo "Priority: optional"
        [[ -n $extra ]] && echo "$extra"
        echo "Description: $summary"
        echo "$description" | sed 's/^$/./; s/^/ /'
    } >"$root/DEBIAN/control"
    find "$root" -exec touch -h -d "@$package_time" {} +
    dpkg-deb --root-owner-group -Zxz --build "$root" "$out/${name}_${version}_${arch}.deb" >/dev/null
}

write_package tc120mxs libs "$(shlib_depends tc120mxs)" \
    "Canon 120MXS sensor-board plug-in for the camera framework" \
"The camera framework loads libtc120mxs.so to drive the Canon 120MXS camera
head. A sample of the configuration that the plug-in reads from the
framework's working directory is in /usr/share/tc120mxs/config, where
README-before-first-power.md lists what each head needs measured before it
is first powered."
write_package tc120mxs-tools misc "$(shlib_depends tc120mxs-tools), tc120mxs (= $version)" \
    "Board checks for the tc120mxs plug-in" \
"boardprobe looks at the board, read-only, before the sensor is first powered;
frameworkprobe checks what the plug-in assumes of the camera framework;
camhost-board runs a script (board-check.cam) against the head through the
framework alone and reads the FPGA back."
write_package tc120mxs-dbgsym debug "tc120mxs (= $version)" \
    "debug symbols for tc120mxs and tc120mxs-tools" \
"The debug information of the module and the board tools, found by build id." \
    "Auto-Built-Package: debug-symbols
Build-Ids: ${build_ids[*]}"
rm -rf "$out/shlibdeps"

for deb in "$out"/*.deb; do
    echo "$(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"
done
if [[ $framework_libs == "" ]]; then
    echo "package.sh: the tools are linked against the stand-in framework (libcamsim.so, not" \
         "packaged): for the board, configure with -DTC120MXS_FRAMEWORK_LIBS (after --)" >&2
fi
# Every tag lintian still gives is either fixed here or explained in packaging/*.lintian-overrides.
if command -v lintian >/dev/null; then
    lintian --info --fail-on error,warning "$out"/*.deb | tee "$out/lintian.txt"
    echo "lintian: no error or warning (overrides: packaging/*.lintian-overrides)"
else
    echo "package.sh: lintian is not installed (scripts/install-deps.sh --package): not checked" >&2
fi
