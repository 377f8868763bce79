#!/bin/sh
# Runs a Windows program under Wine in the prefix given as the first argument:
#   wine_run.sh PREFIX PROGRAM.exe [ARGUMENTS...]
#   wine_run.sh PREFIX --start-server | --stop-server | --wait-server
# The prefix is created on first use, once even when several runs start together, with the
# Mono and Gecko installers switched off so that creation never waits for a dialog, and without
# the menu builder, which would write menu entries under $HOME. Wine's own diagnostics are
# silenced; the program's output and exit status pass through. The server's socket folder, which
# Wine makes under $TMPDIR and leaves there, goes beside the prefix instead of into /tmp; every
# start and wait on the prefix must go through here to find the same server.
set -e
prefix=$1
shift
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export TMPDIR="$prefix.tmp"
mkdir -p "$TMPDIR"
if [ "$1" = --wait-server ]; then
    exec wineserver -w
fi
# One list of names with one setting: sets are separated by ";", and "a,b=,c=d" would read as
# the names a and b set to ",c=d", which leaves the menu builder running.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
ready="$prefix/tandrel-prefix-ready"
if [ ! -f "$ready" ]; then
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        if [ ! -f "$ready" ]; then
            wine wineboot --init >/dev/null 2>&1
            touch "$ready"
        fi
    ) 9>"$prefix.lock"
fi
# The wineserver command starts a server that exits as soon as no program runs (-p0), and a
# program that starts while it exits can die before its main. A server started by a program run,
# and Wine's system processes with it, also hold that run's output open until they exit. So the
# tests keep one server and its system processes up from the first test to the last (a CTest
# fixture), started apart from every test's output.
case "$1" in
--start-server)
    # A server left by an interrupted run would keep the display it started with.
    exec </dev/null >/dev/null 2>&1
    wineserver -k || true
    wineserver -w || true
    wineserver -p
    # Windows framed by Wine itself: with no window manager on the display, Wine waits two
    # seconds for one whenever it maps or unmaps a window that it hands to the window manager.
    exec wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
    ;;
--stop-server)
    wineserver -k 2>/dev/null || true
    exec wineserver -w
    ;;
esac
exec wine "$@"
