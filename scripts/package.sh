#!/usr/bin/env bash
# Builds the two packages into build/packages/ and checks them:
# - tandrel_VERSION_amd64.deb from build/linux-release: lintian (no errors), the menu entry
#   (desktop-file-validate) and the metainfo (appstreamcli) as installed, the manual page
#   (groff, no warnings), the stripped program and dialog module, its dependencies, the version in every file
#   that names it, and the icons drawn by the same script as res/tandrel.ico;
# - tandrel-VERSION-win32.zip from build/mingw-i686: exactly tandrel.exe, README.txt and
#   LICENSE.txt, the texts with CR LF line ends, the exe's headers, version record and manifest.
# Reuses both build folders: only the program and the files the packages hold are built.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/setup.sh package

out=$root/build/packages
rm -rf "$out"
mkdir -p "$out"

echo "== Debian package"
cmake --preset linux-release >/dev/null
cmake --build build/linux-release -j2 --target tandrel tandrel_install_files
(cd build/linux-release && cpack -G DEB -B "$out" >/dev/null)
echo "== Windows zip"
scripts/fetch-zydis.sh i686
cmake --preset mingw-i686 >/dev/null
cmake --build build/mingw-i686 -j2 --target tandrel
(cd build/mingw-i686 && cpack -G ZIP -B "$out" >/dev/null)
rm -rf "$out/_CPack_Packages"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/linux-release/CMakeCache.txt)
deb=$out/tandrel_${version}_amd64.deb
zip=$out/tandrel-${version}-win32.zip

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
check() {
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else fail "$what"; fi
}
# matches TEXT PATTERN: TEXT holds a line matching the basic regular expression PATTERN.
matches() {
    printf '%s\n' "$1" | grep -q -- "$2"
}
# crlf_text FILE: FILE is not empty and every line of it ends with CR LF.
crlf_text() {
    [ -s "$1" ] && ! grep -q $'[^\r]$\|^$' "$1" && [ "$(tail -c 1 "$1")" = "" ]
}

[ -f "$deb" ] || { echo "FAIL: no $deb"; exit 1; }
[ -f "$zip" ] || { echo "FAIL: no $zip"; exit 1; }
ls -l "$deb" "$zip"

echo "== checks of $(basename "$deb")"
# lintian refuses nothing as root but says so on stderr; its tags go to stdout.
check "lintian: no errors" lintian --fail-on error "$deb" 2> >(grep -v 'root privileges' >&2)
staged=$out/check/deb
mkdir -p "$staged"
dpkg-deb -x "$deb" "$staged"
check "desktop entry" desktop-file-validate "$staged"/usr/share/applications/*.desktop
check "AppStream metainfo" appstreamcli validate --no-net "$staged"/usr/share/metainfo/*.xml
man_warnings=$(zcat "$staged/usr/share/man/man1/tandrel.1.gz" | groff -man -ww -z 2>&1)
check "manual page renders without warnings" test -z "$man_warnings"
check "program stripped" matches "$(file "$staged/usr/bin/tandrel")" ", stripped"
# The dialog is a module the program loads only to show it: the program itself needs no Qt.
check "dialog module stripped" \
    matches "$(file "$staged/usr/lib/tandrel/tandrel-qt-dialog.so")" ", stripped"
check "program needs no Qt library" sh -c "! readelf -d '$staged/usr/bin/tandrel' | grep -qi qt"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libqt6widgets6; do
    check "depends on $library" matches "$depends" "$library"
done
check "bash completion" test -s "$staged/usr/share/bash-completion/completions/tandrel"
check "section utils" test "$(dpkg-deb -f "$deb" Section)" = utils
# A release names its version in the changelog, the metainfo and the manual page by hand.
check "changelog version" matches "$(zcat "$staged/usr/share/doc/tandrel/changelog.gz" | head -n 1)" \
    "^tandrel ($version) "
check "metainfo release" matches "$(cat "$staged"/usr/share/metainfo/*.xml)" \
    "<release version=\"$version\""
check "manual page version" matches "$(zcat "$staged/usr/share/man/man1/tandrel.1.gz")" \
    "^\.TH TANDREL 1 .* \"Tandrel $version\""
for size in 16 32 48 128 256; do
    check "icon ${size}x$size" \
        matches "$(file "$staged/usr/share/icons/hicolor/${size}x$size/apps/tandrel.png")" \
        "PNG image data, $size x $size,"
done
check "scalable icon" test -s "$staged/usr/share/icons/hicolor/scalable/apps/tandrel.svg"
python3 scripts/make_icon.py "$out/check/tandrel.ico"
check "res/tandrel.ico is the icon script's drawing" cmp -s "$out/check/tandrel.ico" res/tandrel.ico

echo "== checks of $(basename "$zip")"
check "zip holds tandrel.exe, README.txt, LICENSE.txt" \
    test "$(unzip -Z1 "$zip" | sort | tr '\n' ' ')" = "LICENSE.txt README.txt tandrel.exe "
unzip -q -o "$zip" -d "$out/check/zip"
for text in README.txt LICENSE.txt; do
    check "$text has CR LF line ends" crlf_text "$out/check/zip/$text"
done
check "tandrel.exe headers, version record and manifest" scripts/check-exe-headers.sh \
    "$out/check/zip/tandrel.exe" pe32 "$version" i686-w64-mingw32-objdump i686-w64-mingw32-windres

rm -rf "$out/check"
[ "$failures" = 0 ]
