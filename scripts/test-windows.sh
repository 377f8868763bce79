#!/usr/bin/env bash
# Builds both Windows programs and tests them on this machine:
# - the 32-bit release program (build/mingw-i686) is linked and its headers are checked: it
#   cannot run here;
# - the 64-bit build (build/mingw-x86_64) runs its suite under wine64 through CTest: first every
#   test but the dialog's with no display (the dialog branch must then fail to start), then the
#   dialog's tests (label "gui") on a virtual X display from xvfb-run;
# - its reports and exit statuses must equal the native program's for the same files, each LF as
#   CR LF.
# Wine's prefix lives in build/mingw-x86_64/wine-prefix, created on first use.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
# Xvfb makes /tmp/.X11-unix for its socket wherever TMPDIR points; it goes again if it was not here.
if [ ! -e /tmp/.X11-unix ]; then
    trap 'rmdir /tmp/.X11-unix 2>/dev/null || true' EXIT
fi

build() {
    echo "== $1"
    cmake --preset "$1" >/dev/null
    cmake --build "build/$1" -j2
}

project_version() {
    sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "build/$1/CMakeCache.txt"
}

# The instruction decoder both programs link, built from Debian's source once.
scripts/fetch-zydis.sh
build mingw-i686
scripts/check-exe-headers.sh build/mingw-i686/app/tandrel.exe pe32 \
    "$(project_version mingw-i686)" i686-w64-mingw32-objdump i686-w64-mingw32-windres

build mingw-x86_64
# Wine's desktop belongs to the wineserver of the prefix and keeps the display it started with,
# so each phase waits until the previous phase's wineserver has gone.
wine_settle() {
    "$root/cmake/wine_run.sh" "$root/build/mingw-x86_64/wine-prefix" --wait-server 2>/dev/null || true
}
# A failed phase is counted, and the later phases still run.
suite_failures=0
echo "== Windows suite without a display"
wine_settle
env -u DISPLAY -u WAYLAND_DISPLAY ctest --preset mingw-x86_64 -LE gui -j2 ||
    suite_failures=$((suite_failures + 1))
wine_settle
echo "== Windows dialog tests on a virtual display"
xvfb-run -a ctest --preset mingw-x86_64 -L gui -j2 || suite_failures=$((suite_failures + 1))
wine_settle

# The native program of the same sources; built here when the native suite has not run first.
native=${TANDREL_NATIVE_EXE:-$root/build/linux-debug/app/tandrel}
if [ ! -x "$native" ]; then
    cmake --preset linux-debug >/dev/null
    cmake --build build/linux-debug -j2 --target tandrel
fi

echo "== Windows reports against native reports"
windows_exe="Z:$(printf '%s' "$root/build/mingw-x86_64/app/tandrel.exe" | tr / '\\')"
wine_run() {
    "$root/cmake/wine_run.sh" "$root/build/mingw-x86_64/wine-prefix" "$@"
}
work=$root/build/mingw-x86_64/report-check
rm -rf "$work"
mkdir -p "$work"
cd "$work"

