#!/bin/sh
# Checks a built tandrel.exe without running it:
#   check-exe-headers.sh EXE pe32|pe32+ VERSION OBJDUMP WINDRES
# pe32 means the 32-bit release program (machine i386), pe32+ the 64-bit build (machine x86-64).
# Both must be GUI-subsystem programs importing only DLLs every Windows has (the C and C++
# runtimes and the instruction decoder linked in), carrying the main dialog, icon group 128 with
# a 32 by 32 and a 16 by 16 image in 16 colours, a version record of VERSION (a.b.c.d) for U.S.
# English, code page 1200, file type application, and the application manifest: run as invoker,
# Windows Vista to 10/11 declared, system DPI awareness, and no common controls version 6. Prints one MISMATCH line per
# failed check and exits 1 if any.
set -u
exe=$1 kind=$2 version=$3 objdump=$4 windres=$5
failures=0

mismatch() {
    echo "MISMATCH: $*"
    failures=$((failures + 1))
}

# has TEXT LABEL PATTERN: TEXT holds a line matching the extended regular expression PATTERN.
# lacks TEXT LABEL PATTERN: it holds none (case ignored).
has() {
    printf '%s\n' "$1" | grep -Eq -- "$3" || mismatch "$2 (no line matching: $3)"
}
lacks() {
    ! printf '%s\n' "$1" | grep -Eqi -- "$3" || mismatch "$2"
}

case $kind in
    pe32) magic=010b format=pei-i386 ;;
    pe32+) magic=020b format=pei-x86-64 ;;
    *) echo "usage: $0 EXE pe32|pe32+ VERSION OBJDUMP WINDRES" >&2; exit 2 ;;
esac

# The file format objdump names is that of the machine field.
headers=$("$objdump" -p "$exe") || { echo "MISMATCH: $objdump cannot read $exe"; exit 1; }
has "$headers" "machine" "file format $format\$"
has "$headers" "optional header magic" "^Magic[[:space:]]+$magic[[:space:]]"
has "$headers" "subsystem" "^Subsystem[[:space:]]+00000002[[:space:]]+\(Windows GUI\)"
others=$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | grep -Eivx \
    '(kernel32|user32|gdi32|comdlg32|comctl32|shell32|advapi32|msvcrt)\.dll')
[ -z "$others" ] || mismatch "imports: not system DLLs:" $others
# The instruction decoder is linked in: no DLL of its own beside the exe.
lacks "$headers" "imports a DLL of the instruction decoder" 'DLL Name: .*(zydis|zycore)'

resources=$("$windres" -i "$exe" -O rc 2>/dev/null) || {
    echo "MISMATCH: $windres cannot read the resources of $exe"
    exit 1
}
# Dotted "1.0.0.1" as the record's numbers "1, 0, 0, 1".
commas=$(printf '%s' "$version" | sed 's/\./, /g')
has "$resources" "file version" "^[[:space:]]*FILEVERSION $commas\$"
has "$resources" "product version" "^[[:space:]]*PRODUCTVERSION $commas\$"
has "$resources" "file type" "^[[:space:]]*FILETYPE 0x1\$"
has "$resources" "file version string" "VALUE \"FileVersion\", \"$commas\"\$"
has "$resources" "product version string" "VALUE \"ProductVersion\", \"$commas\"\$"
has "$resources" "translation" "VALUE \"Translation\", 0x409, 1200\$"
tables=$(printf '%s\n' "$resources" | grep -Ec 'BLOCK "[0-9A-Fa-f]{8}"')
[ "$tables" = 1 ] || mismatch "string tables: expected 1, found $tables"
has "$resources" "string table language" 'BLOCK "040904[Bb]0"'
has "$resources" "main dialog" "^102 DIALOGEX 0, 0, 320, 248\$"
has "$resources" "dialog caption" '^CAPTION "Tandrel 3\.0"$'

# windres prints the icon group as its count, then per image "width height colours pad"
# (octal escapes), planes and bits per pixel.
group=$(printf '%s\n' "$resources" | sed -n '/^128 14 /,/^END/p')
has "$group" "icon group 128 of two images" "^[[:space:]]*0, 1, 2,"
has "$group" "32 by 32 icon in 16 colours" '"\\040\\040\\020\\000", 1, 4,'
has "$group" "16 by 16 icon in 16 colours" '"\\020\\020\\020\\000", 1, 4,'

# The manifest is resource 1 of type 24, which windres prints as quoted lines with doubled quotes.
manifest=$(printf '%s\n' "$resources" | sed -n '/^1 24 /,/^END/p' | sed 's/""/"/g')
has "$manifest" "execution level" '<requestedExecutionLevel level="asInvoker"'
for os in e2011457-1546-43c5-a5fe-008deee3d3f0:Vista 35138b9a-5d96-4fbd-8e2d-a2440225f93a:7 \
    4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38:8 1f676c76-80e1-4239-95bb-83d0f6d0da78:8.1 \
    8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a:10/11; do
    has "$manifest" "supported OS Windows ${os#*:}" "<supportedOS Id=\"\\{${os%%:*}\\}\""
done
has "$manifest" "system DPI awareness" '<dpiAware[^>]*>true</dpiAware>'
lacks "$manifest" "DPI awareness: per monitor, expected system" 'PerMonitor|<dpiAwareness'
lacks "$manifest" "manifest depends on the common controls version 6" 'Common-Controls'

[ "$failures" = 0 ] || exit 1
echo "ok: $exe is $kind, GUI, system imports only, version $version, with its resources"
