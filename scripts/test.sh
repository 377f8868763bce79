#!/usr/bin/env bash
# Builds and runs every test: the native suite (debug, then under AddressSanitizer and
# UndefinedBehaviorSanitizer), then the Windows builds, whose 64-bit suite runs under wine64,
# then the packages: built and checked, the .deb installed, used and removed again, and the
# headless-only build installed from source.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh all
# Temporary files (Wine's server folder among them) and Qt's runtime folder go under build/, so
# /tmp is left as it was.
export TMPDIR=$PWD/build/test-tmp XDG_RUNTIME_DIR=$PWD/build/test-runtime
mkdir -p "$TMPDIR" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

run_native() {
    local preset=$1
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build "build/$preset" -j2
    ctest --preset "$preset" -j2
}

run_native linux-debug
run_native linux-asan

# Bounded fuzzing passes: the whole comparison, seeded with the sample image and its patched copy
# cut apart by the first two bytes (1,536, little-endian); the PE layout reader, seeded with the
# mingw-w64 images and the samples; the two patch readers, seeded with a patch of each grammar;
# the aligned comparison against its replay, seeded with the same pair made into edits.
echo "== linux-fuzz"
cmake --preset linux-fuzz >/dev/null
cmake --build build/linux-fuzz -j2 --target comparison_fuzz pe_layout_fuzz patch_reader_fuzz \
    align_fuzz
fuzz() {
    local target=$1 seconds=$2
    shift 2
    mkdir -p "build/linux-fuzz/corpus/$target"
    "build/linux-fuzz/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=0 \
        "build/linux-fuzz/corpus/$target" "$@" 2>&1 | tail -n 1
}
corpus=build/linux-fuzz/corpus
mkdir -p "$corpus/comparison_fuzz" "$corpus/patch_reader_fuzz" "$corpus/align_fuzz"
{ printf '\x00\x06'; cat samples/sample.exe samples/sample-patched.exe; } >"$corpus/comparison_fuzz/sample"
printf 'This difference file was created by Tandrel\r\n\r\nsample.exe\r\n00000089: 00 01\r\n' \
    >"$corpus/patch_reader_fuzz/dif"
printf '>sample.exe\n0000100F:6A->90\n' >"$corpus/patch_reader_fuzz/1337"
fuzz comparison_fuzz 20 -max_len=4096
fuzz pe_layout_fuzz 10 -max_len=8192 build/linux-fuzz/tests/fuzz/pe-images samples
fuzz patch_reader_fuzz 10 -max_len=4096
{ printf '\x01\x00\x06'; cat samples/sample.exe; printf '\x00\x10\x08\x01\x80\x03\x02\x40\x05'; } \
    >"$corpus/align_fuzz/sample"
fuzz align_fuzz 10 -max_len=4096

scripts/test-windows.sh

scripts/package.sh

failed() {
    echo "FAIL: $*"
    exit 1
}
# dialog_starts PROGRAM: its dialog run, on Qt's offscreen platform, maps the dialog module and
# Qt and is still showing half a second later.
dialog_starts() {
    QT_QPA_PLATFORM=offscreen "$1" &
    local pid=$! shown=no
    for _ in $(seq 200); do
        grep -q libQt6Widgets "/proc/$pid/maps" 2>/dev/null && break
        sleep 0.1
    done
    sleep 0.5
    grep -q tandrel-qt-dialog.so "/proc/$pid/maps" 2>/dev/null &&
        grep -q libQt6Widgets "/proc/$pid/maps" && shown=yes
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    [ "$shown" = yes ] || failed "the dialog of $1 did not start"
    echo "ok: the dialog of $1 starts"
}
# A headless run maps no library of the dialog's toolkit, as the loader's own list shows.
mapped=$(mktemp -d)
LD_DEBUG=files LD_DEBUG_OUTPUT="$mapped/ld" build/linux-release/app/tandrel samples/sample.exe \
    samples/sample-patched.exe "$mapped/report.txt"
grep -q 'file=libc.so' "$mapped"/ld.* || failed "no list of mapped libraries"
if grep -q Qt "$mapped"/ld.*; then failed "a headless run maps Qt"; fi
rm -rf "$mapped"
echo "ok: a headless run maps no Qt library"
# The program finds its dialog module in the build tree and in an install with any prefix, one in
# the sticky /tmp too.
dialog_starts build/linux-release/app/tandrel
prefix=$(mktemp -d /tmp/tandrel-prefix.XXXXXX)
cmake --install build/linux-release --prefix "$prefix" >/dev/null
dialog_starts "$prefix/bin/tandrel"
# The program exports none of its own code; the module nothing but its versioned entry. A prefix
# with a folder writable by others is refused, with its message.
if nm -DC --defined-only build/linux-release/app/tandrel | grep -q 'tandrel::'; then
    failed "the program exports its own C++ code"
