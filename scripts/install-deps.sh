#!/usr/bin/env bash
# Installs what the build and the tests need from Debian's packages, only what is missing.
#
# A mirror in the middle of a sync makes `apt-get update` fail for one index ("File has
# unexpected size ... Mirror sync in progress?") while every other list downloads. The update
# is tried again after a pause; when an index still fails, the install goes ahead with the
# lists at hand, and only an install that leaves a package missing fails, naming it.
#   INSTALL_DEPS_UPDATE_TRIES  how often apt-get update is tried (default 3)
#   INSTALL_DEPS_RETRY_PAUSE   seconds between two tries (default 15)
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev googletest libinih-dev
          libcli11-dev nlohmann-json3-dev libpng-dev)
armhf_packages=(g++-arm-linux-gnueabihf qemu-user libinih-dev:armhf)
extra_packages=(clang-14 libclang-rt-14-dev valgrind)
package_packages=(dpkg-dev lintian)

want=("${packages[@]}")
case " $* " in *" --armhf "*) want+=("${armhf_packages[@]}") ;; esac
case " $* " in *" --extra "*) want+=("${extra_packages[@]}") ;; esac
case " $* " in *" --package "*) want+=("${package_packages[@]}") ;; esac

# The packages of the arguments that are not installed.
not_installed() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            echo "$p"
    done
}

mapfile -t missing < <(not_installed "${want[@]}")
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
if printf '%s\n' "${missing[@]}" | grep -q ':armhf$'; then
    dpkg --print-foreign-architectures | grep -qx armhf || "${sudo_cmd[@]}" dpkg --add-architecture armhf
fi

tries=${INSTALL_DEPS_UPDATE_TRIES:-3}
pause=${INSTALL_DEPS_RETRY_PAUSE:-15}
for ((try = 1; ; try++)); do
    "${sudo_cmd[@]}" apt-get update -qq && break
    if ((try >= tries)); then
        echo "install-deps.sh: apt-get update still fails after $tries tries;" \
             "installing from the package lists at hand" >&2
        break
    fi
    echo "install-deps.sh: apt-get update failed; trying again in $pause s" >&2
    sleep "$pause"
done

status=0
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" || status=$?
mapfile -t still_missing < <(not_installed "${missing[@]}")
if [ "$status" -ne 0 ] || [ ${#still_missing[@]} -gt 0 ]; then
    [ ${#still_missing[@]} -gt 0 ] || still_missing=("${missing[@]}")
    echo "install-deps.sh: apt-get install exited $status; could not install: ${still_missing[*]}" >&2
    exit 1
fi
