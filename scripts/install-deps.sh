#!/usr/bin/env bash
# Installs what the build and the tests need from Debian's packages, only what is missing.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev googletest libinih-dev
          libcli11-dev nlohmann-json3-dev libpng-dev)
armhf_packages=(g++-arm-linux-gnueabihf qemu-user libinih-dev:armhf)
extra_packages=(clang-14 libclang-rt-14-dev valgrind)

want=("${packages[@]}")
case " $* " in *" --armhf "*) want+=("${armhf_packages[@]}") ;; esac
case " $* " in *" --extra "*) want+=("${extra_packages[@]}") ;; esac

missing=()
for p in "${want[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
if printf '%s\n' "${missing[@]}" | grep -q ':armhf$'; then
    dpkg --print-foreign-architectures | grep -qx armhf || "${sudo_cmd[@]}" dpkg --add-architecture armhf
fi
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