fi
entry=TandrelRunDialog_$(build/linux-release/app/tandrel --version | sed 's/^tandrel //; s/\./_/g')
[ "$(nm -D --defined-only build/linux-release/lib/tandrel/tandrel-qt-dialog.so |
    grep -vwE '_edata|_end|__bss_start' | cut -d' ' -f2-)" = "T $entry" ] ||
    failed "the module exports more than $entry"
chmod o+w "$prefix/lib"
status=0
err=$(QT_QPA_PLATFORM=offscreen "$prefix/bin/tandrel" 2>&1) || status=$?
[ "$status" = 1 ] && [ "$err" = "tandrel: $prefix/lib/tandrel/tandrel-qt-dialog.so: folder \
$prefix/lib is writable by others" ] || failed "a prefix writable by others: status $status, $err"
echo "ok: the module's exports, and a prefix writable by others refused"
rm -rf "$prefix"

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
echo "== the Debian package installed"
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q ./build/packages/tandrel_*.deb
trap 'DEBIAN_FRONTEND=noninteractive $SUDO apt-get purge -y -q tandrel >/dev/null' EXIT
work=$(mktemp -d)
status=0
/usr/bin/tandrel samples/sample.exe samples/sample-patched.exe "$work/installed.txt" || status=$?
[ "$status" = 0 ] || failed "/usr/bin/tandrel exited $status"
# The sample pair differs in the headers and in both sections of the image.
for line in "File offset = 89" "VA = 40100F" "VA = 402011"; do
    grep -qx "$line" "$work/installed.txt" || failed "the report has no line \"$line\""
done
build/linux-release/app/tandrel samples/sample.exe samples/sample-patched.exe "$work/built.txt"
cmp "$work/built.txt" "$work/installed.txt" || failed "the installed program's report differs"
[ "$(man -w tandrel)" = /usr/share/man/man1/tandrel.1.gz ] || failed "man tandrel"
# The menu entry's command is found on the PATH; with no display its dialog cannot start.
menu_command=$(sed -n 's/^Exec=//p' /usr/share/applications/*tandrel*.desktop)
[ "$(command -v "$menu_command")" = /usr/bin/tandrel ] || failed "Exec=$menu_command"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$menu_command" || status=$?
[ "$status" = 1 ] || failed "the menu command without a display exited $status"
dialog_starts /usr/bin/tandrel
[ "$(/usr/bin/tandrel --version)" = "tandrel $(dpkg-query -W -f '${Version}' tandrel)" ] ||
    failed "tandrel --version"
echo "ok: /usr/bin/tandrel, man tandrel and the menu entry's command"
DEBIAN_FRONTEND=noninteractive $SUDO apt-get purge -y -q tandrel >/dev/null
trap - EXIT
[ ! -e /usr/bin/tandrel ] || failed "/usr/bin/tandrel left behind"
echo "ok: removed again"

echo "== headless-only build, installed from source"
cmake -S . -B build/linux-headless -DCMAKE_BUILD_TYPE=Release -DTANDREL_BUILD_GUI=OFF \
    -DTANDREL_BUILD_TESTS=OFF >/dev/null
cmake --build build/linux-headless -j2
staged=build/linux-headless/staged
rm -rf "$staged"
cmake --install build/linux-headless --prefix "$PWD/$staged" >/dev/null
if readelf -d "$staged/bin/tandrel" | grep -qi 'qt'; then failed "the headless build needs Qt"; fi
[ -f "$staged/share/man/man1/tandrel.1.gz" ] || failed "no manual page installed"
[ ! -e "$staged/share/applications" ] || failed "a menu entry for a program without a dialog"
status=0
DISPLAY=:0 QT_QPA_PLATFORM=offscreen "$staged/bin/tandrel" || status=$?
[ "$status" = 1 ] || failed "the headless build's dialog branch exited $status"
"$staged/bin/tandrel" samples/sample.exe samples/sample-patched.exe "$work/headless.txt"
cmp "$work/built.txt" "$work/headless.txt" || failed "the headless build's report differs"
rm -rf "$work"
echo "ok: no Qt, the dialog branch exits 1, the same report"