# patch FILE OFFSET HEX: overwrites bytes of FILE in place.
patch() {
    printf "$(printf '%s' "$3" | sed 's/\(..\)/\\x\1/g')" |
        dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

printf 'ABCD' >example-a.bin
printf 'AXYD' >example-b.bin
: >empty-a.bin
: >empty-b.bin
head -c 100 /dev/urandom >short.bin
{ cat short.bin; head -c 100 /dev/urandom; } >long.bin
patch long.bin 99 00
# Two chunks and a bit, with runs that end at and start after the 16 MiB chunk edge.
head -c 20000000 /dev/zero >chunks-a.bin
cp chunks-a.bin chunks-b.bin
patch chunks-b.bin 16777214 FFFF
patch chunks-b.bin 16777216 EEEE
patch chunks-b.bin 19999999 01
# Aligned: bytes inserted across the 16 MiB chunk edge and deleted after it, in random data
# (Windows reads what Linux maps); and bytes inserted into an image's section.
head -c 20000000 /dev/urandom >align-a.bin
# (dd, not tail into head: head leaving early is a SIGPIPE that pipefail would count.)
{ head -c 16777210 align-a.bin; printf 'IIIIIIIIIIIIIIII'
  dd if=align-a.bin iflag=skip_bytes,count_bytes skip=16777210 count=1000000 status=none
  tail -c +17777301 align-a.bin; } >align-b.bin
# PE32 and PE32+ first files: the two Windows programs against patched copies, with changes in
# the headers and in the sections.
cp "$root/build/mingw-i686/app/tandrel.exe" pe32-a.exe
cp "$root/build/mingw-x86_64/app/tandrel.exe" pe64-a.exe
for image in pe32 pe64; do
    cp "$image-a.exe" "$image-b.exe"
    for offset in 136 1040 8192 40000 100000; do
        patch "$image-b.exe" "$offset" 90C3CC
    done
done
{ head -c 40000 pe64-a.exe; printf 'ABCDEFGH'; tail -c +40001 pe64-a.exe; } >pe64-inserted.exe

# pair FIRST SECOND PATTERN [OPTION...]: both programs compare the pair with the options, in
# text and in JSON Lines. The native report must hold a line matching PATTERN, so that the case
# shows what it is meant to (or be empty when PATTERN is), the Windows report must be the native
# one with CR LF line ends, and the JSON Lines the same bytes.
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
pair() {
    local first=$1 second=$2 pattern=$3 linux="${1%.*}-linux.txt" windows="${1%.*}-windows.txt"
    shift 3
    local linux_status=0 windows_status=0
    "$native" "$@" "$first" "$second" "$linux" 2>/dev/null || linux_status=$?
    wine_run "$windows_exe" "$@" "$first" "$second" "$windows" || windows_status=$?
    "$native" --format=jsonl "$@" "$first" "$second" "$linux.jsonl" 2>/dev/null || true
    wine_run "$windows_exe" --format=jsonl "$@" "$first" "$second" "$windows.jsonl" || true
    if [ "$linux_status" != "$windows_status" ]; then
        fail "$first $second $*: exit status $linux_status on Linux, $windows_status on Windows"
    elif [ -n "$pattern" ] && ! grep -q -- "$pattern" "$linux"; then
        fail "$first $second $*: the native report has no line matching \"$pattern\""
    elif [ -z "$pattern" ] && { [ -e "$linux" ] || [ -e "$windows" ]; }; then
        fail "$first $second $*: a run wrote a report"
    elif [ -n "$pattern" ] && ! sed 's/$/\r/' "$linux" | cmp -s - "$windows"; then
        fail "$first $second $*: the Windows report is not the native report with CR LF line ends"
    elif [ -n "$pattern" ] && ! cmp -s "$linux.jsonl" "$windows.jsonl"; then
        fail "$first $second $*: the Windows JSON Lines differ from the native ones"
    else
        echo "ok: $first $second $* ($(wc -c 2>/dev/null <"$windows" || echo 0) bytes," \
            "exit status $linux_status)"
    fi
}
pair example-a.bin example-b.bin "^58 59 $"
pair empty-a.bin empty-b.bin "^Warning: not a PE file!$"
pair short.bin long.bin "^Different file size, comparing only minimum = 100$"
pair chunks-a.bin chunks-b.bin "^File offset = 1000000$"
pair pe32-a.exe pe32-b.exe "^VA = 4"
pair pe64-a.exe pe64-b.exe "^VA = 1400"
pair missing.bin example-b.bin ""
pair chunks-a.bin chunks-b.bin "^File offset = 1000001$" --ignore-initial=1:0x1 --bytes=19999998
pair example-a.bin example-b.bin "^Warning: not a PE file!$" --exit-code --max-runs=0
pair pe32-a.exe pe32-b.exe "^Build noise set aside: " --ignore-pe-noise
pair align-a.bin align-b.bin "^Deleted bytes (dec) = 90$" --align
pair pe64-a.exe pe64-inserted.exe "^Second file RVA = " --align
pair pe32-a.exe pe32-b.exe "^First file code:$" --instructions
pair pe64-a.exe pe64-b.exe "^Second file code:$" --instructions

# Two folders: the same records from both programs, in the same order, once the Windows paths'
# backslashes are read as slashes.
mkdir -p tree-a/sub tree-b/sub tree-a/only-a tree-b/kind
cp example-a.bin tree-a/x.bin
cp example-b.bin tree-b/x.bin
cp pe32-a.exe tree-a/sub/image.exe
cp pe32-b.exe tree-b/sub/image.exe
cp short.bin tree-a/sub/same.bin
cp short.bin tree-b/sub/same.bin
printf 'file' >tree-a/kind
printf 'only' >tree-b/only-b.bin
tree_status=0
"$native" --format=jsonl tree-a tree-b tree-linux.jsonl 2>/dev/null || tree_status=$?
wine_status=0
wine_run "$windows_exe" --format=jsonl tree-a tree-b tree-windows.jsonl || wine_status=$?
if [ "$tree_status" != "$wine_status" ] ||
    ! sed 's#\\\\#/#g' tree-windows.jsonl | cmp -s tree-linux.jsonl -; then
    fail "two folders: the Windows JSON Lines differ from the native ones (status $wine_status)"
elif ! grep -q '"type":"total","pairs":3,"identical":1,"different":2' tree-linux.jsonl; then
    fail "two folders: the native run has not the totals it should"
else
    echo "ok: two folders alike ($(wc -l <tree-linux.jsonl) records, exit status $tree_status)"
fi

# Both programs export each patch format of a copy patched in its sections only (dif with CR LF
# line ends on Windows, the others byte for byte alike), and the Windows program applies the
# native dif and 1337 patches, then reverts them.
cp pe64-a.exe pe64-c.exe
for offset in 8192 40000 100000; do
    patch pe64-c.exe "$offset" 90C3CC
done
for format in dif 1337 ips; do
    "$native" --format=$format pe64-a.exe pe64-c.exe "linux.$format" || fail "--format=$format"
    wine_run "$windows_exe" --format=$format pe64-a.exe pe64-c.exe "windows.$format" ||
        fail "tandrel.exe --format=$format: exit status $?"
    if [ $format = dif ]; then sed 's/$/\r/' linux.dif >linux.dif.crlf; else cp "linux.$format" \
        "linux.$format.crlf"; fi
    cmp -s "linux.$format.crlf" "windows.$format" || fail "the Windows $format export differs"
    [ $format = ips ] && continue
    cp pe64-a.exe target.exe
    if wine_run "$windows_exe" "--apply=linux.$format" target.exe && cmp -s target.exe pe64-c.exe &&
        wine_run "$windows_exe" "--apply=linux.$format" --revert target.exe &&
        cmp -s target.exe pe64-a.exe; then
        echo "ok: $format exported alike, applied and reverted by tandrel.exe"
    else
        fail "tandrel.exe --apply=linux.$format, then --revert"
    fi
done

# A report path that names an input by another spelling is refused (status 2), and an input that
# does not exist leaves the report unmade: nothing is written.
refused() {
    local status=0
    wine_run "$windows_exe" "$@" || status=$?
    if [ "$status" != 2 ] || [ "$(cat example-b.bin)" != AXYD ] || [ -e ghost ]; then
        fail "tandrel.exe $*: exit status $status, or a file written"
    else
        echo "ok: tandrel.exe $* refused"
    fi
}
refused example-a.bin example-b.bin '.\EXAMPLE-B.BIN'
refused ghost example-b.bin ghost
[ "$failures" = 0 ] && [ "$suite_failures" = 0 ]
