#!/usr/bin/env bash
# Builds the instruction decoder (Zydis, MIT) as static libraries for the two Windows programs,
# from Debian's source package, which apt checks against the signed Sources index as it checks
# binaries. Zycore's source is not served, and Zydis needs only its headers: they come from the
# architecture-independent libzycore-dev package. Nothing lands outside build/third_party/, and
# the machine's own apt configuration is only read (its deb list gives the URIs).
# Usage: scripts/fetch-zydis.sh [i686|x86_64]...   (both when none is named)
# Result: build/third_party/zydis/<triplet>/{include,lib/libZydis.a}
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
third=$root/build/third_party
apt_dir=$third/apt
work=$third/zydis
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(i686 x86_64)

done_for() { [ -f "$work/$1-w64-mingw32/lib/libZydis.a" ]; }
all_done=1
for arch in "${targets[@]}"; do done_for "$arch" || all_done=0; done
[ $all_done = 1 ] && exit 0

mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$work"
# The URIs, suites and keys of the machine's deb list, for sources (zydis) and for packages
# (libzycore-dev).
machine_list=/etc/apt/sources.list.d/debian.sources
if [ -f "$machine_list" ]; then
    sed 's/^Types:.*/Types: deb deb-src/' "$machine_list" >"$apt_dir/sources.sources"
    list_option=(-o "Dir::Etc::SourceParts=$apt_dir" -o "Dir::Etc::SourceList=/dev/null")
else
    grep -E '^deb ' /etc/apt/sources.list | sed 'p; s/^deb /deb-src /' >"$apt_dir/sources.list"
    list_option=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=-")
fi
apt_options=("${list_option[@]}" -o "Dir::State::Lists=$apt_dir/lists"
             -o "Dir::Cache=$apt_dir/cache" -o "Debug::NoLocking=1"
             -o "APT::Sandbox::User=root")

cd "$work"
if [ ! -d zydis-src ] || [ ! -d zycore ]; then
    apt-get "${apt_options[@]}" -q update
    rm -rf download && mkdir download
    (cd download && apt-get "${apt_options[@]}" -q source zydis &&
        apt-get "${apt_options[@]}" -q download libzycore-dev)
    source_dir=$(find download -mindepth 1 -maxdepth 1 -type d -name 'zydis-*' | head -n 1)
    [ -n "$source_dir" ] || { echo "fetch-zydis: no zydis source unpacked" >&2; exit 1; }
    rm -rf zydis-src zycore
    mv "$source_dir" zydis-src
    dpkg -x download/libzycore-dev_*.deb zycore
    rm -rf download
fi

for arch in "${targets[@]}"; do
    triplet=$arch-w64-mingw32
    done_for "$arch" && continue
    out=$work/$triplet
    rm -rf "$out" "$work/objects-$arch"
    mkdir -p "$out/lib" "$out/include" "$work/objects-$arch"
    for source in zydis-src/src/*.c; do
        "$triplet-gcc" -O2 -std=c99 -DZYDIS_STATIC_BUILD -DZYCORE_STATIC_BUILD \
            -Izydis-src/include -Izydis-src/src -Izycore/usr/include \
            -c "$source" -o "$work/objects-$arch/$(basename "$source" .c).o"
    done
    "$triplet-ar" rcs "$out/lib/libZydis.a" "$work/objects-$arch"/*.o
    cp -r zydis-src/include/Zydis zycore/usr/include/Zycore "$out/include/"
    rm -rf "$work/objects-$arch"
    echo "fetch-zydis: $out/lib/libZydis.a"
done
