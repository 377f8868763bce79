#!/bin/sh
# Runs a Windows program under Wine in the prefix given as the first argument:
#   wine_run.sh PREFIX PROGRAM.exe [ARGUMENTS...]
# The prefix is created on first use, once even when several runs start together, with the
# Mono and Gecko installers switched off so that creation never waits for a dialog. Wine's
# own diagnostics are silenced; the program's output and exit status pass through.
set -e
prefix=$1
shift
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
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
exec wine "$@"
