#!/usr/bin/env bash
# Shows the Win32 dialog under Wine after comparing the sample pair, on a virtual X display, and
# captures the screen cropped to the dialog's window into docs/screenshots/windows.png.
# No window manager runs there, so Wine is told to frame its windows itself.
# Usage: scripts/screenshot-windows.sh   (builds in build/mingw-x86_64)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build/mingw-x86_64
prefix=$build/wine-prefix
cmake --preset mingw-x86_64 >/dev/null
cmake --build "$build" -j2 --target tandrel_win32_screenshot >/dev/null

"$root/cmake/wine_run.sh" "$prefix" reg add 'HKCU\Software\Wine\X11 Driver' \
    /v Managed /t REG_SZ /d N /f >/dev/null
# A desktop left from a run without a display would refuse windows: wait until it is gone.
"$root/cmake/wine_run.sh" "$prefix" --wait-server 2>/dev/null || true

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
windows_path() {
    printf 'Z:%s' "$1" | tr / '\\'
}
mkdir -p docs/screenshots
export root build prefix work
export ready_arg="$(windows_path "$work/ready")" done_arg="$(windows_path "$work/done")"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    set -euo pipefail
    "$root/cmake/wine_run.sh" "$prefix" "$build/tools/screenshot/tandrel_win32_screenshot.exe" \
        "samples\\sample.exe" "samples\\sample-patched.exe" "$ready_arg" "$done_arg" &
    shown=$!
    for _ in $(seq 600); do
        [ -s "$work/ready" ] && break
        sleep 0.1
    done
    if [ ! -s "$work/ready" ]; then
        echo "the dialog was never shown" >&2
        kill "$shown" 2>/dev/null || true
        exit 1
    fi
    read -r x y width height <"$work/ready"
    import -window root -crop "${width}x${height}+${x}+${y}" +repage docs/screenshots/windows.png
    touch "$work/done"
    wait "$shown"
'
"$root/cmake/wine_run.sh" "$prefix" --wait-server 2>/dev/null || true
echo "wrote docs/screenshots/windows.png"
