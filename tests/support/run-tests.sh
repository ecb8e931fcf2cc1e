#!/bin/sh
# Runs every test under Wine with windows on a private Xvfb display, then
# checks that no Windows process was left behind. Usage: run-tests.sh BUILD [ctest args]
set -u
build=$(cd "$1" && pwd)
shift
export VELMORA_BUILD="$build" WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
here=$(cd "$(dirname "$0")" && pwd)
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
    ctest --test-dir "$VELMORA_BUILD" --output-on-failure "$@"
    rc=$?
    if ! timeout 60 wineserver -w; then
        echo "Windows processes were left running after the tests:" >&2
        ls -l /proc/*/exe 2>/dev/null | grep -i wine >&2
        wineserver -k
        rc=1
    fi
    exit $rc
' run-tests "$@"
