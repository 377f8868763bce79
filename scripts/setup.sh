#!/usr/bin/env bash
# Installs what the build and the tests need from Debian's packages.
# Usage: scripts/setup.sh native|all|package|bench
#   native   the Linux build and its tests (compiler, CMake, GoogleTest source, Qt 6)
#   all      also the two mingw-w64 toolchains, wine64 and Xvfb for the Windows builds
#   package  native, and what scripts/package.sh builds and checks the packages with
#   bench    native, and the peers bench/run.sh times beside the program (GNU time, xdelta3)
set -euo pipefail

packages=(build-essential cmake googletest qt6-base-dev fonts-noto-mono python3 clang libclang-rt-14-dev
          libzydis-dev libzycore-dev)
if [ "${1:-native}" = all ]; then
    packages+=(mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64 xvfb
               xauth x11-apps imagemagick dpkg-dev)
elif [ "${1:-native}" = package ]; then
    packages+=(g++-mingw-w64-i686-posix binutils-mingw-w64-i686 dpkg-dev lintian
               desktop-file-utils appstream unzip groff-base file)
elif [ "${1:-native}" = bench ]; then
    packages+=(time xdelta3)
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update -q
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The Windows programs link a static instruction decoder built from Debian's source package
# (package: the 32-bit program only).
if [ "${1:-native}" = all ]; then
    "$(dirname "$0")/fetch-zydis.sh"
elif [ "${1:-native}" = package ]; then
    "$(dirname "$0")/fetch-zydis.sh" i686
fi
